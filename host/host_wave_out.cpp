// Wave output over SDL audio. SDL pulls output through a callback on its own
// thread in chunks of its own size; the callback feeds them from the queue of
// engine buffers (WaveQueue::consume), which keeps the exact count of frames
// played. Main-thread changes of the queue hold SDL's device lock.
#include "host/host_wave_out.h"

#include "host/host_wave_queue.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace host {

bool wave_format_in_caps(const WaveFormat& format, uint32_t formats)
{
    struct Row {
        uint32_t bit;
        uint16_t channels;
        uint16_t bits;
        uint32_t rate;
    };
    static constexpr Row rows[] = {
        {WAVE_FORMAT_1M08, 1, 8, 11025},  {WAVE_FORMAT_1S08, 2, 8, 11025},  {WAVE_FORMAT_1M16, 1, 16, 11025},
        {WAVE_FORMAT_1S16, 2, 16, 11025}, {WAVE_FORMAT_2M08, 1, 8, 22050},  {WAVE_FORMAT_2S08, 2, 8, 22050},
        {WAVE_FORMAT_2M16, 1, 16, 22050}, {WAVE_FORMAT_2S16, 2, 16, 22050}, {WAVE_FORMAT_4M08, 1, 8, 44100},
        {WAVE_FORMAT_4S08, 2, 8, 44100},  {WAVE_FORMAT_4M16, 1, 16, 44100}, {WAVE_FORMAT_4S16, 2, 16, 44100},
    };
    for (const Row& r : rows) {
        if ((formats & r.bit) != 0 && r.channels == format.channels && r.bits == format.bits && r.rate == format.rate) {
            return true;
        }
    }
    return false;
}

namespace {

// SDL resamples and converts for us, so any PCM format in this range plays.
constexpr uint32_t SDL_MIN_RATE = 1000;
constexpr uint32_t SDL_MAX_RATE = 384000;

bool format_valid(const WaveFormat& f)
{
    return (f.channels == 1 || f.channels == 2) && (f.bits == 8 || f.bits == 16) && f.rate >= SDL_MIN_RATE &&
           f.rate <= SDL_MAX_RATE;
}

SDL_AudioSpec spec_of(const WaveFormat& f)
{
    SDL_AudioSpec spec{};
    spec.freq = static_cast<int>(f.rate);
    spec.format = f.bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
    spec.channels = static_cast<Uint8>(f.channels);
    // About 10 ms a chunk, a power of two as some drivers want.
    Uint16 samples = 256;
    while (samples < 4096 && samples * 100u < f.rate) {
        samples = static_cast<Uint16>(samples * 2);
    }
    spec.samples = samples;
    return spec;
}

int open_error()
{
    const char* const e = SDL_GetError();
    return (e != nullptr && (std::strstr(e, "busy") != nullptr || std::strstr(e, "Busy") != nullptr))
               ? MMSYSERR_ALLOCATED
               : MMSYSERR_ERROR;
}

class SdlWaveDevice final : public WaveQueue {
public:
    SdlWaveDevice(const WaveFormat& format, WaveOutCallback callback, void* instance)
        : WaveQueue(format, callback, instance)
    {
    }

    SDL_AudioDeviceID id = 0;

    int pause() override
    {
        SDL_PauseAudioDevice(id, 1);
        return MMSYSERR_NOERROR;
    }
    int restart() override
    {
        SDL_PauseAudioDevice(id, 0);
        return MMSYSERR_NOERROR;
    }

    static void SDLCALL feed(void* userdata, Uint8* stream, int len)
    {
        static_cast<SdlWaveDevice*>(userdata)->consume(stream, static_cast<uint32_t>(len));
    }

protected:
    void lock() override { SDL_LockAudioDevice(id); }
    void unlock() override { SDL_UnlockAudioDevice(id); }
};

class SdlWaveOut final : public WaveOut {
public:
    int device_count() override
    {
        if (!start()) {
            return 0;
        }
        const int n = SDL_GetNumAudioDevices(0);
        // Drivers that list no devices (dummy, disk) still have the default one.
        return n > 0 ? n : 1;
    }

    int get_caps(int device, WaveOutCaps* caps) override
    {
        if (caps == nullptr) {
            return MMSYSERR_INVALPARAM;
        }
        if (!start() || device < WAVE_MAPPER || device >= device_count()) {
            return MMSYSERR_BADDEVICEID;
        }
        *caps = WaveOutCaps{};
        const char* name = device >= 0 ? SDL_GetAudioDeviceName(device, 0) : nullptr;
        if (name == nullptr) {
            name = SDL_GetCurrentAudioDriver();
        }
        std::snprintf(caps->name, sizeof caps->name, "SDL %s", name != nullptr ? name : "audio");
        caps->formats = 0xFFF;
        caps->channels = 2;
        caps->support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;
        return MMSYSERR_NOERROR;
    }

    int query(int device, const WaveFormat& format) override
    {
        if (!start() || device < WAVE_MAPPER || device >= device_count()) {
            return MMSYSERR_BADDEVICEID;
        }
        return format_valid(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
    }

    int open(int device, const WaveFormat& format, WaveOutCallback callback, void* instance,
             WaveOutDevice** out) override
    {
        if (out == nullptr) {
            return MMSYSERR_INVALPARAM;
        }
        *out = nullptr;
        const int q = query(device, format);
        if (q != MMSYSERR_NOERROR) {
            return q;
        }
        SdlWaveDevice* const d = new SdlWaveDevice(format, callback, instance);
        SDL_AudioSpec want = spec_of(format);
        want.callback = &SdlWaveDevice::feed;
        want.userdata = d;
        SDL_AudioSpec have{};
        const char* const name = device >= 0 && SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(device, 0)
                                                                               : nullptr;
        d->id = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
        if (d->id == 0) {
            delete d;
            return open_error();
        }
        SDL_PauseAudioDevice(d->id, 0);
        *out = d;
        return MMSYSERR_NOERROR;
    }

    int close(WaveOutDevice* device) override
    {
        SdlWaveDevice* const d = dynamic_cast<SdlWaveDevice*>(device);
        if (d == nullptr) {
            return MMSYSERR_INVALHANDLE;
        }
        // Closing waits for a running callback, so nothing touches the queue afterwards.
        SDL_CloseAudioDevice(d->id);
        d->drain();
        delete d;
        return MMSYSERR_NOERROR;
    }

private:
    // A driver that initialises but cannot open its default device (ALSA
    // with no sound card) counts as no device at all.
    bool start()
    {
        if (started_) {
            return usable_;
        }
        started_ = true;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return usable_ = false;
        }
        SDL_AudioSpec want = spec_of(WaveFormat{});
        want.callback = nullptr;
        SDL_AudioSpec have{};
        const SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (probe == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return usable_ = false;
        }
        SDL_CloseAudioDevice(probe);
        return usable_ = true;
    }

    bool started_ = false;
    bool usable_ = false;
};

SdlWaveOut sdl_wave_out;
WaveOut* current = &sdl_wave_out;

} // namespace

WaveOut& wave_out() { return *current; }

WaveOut* set_wave_out(WaveOut* w)
{
    WaveOut* const previous = current == &sdl_wave_out ? nullptr : current;
    current = w != nullptr ? w : &sdl_wave_out;
    return previous;
}

} // namespace host
