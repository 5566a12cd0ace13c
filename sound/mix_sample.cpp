#include "sound/mix_sample.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "sound/mix_loops.h"
#include "sound/sound_device.h"

#include <cstring>
#include <new>

namespace {

// Kept data lies outside the cacheable area, since the heap frees every
// cacheable block of an owner it evicts.
void* alloc_data(size_t bytes, MixSample* owner, bool keep)
{
    if (!keep && kheap != nullptr && kheap->area() != nullptr) {
        return kheap->alloc_cacheable(bytes, owner, KHEAP_FROM_TOP, "MixSample data");
    }
    return kheap_alloc(bytes, KHEAP_FROM_TOP, "MixSample data");
}

} // namespace

MixSample::MixSample(SDSample* descriptor)
    : sdsmp(descriptor), flags(MIXS_MAGIC | MIXSF_USED), source_length(descriptor->length)
{
}

MixSample* MixSample::create(SDSample* descriptor)
{
    void* const p = kheap_alloc(sizeof(MixSample), KHEAP_FROM_BOTTOM, "MixSample");
    return p != nullptr ? new (p) MixSample(descriptor) : nullptr;
}

MixSample::~MixSample() { K_ASSERT(flags == MIXS_MAGIC); }

void MixSample::free_kept_data()
{
    if (data != nullptr) {
        K_ASSERT(flags & MIXSF_KEEP);
        kheap_release(data);
        data = nullptr;
    }
    flags &= ~MIXSF_CACHED;
}

void MixSample::drop()
{
    K_ASSERT((flags & (MIXSF_USED | MIXSF_CACHED)) == (MIXSF_USED | MIXSF_CACHED));
    if ((flags & MIXSF_KEEP) != 0) {
        return;
    }
    flags &= ~MIXSF_CACHED;
    kheap_release(data);
    data = nullptr;
}

bool MixSample::data_present()
{
    if ((flags & MIXSF_USED) == 0) {
        return false;
    }
    if ((flags & MIXSF_RESIDENT) != 0) {
        return true;
    }
    if (sdsmp->source == nullptr) {
        return (flags & MIXSF_CACHED) != 0;
    }
    return touch() != 0;
}

int MixSample::load(uintptr_t)
{
    K_ASSERT(flags & MIXSF_USED);
    K_ASSERT(sdsmp->sdi == this);
    const bool keep = (sdsmp->flags & SDSF_KEEP) != 0;
    if (keep && data != nullptr) {
        return 1; // kept data survives an eviction from the list
    }
    const int32_t n = source_length;
    const int32_t width = (sdsmp->flags & SDSF_16BIT) != 0 ? 2 : 1;
    const size_t bytes = static_cast<size_t>(n) * width + MIX_GUARD_BYTES;
    uint8_t* const block = static_cast<uint8_t*>(alloc_data(bytes, this, keep));
    if (block == nullptr) {
        return 0;
    }
    if (sdsmp->source == nullptr || sdsmp->source->read_sample_data(sdsmp, block) == 0) {
        kheap_release(block);
        return 0;
    }
    data = block;

    if ((sdsmp->flags & SDSF_UNSIGNED) == 0) {
        uint8_t* p = block + (width - 1);
        for (int32_t i = 0; i < n; ++i, p += width) {
            *p ^= 0x80;
        }
    }

    // Loop points from the descriptor, kept inside the data; a loop that does
    // not span at least one sample plays as no loop.
    bool looped = (sdsmp->flags & (SDSF_LOOPED | SDSF_BIDI)) != 0;
    bool bidi = (sdsmp->flags & SDSF_BIDI) != 0;
    int32_t ls = sdsmp->loop_start < 0 ? 0 : sdsmp->loop_start;
    int32_t le = sdsmp->loop_end > n ? n : sdsmp->loop_end;
    if (looped && ls >= le) {
        looped = bidi = false;
        ls = 0;
        le = n;
    }
    int32_t grown = n;
    add_guard_samples(width, ls, le, looped, bidi, &grown);
    sdsmp->length = grown;

    loop_start = ls << MIX_FRACTION_BITS;
    loop_end = (le < 0 ? 0 : le) << MIX_FRACTION_BITS;
    length = grown << MIX_FRACTION_BITS;
    uint32_t f = (static_cast<uint32_t>(sdsmp->flags) & 0x9D) | 0x602;
    f &= ~(MIXSF_LOOPED | MIXSF_BIDI);
    f |= (looped ? MIXSF_LOOPED : 0) | (bidi ? MIXSF_BIDI : 0);
    flags = MIXS_MAGIC | f;
    return 1;
}

// Samples after the data so that the loops, which read one sample ahead and
// never test bounds, read what playing on would give: the loop's start (or,
// for a ping-pong loop, the samples before its end backwards) when the loop
// ends at the data's end, else the last sample again.
void MixSample::add_guard_samples(int32_t width, int32_t ls, int32_t le, bool looped, bool bidi, int32_t* new_length)
{
    const int32_t n = source_length;
    const int32_t slots = MIX_GUARD_BYTES / width;
    const int32_t near = width == 2 ? 2 : 4;
    if (looped && le >= n - near) {
        const int32_t span = le - ls;
        for (int32_t k = 0; k < slots; ++k) {
            int32_t src;
            if (bidi) {
                const int32_t j = k % (2 * span);
                src = j < span ? le - 1 - j : ls + (j - span);
            } else {
                src = ls + k % span;
            }
            std::memcpy(data + static_cast<size_t>(le + k) * width, data + static_cast<size_t>(src) * width, width);
        }
        *new_length = le + slots;
        return;
    }
    const int32_t repeat = width == 2 ? 4 : 8;
    for (int32_t k = 0; k < repeat; ++k) {
        std::memcpy(data + static_cast<size_t>(n + k) * width, data + static_cast<size_t>(n - 1) * width, width);
    }
    *new_length = n + repeat;
}
