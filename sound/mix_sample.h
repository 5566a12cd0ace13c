#pragma once
// MixSample: the mixer's record of one device sample. Its data, converted
// once to the unsigned form the loops read and followed by guard samples, is
// a cache owner's block: KHeap may drop it and the mixer reads it again from
// the descriptor's source when a channel next starts the sample.
#include "core/cache_owner.h"

#include <cstdint>

struct SDSample;

constexpr uint32_t MIXS_MAGIC = 0x534D0000;
constexpr uint32_t MIXSM_MAGIC = 0xFFFF0000;
constexpr uint32_t MIXSF_16BIT = 0x01;
constexpr uint32_t MIXSF_UNSIGNED = 0x02;
constexpr uint32_t MIXSF_LOOPED = 0x04;
constexpr uint32_t MIXSF_BIDI = 0x08;
constexpr uint32_t MIXSF_NO_INTERPOLATION = 0x10;
constexpr uint32_t MIXSF_KEEP = 0x80;      // data owned by the record, not by the cache
constexpr uint32_t MIXSF_RESIDENT = 0x100; // data always present
constexpr uint32_t MIXSF_CACHED = 0x200;   // data present
constexpr uint32_t MIXSF_USED = 0x400;

// Bytes after the last sample: room for the guard samples.
constexpr int32_t MIX_GUARD_BYTES = 32;

class MixSample final : public CacheOwner {
public:
    // Allocated in a block of its own ("MixSample"); null when that fails.
    static MixSample* create(SDSample* descriptor);

    ~MixSample() override;
    // Reads, converts and pads the data; non-zero on success.
    int load(uintptr_t argument) override;
    // Frees the data unless the record keeps it.
    void drop() override;

    // Whether the data is there, reading it when it can be read.
    bool data_present();
    // Frees data that the record keeps (stream rings, kept samples).
    void free_kept_data();

    SDSample* sdsmp;            // the descriptor; its sdi points back here
    uint8_t* data = nullptr;    // null while dropped
    int32_t loop_start = 0;     // fixed point, 11-bit fraction
    int32_t loop_end = 0;
    int32_t length = 0;         // with the guard samples appended at load
    uint32_t flags;             // MIXS_MAGIC | MIXSF_* bits
    int32_t source_length;      // samples the source delivers (the descriptor's length at creation)

private:
    explicit MixSample(SDSample* descriptor);
    void add_guard_samples(int32_t width, int32_t loop_start, int32_t loop_end, bool looped, bool bidi,
                           int32_t* new_length);
};
