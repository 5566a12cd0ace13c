#pragma once
// The cell heap of script objects: a binary buddy allocator inside a context's
// arena. Every address here is an arena address; a cell's user address is its
// start + 4, the word before it holding the address of the cell's anchor while
// the cell is full, 0 while it is free. Free buddies merge only when an
// allocation needs a larger cell.
#include <cstdint>

class KArena;

// Heap record (in the arena): nodes, base (first cell's user address), size.
constexpr uint32_t CELLHEAP_NODES = 0;
constexpr uint32_t CELLHEAP_BASE = 4;
constexpr uint32_t CELLHEAP_SIZE = 8;

// Class node: free list header (head, tail, tail-predecessor), paired,
// lo_anchor {node, brotheroffset}, hi_anchor {node, brotheroffset}.
constexpr uint32_t CELLNODE_FREE = 0;
constexpr uint32_t CELLNODE_PAIRED = 12;
constexpr uint32_t CELLNODE_LO_ANCHOR = 16;
constexpr uint32_t CELLNODE_HI_ANCHOR = 24;
constexpr uint32_t CELLNODE_BYTES = 32;

// Heap of count x (largest object + 4) bytes for objects of the given sizes;
// 0 when the arena has no room.
uint32_t cellheap_create(KArena& arena, uint32_t count, uint32_t min_object, uint32_t max_object);
void cellheap_destroy(KArena& arena, uint32_t h);

// Scripts can write every word of the heap. Operations that find a link that
// is not what the heap left there (a dangling object written to, a wild store)
// stop without following it and set *broken; a caller that passes no flag
// treats a broken heap as a broken invariant.
void cellheap_reset(const KArena& arena, uint32_t h, bool* broken = nullptr);
// User address of a full cell holding at least size bytes, or 0.
uint32_t cellheap_alloc(const KArena& arena, uint32_t h, uint32_t size, bool* broken = nullptr);
// d must be a full cell (IsFullHeapCell).
void cellheap_free(const KArena& arena, uint32_t h, uint32_t d, bool* broken = nullptr);
bool IsFullHeapCell(const KArena& arena, uint32_t h, uint32_t d);

using CellCallback = void (*)(void* data, uint32_t d);
void cellheap_for_each(const KArena& arena, uint32_t h, CellCallback callback, void* data, bool* broken = nullptr);

// Size of the smallest class (object numbers in saved states count in it).
uint32_t cellheap_min_class(const KArena& arena, uint32_t h);
// Size class of a full cell, in bytes.
uint32_t cellheap_cell_size(const KArena& arena, uint32_t h, uint32_t d);
// The first cell's user address and the end of the data area; false when the
// heap's record is broken.
bool cellheap_extent(const KArena& arena, uint32_t h, uint32_t* base, uint32_t* end);
