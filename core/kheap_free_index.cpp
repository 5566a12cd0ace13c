#include "core/kheap_free_index.h"

#include <bit>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t CHUNK_UNITS = 64;

// Bits at and above b (b < 64).
constexpr uint64_t bits_from(uint32_t b) { return ~uint64_t{0} << b; }
// Bits at and below b (b < 64).
constexpr uint64_t bits_upto(uint32_t b) { return b == 63 ? ~uint64_t{0} : (uint64_t{1} << (b + 1)) - 1; }

} // namespace

int KHeapFreeIndex::init(uint8_t* area, uint32_t size)
{
    release();
    area_ = area;
    units_ = size / KHEAP_ALIGN;
    chunks_ = (units_ + CHUNK_UNITS - 1) / CHUNK_UNITS;
    leaves_ = std::bit_ceil(chunks_ < 2 ? 2u : chunks_);
    starts_ = new (std::nothrow) uint64_t[chunks_];
    tree_ = new (std::nothrow) uint32_t[2 * static_cast<size_t>(leaves_)];
    if (starts_ == nullptr || tree_ == nullptr) {
        release();
        return 0;
    }
    std::memset(starts_, 0, sizeof(uint64_t) * chunks_);
    std::memset(tree_, 0, sizeof(uint32_t) * 2 * static_cast<size_t>(leaves_));
    return 1;
}

void KHeapFreeIndex::release()
{
    delete[] starts_;
    delete[] tree_;
    starts_ = nullptr;
    tree_ = nullptr;
    area_ = nullptr;
    units_ = chunks_ = leaves_ = 0;
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

// Recomputes the chunk's leaf and its ancestors, up to where nothing changes.
void KHeapFreeIndex::update(uint32_t chunk)
{
    uint32_t i = leaves_ + chunk;
    uint32_t value = chunk_max(chunk);
    if (tree_[i] == value) {
        return;
    }
    tree_[i] = value;
    for (i >>= 1; i >= 1; i >>= 1) {
        const uint32_t left = tree_[2 * i];
        const uint32_t right = tree_[2 * i + 1];
        value = left > right ? left : right;
        if (tree_[i] == value) {
            return;
        }
        tree_[i] = value;
    }
}

// A larger block only raises maxima: stop where they are already as large.
void KHeapFreeIndex::raise(uint32_t chunk, uint32_t size)
{
    for (uint32_t i = leaves_ + chunk; i >= 1 && tree_[i] < size; i >>= 1) {
        tree_[i] = size;
    }
}

void KHeapFreeIndex::add(MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    starts_[u / CHUNK_UNITS] |= uint64_t{1} << (u % CHUNK_UNITS);
    raise(u / CHUNK_UNITS, m->size);
}

void KHeapFreeIndex::grown(MemoryBlock* m) { raise(unit_of(m) / CHUNK_UNITS, m->size); }

void KHeapFreeIndex::remove(MemoryBlock* m)
{
    const uint32_t u = unit_of(m);
    starts_[u / CHUNK_UNITS] &= ~(uint64_t{1} << (u % CHUNK_UNITS));
    update(u / CHUNK_UNITS);
}

void KHeapFreeIndex::resized(MemoryBlock* m) { update(unit_of(m) / CHUNK_UNITS); }

void KHeapFreeIndex::replace(MemoryBlock* m, MemoryBlock* r)
{
    const uint32_t um = unit_of(m);
    const uint32_t ur = unit_of(r);
    starts_[um / CHUNK_UNITS] &= ~(uint64_t{1} << (um % CHUNK_UNITS));
    starts_[ur / CHUNK_UNITS] |= uint64_t{1} << (ur % CHUNK_UNITS);
    update(um / CHUNK_UNITS);
    if (ur / CHUNK_UNITS != um / CHUNK_UNITS) {
        update(ur / CHUNK_UNITS);
    }
}

int KHeapFreeIndex::first_chunk_at_least(uint32_t chunk, uint32_t size, bool from_end) const
{
    if (chunk >= chunks_ || tree_[1] < size) {
        return -1;
    }
    uint32_t i = from_end ? 1 : leaves_ + chunk;
    if (from_end) {
        while (i < leaves_) {
            i = tree_[2 * i] >= size ? 2 * i : 2 * i + 1;
        }
    } else if (tree_[i] < size) {
        // Up until a right sibling holds a large enough block, then down its leftmost such path.
        for (;;) {
            if ((i & 1) == 0 && tree_[i + 1] >= size) {
                i = i + 1;
                break;
            }
            i >>= 1;
            if (i <= 1) {
                return -1;
            }
        }
        while (i < leaves_) {
            i = tree_[2 * i] >= size ? 2 * i : 2 * i + 1;
        }
    }
    return static_cast<int>(i - leaves_);
}

int KHeapFreeIndex::last_chunk_at_least(uint32_t chunk, uint32_t size, bool from_end) const
{
    if (tree_[1] < size) {
        return -1;
    }
    uint32_t i = from_end ? 1 : leaves_ + chunk;
    if (from_end) {
        while (i < leaves_) {
            i = tree_[2 * i + 1] >= size ? 2 * i + 1 : 2 * i;
        }
    } else if (tree_[i] < size) {
        for (;;) {
            if ((i & 1) == 1 && tree_[i - 1] >= size) {
                i = i - 1;
                break;
            }
            i >>= 1;
            if (i <= 1) {
                return -1;
            }
        }
        while (i < leaves_) {
            i = tree_[2 * i + 1] >= size ? 2 * i + 1 : 2 * i;
        }
    }
    return static_cast<int>(i - leaves_);
}

MemoryBlock* KHeapFreeIndex::lowest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (from >= to) {
        return nullptr;
    }
    const uint32_t last_chunk = (to - 1) / CHUNK_UNITS;
    const uint64_t last_mask = bits_upto((to - 1) % CHUNK_UNITS);
    uint32_t chunk = from / CHUNK_UNITS;
    uint64_t w = starts_[chunk] & bits_from(from % CHUNK_UNITS);
    for (int round = 0; round < 2; ++round) {
        if (chunk == last_chunk) {
            w &= last_mask;
        }
        for (; w != 0; w &= w - 1) {
            MemoryBlock* const m = block_at(chunk * CHUNK_UNITS + static_cast<uint32_t>(std::countr_zero(w)));
            if (m->size >= size) {
                return m;
            }
        }
        if (chunk == last_chunk) {
            return nullptr;
        }
        // The next chunk that holds a block large enough; its first such block is the
        // answer. A search from unit 0 has seen all of chunk 0: any chunk may serve.
        const int next = first_chunk_at_least(chunk + 1, size, from == 0);
        if (next < 0 || static_cast<uint32_t>(next) > last_chunk) {
            return nullptr;
        }
        chunk = static_cast<uint32_t>(next);
        w = starts_[chunk];
    }
    return nullptr;
}

