#include "core/cache_owner.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"

CacheOwner::CacheOwner() { K_ASSERT(!kheap || !kheap->area() || kheap->object_block(this)); }

CacheOwner::~CacheOwner()
{
    if (kheap == nullptr || kheap->area() == nullptr || !linked()) {
        return;
    }
    print_format(P_WARNING, "KHeap: Cache owner in block '%s' is still valid !", kheap->owner_block_name(this));
    // A later eviction must not reach this owner, nor find blocks that name it.
    kheap->unlink_lru(this);
    kheap->release_owner_blocks(this);
}

bool CacheOwner::linked() const
{
    return lru_next != nullptr || lru_prev != nullptr || (kheap != nullptr && kheap->co_head_ == this);
}

int CacheOwner::touch(uintptr_t argument)
{
    if (kheap == nullptr) {
        if (lru_next != nullptr) {
            return 1;
        }
        lru_next = this;
        if (load(argument) == 0) {
            lru_next = nullptr;
            return 0;
        }
        return 1;
    }
    if (linked()) {
        kheap->unlink_lru(this);
        kheap->link_lru_front(this);
        return 1;
    }
    K_ASSERT(!lru_next && !lru_prev && kheap->co_head_ != this);
    kheap->link_lru_front(this);
    if (load(argument) == 0) {
        kheap->unlink_lru(this);
        return 0;
    }
    return 1;
}

void CacheOwner::flush()
{
    if (kheap == nullptr) {
        if (lru_next != nullptr) {
            drop();
            lru_next = nullptr;
        }
        return;
    }
    if (!linked()) {
        return;
    }
    drop();
    kheap->unlink_lru(this);
}
