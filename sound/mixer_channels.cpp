// The mixer's channel operations: choice, start and stop, position, loop,
// rate, volume, pan and routing. Stale handles change nothing.
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "sound/mix_loops.h"
#include "sound/mix_sample.h"
#include "sound/mixer.h"

#include <algorithm>
#include <cmath>

MixChannel* Mixer::lookup(int32_t channel)
{
    if (channels_ == nullptr) {
        return nullptr;
    }
    const int32_t index = channel & 0xFF;
    const int32_t serial = static_cast<int32_t>(static_cast<uint32_t>(channel) >> 8);
    if (index >= channel_count_ || serial == 0 || channels_[index].serial != serial) {
        return nullptr;
    }
    return &channels_[index];
}

void Mixer::route(MixChannel& ch, MixingBuffer* to)
{
    K_ASSERT(ch.mix_buf->inputs > 0);
    --ch.mix_buf->inputs;
    ch.mix_buf = to;
    ++to->inputs;
}

bool Mixer::channel_valid(int32_t channel) { return lookup(channel) != nullptr; }

int32_t Mixer::channel_choose(float priority)
{
    int best = -1;
    float bound = 100.0f;
    for (int i = 0; i < channel_count_; ++i) {
        const MixChannel& ch = channels_[i];
        float score;
        if (ch.hold != 0) {
            score = 100.0f;
        } else if ((ch.flags & MIXCF_PLAYING) == 0) {
            score = 0.0f;
        } else {
            score = ch.volume_priority * ch.volume + ch.priority;
        }
        if (score < bound) {
            best = i;
            bound = score;
            if (score <= 0.0f) {
                break;
            }
        }
    }
    if (best < 0 || priority < bound) {
        return 0;
    }
    MixChannel& ch = channels_[best];
    route(ch, &main_);
    ch.serial = ch.serial >= MIX_MAX_SERIAL ? 1 : ch.serial + 1;
    ch.hold = 1;
    ch.flags &= ~MIXCF_PLAYING;
    return (ch.serial << 8) | best;
}

int Mixer::channel_hold(int32_t channel, int32_t count)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return 0;
    }
    ch->hold = count;
    return 1;
}

int Mixer::channel_start(int32_t channel, SDSample* sample, float priority, float volume_priority)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr || sample == nullptr) {
        return 0;
    }
    MixSample* const s = static_cast<MixSample*>(sample->sdi);
    if (s == nullptr || (s->flags & MIXSM_MAGIC) != MIXS_MAGIC) {
        print_string(P_ERROR, "Mixer: Damaged sample magic in channel_start() !");
        return 0;
    }
    K_ASSERT(s->sdsmp == sample);
    ch->priority = priority;
    ch->volume_priority = volume_priority;
    ch->sample = s;
    ch->pos = 0;
    if ((s->flags & MIXSF_CACHED) == 0 && !s->data_present()) {
        ch->sample = nullptr;
        ch->flags &= ~MIXCF_PLAYING;
        return 0;
    }
    ch->loop_start = s->loop_start;
    ch->end = s->loop_end;
    ch->flags = (s->flags & ~MIXSM_MAGIC) | MIXCF_PLAYING;
    return 1;
}

int Mixer::channel_stop(int32_t channel)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return 0;
    }
    ch->flags &= ~MIXCF_PLAYING;
    ch->sample = nullptr;
    return 1;
}

int Mixer::channel_finished(int32_t channel)
{
    const MixChannel* const ch = lookup(channel);
    return ch == nullptr || (ch->hold == 0 && (ch->flags & MIXCF_PLAYING) == 0) ? 1 : 0;
}

// The position, signed (negative = backward), brought inside the sample:
// into the loop for a looped channel, back to the start past the end of one
// that is not. Magnitudes never pass the data the source delivered.
void Mixer::normalise(MixChannel& ch, int64_t p)
{
    const int64_t s = ch.loop_start;
    const int64_t e = ch.end;
    const int64_t n = static_cast<int64_t>(ch.sample->source_length) << MIX_FRACTION_BITS;
    const bool looped = (ch.flags & MIXSF_LOOPED) != 0;
    const bool bidi = (ch.flags & MIXSF_BIDI) != 0;
    if (p < 0 && bidi) {
        p = -p;
    }
    if (p < 0) {
        p = std::max(p, -n);
    } else if (p > e) {
        if (bidi) {
            p = -std::min(p, n);
        } else if (looped && e > s) {
            const int64_t span = e - s;
            p -= (p - e + span - 1) / span * span;
        } else {
            p = 0;
        }
    }
    if (p < 0) {
        ch.flags |= MIXCF_BACKWARD;
        ch.pos = static_cast<int32_t>(-p);
    } else {
        ch.flags &= ~MIXCF_BACKWARD;
        ch.pos = static_cast<int32_t>(p);
    }
}

