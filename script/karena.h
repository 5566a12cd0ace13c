#pragma once
// The address space of one script context: a fixed reservation whose base never
// moves. Script addresses are u32 byte offsets from the base; 0 is null and the
// first KARENA_LOW bytes are never handed out.
#include <cstdint>
#include <cstring>

#include "core/kassert.h"

constexpr uint32_t KARENA_LOW = 0x10000;
constexpr uint32_t KARENA_DEFAULT_SIZE = 256u << 20;

class KArena {
public:
    KArena() = default;
    ~KArena();
    KArena(const KArena&) = delete;
    KArena& operator=(const KArena&) = delete;

    // Reserves size bytes (zeroed); untouched pages cost nothing. False when it cannot be had.
    bool reserve(uint32_t size);
    void release();

    // Bump allocation, aligned to align (a power of two); 0 when the arena is full.
    // The memory handed out is zero: nothing above the top is ever written.
    uint32_t alloc(uint32_t size, uint32_t align = 4);
    // Everything allocated after mark() is given back (and zeroed) by release_to(mark).
    uint32_t mark() const { return top_; }
    void release_to(uint32_t mark);

    uint32_t size() const { return size_; }
    bool valid() const { return base_ != nullptr; }

    // True when [addr, addr + len) lies inside the handed-out part of the arena.
    bool contains(uint32_t addr, uint32_t len) const
    {
        return addr >= KARENA_LOW && static_cast<uint64_t>(addr) + len <= top_;
    }
    // Length of the NUL-terminated string at addr, or -1 when it leaves the arena.
    int64_t string_length(uint32_t addr) const;

    // Engine-side access to arena structures the engine itself laid out: a bad
    // address is a broken invariant.
    uint8_t* at(uint32_t addr, uint32_t len = 4) const
    {
        K_ASSERT(contains(addr, len));
        return base_ + addr;
    }
    uint32_t word(uint32_t addr) const
    {
        uint32_t v;
        std::memcpy(&v, at(addr), 4);
        return v;
    }
    void set_word(uint32_t addr, uint32_t v) const { std::memcpy(at(addr), &v, 4); }
    uint8_t* base() const { return base_; }

private:
    uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
    uint32_t top_ = 0;
};
