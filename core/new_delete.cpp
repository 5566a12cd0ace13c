// The global allocation operators: new always takes memory from the general
// heap; delete gives a pointer that lies inside KHeap back to the heap, so
// that objects placed in heap blocks are destroyed with the ordinary delete.
#include "core/kheap.h"

#include <cstdlib>
#include <new>

namespace {

void* general_alloc(std::size_t size, std::size_t align)
{
    if (size == 0) {
        size = 1;
    }
    for (;;) {
        void* p = nullptr;
        if (align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
            p = std::malloc(size);
        } else if (posix_memalign(&p, align, size) != 0) {
            p = nullptr;
        }
        if (p != nullptr) {
            return p;
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            return nullptr;
        }
        handler();
    }
}

void* general_alloc_or_throw(std::size_t size, std::size_t align)
{
    void* const p = general_alloc(size, align);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* general_alloc_nothrow(std::size_t size, std::size_t align) noexcept
{
    try {
        return general_alloc(size, align);
    } catch (...) {
        return nullptr; // a new-handler may throw
    }
}

void route_delete(void* p) noexcept
{
    if (p == nullptr) {
        return;
    }
    KHeap* const heap = kheap;
    if (heap != nullptr && heap->holds(p)) {
        heap->free(p);
        return;
    }
    std::free(p);
}

constexpr std::size_t PLAIN = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

} // namespace

void* operator new(std::size_t size) { return general_alloc_or_throw(size, PLAIN); }
void* operator new[](std::size_t size) { return general_alloc_or_throw(size, PLAIN); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return general_alloc_nothrow(size, PLAIN); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return general_alloc_nothrow(size, PLAIN); }
void* operator new(std::size_t size, std::align_val_t align)
{
    return general_alloc_or_throw(size, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t size, std::align_val_t align)
{
    return general_alloc_or_throw(size, static_cast<std::size_t>(align));
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept
{
    return general_alloc_nothrow(size, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept
{
    return general_alloc_nothrow(size, static_cast<std::size_t>(align));
}

// Called by KHeap::init, so that a program that has a heap links these
// operators even when a sanitizer's runtime already offers its own.
void kheap_link_operators() {}

void operator delete(void* p) noexcept { route_delete(p); }
void operator delete[](void* p) noexcept { route_delete(p); }
void operator delete(void* p, std::size_t) noexcept { route_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { route_delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { route_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { route_delete(p); }
void operator delete(void* p, std::align_val_t) noexcept { route_delete(p); }
void operator delete[](void* p, std::align_val_t) noexcept { route_delete(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { route_delete(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { route_delete(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { route_delete(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { route_delete(p); }
