#include "sound/mixer.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/numerics.h"
#include "core/print.h"
#include "sound/s3d_hive.h"
#include "sound/s3d_mixer.h"
#include "sound/mix_loops.h"
#include "sound/mix_sample.h"

#include <algorithm>
#include <cmath>
#include <new>

Mixer::~Mixer() { release(); }

S3DHive* Mixer::create_3d_hive()
{
    S3DHive* const hive = new (std::nothrow) S3DHive;
    S3DMixer* const renderer = new (std::nothrow) S3DMixer;
    if (hive == nullptr || renderer == nullptr) {
        delete hive;
        delete renderer;
        return nullptr;
    }
    renderer->attach(this);
    hive->add_renderer(renderer);
    return hive;
}

int Mixer::get_settings(SDSettings* settings)
{
    *settings = settings_;
    return 1;
}

int Mixer::init()
{
    release();
    settings_.rate = std::clamp(settings_.rate, MIX_MIN_RATE, MIX_MAX_RATE);
    settings_.channels = std::clamp(settings_.channels, 0, MIX_CHANNELS);
    since_tick_ = 0;
    period_carry_ = 0;
    set_timer_period(0.0f);
    frame_shift_ = ((settings_.flags & SDF_STEREO) != 0 ? 1 : 0) + ((settings_.flags & SDF_16BIT) != 0 ? 1 : 0);

    volume_table_ = static_cast<int32_t*>(
        kheap_alloc(VTAB_ENTRIES * sizeof(int32_t), KHEAP_FROM_BOTTOM, "Volume table"));
    channels_ = static_cast<MixChannel*>(
        kheap_alloc(MIX_CHANNELS * sizeof(MixChannel), KHEAP_FROM_BOTTOM, "MixChannel"));
    if (volume_table_ == nullptr || channels_ == nullptr || !main_.create(MIX_BUFSIZE)) {
        release();
        return 0;
    }
    vtab_build(volume_table_, settings_.volume);
    vtab_clear();
    vtab_select(volume_table_);
    for (int i = 0; i < MIX_CHANNELS; ++i) {
        new (&channels_[i]) MixChannel;
    }
    channel_count_ = settings_.channels;
    for (int i = 0; i < channel_count_; ++i) {
        channels_[i].mix_buf = &main_;
        ++main_.inputs;
    }
    return 1;
}

void Mixer::release()
{
    if (channels_ != nullptr) {
        for (int i = 0; i < channel_count_; ++i) {
            MixChannel& ch = channels_[i];
            if (ch.mix_buf != nullptr) {
                --ch.mix_buf->inputs;
            }
        }
        kheap_release(channels_);
        channels_ = nullptr;
    }
    channel_count_ = 0;
    while (buffers_ != nullptr) {
        MixingBuffer* const b = buffers_;
        buffers_ = b->next;
        b->next = nullptr;
        b->inputs = 0;
        b->release();
        delete b;
    }
    main_.inputs = 0;
    main_.release();
    if (volume_table_ != nullptr) {
        if (vtab_current() == volume_table_) {
            vtab_clear();
        }
        kheap_release(volume_table_);
        volume_table_ = nullptr;
    }
}

namespace {

constexpr double ONE_32 = 4294967296.0;
// A period within a few float roundings of whole frames is whole: 44100 x
// 0.02f is 881.99998 frames, whose carried fraction would drop a frame every
// 50,000 periods.
constexpr double WHOLE_PERIOD_TOLERANCE = 1.0 / (1 << 22);
// Keeps the 32.32 period and the frame counts in range for any timer rate.
constexpr double MIX_MAX_PERIOD = double(1 << 30);

} // namespace

// The exact period is kept with a 32-bit fraction and each period takes the
// whole frames that the carried fraction reaches, so that a period of
// 1378.125 frames runs 1378, 1378, ... 1379 and the ticks keep its pace.
void Mixer::set_exact_period(uint64_t frames_32_32, float seconds)
{
    period_exact_ = frames_32_32;
    tick_seconds_ = seconds;
    timer_period_ = static_cast<int32_t>((period_carry_ + period_exact_) >> 32);
}