MemoryBlock* KHeapFreeIndex::highest(uint32_t from, uint32_t to, uint32_t size) const
{
    if (from >= to) {
        return nullptr;
    }
    const uint32_t first_chunk = from / CHUNK_UNITS;
    const uint64_t first_mask = bits_from(from % CHUNK_UNITS);
    uint32_t chunk = (to - 1) / CHUNK_UNITS;
    uint64_t w = starts_[chunk] & bits_upto((to - 1) % CHUNK_UNITS);
    for (int round = 0; round < 2; ++round) {
        if (chunk == first_chunk) {
            w &= first_mask;
        }
        while (w != 0) {
            const uint32_t b = 63 - static_cast<uint32_t>(std::countl_zero(w));
            MemoryBlock* const m = block_at(chunk * CHUNK_UNITS + b);
            if (m->size >= size) {
                return m;
            }
            w &= ~(uint64_t{1} << b);
        }
        if (chunk == first_chunk) {
            return nullptr;
        }
        const int next = last_chunk_at_least(chunk - 1, size, to == units_);
        if (next < 0 || static_cast<uint32_t>(next) < first_chunk) {
            return nullptr;
        }
        chunk = static_cast<uint32_t>(next);
        w = starts_[chunk];
    }
    return nullptr;
}

bool KHeapFreeIndex::agrees_with(const MemoryBlock* first) const
{
    uint32_t listed = 0;
    for (uint32_t c = 0; c < chunks_; ++c) {
        listed += static_cast<uint32_t>(std::popcount(starts_[c]));
        if (tree_[leaves_ + c] != chunk_max(c)) {
            return false;
        }
    }
    for (uint32_t i = leaves_ - 1; i >= 1; --i) {
        if (tree_[i] != (tree_[2 * i] > tree_[2 * i + 1] ? tree_[2 * i] : tree_[2 * i + 1])) {
            return false;
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
