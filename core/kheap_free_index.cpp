#include "core/kheap_free_index.h"

#include <bit>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t FAN = 32; // entries of a group: one cache line of 16-bit entries

// Eight lanes of a group; the compiler turns these into vector instructions.
// Entries stay below 2^15, so the lanes compare as signed values.
using Lanes = int16_t __attribute__((vector_size(16)));

Lanes load_lanes(const uint16_t* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Which of a group's 32 entries are at least want (at least 1), one bit each.
uint32_t mask_at_least(const uint16_t* group, uint16_t want)
{
    const int16_t below = static_cast<int16_t>(want - 1);
    const Lanes a = load_lanes(group) > below;
    const Lanes b = load_lanes(group + 8) > below;
    const Lanes c = load_lanes(group + 16) > below;
    const Lanes d = load_lanes(group + 24) > below;
#if defined(__SSE2__)
    // Narrow the all-ones or zero lanes to bytes and take their top bits.
    using Bytes = char __attribute__((vector_size(16)));
    const uint32_t low = static_cast<uint16_t>(__builtin_ia32_pmovmskb128(reinterpret_cast<Bytes>(__builtin_ia32_packsswb128(a, b))));
    const uint32_t high = static_cast<uint16_t>(__builtin_ia32_pmovmskb128(reinterpret_cast<Bytes>(__builtin_ia32_packsswb128(c, d))));
    return low | high << 16;
#else
    uint32_t mask = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        mask |= static_cast<uint32_t>(a[i] & 1) << i | static_cast<uint32_t>(b[i] & 1) << (i + 8) |
                static_cast<uint32_t>(c[i] & 1) << (i + 16) | static_cast<uint32_t>(d[i] & 1) << (i + 24);
    }
    return mask;
#endif
}

Lanes lanes_max(Lanes a, Lanes b) { return a > b ? a : b; }

// A group in registers, so that entries can be changed in it before the
// stores: a vector load of a line with a pending narrower store stalls.
struct Group {
    Lanes a, b, c, d;

    explicit Group(const uint16_t* p)
        : a(load_lanes(p)), b(load_lanes(p + 8)), c(load_lanes(p + 16)), d(load_lanes(p + 24))
    {
    }
    // Without branches: the lane is picked by comparing with each lane's number.
    void set(uint32_t i, uint16_t v)
    {
        const Lanes at = Lanes{} + static_cast<int16_t>(i);
        const Lanes with = Lanes{} + static_cast<int16_t>(v);
        a = at == Lanes{0, 1, 2, 3, 4, 5, 6, 7} ? with : a;
        b = at == Lanes{8, 9, 10, 11, 12, 13, 14, 15} ? with : b;
        c = at == Lanes{16, 17, 18, 19, 20, 21, 22, 23} ? with : c;
        d = at == Lanes{24, 25, 26, 27, 28, 29, 30, 31} ? with : d;
    }
    uint16_t max() const
    {
        Lanes m = lanes_max(lanes_max(a, b), lanes_max(c, d));
        m = lanes_max(m, __builtin_shufflevector(m, m, 4, 5, 6, 7, 0, 1, 2, 3));
        m = lanes_max(m, __builtin_shufflevector(m, m, 2, 3, 0, 1, 6, 7, 4, 5));
        m = lanes_max(m, __builtin_shufflevector(m, m, 1, 0, 3, 2, 5, 4, 7, 6));
        return static_cast<uint16_t>(m[0]);
    }
};

uint16_t group_max(const uint16_t* group) { return Group(group).max(); }

uint32_t round_to_group(uint32_t n) { return (n + FAN - 1) / FAN * FAN; }

} // namespace

int KHeapFreeIndex::init(uint8_t* area, uint32_t size)
{
    release();
    area_ = area;
    units_ = size / KHEAP_ALIGN;
    slots_ = (units_ + SLOT_UNITS - 1) / SLOT_UNITS;
    size_t total = 0;
    uint32_t count = round_to_group(slots_ < 1 ? 1 : slots_);
    for (;;) {
        level_count_[levels_++] = count;
        total += count;
        if (count == FAN) {
            break;
        }
        count = round_to_group(count / FAN);
    }
    storage_ = new (std::nothrow) uint16_t[total];
    start_ = new (std::nothrow) uint8_t[level_count_[0]];
    if (storage_ == nullptr || start_ == nullptr) {
        release();
        return 0;
    }
    std::memset(storage_, 0, sizeof(uint16_t) * total);
    std::memset(start_, 0, level_count_[0]);
    uint16_t* next = storage_;
    for (int l = 0; l < levels_; ++l) {
        level_[l] = next;
        next += level_count_[l];
    }
    return 1;
}

void KHeapFreeIndex::release()
{
    delete[] storage_;
    delete[] start_;
    storage_ = nullptr;
    start_ = nullptr;
    for (int l = 0; l < MAX_LEVELS; ++l) {
        level_[l] = nullptr;
        level_count_[l] = 0;
    }
    area_ = nullptr;
    units_ = slots_ = 0;
    levels_ = 0;
}

void KHeapFreeIndex::add(const MemoryBlock* m)
{
    // The entry only grows (a new or a grown free block): every maximum above
    // takes it or keeps its own.
    uint32_t i = unit_of(m);
    start_[i / SLOT_UNITS] = static_cast<uint8_t>(i % SLOT_UNITS);
    i /= SLOT_UNITS;
    const uint16_t v = entry_of(m->size);
    level_[0][i] = v;
    for (int l = 1; l < levels_; ++l) {
        i /= FAN;
        if (level_[l][i] < v) {
            level_[l][i] = v;
        }
    }
}