int Mixer::channel_set_position(int32_t channel, int32_t position, int direction)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr || ch->sample == nullptr) {
        return 0;
    }
    int64_t p = static_cast<int64_t>(position) << MIX_FRACTION_BITS;
    if (p < 0) {
        p = -p; // the direction says which way; the magnitude is the position
    }
    const bool backward = direction == 2 || (direction != 1 && (ch->flags & MIXCF_BACKWARD) != 0);
    if (ch->sample->data_present()) {
        ch->flags |= MIXCF_PLAYING;
    }
    normalise(*ch, backward ? -p : p);
    return 1;
}

int Mixer::channel_set_loop(int32_t channel, uint32_t loop_flags, int32_t start, int32_t end)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr || ch->sample == nullptr) {
        return 0;
    }
    const MixSample& s = *ch->sample;
    const int64_t limit = static_cast<int64_t>(s.source_length) << MIX_FRACTION_BITS;
    int64_t ls = start == -1 ? s.loop_start : static_cast<int64_t>(start) << MIX_FRACTION_BITS;
    int64_t le = end == -1 ? s.loop_end : static_cast<int64_t>(end) << MIX_FRACTION_BITS;
    ls = std::clamp<int64_t>(ls, 0, limit);
    le = std::clamp<int64_t>(le, 0, limit);
    uint32_t bits = loop_flags & (MIXSF_LOOPED | MIXSF_BIDI);
    if ((bits & MIXSF_BIDI) != 0) {
        bits |= MIXSF_LOOPED;
    }
    if (bits != 0 && ls >= le) {
        bits = 0; // a loop that spans nothing is no loop
    }
    ch->flags = (ch->flags & ~(MIXSF_LOOPED | MIXSF_BIDI)) | bits;
    ch->loop_start = static_cast<int32_t>(ls);
    ch->end = static_cast<int32_t>(le);
    const int64_t p = ch->pos;
    normalise(*ch, (ch->flags & MIXCF_BACKWARD) != 0 ? -p : p);
    return 1;
}

bool Mixer::channel_set_priority(int32_t channel, float priority, float volume_priority)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return false;
    }
    ch->priority = priority;
    ch->volume_priority = volume_priority;
    return true;
}

int Mixer::channel_set_frequency(int32_t channel, int32_t hz)
{
    if (lookup(channel) == nullptr) {
        return 0;
    }
    const int32_t f = std::clamp(hz, 0, MIX_MAX_FREQUENCY);
    const int slot = stream_find_channel(channel);
    if (slot < 0) {
        lookup(channel)->frequency = f;
        return 1;
    }
    for (int i = 0; i < streams_[slot].count; ++i) {
        MixChannel* const ch = lookup(streams_[slot].entry[i].channel);
        if (ch != nullptr) {
            ch->frequency = f;
        }
    }
    return 1;
}

int Mixer::channel_set_volume(int32_t channel, float volume)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return 0;
    }
    ch->volume = volume > 0.0f ? std::min(volume, 1.0f) : 0.0f;
    return 1;
}

int Mixer::channel_set_pan(int32_t channel, float pan)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return 0;
    }
    ch->pan = pan;
    if (pan == SD_UNPANNED) {
        ch->pan_pos = MIX_PAN_NONE;
        return 1;
    }
    const float p = std::isnan(pan) ? 0.0f : std::clamp(pan, -1.0f, 1.0f);
    ch->pan_pos = std::clamp(float_to_int_trunc((p + 1.0f) * 128.0f), 0, 255);
    return 1;
}

int Mixer::channel_route(int32_t channel, MixingBuffer* buffer)
{
    MixChannel* const ch = lookup(channel);
    if (ch == nullptr) {
        return 0;
    }
    route(*ch, buffer != nullptr ? buffer : &main_);
    return 1;
}
