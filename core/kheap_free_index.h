#pragma once
// The free blocks of KHeap by address, so that a first-fit search in either
// direction reads a few cache lines instead of walking the blocks.
//
// The area is cut into slots of 128 bytes. Every block is at least 64 bytes
// and two free blocks are never neighbours, so at most one free block begins
// in a slot. Level 0 holds, per slot, the size of that block in 16-byte units
// (saturated at SIZE_CAP), or 0; a byte per slot holds the unit at which it
// begins. Every level above holds the maximum of 32 entries of the one below,
// so that one cache line answers "which of these 32 holds a block of at least
// n units". A search reads a block header only for requests of SIZE_CAP units
// and more, where the saturated entries are only candidates.
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
    static constexpr uint32_t SLOT_UNITS = 8;
    static constexpr uint16_t SIZE_CAP = 0x7FFF;
    static constexpr int MAX_LEVELS = 6; // 32^5 slots of 128 bytes cover any 32-bit area

    uint32_t slot_of(const MemoryBlock* m) const { return unit_of(m) / SLOT_UNITS; }
    static uint16_t entry_of(uint32_t size) { return size / KHEAP_ALIGN < SIZE_CAP ? size / KHEAP_ALIGN : SIZE_CAP; }
    MemoryBlock* block_at(uint32_t slot) const
    {
        const uintptr_t unit = static_cast<uintptr_t>(slot) * SLOT_UNITS + start_[slot];
        return reinterpret_cast<MemoryBlock*>(area_ + unit * KHEAP_ALIGN);
    }
    // Sets entry i of level l to v, which may be below the old value, and
    // carries the change up the levels.
    void lower(int l, uint32_t i, uint16_t v);
    // The first (last) slot at or after (at or before) slot whose entry is at least want, or -1.
    int64_t first_slot_at_least(uint32_t slot, uint16_t want) const;
    int64_t last_slot_at_least(uint32_t slot, uint16_t want) const;

    uint8_t* area_ = nullptr;
    uint32_t units_ = 0;
    uint32_t slots_ = 0;
    int levels_ = 0;                        // level levels_ - 1 is a single group
    uint16_t* level_[MAX_LEVELS] = {};
    uint32_t level_count_[MAX_LEVELS] = {}; // entries of each level, whole groups
    uint16_t* storage_ = nullptr;
    uint8_t* start_ = nullptr;              // per slot, the unit where its free block begins
};
