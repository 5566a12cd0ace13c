#include "core/kheap_free_index.h"

#include <bit>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t CHUNK_UNITS = 64;
constexpr uint32_t FAN = 16;

// Bits at and above b (b < 64).
constexpr uint64_t bits_from(uint32_t b) { return ~uint64_t{0} << b; }
// Bits at and below b (b < 64).
constexpr uint64_t bits_upto(uint32_t b) { return b == 63 ? ~uint64_t{0} : (uint64_t{1} << (b + 1)) - 1; }

// Four lanes of a group; the compiler turns these into vector instructions.
// Sizes stay below 2^31, so the lanes compare as signed values.
using Lanes = int32_t __attribute__((vector_size(16)));

Lanes load_lanes(const uint32_t* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Which of a group's 16 entries are at least size (at least 1), one bit each.
uint32_t mask_at_least(const uint32_t* group, uint32_t size)
{
    const int32_t below = static_cast<int32_t>(size - 1);
    const Lanes a = load_lanes(group) > below;
    const Lanes b = load_lanes(group + 4) > below;
    const Lanes c = load_lanes(group + 8) > below;
    const Lanes d = load_lanes(group + 12) > below;
#if defined(__SSE2__)
    // Narrow the sixteen all-ones or zero lanes to bytes and take their top bits.
    using Shorts = short __attribute__((vector_size(16)));
    using Bytes = char __attribute__((vector_size(16)));
    const Shorts ab = __builtin_ia32_packssdw128(a, b);
    const Shorts cd = __builtin_ia32_packssdw128(c, d);
    return static_cast<uint32_t>(__builtin_ia32_pmovmskb128(reinterpret_cast<Bytes>(__builtin_ia32_packsswb128(ab, cd))));
#else
    const Lanes bits = (a & Lanes{1, 2, 4, 8}) | (b & Lanes{0x10, 0x20, 0x40, 0x80}) |
                       (c & Lanes{0x100, 0x200, 0x400, 0x800}) | (d & Lanes{0x1000, 0x2000, 0x4000, 0x8000});
    return static_cast<uint32_t>(bits[0] | bits[1] | bits[2] | bits[3]);
#endif
}

uint32_t group_max(const uint32_t* group)
{
    const Lanes a = load_lanes(group);
    const Lanes b = load_lanes(group + 4);
    const Lanes c = load_lanes(group + 8);
    const Lanes d = load_lanes(group + 12);
    const Lanes ab = a > b ? a : b;
    const Lanes cd = c > d ? c : d;
    const Lanes best = ab > cd ? ab : cd;
    const int32_t x = best[0] > best[1] ? best[0] : best[1];
    const int32_t y = best[2] > best[3] ? best[2] : best[3];
    return static_cast<uint32_t>(x > y ? x : y);
}

uint32_t round_to_group(uint32_t n) { return (n + FAN - 1) / FAN * FAN; }

} // namespace

int KHeapFreeIndex::init(uint8_t* area, uint32_t size)
{
    release();
    area_ = area;
    units_ = size / KHEAP_ALIGN;
    chunks_ = (units_ + CHUNK_UNITS - 1) / CHUNK_UNITS;
    size_t total = 0;
    uint32_t count = round_to_group(chunks_ < 1 ? 1 : chunks_);
    for (;;) {
        level_count_[levels_++] = count;
        total += count;
        if (count == FAN) {
            break;
        }
        count = round_to_group(count / FAN);
    }
    starts_ = new (std::nothrow) uint64_t[chunks_];
    storage_ = new (std::nothrow) uint32_t[total];
    if (starts_ == nullptr || storage_ == nullptr) {
        release();
        return 0;
    }
    std::memset(starts_, 0, sizeof(uint64_t) * chunks_);
    std::memset(storage_, 0, sizeof(uint32_t) * total);
    uint32_t* next = storage_;
    for (int l = 0; l < levels_; ++l) {
        level_[l] = next;
        next += level_count_[l];
    }
    largest_ = level_[0];
    return 1;
}

void KHeapFreeIndex::release()
{
    delete[] starts_;
    delete[] storage_;
    starts_ = nullptr;
    storage_ = nullptr;
    largest_ = nullptr;
    for (int l = 0; l < MAX_LEVELS; ++l) {
        level_[l] = nullptr;
        level_count_[l] = 0;
    }
    area_ = nullptr;
    units_ = chunks_ = 0;
    levels_ = 0;
}

