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
    // m is no longer free.
    void remove(const MemoryBlock* m);
    // Listed block m shrank to its current size.
    void shrunk(const MemoryBlock* m);
    // gone is no longer free and now is free with its current size, in one
    // step (a split leaves the remainder, a merge absorbs the block above).
    void replace(const MemoryBlock* gone, const MemoryBlock* now);

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
    // The large tree's part of the changes: only blocks of SMALL_CAP units or more are listed there.
    void large_set(uint32_t unit, uint16_t entry);
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

inline void KHeapFreeIndex::large_set(uint32_t unit, uint16_t entry)
{
    const uint32_t span = unit / SPAN_UNITS;
    const bool listed = large_.leaf(span) != 0 && span_start_[span] == unit % SPAN_UNITS;
    if (entry == 0 && !listed) {
        return; // a small block: nothing of it is in the large tree
    }
    span_start_[span] = static_cast<uint8_t>(unit % SPAN_UNITS);
    large_.set(span, entry);
}

inline void KHeapFreeIndex::add(const MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    slot_start_[u / SLOT_UNITS] = static_cast<uint8_t>(u % SLOT_UNITS);
    small_.raise(u / SLOT_UNITS, small_entry(m->size));
    large_set(u, large_entry(m->size));
}

inline void KHeapFreeIndex::remove(const MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    small_.set(u / SLOT_UNITS, 0);
    large_set(u, 0);
}

inline void KHeapFreeIndex::shrunk(const MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    small_.set(u / SLOT_UNITS, small_entry(m->size));
    large_set(u, large_entry(m->size));
}

inline void KHeapFreeIndex::replace(const MemoryBlock* gone, const MemoryBlock* now)
{
    // gone's header may already describe what it became; only its place counts.
    const uint32_t g = unit_of(gone);
    const uint32_t n = unit_of(now);
    slot_start_[n / SLOT_UNITS] = static_cast<uint8_t>(n % SLOT_UNITS);
    small_.set_two(g / SLOT_UNITS, 0, n / SLOT_UNITS, small_entry(now->size));
    large_set(g, 0);
    large_set(n, large_entry(now->size));
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
    // The block of from's own slot may begin below from.
    uint32_t slot = from / SLOT_UNITS;
    if (small_.leaf(slot) >= want && slot_start_[slot] < from % SLOT_UNITS) {
        ++slot;
    }
    const int64_t found = small_.first_at_least(slot, static_cast<uint8_t>(want));
    if (found < 0) {
        return nullptr;
    }
    const uint32_t unit = static_cast<uint32_t>(found) * SLOT_UNITS + slot_start_[found];
    return unit < to ? block_at(unit) : nullptr;
}
