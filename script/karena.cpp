#include "script/karena.h"

#include "core/reserved_memory.h"

KArena::~KArena()
{
    release();
}

bool KArena::reserve(uint32_t size)
{
    release();
    if (size <= KARENA_LOW) {
        return false;
    }
    base_ = static_cast<uint8_t*>(memory_reserve_zeroed(size));
    if (base_ == nullptr) {
        return false;
    }
    size_ = size;
    top_ = KARENA_LOW;
    return true;
}

void KArena::release()
{
    memory_release_reserved(base_, size_);
    base_ = nullptr;
    size_ = 0;
    top_ = 0;
}

uint32_t KArena::alloc(uint32_t size, uint32_t align)
{
    K_ASSERT(base_ != nullptr);
    K_ASSERT(align != 0 && (align & (align - 1)) == 0);
    const uint64_t start = (static_cast<uint64_t>(top_) + align - 1) & ~static_cast<uint64_t>(align - 1);
    const uint64_t end = start + size;
    if (end > size_ || size == 0) {
        return 0;
    }
    top_ = static_cast<uint32_t>(end);
    return static_cast<uint32_t>(start);
}

void KArena::release_to(uint32_t mark)
{
    K_ASSERT(mark >= KARENA_LOW && mark <= top_);
    // Pages that were never touched are not touched now.
    memory_zero_pages(base_ + mark, top_ - mark);
    top_ = mark;
}

int64_t KArena::string_length(uint32_t addr) const
{
    if (!contains(addr, 1)) {
        return -1;
    }
    const void* nul = std::memchr(base_ + addr, 0, top_ - addr);
    if (nul == nullptr) {
        return -1;
    }
    return static_cast<const uint8_t*>(nul) - (base_ + addr);
}