uint32_t KHeapFreeIndex::chunk_max(uint32_t chunk) const
{
    uint32_t best = 0;
    for (uint64_t w = starts_[chunk]; w != 0; w &= w - 1) {
        const uint32_t size = block_at(chunk * CHUNK_UNITS + static_cast<uint32_t>(std::countr_zero(w)))->size;
        best = size > best ? size : best;
    }
    return best;
}

void KHeapFreeIndex::set_chunk(uint32_t chunk, uint32_t value)
{
    const uint32_t old = level_[0][chunk];
    level_[0][chunk] = value;
    uint32_t i = chunk;
    if (value > old) {
        for (int l = 1; l < levels_; ++l) {
            i /= FAN;
            if (level_[l][i] >= value) {
                return;
            }
            level_[l][i] = value;
        }
        return;
    }
    // A smaller maximum: only the entries that held the old one can change.
    for (int l = 1; l < levels_; ++l) {
        i /= FAN;
        if (level_[l][i] != old) {
            return;
        }
        const uint32_t now = group_max(level_[l - 1] + i * FAN);
        if (now == old) {
            return;
        }
        level_[l][i] = now;
    }
}

void KHeapFreeIndex::add(MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    const uint32_t c = u / CHUNK_UNITS;
    starts_[c] |= uint64_t{1} << (u % CHUNK_UNITS);
    if (m->size > largest_[c]) {
        set_chunk(c, m->size);
    }
}

void KHeapFreeIndex::remove(MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    const uint32_t c = u / CHUNK_UNITS;
    starts_[c] &= ~(uint64_t{1} << (u % CHUNK_UNITS));
    if (m->size == largest_[c]) {
        set_chunk(c, chunk_max(c));
    }
}

void KHeapFreeIndex::grown(MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    const uint32_t c = u / CHUNK_UNITS;
    if (m->size > largest_[c]) {
        set_chunk(c, m->size);
    }
}

void KHeapFreeIndex::shrunk(MemoryBlock* m, uint32_t old_size)
{
    const uint32_t c = unit_of(m) / CHUNK_UNITS;
    if (old_size == largest_[c] && m->size != old_size) {
        set_chunk(c, chunk_max(c));
    }
}

void KHeapFreeIndex::split(MemoryBlock* m, uint32_t old_size, MemoryBlock* r)
{
    const uint32_t um = unit_of(m);
    const uint32_t ur = unit_of(r);
    const uint32_t cm = um / CHUNK_UNITS;
    const uint32_t cr = ur / CHUNK_UNITS;
    starts_[cm] &= ~(uint64_t{1} << (um % CHUNK_UNITS));
    starts_[cr] |= uint64_t{1} << (ur % CHUNK_UNITS);
    if (old_size == largest_[cm]) {
        set_chunk(cm, chunk_max(cm));
    }
    if (cr != cm && r->size > largest_[cr]) {
        set_chunk(cr, r->size);
    }
}

int64_t KHeapFreeIndex::first_chunk_at_least(uint32_t chunk, uint32_t size) const
{
    if (chunk >= chunks_) {
        return -1;
    }
    uint32_t i = chunk;
    int l = 0;
    // Up until a group holds a large enough entry at or after i, then down its first such path.
    for (;;) {
        const uint32_t group = i / FAN;
        const uint32_t mask = mask_at_least(level_[l] + group * FAN, size) & (~0u << (i % FAN));
        if (mask != 0) {
            i = group * FAN + static_cast<uint32_t>(std::countr_zero(mask));
            break;
        }
        if (l == levels_ - 1) {
            return -1;
        }
        i = group + 1;
        ++l;
        if (i >= level_count_[l]) {
            return -1;
        }
    }
    while (l > 0) {
        --l;
        i = i * FAN + static_cast<uint32_t>(std::countr_zero(mask_at_least(level_[l] + i * FAN, size)));
    }
    return i;
}

