#include "host/host_wave_out_fake.h"

#include <cstring>

namespace host {

int FakeWaveDevice::pause()
{
    paused = true;
    return MMSYSERR_NOERROR;
}

int FakeWaveDevice::restart()
{
    paused = false;
    return MMSYSERR_NOERROR;
}

int FakeWaveDevice::reset()
{
    ++resets;
    return reset_keeps_buffers ? MMSYSERR_NOERROR : WaveQueue::reset();
}

int FakeWaveDevice::position(uint32_t* frames)
{
    const int r = WaveQueue::position(frames);
    if (r == MMSYSERR_NOERROR) {
        *frames += static_cast<uint32_t>(position_offset);
    }
    return r;
}

uint32_t FakeWaveDevice::step(uint32_t frames)
{
    if (paused) {
        return 0;
    }
    const uint32_t bytes = frames * format().block_align();
    const size_t at = played.size();
    played.resize(at + bytes);
    return consume(played.data() + at, bytes) / format().block_align();
}

WaveOutCaps FakeWaveOut::default_caps()
{
    WaveOutCaps c;
    std::strcpy(c.name, "Fake wave out");
    c.formats = 0xFFF;
    c.channels = 2;
    c.support = WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE;
    return c;
}

int FakeWaveOut::get_caps(int device, WaveOutCaps* out)
{
    if (out == nullptr || device < WAVE_MAPPER || device >= devices) {
        return MMSYSERR_BADDEVICEID;
    }
    if (caps_result != MMSYSERR_NOERROR) {
        return caps_result;
    }
    *out = caps;
    return MMSYSERR_NOERROR;
}

int FakeWaveOut::query(int device, const WaveFormat& format)
{
    if (device < WAVE_MAPPER || device >= devices) {
        return MMSYSERR_BADDEVICEID;
    }
    if (accept) {
        return accept(format);
    }
    return wave_format_in_caps(format, caps.formats) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

int FakeWaveOut::open(int device, const WaveFormat& format, WaveOutCallback callback, void* instance,
                      WaveOutDevice** out)
{
    *out = nullptr;
    last_device = device;
    last_format = format;
    if (open_result != MMSYSERR_NOERROR) {
        const int r = open_result;
        if (once_open_result) {
            open_result = MMSYSERR_NOERROR;
        }
        return r;
    }
    if (open_ != nullptr) {
        return MMSYSERR_ALLOCATED;
    }
    const int q = query(device, format);
    if (q != MMSYSERR_NOERROR) {
        return q;
    }
    ++opens;
    open_ = new FakeWaveDevice(format, callback, instance);
    *out = open_;
    return MMSYSERR_NOERROR;
}

int FakeWaveOut::close(WaveOutDevice* device)
{
    if (device == nullptr || device != open_) {
        return MMSYSERR_INVALHANDLE;
    }
    ++closes;
    open_->drain();
    delete open_;
    open_ = nullptr;
    return MMSYSERR_NOERROR;
}

} // namespace host
