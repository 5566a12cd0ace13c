#pragma once
// Base of the objects whose data lives in KHeap's cacheable area. Owners on
// the heap's least-recently-used list have their data loaded; the heap drops
// the least recently used ones, all their blocks at once, when it needs room.
#include <cstdint>

class CacheOwner {
public:
    // While a heap exists the owner must lie inside one of its blocks.
    CacheOwner();
    // An owner still on the list is warned about, unlinked and its blocks
    // freed; derived classes flush before this runs.
    virtual ~CacheOwner();
    CacheOwner(const CacheOwner&) = delete;
    CacheOwner& operator=(const CacheOwner&) = delete;

    // Builds the cached data in cacheable blocks owned by this; non-zero on success.
    virtual int load(uintptr_t argument) = 0;
    // Frees every cacheable block of this owner, without allocating.
    virtual void drop() = 0;

    // Makes the owner the most recently used, loading its data when it has
    // none; 1 when the data is there.
    int touch(uintptr_t argument = 0);
    // Drops the data and leaves the list.
    void flush();
    bool linked() const;

private:
    friend class KHeap;

    CacheOwner* lru_prev = nullptr; // towards the most recently used
    CacheOwner* lru_next = nullptr; // towards the least recently used; without a heap, the loaded flag
};
