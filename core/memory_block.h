#pragma once
// The header in front of every block of KHeap. Blocks tile the heap's area
// without gaps: the next block begins exactly size bytes further.
#include <cstdint>

class CacheOwner;

constexpr uint32_t TAG_TAG = 0x67617400;   // "tag" in memory order
constexpr uint32_t TAGM_TAG = 0xFFFFFF00;  // the bytes that hold TAG_TAG
constexpr uint32_t TAGF_CACHEABLE = 0x01;
constexpr uint32_t TAGF_FREE = 0x80;
constexpr int KHEAP_NAME_LEN = 16;         // at most 15 characters and a NUL
constexpr uint32_t KHEAP_ALIGN = 16;       // block sizes and data addresses

// 48 bytes on a 64-bit host, so that the data after it stays 16-byte aligned.
// (The fields are those of the original 36-byte header; owner moved before
// size so that the pointers need no padding.)
struct MemoryBlock {
    MemoryBlock* prev;  // null for the first block
    MemoryBlock* next;  // null for the last block
    CacheOwner* owner;  // the owner of a cacheable block, else null
    uint32_t size;      // bytes, header included; a multiple of KHEAP_ALIGN
    uint32_t tag;       // TAG_TAG | 0 persistent, TAGF_CACHEABLE or TAGF_FREE
    char name[KHEAP_NAME_LEN];

    bool is_free() const { return (tag & TAGF_FREE) != 0; }
    bool is_cacheable() const { return (tag & TAGF_CACHEABLE) != 0; }
    bool is_persistent() const { return (tag & (TAGF_FREE | TAGF_CACHEABLE)) == 0; }
    void* data() { return this + 1; }
};

static_assert(sizeof(MemoryBlock) == 48 && sizeof(MemoryBlock) % KHEAP_ALIGN == 0);
