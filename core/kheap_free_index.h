#pragma once
// The free blocks of KHeap by address, so that a first-fit search visits a
// few blocks instead of walking every block of a region. One bit per 16-byte
// unit marks where a free block begins; the units fall into chunks of 64 (one
// bitmap word). Level 0 holds, per chunk, the size of the largest free block
// that begins in it; every level above holds the maximum of 16 entries of the
// one below, so that one cache line answers "which of these 16 has a block of
// at least n bytes".
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

    // m is free with its final size.
    void add(MemoryBlock* m);
    // m, listed with its current size, is taken.
    void remove(MemoryBlock* m);
    // Listed block m grew to its current size.
    void grown(MemoryBlock* m);
    // Listed block m shrank from old_size to its current size.
    void shrunk(MemoryBlock* m, uint32_t old_size);
    // Listed block m of old_size is taken but for its upper part r, which stays free.
    void split(MemoryBlock* m, uint32_t old_size, MemoryBlock* r);

    // The free block of at least size bytes that begins lowest (highest) at
    // a unit in [from, to); units are 16-byte steps from the area's start.
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
    static constexpr int MAX_LEVELS = 8; // 16^7 chunks of 1 KB cover any 32-bit area

    MemoryBlock* block_at(uint32_t unit) const
    {
        return reinterpret_cast<MemoryBlock*>(area_ + static_cast<uintptr_t>(unit) * KHEAP_ALIGN);
    }
    uint32_t chunk_max(uint32_t chunk) const;
    // Sets a chunk's largest block and carries the change up the levels.
    void set_chunk(uint32_t chunk, uint32_t value);
    // The first (last) chunk at or after (before) chunk holding a block of at least size, or -1.
    int64_t first_chunk_at_least(uint32_t chunk, uint32_t size) const;
    int64_t last_chunk_at_least(uint32_t chunk, uint32_t size) const;
    // The first (last) block of at least size beginning in the chunk's units that mask keeps.
    MemoryBlock* first_in_chunk(uint32_t chunk, uint64_t mask, uint32_t size) const;
    MemoryBlock* last_in_chunk(uint32_t chunk, uint64_t mask, uint32_t size) const;

    uint8_t* area_ = nullptr;
    uint32_t units_ = 0;
    uint32_t chunks_ = 0;
    uint64_t* starts_ = nullptr;            // one bit per unit where a free block begins
    uint32_t* largest_ = nullptr;           // level_[0]
    int levels_ = 0;                        // level levels_ - 1 is a single group of 16
    uint32_t* level_[MAX_LEVELS] = {};
    uint32_t level_count_[MAX_LEVELS] = {}; // entries of each level, a multiple of 16
    uint32_t* storage_ = nullptr;
};
