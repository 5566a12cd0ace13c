#pragma once
// The free blocks of KHeap by address, so that a first-fit search in either
// direction reads a few cache lines instead of walking the blocks.
//
// The area is cut into slots of 128 bytes. Every block is at least 64 bytes
// and two free blocks are never neighbours, so at most one free block begins
// in a slot. A tree of byte entries holds, per slot, the size of that block
// in 16-byte units, saturated at SMALL_CAP, or 0; a byte per slot holds the
// unit at which it begins. It answers every request of up to SMALL_CAP units
// exactly. Larger requests ask a second tree over spans of 4096 bytes, in
// each of which at most one free block of SMALL_CAP units or more begins,
// with 16-bit entries; only requests beyond its cap read block headers to
// tell the saturated entries apart.
#include "core/kheap_max_tree.h"
#include "core/memory_block.h"

#include <cstdint>

class KHeapFreeIndex {
public:
    KHeapFreeIndex() = default;
    ~KHeapFreeIndex() { release(); }
    KHeapFreeIndex(const KHeapFreeIndex&) = delete;
    KHeapFreeIndex& operator=(const KHeapFreeIndex&) = delete;

    // For an area of size bytes (a multiple of 16) at area; 0 when out of memory.
    int init(uint8_t* area, uint32_t size);
    void release();

    // m became free, or grew to its current size.
    void add(const MemoryBlock* m);
    // m, listed with its current size, is no longer free.
    void remove(const MemoryBlock* m);
    // Listed block m shrank from old_size to its current size.
    void shrunk(const MemoryBlock* m, uint32_t old_size);
    // gone, listed with gone_size, is no longer free and now is free with its
    // current size, in one step (a split leaves the remainder, a merge absorbs
    // the block above).
    void replace(const MemoryBlock* gone, uint32_t gone_size, const MemoryBlock* now);

    // The free block of at least size bytes (a multiple of 16) that begins
    // lowest (highest) at a unit in [from, to); units are 16-byte steps from
    // the area's start.
    MemoryBlock* lowest(uint32_t from, uint32_t to, uint32_t size) const;
    MemoryBlock* highest(uint32_t from, uint32_t to, uint32_t size) const;

    uint32_t unit_of(const MemoryBlock* m) const
    {
        return static_cast<uint32_t>((reinterpret_cast<const uint8_t*>(m) - area_) / KHEAP_ALIGN);
    }
    uint32_t units() const { return units_; }
    // Whether exactly the free blocks are listed, with the right sizes (for tests).
    bool agrees_with(const MemoryBlock* first) const;

private:
    static constexpr uint32_t SLOT_UNITS = 8;    // 128 bytes
    static constexpr uint32_t SPAN_UNITS = 256;  // 4096 bytes
    static constexpr uint32_t SMALL_CAP = 0xFF;  // 4080 bytes
    static constexpr uint32_t LARGE_CAP = 0x7FFF;
    static constexpr uint32_t LARGE_MIN = SMALL_CAP * KHEAP_ALIGN; // the smallest size the large tree lists

    static uint8_t small_entry(uint32_t size) { return static_cast<uint8_t>(size / KHEAP_ALIGN < SMALL_CAP ? size / KHEAP_ALIGN : SMALL_CAP); }
    static uint16_t large_entry(uint32_t size)
    {
        const uint32_t units = size / KHEAP_ALIGN;
        return static_cast<uint16_t>(units < SMALL_CAP ? 0 : units < LARGE_CAP ? units : LARGE_CAP);
    }
    MemoryBlock* block_at(uint32_t unit) const
    {
        return reinterpret_cast<MemoryBlock*>(area_ + static_cast<uintptr_t>(unit) * KHEAP_ALIGN);
    }
    // The large tree's part of the changes: exactly the free blocks of
    // LARGE_MIN bytes or more are listed there, at most one to a span.
    void large_put(uint32_t unit, uint32_t size);
    void large_clear(uint32_t unit) { large_.set(unit / SPAN_UNITS, 0); }
    // The small tree's: at most one free block begins in a slot.
    void small_put(uint32_t unit, uint32_t size);
    MemoryBlock* lowest_large(uint32_t from, uint32_t to, uint32_t size) const;
    MemoryBlock* highest_large(uint32_t from, uint32_t to, uint32_t size) const;

    uint8_t* area_ = nullptr;
    uint32_t units_ = 0;
    KHeapMaxTree<uint8_t> small_;   // per slot
    KHeapMaxTree<uint16_t> large_;  // per span
    uint8_t* slot_start_ = nullptr; // per slot, the unit within it where its free block begins
    uint8_t* span_start_ = nullptr; // per span, the same for its large free block
};

