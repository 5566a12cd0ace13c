#include "sound/sd_wave.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/numerics.h"
#include "core/print.h"
#include "host/host_clock.h"
#include "host/host_wave_out.h"
#include "core/timer.h"
#include "sound/mix_loops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

using namespace host;

const SDWaveFormatRow sdwave_formats[SDWAVE_FORMAT_ROWS] = {
    {WAVE_FORMAT_4S16, 3, 44100}, {WAVE_FORMAT_2S16, 3, 22050}, {WAVE_FORMAT_4M16, 2, 44100},
    {WAVE_FORMAT_2M16, 2, 22050}, {WAVE_FORMAT_4S08, 5, 44100}, {WAVE_FORMAT_2S08, 5, 22050},
    {WAVE_FORMAT_4M08, 4, 44100}, {WAVE_FORMAT_2M08, 4, 22050}, {WAVE_FORMAT_1S16, 3, 11025},
    {WAVE_FORMAT_1M16, 2, 11025}, {WAVE_FORMAT_1S08, 5, 11025}, {WAVE_FORMAT_1M08, 4, 11025},
};

namespace {

WaveFormat format_of(const SDSettings& s)
{
    WaveFormat f;
    f.channels = (s.flags & SDF_STEREO) != 0 ? 2 : 1;
    f.bits = (s.flags & SDF_16BIT) != 0 ? 16 : 8;
    f.rate = static_cast<uint32_t>(s.rate);
    return f;
}

const char* yes_no(uint32_t bit) { return bit != 0 ? "yes" : "no"; }

// Polls while closing waits for the driver; bounds the wait even when the
// engine clock stands still.
constexpr int CLOSE_POLLS = 4000;

} // namespace

SDWave::~SDWave() { shutdown(); }

void SDWave::shutdown()
{
    close();
    // The device object outlives the heap its mixer's tables live in.
    release();
}

void SDWave::done_callback(void* instance, uint32_t message)
{
    if (message == WOM_DONE) {
        static_cast<SDWave*>(instance)->completion_.store(time_get_time());
    }
}

int SDWave::get_caps(SDCaps* caps)
{
    WaveOut& w = wave_out();
    WaveOutCaps wc;
    const SDWaveFormatRow* row = nullptr;
    if (w.device_count() >= 1 && w.get_caps(device_id_, &wc) == MMSYSERR_NOERROR &&
        (wc.support & WAVECAPS_SYNC) == 0) {
        for (const SDWaveFormatRow& r : sdwave_formats) {
            if ((wc.formats & r.capability) != 0) {
                row = &r;
                break;
            }
        }
    }
    if (row == nullptr) {
        if (caps != nullptr) {
            *caps = SDCaps::none();
        }
        return 0;
    }
    if (caps != nullptr) {
        *caps = SDCaps{};
        caps->max_channels = MIX_CHANNELS;
        caps->default_channels = 32;
        caps->supported_flags = row->flags;
        caps->default_flags = row->flags | SDF_INTERPOLATE;
        caps->max_rate = row->rate;
        caps->default_rate = std::min(row->rate, 22050);
        caps->modes = SDM_TRACK_POSITION | SDM_RESERVED;
    }
    return 1;
}

