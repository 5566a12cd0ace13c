#include "core/kheap_free_index.h"

#include <cstring>
#include <new>

int KHeapFreeIndex::init(uint8_t* area, uint32_t size)
{
    release();
    area_ = area;
    units_ = size / KHEAP_ALIGN;
    const uint32_t slots = (units_ + SLOT_UNITS - 1) / SLOT_UNITS;
    const uint32_t spans = (units_ + SPAN_UNITS - 1) / SPAN_UNITS;
    slot_start_ = new (std::nothrow) uint8_t[slots + spans];
    if (slot_start_ == nullptr || small_.init(slots) == 0 || large_.init(spans) == 0) {
        release();
        return 0;
    }
    std::memset(slot_start_, 0, slots + spans);
    span_start_ = slot_start_ + slots;
    return 1;
}

void KHeapFreeIndex::release()
{
    small_.release();
    large_.release();
    delete[] slot_start_;
    slot_start_ = nullptr;
    span_start_ = nullptr;
    area_ = nullptr;
    units_ = 0;
}

MemoryBlock* KHeapFreeIndex::lowest_large(uint32_t from, uint32_t to, uint32_t size) const
{
    const uint32_t want = size / KHEAP_ALIGN;
    const uint16_t entry = static_cast<uint16_t>(want < LARGE_CAP ? want : LARGE_CAP);
    uint32_t span = from / SPAN_UNITS;
    if (large_.leaf(span) >= entry && span_start_[span] < from % SPAN_UNITS) {
        ++span;
    }
    for (;;) {
        const int64_t found = large_.first_at_least(span, entry);
        if (found < 0) {
            return nullptr;
        }
        const uint32_t unit = static_cast<uint32_t>(found) * SPAN_UNITS + span_start_[found];
        if (unit >= to) {
            return nullptr;
        }
        // A saturated entry only says the block may be large enough.
        MemoryBlock* const m = block_at(unit);
        if (want < LARGE_CAP || m->size >= size) {
            return m;
        }
        span = static_cast<uint32_t>(found) + 1;
    }
}

MemoryBlock* KHeapFreeIndex::highest_large(uint32_t from, uint32_t to, uint32_t size) const
{
    const uint32_t want = size / KHEAP_ALIGN;
    const uint16_t entry = static_cast<uint16_t>(want < LARGE_CAP ? want : LARGE_CAP);
    int64_t span = (to - 1) / SPAN_UNITS;
    if (large_.leaf(static_cast<uint32_t>(span)) >= entry && span_start_[span] > (to - 1) % SPAN_UNITS) {
        --span;
    }
    while (span >= 0) {
        const int64_t found = large_.last_at_least(static_cast<uint32_t>(span), entry);
        if (found < 0) {
            return nullptr;
        }
        const uint32_t unit = static_cast<uint32_t>(found) * SPAN_UNITS + span_start_[found];
        if (unit < from) {
            return nullptr;
        }
        MemoryBlock* const m = block_at(unit);
        if (want < LARGE_CAP || m->size >= size) {
            return m;
        }
        span = found - 1;
    }
    return nullptr;
}

bool KHeapFreeIndex::agrees_with(const MemoryBlock* first) const
{
    if (!small_.consistent() || !large_.consistent()) {
        return false;
    }
    uint32_t free_blocks = 0;
    uint32_t large_blocks = 0;
    for (const MemoryBlock* m = first; m != nullptr; m = m->next) {
        if (!m->is_free()) {
            continue;
        }
        const uint32_t u = unit_of(m);
        if (small_.leaf(u / SLOT_UNITS) != small_entry(m->size) || slot_start_[u / SLOT_UNITS] != u % SLOT_UNITS) {
            return false;
        }
        ++free_blocks;
        if (large_entry(m->size) != 0) {
            if (large_.leaf(u / SPAN_UNITS) != large_entry(m->size) || span_start_[u / SPAN_UNITS] != u % SPAN_UNITS) {
                return false;
            }
            ++large_blocks;
        }
    }
    uint32_t listed = 0;
    for (uint32_t s = 0; s < small_.leaves(); ++s) {
        listed += small_.leaf(s) != 0 ? 1 : 0;
    }
    uint32_t listed_large = 0;
    for (uint32_t s = 0; s < large_.leaves(); ++s) {
        listed_large += large_.leaf(s) != 0 ? 1 : 0;
    }
    return listed == free_blocks && listed_large == large_blocks;
}
