#include "core/reserved_memory.h"

#include "host/host_memory.h"

void* memory_reserve_zeroed(size_t size)
{
    return host::reserve_zeroed(size);
}

void memory_release_reserved(void* base, size_t size)
{
    host::release_reserved(base, size);
}

void memory_zero_pages(void* p, size_t size)
{
    host::zero_pages(p, size);
}
