#include "host/host_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace host {

namespace {

size_t page_size()
{
    static const size_t size = [] {
        const long n = sysconf(_SC_PAGESIZE);
        return n > 0 ? static_cast<size_t>(n) : size_t{4096};
    }();
    return size;
}

} // namespace

void* reserve_zeroed(size_t size)
{
    if (size == 0) {
        return nullptr;
    }
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void release_reserved(void* base, size_t size)
{
    if (base != nullptr) {
        munmap(base, size);
    }
}

void zero_pages(void* p, size_t size)
{
    uint8_t* begin = static_cast<uint8_t*>(p);
    uint8_t* end = begin + size;
    const uintptr_t mask = page_size() - 1;
    uint8_t* first = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(begin) + mask) & ~mask);
    uint8_t* last = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(end) & ~mask);
    if (first >= last || madvise(first, static_cast<size_t>(last - first), MADV_DONTNEED) != 0) {
        std::memset(begin, 0, size);
        return;
    }
    std::memset(begin, 0, static_cast<size_t>(first - begin));
    std::memset(last, 0, static_cast<size_t>(end - last));
}

size_t resident_bytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) {
        return 0;
    }
    unsigned long total = 0;
    unsigned long resident = 0;
    const int n = std::fscanf(f, "%lu %lu", &total, &resident);
    std::fclose(f);
    return n == 2 ? static_cast<size_t>(resident) * page_size() : 0;
}

} // namespace host