void KHeapFreeIndex::remove(const MemoryBlock* m) { lower(0, slot_of(m), 0); }

void KHeapFreeIndex::shrunk(const MemoryBlock* m) { lower(0, slot_of(m), entry_of(m->size)); }

void KHeapFreeIndex::replace(const MemoryBlock* gone, const MemoryBlock* now)
{
    const uint32_t a = slot_of(gone);
    const uint32_t u = unit_of(now);
    const uint32_t b = u / SLOT_UNITS;
    const uint16_t v = entry_of(now->size);
    start_[b] = static_cast<uint8_t>(u % SLOT_UNITS);
    if (a / FAN != b / FAN || levels_ == 1) {
        lower(0, a, 0);
        lower(0, b, v);
        return;
    }
    // Both in one group (the common case): one new maximum for the level above.
    Group g(level_[0] + a / FAN * FAN);
    g.set(a % FAN, 0);
    g.set(b % FAN, v);
    level_[0][a] = 0;
    level_[0][b] = v;
    lower(1, a / FAN, g.max());
}

void KHeapFreeIndex::lower(int l, uint32_t i, uint16_t v)
{
    // Every maximum above is computed again, without branches on the values:
    // which ones change is as random as the sizes.
    for (; l < levels_ - 1; ++l) {
        const uint32_t parent = i / FAN;
        Group g(level_[l] + parent * FAN);
        g.set(i % FAN, v);
        level_[l][i] = v;
        v = g.max();
        i = parent;
    }
    level_[l][i] = v;
}

int64_t KHeapFreeIndex::first_slot_at_least(uint32_t slot, uint16_t want) const
{
    if (slot >= slots_) {
        return -1;
    }
    // From the first slot the root answers at once; elsewhere climb until a
    // group holds a large enough entry at or after i. Then down its first such path.
    int l = slot == 0 ? levels_ - 1 : 0;
    uint32_t i = slot;
    for (;;) {
        const uint32_t group = i / FAN;
        const uint32_t mask = mask_at_least(level_[l] + group * FAN, want) & (~0u << (i % FAN));
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
        i = i * FAN + static_cast<uint32_t>(std::countr_zero(mask_at_least(level_[l] + i * FAN, want)));
    }
    return i;
}

int64_t KHeapFreeIndex::last_slot_at_least(uint32_t slot, uint16_t want) const
{
    int l = 0;
    uint32_t i = slot;
    if (slot == slots_ - 1) {
        l = levels_ - 1;
        i = FAN - 1;
    }
    for (;;) {
        const uint32_t group = i / FAN;
        const uint32_t mask = mask_at_least(level_[l] + group * FAN, want) & (~0u >> (FAN - 1 - i % FAN));
        if (mask != 0) {
            i = group * FAN + FAN - 1 - static_cast<uint32_t>(std::countl_zero(mask));
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
        i = i * FAN + FAN - 1 - static_cast<uint32_t>(std::countl_zero(mask_at_least(level_[l] + i * FAN, want)));
    }
    return i;
}

MemoryBlock* KHeapFreeIndex::lowest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (from >= to || from >= units_) {
        return nullptr;
    }
    const uint16_t want = entry_of(size);
    // The block of from's own slot may begin below from.
    uint32_t slot = from / SLOT_UNITS;
    if (level_[0][slot] >= want && start_[slot] < from % SLOT_UNITS) {
        ++slot;
    }
    for (;;) {
        const int64_t found = first_slot_at_least(slot, want);
        if (found < 0) {
            return nullptr;
        }
        slot = static_cast<uint32_t>(found);
        MemoryBlock* const m = block_at(slot);
        if (unit_of(m) >= to) {
            return nullptr;
        }
        // A saturated entry only says the block may be large enough.
        if (want < SIZE_CAP || m->size >= size) {
            return m;
        }
        ++slot;
    }
}

MemoryBlock* KHeapFreeIndex::highest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (to > units_) {
        to = units_;
    }
    if (from >= to) {
        return nullptr;
    }
    const uint16_t want = entry_of(size);
    // The block of to - 1's own slot may begin above it.
    int64_t slot = (to - 1) / SLOT_UNITS;
    if (level_[0][slot] >= want && start_[slot] > (to - 1) % SLOT_UNITS) {
        --slot;
    }
    for (;;) {
        slot = slot >= 0 ? last_slot_at_least(static_cast<uint32_t>(slot), want) : -1;
        if (slot < 0) {
            return nullptr;
        }
        MemoryBlock* const m = block_at(static_cast<uint32_t>(slot));
        if (unit_of(m) < from) {
            return nullptr;
        }
        if (want < SIZE_CAP || m->size >= size) {
            return m;
        }
        --slot;
    }
}

bool KHeapFreeIndex::agrees_with(const MemoryBlock* first) const
{
    for (int l = 1; l < levels_; ++l) {
        for (uint32_t i = 0; i < level_count_[l]; ++i) {
            const bool below = static_cast<uint64_t>(i) * FAN < level_count_[l - 1];
            if (level_[l][i] != (below ? group_max(level_[l - 1] + i * FAN) : 0)) {
                return false;
            }
        }
    }
    uint32_t listed = 0;
    for (uint32_t s = 0; s < level_count_[0]; ++s) {
        listed += level_[0][s] != 0 ? 1 : 0;
    }
    uint32_t free_blocks = 0;
    for (const MemoryBlock* m = first; m != nullptr; m = m->next) {
        if (m->is_free()) {
            const uint32_t s = slot_of(m);
            if (level_[0][s] != entry_of(m->size) || start_[s] != unit_of(m) % SLOT_UNITS) {
                return false;
            }
            ++free_blocks;
        }
    }
    return listed == free_blocks;
}
