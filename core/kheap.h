#pragma once
// KHeap: one area taken from the general heap at start-up and cut into named
// blocks. Persistent blocks come from its two ends; cacheable blocks lie in
// the area between the two persistent regions (low .. high), each owned by a
// CacheOwner, and owners lose all their blocks, least recently used first,
// when space runs short.
#include "core/kheap_free_index.h"
#include "core/memory_block.h"

#include <cstddef>
#include <cstdint>

class CacheOwner;
class ConfigVariable;
class LogFile;

// Option bits of init: the defaults of the four variables.
constexpr uint32_t KHEAP_CLEAR = 0x1;     // KHeap_Clear: new data is zeroed
constexpr uint32_t KHEAP_DEADBEEF = 0x2;  // KHeap_DeadBeef: free space holds 0xDEADBEEF
constexpr uint32_t KHEAP_CHECK = 0x4;     // KHeap_Check: verify after every change
constexpr uint32_t KHEAP_DEBUGMSG = 0x8;  // KHeap_DebugMsg: eviction messages, map at close

constexpr int KHEAP_FROM_TOP = 1;         // `where` of alloc and alloc_cacheable
constexpr int KHEAP_FROM_BOTTOM = 0;
// Largest heap: sizes and offsets are printed and reported as 32-bit values.
constexpr size_t KHEAP_MAX_SIZE = 0x7FFFFF00;

// The record of mem_info; block sizes count their headers.
struct KHeapInfo {
    uint32_t heap_size;
    uint32_t low_size;      // area start .. low
    uint32_t low_free;
    uint32_t low_largest;
    uint32_t high_size;     // end of high .. area end
    uint32_t high_free;
    uint32_t high_largest;
    uint32_t cache_size;    // low .. end of high
    uint32_t cache_free;
    uint32_t cache_largest;
};

class KHeap {
public:
    KHeap() = default;
    // Closes; clears the global pointer when it points to this heap.
    ~KHeap();
    KHeap(const KHeap&) = delete;
    KHeap& operator=(const KHeap&) = delete;

    // size in bytes (cut to a multiple of 256), flags the KHEAP_* defaults. 1 or 0.
    int init(size_t size, uint32_t flags);
    void close();

    // The data of a new block, or null. where KHEAP_FROM_TOP takes it from the
    // top of the area, anything else from the bottom.
    void* alloc(size_t size, int where, const char* name);
    void* alloc_cacheable(size_t size, CacheOwner* owner, int where, const char* name);
    void free(void* data);

    // The block that contains the address, or null.
    MemoryBlock* object_block(const void* p) const;
    // Whether data lies where a block's data may begin (what the global delete asks).
    bool holds(const void* data) const;
    // Walks and verifies every block, printing what is wrong; 1 when nothing was.
    int check(int verify_free);
    // The block map, into the log file or, without one, on stream 0.
    void dump(int list_free, LogFile* file);
    void mem_info(KHeapInfo* info) const;

    // For tests and reports.
    uint8_t* area() const { return area_; }
    uint32_t size() const { return size_; }
    MemoryBlock* first_block() const { return first_; }
    MemoryBlock* last_block() const { return last_; }
    MemoryBlock* low() const { return low_; }
    MemoryBlock* high() const { return high_; }
    CacheOwner* co_head() const { return co_head_; }
    CacheOwner* co_tail() const { return co_tail_; }
    bool index_agrees() const { return index_.agrees_with(first_); }

private:
    friend class CacheOwner;

    static uint32_t block_size(size_t request);
    bool var_on(const ConfigVariable* v) const;
    void* refuse(size_t request, const char* name) const;
    // Both take a free block and give the new block, not yet tagged.
    [[gnu::always_inline]] MemoryBlock* split_top(MemoryBlock* m, uint32_t size);
    [[gnu::always_inline]] MemoryBlock* split_bottom(MemoryBlock* m, uint32_t size);
    [[gnu::always_inline]] void* finish(MemoryBlock* m, uint32_t tag, CacheOwner* owner, const char* name);
    __attribute__((noinline)) void finish_options(MemoryBlock* m);
    // The free edge block of the cacheable area gives the persistent region a new block.
    MemoryBlock* take_high(uint32_t size);
    MemoryBlock* take_low(uint32_t size);
    // When the persistent region has no room: the cacheable area gives it up.
    __attribute__((noinline)) void* shrink_area_top(uint32_t size, const char* name);
    __attribute__((noinline)) void* shrink_area_bottom(uint32_t size, const char* name);
    uint64_t cacheable_bytes() const;
    // Flushes the owner; the first eviction of an allocation announces itself.
    void evict(CacheOwner* owner, const char* first_message, bool& announced);
    // Evicts the owner of cacheable block m while shrinking the area.
    void evict_at(MemoryBlock* m, bool& announced);
    void lose_cacheable_area();
    void fill_dead(void* p, size_t bytes) const;
    const char* owner_block_name(const CacheOwner* owner) const;
    void release_owner_blocks(const CacheOwner* owner);
    void emit(LogFile* file, const char* text) const;
    void link_lru_front(CacheOwner* owner);
    void unlink_lru(CacheOwner* owner);

    uint8_t* area_ = nullptr;
    uint32_t size_ = 0;
    ConfigVariable* clear_ = nullptr;
    ConfigVariable* deadbeef_ = nullptr;
    ConfigVariable* check_ = nullptr;
    ConfigVariable* debug_msg_ = nullptr;
    MemoryBlock* first_ = nullptr;
    MemoryBlock* last_ = nullptr;
    MemoryBlock* low_ = nullptr;
    MemoryBlock* high_ = nullptr;
    CacheOwner* co_head_ = nullptr; // most recently used
    CacheOwner* co_tail_ = nullptr; // least recently used
    KHeapFreeIndex index_;          // the free blocks, for first-fit searches
};

extern KHeap* kheap;

// A persistent block of the global heap, or, while there is none, the same
// size from the general heap; null when neither has room. Either kind goes
// back with kheap_release (or the global delete, which routes by address).
void* kheap_alloc(size_t size, int where, const char* name);
void kheap_release(void* data);