int64_t KHeapFreeIndex::last_chunk_at_least(uint32_t chunk, uint32_t size) const
{
    uint32_t i = chunk;
    int l = 0;
    for (;;) {
        const uint32_t group = i / FAN;
        const uint32_t mask = mask_at_least(level_[l] + group * FAN, size) & ((2u << (i % FAN)) - 1);
        if (mask != 0) {
            i = group * FAN + 31 - static_cast<uint32_t>(std::countl_zero(mask));
            break;
        }
        if (l == levels_ - 1 || group == 0) {
            return -1;
        }
        i = group - 1;
        ++l;
    }
    while (l > 0) {
        --l;
        i = i * FAN + 31 - static_cast<uint32_t>(std::countl_zero(mask_at_least(level_[l] + i * FAN, size)));
    }
    return i;
}

MemoryBlock* KHeapFreeIndex::first_in_chunk(uint32_t chunk, uint64_t mask, uint32_t size) const
{
    for (uint64_t w = starts_[chunk] & mask; w != 0; w &= w - 1) {
        MemoryBlock* const m = block_at(chunk * CHUNK_UNITS + static_cast<uint32_t>(std::countr_zero(w)));
        if (m->size >= size) {
            return m;
        }
    }
    return nullptr;
}

MemoryBlock* KHeapFreeIndex::last_in_chunk(uint32_t chunk, uint64_t mask, uint32_t size) const
{
    for (uint64_t w = starts_[chunk] & mask; w != 0;) {
        const uint32_t b = 63 - static_cast<uint32_t>(std::countl_zero(w));
        MemoryBlock* const m = block_at(chunk * CHUNK_UNITS + b);
        if (m->size >= size) {
            return m;
        }
        w &= ~(uint64_t{1} << b);
    }
    return nullptr;
}

MemoryBlock* KHeapFreeIndex::lowest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (from >= to || from >= units_) {
        return nullptr;
    }
    const uint32_t chunk = from / CHUNK_UNITS;
    MemoryBlock* m = nullptr;
    if (largest_[chunk] >= size) {
        m = first_in_chunk(chunk, bits_from(from % CHUNK_UNITS), size);
    }
    if (m == nullptr) {
        const int64_t next = first_chunk_at_least(chunk + 1, size);
        if (next < 0 || static_cast<uint64_t>(next) * CHUNK_UNITS >= to) {
            return nullptr;
        }
        m = first_in_chunk(static_cast<uint32_t>(next), ~uint64_t{0}, size);
    }
    return m != nullptr && unit_of(m) < to ? m : nullptr;
}

MemoryBlock* KHeapFreeIndex::highest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (to > units_) {
        to = units_;
    }
    if (from >= to) {
        return nullptr;
    }
    const uint32_t chunk = (to - 1) / CHUNK_UNITS;
    MemoryBlock* m = nullptr;
    if (largest_[chunk] >= size) {
        m = last_in_chunk(chunk, bits_upto((to - 1) % CHUNK_UNITS), size);
    }
    if (m == nullptr) {
        const int64_t next = chunk > 0 ? last_chunk_at_least(chunk - 1, size) : -1;
        if (next < 0 || (static_cast<uint64_t>(next) + 1) * CHUNK_UNITS <= from) {
            return nullptr;
        }
        m = last_in_chunk(static_cast<uint32_t>(next), ~uint64_t{0}, size);
    }
    return m != nullptr && unit_of(m) >= from ? m : nullptr;
}

bool KHeapFreeIndex::agrees_with(const MemoryBlock* first) const
{
    uint32_t listed = 0;
    for (uint32_t c = 0; c < level_count_[0]; ++c) {
        if (largest_[c] != (c < chunks_ ? chunk_max(c) : 0)) {
            return false;
        }
        listed += c < chunks_ ? static_cast<uint32_t>(std::popcount(starts_[c])) : 0;
    }
    for (int l = 1; l < levels_; ++l) {
        for (uint32_t i = 0; i < level_count_[l]; ++i) {
            const bool below = static_cast<uint64_t>(i) * FAN < level_count_[l - 1];
            if (level_[l][i] != (below ? group_max(level_[l - 1] + i * FAN) : 0)) {
                return false;
            }
        }
    }
    uint32_t free_blocks = 0;
    for (const MemoryBlock* m = first; m != nullptr; m = m->next) {
        const uint32_t u = unit_of(m);
        const bool marked = (starts_[u / CHUNK_UNITS] >> (u % CHUNK_UNITS) & 1) != 0;
        if (marked != m->is_free()) {
            return false;
        }
        free_blocks += m->is_free() ? 1 : 0;
    }
    return listed == free_blocks;
}
