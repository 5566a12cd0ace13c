#pragma once
// What a sound device calls back into: the owner of a sample's data, the
// source of a stream, the owner of a timer. Each answers its defaults when it
// does not serve that call.
#include <cstdint>

struct SDSample;

class SoundDeviceClient {
public:
    virtual ~SoundDeviceClient() = default;
    // Reads the whole sample into destination (length samples of its width); non-zero on success.
    virtual int read_sample_data(SDSample* sample, void* destination);
    // Writes up to `samples` samples of each stream channel at out[channel];
    // the samples written, or a negative count at the end of the data.
    virtual int32_t fill_stream(void* const* out, int32_t stream, int32_t samples);
    virtual void timer_tick();
};
