#include "world/view/texture_memory.h"

#include "core/kheap.h"

#include <new>

void* texture_alloc(size_t size, CacheOwner* owner, const char* name)
{
    if (owner != nullptr && kheap != nullptr && kheap->area() != nullptr) {
        return kheap->alloc_cacheable(size, owner, KHEAP_FROM_BOTTOM, name);
    }
    return ::operator new(size, std::nothrow);
}

void texture_free(void* data) { kheap_release(data); }