int SDWave::configure(SDSettings* settings)
{
    K_ASSERT(settings);
    SDCaps caps;
    if (get_caps(&caps) == 0) {
        return 0;
    }
    WaveOut& w = wave_out();
    WaveOutCaps wc;
    w.get_caps(device_id_, &wc);
    std::memcpy(device_name_, wc.name, sizeof device_name_);
    device_name_[sizeof device_name_ - 1] = '\0';

    if (settings->channels == 0) {
        settings->channels = caps.default_channels;
    }
    if (settings->rate == 0) {
        settings->rate = caps.default_rate;
    }
    if (settings->flags == SDF_DEFAULT) {
        settings->flags = caps.default_flags;
    }
    int r = w.query(device_id_, format_of(*settings));
    if (r != MMSYSERR_NOERROR) {
        const int32_t rate = settings->rate < 11026 ? 11025 : (settings->rate < 22051 ? 22050 : 44100);
        const uint32_t shape = settings->flags & (SDF_STEREO | SDF_16BIT);
        int i = 0;
        while (i < SDWAVE_FORMAT_ROWS &&
               !((sdwave_formats[i].flags & (SDF_STEREO | SDF_16BIT)) == shape && sdwave_formats[i].rate == rate)) {
            ++i;
        }
        while (i < SDWAVE_FORMAT_ROWS && (wc.formats & sdwave_formats[i].capability) == 0) {
            ++i;
        }
        if (i == SDWAVE_FORMAT_ROWS) {
            print_format(P_MESSAGE, "SDWave: %s seems to be pretty useless", device_name_);
            return 0;
        }
        settings->flags = sdwave_formats[i].flags;
        settings->rate = sdwave_formats[i].rate;
        r = w.query(device_id_, format_of(*settings));
        if (r == MMSYSERR_ALLOCATED) {
            print_string(P_WARNING, "SDWave: Device is used by another application");
            return 0;
        }
        if (r == WAVERR_BADFORMAT) {
            print_string(P_ERROR, "SDWave: Supported format is bad !");
            return 0;
        }
        if (r != MMSYSERR_NOERROR) {
            print_string(P_ERROR, "SDWave: waveOutOpen failed !");
            return 0;
        }
    }
    if ((settings->flags & SDF_16BIT) != 0) {
        settings->flags &= ~SDF_UNSIGNED;
    } else {
        settings->flags |= SDF_UNSIGNED;
    }
    return 1;
}

int SDWave::init(const SDSettings* settings)
{
    K_ASSERT(settings);
    shutdown();
    if ((settings->mode & ~(SDM_TRACK_POSITION | SDM_RESERVED)) != 0) {
        return 0;
    }
    count_ = SDWAVE_DEFAULT_BUFFERS;
    device_id_ = WAVE_MAPPER;
    if (cvar_list != nullptr) {
        if (const ConfigVariable* v = cvar_list->find("Wave_Device")) {
            device_id_ = v->int_value();
        }
        if (const ConfigVariable* v = cvar_list->find("Wave_Buffers")) {
            count_ = v->int_value();
        }
    }
    count_ = std::clamp(count_, 1, SDWAVE_MAX_BUFFERS);

    SDSettings s = *settings;
    if (configure(&s) == 0) {
        return 0;
    }
    store_settings(s);
    if (Mixer::init() == 0) {
        return 0;
    }

    float length = settings_.buffer_length;
    if (!(length > 0.0f)) {
        length = SDWAVE_DEFAULT_BUFFER_LENGTH;
    }
    length = std::min(length, SDWAVE_MAX_BUFFER_LENGTH);
    const int32_t bytes_per_second = settings_.rate << frame_shift();
    int32_t bytes = float_to_int_trunc(static_cast<double>(bytes_per_second) * length / count_);
    bytes = std::max((bytes + SDWAVE_BUFFER_ALIGN - 1) / SDWAVE_BUFFER_ALIGN * SDWAVE_BUFFER_ALIGN,
                     SDWAVE_BUFFER_ALIGN);
    buffer_bytes_ = bytes;
    settings_.buffer_length = static_cast<float>(count_) * static_cast<float>(bytes) / bytes_per_second;
    stuck_threshold_ = static_cast<float>(count_ * static_cast<double>(bytes) * 4.0 / bytes_per_second);
    print_format(P_DEBUG, "Wave buffer length = %d bytes, using %d buffers", buffer_bytes_, count_);

    WaveOutCaps wc;
    wave_out().get_caps(device_id_, &wc);
    accurate_ = (wc.support & WAVECAPS_SAMPLEACCURATE) != 0;
    if (!open()) {
        return 0;
    }
    print_format(P_DEBUG, "SDWave: Using %s:\n", device_name_);
    print_format(P_DEBUG,
                 "    pitch control: %s\n    playback rate control: %s\n    volume control: %s\n"
                 "    channels: %d\n    blocking: %s\n    accurate: %s",
                 yes_no(wc.support & WAVECAPS_PITCH), yes_no(wc.support & WAVECAPS_PLAYBACKRATE),
                 yes_no(wc.support & WAVECAPS_VOLUME), wc.channels, yes_no(wc.support & WAVECAPS_SYNC),
                 yes_no(wc.support & WAVECAPS_SAMPLEACCURATE));
    return 1;
}