// The operations of every allocation and free, inline.

inline void KHeapFreeIndex::large_put(uint32_t unit, uint32_t size)
{
    const uint32_t span = unit / SPAN_UNITS;
    span_start_[span] = static_cast<uint8_t>(unit % SPAN_UNITS);
    // A block far larger than any entry keeps its saturated entry while it is cut down.
    const uint16_t entry = large_entry(size);
    if (large_.leaf(span) != entry) {
        large_.set(span, entry);
    }
}

inline void KHeapFreeIndex::small_put(uint32_t unit, uint32_t size)
{
    const uint32_t slot = unit / SLOT_UNITS;
    slot_start_[slot] = static_cast<uint8_t>(unit % SLOT_UNITS);
    const uint8_t entry = small_entry(size);
    if (small_.leaf(slot) != entry) {
        small_.set(slot, entry);
    }
}

inline void KHeapFreeIndex::add(const MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    slot_start_[u / SLOT_UNITS] = static_cast<uint8_t>(u % SLOT_UNITS);
    small_.raise(u / SLOT_UNITS, small_entry(m->size));
    if (m->size >= LARGE_MIN) {
        large_put(u, m->size);
    }
}

inline void KHeapFreeIndex::remove(const MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    small_.set(u / SLOT_UNITS, 0);
    if (m->size >= LARGE_MIN) {
        large_clear(u);
    }
}

inline void KHeapFreeIndex::shrunk(const MemoryBlock* m, uint32_t old_size)
{
    const uint32_t u = unit_of(m);
    small_put(u, m->size);
    if (old_size >= LARGE_MIN) {
        if (m->size >= LARGE_MIN) {
            large_put(u, m->size);
        } else {
            large_clear(u);
        }
    }
}

inline void KHeapFreeIndex::replace(const MemoryBlock* gone, uint32_t gone_size, const MemoryBlock* now)
{
    const uint32_t g = unit_of(gone);
    const uint32_t n = unit_of(now);
    const uint32_t size = now->size;
    if (g / SLOT_UNITS == n / SLOT_UNITS) {
        small_put(n, size);
    } else {
        slot_start_[n / SLOT_UNITS] = static_cast<uint8_t>(n % SLOT_UNITS);
        small_.set_two(g / SLOT_UNITS, 0, n / SLOT_UNITS, small_entry(size));
    }
    if ((gone_size | size) >= LARGE_MIN) {
        if (gone_size >= LARGE_MIN && (size < LARGE_MIN || g / SPAN_UNITS != n / SPAN_UNITS)) {
            large_clear(g);
        }
        if (size >= LARGE_MIN) {
            large_put(n, size);
        }
    }
}

inline MemoryBlock* KHeapFreeIndex::lowest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (from >= to || from >= units_) {
        return nullptr;
    }
    const uint32_t want = size / KHEAP_ALIGN;
    if (want > SMALL_CAP) {
        return lowest_large(from, to, size);
    }
    int64_t found;
    if (from == 0) {
        found = small_.first_from_start(static_cast<uint8_t>(want));
    } else {
        // The block of from's own slot may begin below from.
        uint32_t slot = from / SLOT_UNITS;
        if (small_.leaf(slot) >= want && slot_start_[slot] < from % SLOT_UNITS) {
            ++slot;
        }
        found = small_.first_at_least(slot, static_cast<uint8_t>(want));
    }
    if (found < 0) {
        return nullptr;
    }
    const uint32_t unit = static_cast<uint32_t>(found) * SLOT_UNITS + slot_start_[found];
    return unit < to ? block_at(unit) : nullptr;
}

inline MemoryBlock* KHeapFreeIndex::highest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (to > units_) {
        to = units_;
    }
    if (from >= to) {
        return nullptr;
    }
    const uint32_t want = size / KHEAP_ALIGN;
    if (want > SMALL_CAP) {
        return highest_large(from, to, size);
    }
    int64_t found;
    if (to == units_) {
        found = small_.last_from_end(static_cast<uint8_t>(want));
    } else {
        // The block of to - 1's own slot may begin above it.
        uint32_t slot = (to - 1) / SLOT_UNITS;
        if (small_.leaf(slot) >= want && slot_start_[slot] > (to - 1) % SLOT_UNITS) {
            if (slot == 0) {
                return nullptr;
            }
            --slot;
        }
        found = small_.last_at_least(slot, static_cast<uint8_t>(want));
    }
    if (found < 0) {
        return nullptr;
    }
    const uint32_t unit = static_cast<uint32_t>(found) * SLOT_UNITS + slot_start_[found];
    return unit >= from ? block_at(unit) : nullptr;
}
