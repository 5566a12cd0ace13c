#pragma once
// The free blocks of KHeap by address, so that a first-fit search visits a
// few blocks instead of walking every block of a region. One bit per 16-byte
// unit marks where a free block begins; the units fall into chunks of 64 (one
// bitmap word), and a max tree over the chunks holds the size of the largest
// free block that begins in each.
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

    void add(MemoryBlock* m);
    void remove(MemoryBlock* m);
    // After the size of a listed block changed; grown is the cheaper form
    // for a block that only became larger.
    void resized(MemoryBlock* m);
    void grown(MemoryBlock* m);
    // A split: listed block m is taken and the free block r begins above it.
    void replace(MemoryBlock* m, MemoryBlock* r);

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
    MemoryBlock* block_at(uint32_t unit) const
    {
        return reinterpret_cast<MemoryBlock*>(area_ + static_cast<uintptr_t>(unit) * KHEAP_ALIGN);
    }
    uint32_t chunk_max(uint32_t chunk) const;
    void update(uint32_t chunk);
    void raise(uint32_t chunk, uint32_t size);
    // The first (last) chunk at or after (before) chunk holding a block of at
    // least size; with from_end, the first (last) of all chunks.
    int first_chunk_at_least(uint32_t chunk, uint32_t size, bool from_end) const;
    int last_chunk_at_least(uint32_t chunk, uint32_t size, bool from_end) const;

    uint8_t* area_ = nullptr;
    uint32_t units_ = 0;
    uint32_t chunks_ = 0;
    uint32_t leaves_ = 0;        // a power of two, at least chunks_
    uint64_t* starts_ = nullptr; // one bit per unit where a free block begins
    uint32_t* tree_ = nullptr;   // max tree: tree_[1] the root, leaves at leaves_ + chunk
};