bool SDWave::open()
{
    close();
    WaveOut& w = wave_out();
    const WaveOutCallback callback = tracking() && !accurate_ ? &SDWave::done_callback : nullptr;
    const int r = w.open(device_id_, format_of(settings_), callback, this, &handle_);
    if (r != MMSYSERR_NOERROR) {
        handle_ = nullptr;
        if (r == MMSYSERR_ALLOCATED) {
            print_string(P_WARNING, "SDWave: Device is used by another application");
        } else {
            print_format(P_ERROR, "SDWave: Can't open device (code 0x%x) !", static_cast<unsigned>(r));
        }
        return false;
    }
    open_ = true;

    void* const p = kheap_alloc(sizeof(WaveHeader) * count_, KHEAP_FROM_BOTTOM, "WaveHeaders");
    if (p == nullptr) {
        print_string(P_ERROR, "SDWave: Can't allocate wave headers");
        close();
        return false;
    }
    headers_ = static_cast<WaveHeader*>(p);
    for (int i = 0; i < count_; ++i) {
        WaveHeader* const h = new (&headers_[i]) WaveHeader;
        h->length = static_cast<uint32_t>(buffer_bytes_);
        h->flags.store(WHDR_DONE);
        ring_[i] = h;
    }

    for (int i = 0; i < count_; ++i) {
        WaveHeader* const h = &headers_[i];
        char name[24];
        std::snprintf(name, sizeof name, "WaveData[%d]", i);
        h->data = static_cast<uint8_t*>(kheap_alloc(static_cast<size_t>(buffer_bytes_), KHEAP_FROM_BOTTOM, name));
        if (h->data == nullptr) {
            print_format(P_ERROR, "SDWave: Failed to allocate buffer %d !", i);
            close();
            return false;
        }
        fill_silence(h->data, static_cast<size_t>(buffer_bytes_), settings_.flags);
        const char* failure = nullptr;
        if (handle_->prepare(h) != MMSYSERR_NOERROR) {
            failure = format_temp("SDWave: Failed to prepare buffer %d !", i);
        } else if (handle_->write(h) != MMSYSERR_NOERROR) {
            failure = "SDWave: Failed to write buffer !";
        }
        if (failure != nullptr) {
            print_string(P_ERROR, failure);
            close();
            return false;
        }
    }
    paused_ = false;
    // The oldest queued buffer, the first of silence, starts at the driver's position 0.
    base_pos_ = 0;
    return true;
}

void SDWave::close()
{
    if (open_) {
        open_ = false;
        paused_ = true;
        handle_->reset();
        const double start = sys_time();
        for (int polls = 0; headers_ != nullptr; ++polls) {
            bool all_done = true;
            for (int i = 0; i < count_; ++i) {
                if (headers_[i].data != nullptr && (headers_[i].flags.load() & WHDR_DONE) == 0) {
                    all_done = false;
                }
            }
            if (all_done) {
                break;
            }
            if (sys_time() - start > SDWAVE_CLOSE_TIMEOUT || polls >= CLOSE_POLLS) {
                print_string(P_WARNING, "SDWave: Timeout in wait-until-all-buffers-are-done !");
                break;
            }
            sleep_milliseconds(1);
        }
        for (int i = 0; headers_ != nullptr && i < count_; ++i) {
            if (headers_[i].data != nullptr && handle_->unprepare(&headers_[i]) != MMSYSERR_NOERROR) {
                print_format(P_ERROR, "SDWave: Can't unprepare buffer %d !", i);
            }
        }
        // The driver lets go of every buffer when it closes; only then is their memory freed.
        wave_out().close(handle_);
        for (int i = 0; headers_ != nullptr && i < count_; ++i) {
            if (headers_[i].data != nullptr) {
                kheap_release(headers_[i].data);
            }
            headers_[i].~WaveHeader();
        }
        if (headers_ != nullptr) {
            kheap_release(headers_);
        }
        headers_ = nullptr;
    }
    handle_ = nullptr;
}