void Mixer::set_timer_period(float seconds)
{
    const int32_t rate = settings_.rate;
    const float frame_seconds = rate > 0 ? 1.0f / static_cast<float>(rate) : 0.0f;
    if (!(seconds > 0.0f)) {
        const int32_t frames = std::max(rate / 50, 1);
        set_exact_period(static_cast<uint64_t>(frames) << 32, static_cast<float>(frames) * frame_seconds);
        return;
    }
    double exact = static_cast<double>(rate) * static_cast<double>(seconds);
    if (!(exact >= 1.0)) {
        // A timer faster than the mixing rate ticks every frame.
        set_exact_period(uint64_t{1} << 32, frame_seconds);
        return;
    }
    exact = std::min(exact, MIX_MAX_PERIOD);
    const double whole = std::nearbyint(exact);
    if (std::fabs(exact - whole) <= exact * WHOLE_PERIOD_TOLERANCE) {
        exact = whole;
    }
    // The timers are handed their own period, so the shortest one ticks once
    // a period whichever whole frames the period took.
    set_exact_period(static_cast<uint64_t>(std::llround(exact * ONE_32)), seconds);
}

int32_t Mixer::render(void* buffer, int32_t bytes)
{
    for (int s = 0; s < SDSTREAM_COUNT; ++s) {
        if (streams_[s].count != 0) {
            stream_update(s);
        }
    }
    if (buffer == nullptr || bytes <= 0 || channels_ == nullptr) {
        return 0;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const int32_t frames = bytes >> frame_shift_;
    for (int32_t left = frames; left > 0;) {
        // A period shortened below the frames already counted ticks at once.
        run_due_ticks();
        int32_t n = left;
        if (timers_ != nullptr && since_tick_ + n > timer_period_) {
            n = timer_period_ - since_tick_;
        }
        n = std::min(n, MIX_BUFSIZE);
        K_ASSERT(n > 0);
        mix(out, n);
        out += static_cast<size_t>(n) << frame_shift_;
        left -= n;
        since_tick_ += n;
        run_due_ticks();
    }
    return frames << frame_shift_;
}

void Mixer::run_due_ticks()
{
    while (since_tick_ >= timer_period_) {
        since_tick_ -= timer_period_;
        period_carry_ = static_cast<uint32_t>(period_carry_ + period_exact_);
        timer_dispatch(tick_seconds_);
        timer_period_ = static_cast<int32_t>((period_carry_ + period_exact_) >> 32);
    }
}

void Mixer::mix(uint8_t* out, int32_t frames)
{
    K_ASSERT(frames <= MIX_BUFSIZE);
    vtab_select(volume_table_);
    for (MixingBuffer* b = buffers_; b != nullptr; b = b->next) {
        b->clear(frames);
    }
    main_.clear(frames);

    const bool stereo = (settings_.flags & SDF_STEREO) != 0;
    const uint32_t rate = static_cast<uint32_t>(settings_.rate);
    for (int i = 0; i < channel_count_; ++i) {
        MixChannel& ch = channels_[i];
        K_ASSERT(ch.mix_buf);
        ++ch.mix_buf->mixed;
        if (ch.hold > 0) {
            --ch.hold;
        }
        if ((ch.flags & MIXCF_PLAYING) == 0) {
            continue;
        }
        const int32_t inc = static_cast<int32_t>((static_cast<uint32_t>(ch.frequency) << MIX_FRACTION_BITS) / rate);
        if (inc == 0) {
            continue;
        }
        ch.increment = (ch.flags & MIXCF_BACKWARD) != 0 ? -inc : inc;
        if (!stereo || ch.pan_pos == MIX_PAN_NONE) {
            ch.left = ch.right = float_to_int_trunc(ch.volume * 64.0f);
        } else {
            const float scale = 1.0f / 255.0f;
            ch.left = float_to_int_trunc(ch.volume * 64.0f * static_cast<float>(255 - ch.pan_pos) * scale);
            ch.right = float_to_int_trunc(ch.volume * 64.0f * static_cast<float>(ch.pan_pos) * scale);
        }
        mix_channel(ch, ch.mix_buf->buffer, frames);
    }

    for (;;) {
        MixingBuffer* ready = buffers_;
        while (ready != nullptr && ready->mixed != ready->inputs) {
            ready = ready->next;
        }
        if (ready == nullptr) {
            break;
        }
        ready->process(frames);
        ready->mixed = -1;
    }
    if (main_.mixed == main_.inputs) {
        main_.process(frames);
    } else {
        print_format(P_WARNING, "Mixer: MixingBuffer cycle detected (%d, %d)", main_.inputs, main_.mixed);
    }
    clip_converter(settings_.flags)(out, main_.buffer, frames);
}

namespace {

// Where a position that ran past a loop's end lands, for loops of any length
// (even shorter than one increment): the one subtraction the loop would
// make, repeated as often as needed.
int64_t wrap_forward(int64_t pos, int64_t start, int64_t end) { return start + (pos - end) % (end - start); }

// A ping-pong loop folds a position outside [start, end] back in, reflecting
// at each end; `backward` tells the direction afterwards.
int64_t fold_bidi(int64_t beyond, int64_t start, int64_t end, bool from_end, bool& backward)
{
    const int64_t span = end - start;
    const int64_t over = beyond % (2 * span);
    if (from_end) {
        backward = over < span;
        return backward ? end - over : start + (over - span);
    }
    backward = over >= span;
    return backward ? end - (over - span) : start + over;
}

} // namespace

void Mixer::mix_channel(MixChannel& ch, int32_t* acc, int32_t frames)
{
    MixSample* const s = ch.sample;
    K_ASSERT(s);
    const int64_t start = ch.loop_start;
    const int64_t end = ch.end;
    int64_t pos = ch.pos;
    int64_t inc = ch.increment;
    while (frames > 0) {
        const bool looped = (ch.flags & MIXSF_LOOPED) != 0;
        const bool bidi = (ch.flags & MIXSF_BIDI) != 0;
        if ((ch.flags & MIXCF_BACKWARD) == 0) {
            if (pos >= end) {
                if (!looped || end <= start) {
                    ch.flags &= ~MIXCF_PLAYING;
                } else if (!bidi) {
                    pos = wrap_forward(pos, start, end);
                } else {
                    bool backward = false;
                    pos = fold_bidi(pos - end, start, end, true, backward);
                    if (backward) {
                        ch.flags |= MIXCF_BACKWARD;
                        inc = -inc;
                    }
                }
            }
        } else if (!looped) {
            ch.flags &= ~MIXCF_PLAYING;
        } else if (pos <= start) {
            if (!bidi || end <= start) {
                ch.flags &= ~MIXCF_PLAYING;
            } else {
                bool backward = true;
                pos = fold_bidi(start - pos, start, end, false, backward);
                if (!backward) {
                    ch.flags &= ~MIXCF_BACKWARD;
                    inc = -inc;
                }
            }
        }
        if ((ch.flags & MIXCF_PLAYING) == 0) {
            break;
        }
        const bool backward = (ch.flags & MIXCF_BACKWARD) != 0;
        const int64_t steps = backward ? ((looped ? start : 0) + inc + 1 - pos) / inc : (end + inc - 1 - pos) / inc;
        const int32_t m = static_cast<int32_t>(std::min<int64_t>(steps, frames));
        if (m < 1) {
            break;
        }
        const int64_t last = pos + inc * (m - 1);
        K_ASSERT(backward ? last >= 0 : last < end);
        if (ch.volume != 0.0f && s->data != nullptr) {
            const bool smooth = (settings_.flags & SDF_INTERPOLATE) != 0 && (ch.flags & MIXSF_NO_INTERPOLATION) == 0;
            const int32_t p = static_cast<int32_t>(pos);
            const int32_t i = static_cast<int32_t>(inc);
            if ((ch.flags & MIXSF_16BIT) != 0) {
                const uint16_t* const d = reinterpret_cast<const uint16_t*>(s->data);
                (smooth ? mix_16i : mix_16)(acc, d, p, i, ch.left, ch.right, m);
            } else {
                (smooth ? mix_8i : mix_8)(acc, s->data, p, i, ch.left, ch.right, m);
            }
        }
        pos += inc * m;
        frames -= m;
        acc += 2 * static_cast<size_t>(m);
    }
    ch.pos = static_cast<int32_t>(pos);
    ch.increment = static_cast<int32_t>(inc);
}

MixingBuffer* Mixer::main_buffer() { return &main_; }

MixingBuffer* Mixer::buffer_create()
{
    MixingBuffer* const b = new (std::nothrow) MixingBuffer;
    if (b == nullptr) {
        return nullptr;
    }
    if (!b->create(MIX_BUFSIZE)) {
        delete b;
        return nullptr;
    }
    b->set_output(&main_);
    b->next = buffers_;
    buffers_ = b;
    return b;
}

void Mixer::buffer_delete(MixingBuffer* buffer)
{
    if (buffer == nullptr || buffer == &main_) {
        return;
    }
    for (int i = 0; i < channel_count_; ++i) {
        if (channels_[i].mix_buf == buffer) {
            route(channels_[i], &main_);
        }
    }
    // Buffers that fed it feed the main buffer instead of a freed one.
    for (MixingBuffer* b = buffers_; b != nullptr; b = b->next) {
        if (b->output == buffer) {
            b->set_output(&main_);
        }
    }
    for (MixingBuffer** link = &buffers_; *link != nullptr; link = &(*link)->next) {
        if (*link == buffer) {
            *link = buffer->next;
            break;
        }
    }
    buffer->next = nullptr;
    buffer->release();
    delete buffer;
}
