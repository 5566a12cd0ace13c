#pragma once
// SampleCache: sound files by name as samples the device can play. A new
// name costs one header parse; the data is read through the sample's codec
// only when the device asks for it, and again whenever the device dropped it.
// Names compare without regard to case.
#include "sound/sound_device_client.h"

#include <cstdint>

class SoundDevice;
struct SCSample;
struct SDSample;

// Bytes of a file read for the header parse.
constexpr int32_t SC_HEADER_BYTES = 1024;

class SampleCache final : public SoundDeviceClient {
public:
    explicit SampleCache(SoundDevice* device);
    ~SampleCache() override;
    SampleCache(const SampleCache&) = delete;
    SampleCache& operator=(const SampleCache&) = delete;

    // The sample of that file, parsing its header when it is new; null when
    // the file is missing, refused, or its name too long to keep.
    // codec_index -1 asks the automatic choice (row 0 only), 0 or 1 one row.
    SCSample* get(const char* name, int codec_index);
    int read_sample_data(SDSample* sample, void* destination) override;
    // 1, or 0 when the sample is not in this cache.
    int remove(SCSample* sample);
    void clear();

    const SCSample* first() const { return samples_; }

private:
    void free_sample(SCSample* s);

    SoundDevice* device_;
    SCSample* samples_ = nullptr; // newest first
    SCSample* spare_ = nullptr;   // left by a failed lookup
};