bool SDWave::fill_buffers()
{
    if (!open_) {
        return false;
    }
    const double start = sys_time();
    int written = 0;
    while (written < count_ && (ring_[0]->flags.load() & WHDR_DONE) != 0) {
        WaveHeader* const h = ring_[0];
        render(h->data, buffer_bytes_);
        if (handle_->write(h) != MMSYSERR_NOERROR) {
            print_string(P_WARNING, "SDWave: Failed to write buffer !");
        }
        for (int i = 1; i < count_; ++i) {
            ring_[i - 1] = ring_[i];
        }
        ring_[count_ - 1] = h;
        if (tracking()) {
            h->user = 0;
            base_pos_ += buffer_frames();
        }
        ++written;
    }
    if (written == 0) {
        render(nullptr, 0);
    } else if (tracking() && !accurate_) {
        const uint32_t done = completion_.exchange(0);
        ring_[0]->user = done != 0 ? done : time_get_time();
    }
    mix_time_ += static_cast<float>(sys_time() - start);
    return written > 0;
}

void SDWave::update()
{
    const float now = static_cast<float>(sys_time());
    if (paused_) {
        last_refill_ = now;
    } else if (last_refill_ != 0.0f && now - last_refill_ > stuck_threshold_) {
        print_string(P_DEBUG, "SDWave: Playback stuck ! (?)");
        reopen_ = true;
    }
    if (reopen_) {
        print_string(P_DEBUG, "SDWave: Trying to reopen WaveOut...");
        if (open()) {
            reopen_ = false;
            last_refill_ = 0.0f;
        }
    }
    if (!reopen_ && fill_buffers()) {
        last_refill_ = now;
    }
}

void SDWave::pause()
{
    if (handle_ != nullptr) {
        handle_->pause();
    }
    paused_ = true;
}

void SDWave::stop()
{
    if (handle_ != nullptr) {
        handle_->reset();
        handle_->pause();
    }
    paused_ = true;
}

void SDWave::resume()
{
    if (handle_ != nullptr) {
        handle_->restart();
    }
    paused_ = false;
}

int SDWave::peek_output(void* buffer, int32_t frames)
{
    if (!tracking() || buffer == nullptr || frames <= 0) {
        return 0;
    }
    fill_buffers();
    if (!open_ || (ring_[0]->flags.load() & WHDR_DONE) != 0) {
        return 0;
    }
    const int shift = frame_shift();
    int64_t offset;
    if (accurate_) {
        uint32_t position = 0;
        handle_->position(&position);
        while (static_cast<int64_t>(position) < base_pos_) {
            print_string(P_DEBUG, "WaveOut: base_pos missed !");
            base_pos_ -= buffer_frames();
        }
        offset = static_cast<int64_t>(position) - base_pos_;
    } else {
        const uint32_t elapsed = time_get_time() - ring_[0]->user;
        offset = static_cast<int64_t>(elapsed) * settings_.rate / 1000;
    }
    // A request longer than one buffer gets the whole buffer and silence after it.
    const int32_t n = std::min(frames, buffer_frames());
    const int64_t want = static_cast<int64_t>(n) << shift;
    int64_t start = (offset << shift) - want / 2;
    start = std::min<int64_t>(start, buffer_bytes_ - want);
    start = std::max<int64_t>(start, 0);
    uint8_t* const out = static_cast<uint8_t*>(buffer);
    std::memcpy(out, ring_[0]->data + start, static_cast<size_t>(want));
    const size_t rest = (static_cast<size_t>(frames) << shift) - static_cast<size_t>(want);
    fill_silence(out + want, rest, settings_.flags);
    return 1;
}
