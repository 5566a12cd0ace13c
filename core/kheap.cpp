#include "core/kheap.h"

#include "core/cache_owner.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/log_file.h"
#include "core/print.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

KHeap* kheap = nullptr;

void kheap_link_operators(); // core/new_delete.cpp

namespace {

constexpr uint32_t HEADER = sizeof(MemoryBlock);
constexpr uint32_t MIN_REMAINDER = 64; // a split must leave at least this much free
constexpr uint32_t DEAD_WORD = 0xDEADBEEF;
constexpr uint32_t VARIABLE_FLAGS = 0x10;

void set_name(MemoryBlock* m, const char* name)
{
    // Straight into the header: bytes gathered elsewhere and read back as
    // words would wait for their stores. Unrolled, a short name costs a load,
    // a test and a store a character.
    std::memset(m->name, 0, KHEAP_NAME_LEN);
    if (name != nullptr) {
#pragma GCC unroll 15
        for (int i = 0; i < KHEAP_NAME_LEN - 1; ++i) {
            if (name[i] == '\0') {
                break;
            }
            m->name[i] = name[i];
        }
    }
}

void make_free(MemoryBlock* m)
{
    static const char free_name[KHEAP_NAME_LEN] = "FREE";
    m->owner = nullptr;
    m->tag = TAG_TAG | TAGF_FREE;
    std::memcpy(m->name, free_name, KHEAP_NAME_LEN);
}

uint8_t* bytes(MemoryBlock* m) { return reinterpret_cast<uint8_t*>(m); }

} // namespace

void* kheap_alloc(size_t size, int where, const char* name)
{
    if (kheap != nullptr && kheap->area() != nullptr) {
        return kheap->alloc(size, where, name);
    }
    return ::operator new(size, std::nothrow);
}

void kheap_release(void* data) { ::operator delete(data); }

KHeap::~KHeap()
{
    close();
    if (kheap == this) {
        kheap = nullptr;
    }
}

bool KHeap::var_on(const ConfigVariable* v) const { return v != nullptr && v->as_bool(); }

uint32_t KHeap::block_size(size_t request)
{
    // An empty block's data would begin at the next block, or at the area's
    // end, where delete could no longer tell it belongs to the heap.
    if (request == 0) {
        request = 1;
    }
    return static_cast<uint32_t>((request + HEADER + (KHEAP_ALIGN - 1)) & ~static_cast<size_t>(KHEAP_ALIGN - 1));
}

void KHeap::fill_dead(void* p, size_t n) const
{
    uint8_t* const b = static_cast<uint8_t*>(p);
    const uint32_t word = DEAD_WORD;
    for (size_t i = 0; i + 4 <= n; i += 4) {
        std::memcpy(b + i, &word, 4);
    }
}

int KHeap::init(size_t size, uint32_t flags)
{
    kheap_link_operators();
    close();
    size &= ~static_cast<size_t>(0xFF);
    // Sizes travel as 32-bit values; a request beyond that is refused, not wrapped.
    if (size < 256 || size > KHEAP_MAX_SIZE) {
        print_format(P_ERROR, "KHeap: Can't allocate heap (%d MB) !", static_cast<int>(size >> 20));
        return 0;
    }
    area_ = static_cast<uint8_t*>(std::aligned_alloc(KHEAP_ALIGN, size));
    if (area_ == nullptr) {
        print_format(P_ERROR, "KHeap: Can't allocate heap (%d MB) !", static_cast<int>(size >> 20));
        return 0;
    }
    size_ = static_cast<uint32_t>(size);
    if (index_.init(area_, size_) == 0) {
        std::free(area_);
        area_ = nullptr;
        size_ = 0;
        print_format(P_ERROR, "KHeap: Can't allocate heap (%d MB) !", static_cast<int>(size >> 20));
        return 0;
    }
    std::memset(area_, 0, size);

    if (cvar_list != nullptr) {
        const auto link = [flags](const char* name, uint32_t bit) {
            return cvar_list->link(CVTYPE_BOOL, VARIABLE_FLAGS, name, (flags & bit) != 0 ? "1" : "0", 0);
        };
        clear_ = link("KHeap_Clear", KHEAP_CLEAR);
        deadbeef_ = link("KHeap_DeadBeef", KHEAP_DEADBEEF);
        check_ = link("KHeap_Check", KHEAP_CHECK);
        debug_msg_ = link("KHeap_DebugMsg", KHEAP_DEBUGMSG);
    }
    if (clear_ == nullptr || deadbeef_ == nullptr || check_ == nullptr || debug_msg_ == nullptr) {
        print_string(P_ERROR, "KHeap: Can't create cvars !");
        // Nothing was ever open: give the area back quietly, then release what did link.
        std::free(area_);
        index_.release();
        area_ = nullptr;
        size_ = 0;
        close();
        return 0;
    }

    MemoryBlock* const m = reinterpret_cast<MemoryBlock*>(area_);
    m->prev = nullptr;
    m->next = nullptr;
    m->size = size_;
    make_free(m);
    first_ = last_ = low_ = high_ = m;
    co_head_ = co_tail_ = nullptr;
    index_.add(m);
    if (var_on(deadbeef_)) {
        fill_dead(m->data(), size_ - HEADER);
    }
    // The free space was just filled: nothing for the first check to refill.
    (void)deadbeef_->check_changed();
    print_format(P_LOG, "KHeap initialized (%d MB)", static_cast<int>(size_ >> 20));
    return 1;
}

void KHeap::close()
{
    if (area_ != nullptr) {
        print_string(P_LOG, "Closing KHeap");
        if (var_on(check_)) {
            check(1);
        }
        if (first_ != nullptr && first_->size != size_) {
            print_string(P_WARNING, "KHeap: Heap is not free in close() !");
            if (var_on(debug_msg_)) {
                dump(0, nullptr);
            }
        }
        // Owners still listed lose their links: the blocks they point into are gone.
        while (co_head_ != nullptr) {
            unlink_lru(co_head_);
        }
        std::free(area_);
        index_.release();
        area_ = nullptr;
        size_ = 0;
        first_ = last_ = low_ = high_ = nullptr;
    }
    ConfigVariable** const vars[] = {&clear_, &deadbeef_, &check_, &debug_msg_};
    for (ConfigVariable** v : vars) {
        release_variable(*v);
    }
}

void* KHeap::refuse(size_t request, const char* name) const
{
    print_format(P_WARNING, "KHeap: Can't allocate %zu bytes for '%.15s', more than the heap holds", request,
                 name != nullptr ? name : "");
    return nullptr;
}

// The new block takes the top of m; the free remainder keeps m's header.
inline MemoryBlock* KHeap::split_top(MemoryBlock* m, uint32_t size)
{
    K_ASSERT(m->size >= size);
    const uint32_t old_size = m->size;
    if (old_size - size < MIN_REMAINDER) {
        index_.remove(m);
        return m;
    }
    MemoryBlock* const n = reinterpret_cast<MemoryBlock*>(bytes(m) + (old_size - size));
    MemoryBlock* const next = m->next;
    n->prev = m;
    n->next = next;
    n->size = size;
    if (next != nullptr) {
        next->prev = n;
    } else {
        last_ = n;
    }
    m->next = n;
    m->size = old_size - size;
    index_.shrunk(m, old_size);
    return n;
}

// The new block keeps m's header at the bottom; the free remainder goes above.
inline MemoryBlock* KHeap::split_bottom(MemoryBlock* m, uint32_t size)
{
    K_ASSERT(m->size >= size);
    const uint32_t old_size = m->size;
    if (old_size - size < MIN_REMAINDER) {
        index_.remove(m);
        return m;
    }
    MemoryBlock* const r = reinterpret_cast<MemoryBlock*>(bytes(m) + size);
    MemoryBlock* const next = m->next;
    r->prev = m;
    r->next = next;
    r->size = old_size - size;
    make_free(r);
    if (next != nullptr) {
        next->prev = r;
    } else {
        last_ = r;
    }
    m->next = r;
    m->size = size;
    index_.replace(m, old_size, r);
    return m;
}

inline void* KHeap::finish(MemoryBlock* m, uint32_t tag, CacheOwner* owner, const char* name)
{
    m->tag = tag;
    m->owner = owner;
    set_name(m, name);
    // The variables exist while the area does; one branch for both.
    if ((clear_->raw_value() | check_->raw_value()) != 0) {
        finish_options(m);
    }
    return m->data();
}

// Apart from finish, so that its common path stays free of calls.
void KHeap::finish_options(MemoryBlock* m)
{
    if (var_on(clear_)) {
        std::memset(m->data(), 0, m->size - HEADER);
    }
    if (var_on(check_)) {
        check(0);
    }
}

uint64_t KHeap::cacheable_bytes() const
{
    if (low_ == nullptr) {
        return 0;
    }
    return static_cast<uint64_t>(bytes(high_) - bytes(low_)) + high_->size;
}

const char* KHeap::owner_block_name(const CacheOwner* owner) const
{
    const MemoryBlock* const b = object_block(owner);
    return b != nullptr ? b->name : "?";
}

void KHeap::evict(CacheOwner* owner, const char* first_message, bool& announced)
{
    K_ASSERT(owner);
    if (var_on(debug_msg_)) {
        if (!announced) {
            print_string(P_DEBUG, first_message);
            announced = true;
        }
        print_format(P_DEBUG, "KHeap: Removing blocks owned by '%s'", owner_block_name(owner));
    }
    owner->flush();
}

void KHeap::evict_at(MemoryBlock* m, bool& announced)
{
    CacheOwner* const owner = m->owner;
    evict(owner, "KHeap: Shrinking cacheable area", announced);
    // drop must free every block of the owner; anything else would loop for ever.
    K_ASSERT(m->is_free() || m->owner != owner);
}

void KHeap::lose_cacheable_area()
{
    print_string(P_WARNING, "KHeap: No cacheable area available !");
    low_ = nullptr;
    high_ = nullptr;
}

void* KHeap::alloc(size_t size, int where, const char* name)
{
    K_ASSERT(area_);
    if (size > size_ - HEADER) {
        return refuse(size, name);
    }
    const uint32_t bsize = block_size(size);
    // The first fit walking over the blocks of the persistent region from
    // its end: down from the last block to high, or up from the first to low.
    // Searched over the whole heap, the fit may turn out to be the free edge
    // block of the cacheable area, which the region then takes at once.
    if (where == KHEAP_FROM_TOP) {
        MemoryBlock* const fit = index_.highest(0, index_.units(), bsize);
        if (fit != nullptr && (low_ == nullptr || fit > high_)) {
            return finish(split_top(fit, bsize), TAG_TAG, nullptr, name);
        }
        if (fit != nullptr && fit == high_) {
            return finish(take_high(bsize), TAG_TAG, nullptr, name);
        }
        return shrink_area_top(bsize, name);
    }
    MemoryBlock* const fit = index_.lowest(0, index_.units(), bsize);
    if (fit != nullptr && (low_ == nullptr || fit < low_)) {
        return finish(split_bottom(fit, bsize), TAG_TAG, nullptr, name);
    }
    if (fit != nullptr && fit == low_) {
        return finish(take_low(bsize), TAG_TAG, nullptr, name);
    }
    return shrink_area_bottom(bsize, name);
}

// high is free and large enough: the new block takes its top.
inline MemoryBlock* KHeap::take_high(uint32_t size)
{
    MemoryBlock* const old_high = high_;
    MemoryBlock* const n = split_top(old_high, size);
    if (n->prev == nullptr || n->prev->is_persistent()) {
        lose_cacheable_area();
    } else if (n == old_high) {
        if (low_ == old_high) {
            low_ = n->prev;
        }
        high_ = n->prev;
    }
    return n;
}

// low is free and large enough: the new block takes its bottom.
inline MemoryBlock* KHeap::take_low(uint32_t size)
{
    MemoryBlock* const old_low = low_;
    const bool was_high = old_low == high_;
    MemoryBlock* const n = split_bottom(old_low, size);
    if (n->next == nullptr || n->next->is_persistent()) {
        lose_cacheable_area();
    } else {
        low_ = n->next;
        if (was_high) {
            high_ = n->next;
        }
    }
    return n;
}

void* KHeap::shrink_area_top(uint32_t size, const char* name)
{
    if (low_ == nullptr || cacheable_bytes() < size) {
        return nullptr;
    }
    bool announced = false;
    for (;;) {
        MemoryBlock* const m = high_;
        if (m->is_free() && m->size >= size) {
            break;
        }
        if (m->is_free()) {
            K_ASSERT(m->prev);
            K_ASSERT(m->prev->tag & TAGF_CACHEABLE);
            evict_at(m->prev, announced);
        } else {
            K_ASSERT(m->tag & TAGF_CACHEABLE);
            evict_at(m, announced);
        }
    }
    return finish(take_high(size), TAG_TAG, nullptr, name);
}

void* KHeap::shrink_area_bottom(uint32_t size, const char* name)
{
    if (low_ == nullptr || cacheable_bytes() < size) {
        return nullptr;
    }
    bool announced = false;
    for (;;) {
        MemoryBlock* const m = low_;
        if (m->is_free() && m->size >= size) {
            break;
        }
        if (m->is_free()) {
            K_ASSERT(m->next);
            K_ASSERT(m->next->tag & TAGF_CACHEABLE);
            evict_at(m->next, announced);
        } else {
            K_ASSERT(m->tag & TAGF_CACHEABLE);
            evict_at(m, announced);
        }
    }
    return finish(take_low(size), TAG_TAG, nullptr, name);
}

void* KHeap::alloc_cacheable(size_t size, CacheOwner* owner, int where, const char* name)
{
    K_ASSERT(area_);
    K_ASSERT(owner);
    if (size > size_ - HEADER) {
        return refuse(size, name);
    }
    if (low_ == nullptr) {
        K_ASSERT(!high_);
        return nullptr;
    }
    const uint32_t bsize = block_size(size);
    if (cacheable_bytes() < bsize) {
        return nullptr;
    }
    bool announced = false;
    for (;;) {
        const uint32_t from = index_.unit_of(low_);
        const uint32_t to = index_.unit_of(high_) + 1;
        if (where == KHEAP_FROM_TOP) {
            MemoryBlock* const m = index_.highest(from, to, bsize);
            if (m != nullptr) {
                const bool was_high = m == high_;
                MemoryBlock* const n = split_top(m, bsize);
                if (was_high && n != m) {
                    high_ = n;
                }
                return finish(n, TAG_TAG | TAGF_CACHEABLE, owner, name);
            }
        } else {
            MemoryBlock* const m = index_.lowest(from, to, bsize);
            if (m != nullptr) {
                const bool was_high = m == high_;
                MemoryBlock* const n = split_bottom(m, bsize);
                if (was_high && n->next != nullptr && n->next->is_free()) {
                    high_ = n->next;
                }
                return finish(n, TAG_TAG | TAGF_CACHEABLE, owner, name);
            }
        }
        CacheOwner* const co = co_tail_;
        K_ASSERT(co);
        if (co == owner) {
            K_ASSERT(co == co_head_);
            return nullptr;
        }
        evict(co, "KHeap: Freeing cache", announced);
        // The owner must have left the list, or the next round would pick it again.
        K_ASSERT(co_tail_ != co);
    }
}

bool KHeap::holds(const void* data) const
{
    // One unsigned compare: below the first data address wraps to a large offset.
    const uintptr_t offset = reinterpret_cast<uintptr_t>(data) - reinterpret_cast<uintptr_t>(area_) - HEADER;
    return area_ != nullptr && offset < uintptr_t{size_} - HEADER;
}

void KHeap::free(void* data)
{
    K_ASSERT(data);
    K_ASSERT(holds(data) && (static_cast<uint8_t*>(data) - area_) % KHEAP_ALIGN == 0);
    MemoryBlock* const m = static_cast<MemoryBlock*>(data) - 1;
    // One test for the usual persistent or cacheable tag; the assertions name what is wrong.
    if ((m->tag & ~TAGF_CACHEABLE) != TAG_TAG) {
        K_ASSERT((m->tag & TAGM_TAG) == TAG_TAG);
        K_ASSERT(!(m->tag & TAGF_FREE));
    }

    const bool was_cacheable = m->is_cacheable();
    MemoryBlock* const below = m->prev;
    MemoryBlock* const above = m->next;
    const bool dead = deadbeef_->as_bool();
    const bool merge_below = below != nullptr && below->is_free();
    const bool merge_above = above != nullptr && above->is_free();
    const uint32_t above_size = merge_above ? above->size : 0;

    // A header that the block below absorbs keeps only its free tag, so that
    // freeing it a second time is still caught.
    MemoryBlock* r = m;
    if (merge_below) {
        m->tag = TAG_TAG | TAGF_FREE;
        below->size += m->size;
        below->next = above;
        if (above != nullptr) {
            above->prev = below;
        } else {
            last_ = below;
        }
        if (dead) {
            fill_dead(m, m->size);
        }
        r = below;
    } else {
        make_free(m);
        if (dead) {
            fill_dead(m->data(), m->size - HEADER);
        }
    }
    bool absorbed_low = false;
    bool absorbed_high = false;
    if (merge_above) {
        absorbed_low = above == low_;
        absorbed_high = above == high_;
        MemoryBlock* const next = above->next;
        r->size += above_size;
        r->next = next;
        if (next != nullptr) {
            next->prev = r;
        } else {
            last_ = r;
        }
        if (dead) {
            fill_dead(above, HEADER);
        }
        index_.replace(above, above_size, r);
    } else {
        index_.add(r);
    }

    if (was_cacheable) {
        if (r->next == nullptr || !r->next->is_cacheable()) {
            high_ = r;
        }
    } else if (low_ == nullptr) {
        low_ = high_ = r;
    } else if (above != nullptr && above == low_) {
        low_ = r;
        if (absorbed_low && absorbed_high) {
            high_ = r;
        }
    } else if (below != nullptr && below == high_) {
        high_ = r;
    }

    if (check_->as_bool()) {
        check(0);
    }
}

MemoryBlock* KHeap::object_block(const void* p) const
{
    const uint8_t* const b = static_cast<const uint8_t*>(p);
    if (area_ == nullptr || b < area_ || b >= area_ + size_) {
        return nullptr;
    }
    for (MemoryBlock* m = first_; m != nullptr; m = m->next) {
        if (b < bytes(m) + m->size) {
            return m;
        }
    }
    return nullptr;
}

int KHeap::check(int verify_free)
{
    if (area_ == nullptr) {
        return 1;
    }
    const bool verify_dead = verify_free != 0 && var_on(deadbeef_);
    const bool refill = verify_dead && deadbeef_->check_changed();
    uint8_t* const end = area_ + size_;
    bool ok = true;
    bool met_low = false;
    bool met_high = false;
    int number = 0;
    for (MemoryBlock* m = first_; m != nullptr; m = m->next, ++number) {
        const int n = number;
        if ((m->tag & TAGM_TAG) != TAG_TAG) {
            print_format(P_ERROR, "KHeap: Block %d (%.15s) - invalid tag !", n, m->name);
            return 0;
        }
        // The first block's prev is never followed: it may point anywhere.
        if (m->prev == nullptr ? m != first_ : (m == first_ || m->prev->next != m)) {
            print_format(P_ERROR, "KHeap: Block %d (%.15s) - invalid prev link !", n, m->name);
            return 0;
        }
        // A next link that is followed must lead further up, inside the area, to a block boundary.
        const uintptr_t next_at = reinterpret_cast<uintptr_t>(m->next);
        const bool next_inside = m->next == nullptr || (next_at > reinterpret_cast<uintptr_t>(m) &&
                                                        next_at < reinterpret_cast<uintptr_t>(end) &&
                                                        (next_at - reinterpret_cast<uintptr_t>(area_)) % KHEAP_ALIGN == 0);
        if (!next_inside || (m->next == nullptr ? m != last_ : (m->next->prev != m || m == last_))) {
            print_format(P_ERROR, "KHeap: Block %d (%.15s) - invalid next link !", n, m->name);
            return 0;
        }
        const int64_t room = end - bytes(m);
        if (m->next != nullptr && (m->size < HEADER || bytes(m->next) - bytes(m) != m->size)) {
            print_format(P_ERROR, "KHeap: Block %d (%.15s) - invalid size (val = %d, ptr dif = %d) !", n, m->name,
                         static_cast<int>(m->size), static_cast<int>(bytes(m->next) - bytes(m)));
            return 0;
        }
        if (m->next == nullptr && (m->size < HEADER || room != m->size)) {
            print_format(P_ERROR, "KHeap: Last block %d (%.15s) - invalid size (val = %d, ptr dif = %d) !", n, m->name,
                         static_cast<int>(m->size), static_cast<int>(room));
            return 0;
        }
        if (m == low_) {
            met_low = true;
            if (m->prev != nullptr && !m->prev->is_persistent()) {
                print_string(P_ERROR, "KHeap: low->prev is not persistent !");
                return 0;
            }
        }
        const bool in_area = met_low && !met_high;
        if (m == high_) {
            met_high = true;
            if (m->next != nullptr && !m->next->is_persistent()) {
                print_string(P_ERROR, "KHeap: high->next is not persistent !");
                return 0;
            }
        }
        const uint32_t kind = m->tag & ~TAGM_TAG;
        if (kind == TAGF_FREE) {
            if (verify_dead) {
                if (refill) {
                    fill_dead(m->data(), m->size - HEADER);
                } else {
                    const uint8_t* const d = static_cast<const uint8_t*>(m->data());
                    for (uint32_t i = 0; i + 4 <= m->size - HEADER; i += 4) {
                        uint32_t w;
                        std::memcpy(&w, d + i, 4);
                        if (w != DEAD_WORD) {
                            print_format(P_ERROR, "KHeap: Block %d - unallocated space touched !", n);
                            ok = false;
                            break;
                        }
                    }
                }
            }
        } else if (kind == TAGF_CACHEABLE) {
            if (!(in_area || m == high_)) {
                print_format(P_ERROR, "KHeap: Cacheable block %d (%.15s) not in cacheable area !", n, m->name);
                ok = false;
            }
        } else if (kind == 0) {
            if (in_area || m == high_) {
                print_format(P_ERROR, "KHeap: Persistent block %d (%.15s) in cacheable area !", n, m->name);
                ok = false;
            }
        } else {
            print_format(P_ERROR, "KHeap: Block %d (%.15s) - unknown type !", n, m->name);
            ok = false;
        }
    }
    // Without a cacheable area both lines appear, though the heap is sound.
    if (!met_low) {
        print_string(P_ERROR, "KHeap: Low cache block not found !");
        ok = ok && low_ == nullptr;
    }
    if (!met_high) {
        print_string(P_ERROR, "KHeap: High cache block not found !");
        ok = ok && high_ == nullptr;
    }
    return ok ? 1 : 0;
}

void KHeap::emit(LogFile* file, const char* text) const
{
    if (file != nullptr) {
        file->write_line(text, 0);
    } else {
        print_string(P_MESSAGE, text);
    }
}

void KHeap::dump(int list_free, LogFile* file)
{
    if (area_ == nullptr) {
        return;
    }
    if (var_on(check_)) {
        check(0);
    }
    emit(file, "*** KHeap bottom ***");
    char line[160];
    for (MemoryBlock* m = first_; m != nullptr; m = m->next) {
        if (m == low_) {
            emit(file, "*** Cacheable area bottom ***");
        }
        const unsigned offset = static_cast<unsigned>(bytes(m) - area_);
        if (m->is_free()) {
            if (list_free != 0) {
                std::snprintf(line, sizeof line, "0x%08x: FREE, size %#x bytes", offset, m->size);
                emit(file, line);
            }
        } else {
            const uint32_t kind = m->tag & ~TAGM_TAG;
            const char letter = kind == 0 ? 'P' : kind == TAGF_CACHEABLE ? 'C' : '?';
            char owned[64] = "";
            if (kind == TAGF_CACHEABLE) {
                std::snprintf(owned, sizeof owned, " (owned by '%.15s')", owner_block_name(m->owner));
            }
            std::snprintf(line, sizeof line, "0x%08x: '%.15s' [%c], size %#x bytes%s", offset, m->name, letter,
                          m->size, owned);
            emit(file, line);
        }
        if (m == high_) {
            emit(file, "*** Cacheable area top ***");
        }
    }
    // Without a cacheable area the blocks are listed under the first marker only.
    if (low_ != nullptr) {
        emit(file, "*** KHeap top ***");
    }
}

void KHeap::mem_info(KHeapInfo* info) const
{
    K_ASSERT(info);
    *info = KHeapInfo{};
    info->heap_size = size_;
    if (area_ == nullptr) {
        return;
    }
    if (low_ == nullptr) {
        info->high_size = size_;
    } else {
        info->low_size = static_cast<uint32_t>(bytes(low_) - area_);
        info->cache_size = static_cast<uint32_t>(cacheable_bytes());
        info->high_size = size_ - info->low_size - info->cache_size;
    }
    // 0 lower region, 1 upper region, 2 cacheable area
    int region = low_ != nullptr ? 0 : 1;
    for (MemoryBlock* m = first_; m != nullptr; m = m->next) {
        if (m == low_) {
            region = 2;
        }
        if (m->is_free()) {
            uint32_t& free_bytes = region == 0 ? info->low_free : region == 1 ? info->high_free : info->cache_free;
            uint32_t& largest = region == 0 ? info->low_largest : region == 1 ? info->high_largest : info->cache_largest;
            free_bytes += m->size;
            largest = std::max(largest, m->size);
        }
        if (m == high_) {
            region = 1;
        }
    }
}

void KHeap::link_lru_front(CacheOwner* owner)
{
    owner->lru_prev = nullptr;
    owner->lru_next = co_head_;
    if (co_head_ != nullptr) {
        co_head_->lru_prev = owner;
    } else {
        co_tail_ = owner;
    }
    co_head_ = owner;
}

void KHeap::unlink_lru(CacheOwner* owner)
{
    if (owner->lru_prev != nullptr) {
        owner->lru_prev->lru_next = owner->lru_next;
    } else {
        co_head_ = owner->lru_next;
    }
    if (owner->lru_next != nullptr) {
        owner->lru_next->lru_prev = owner->lru_prev;
    } else {
        co_tail_ = owner->lru_prev;
    }
    owner->lru_prev = nullptr;
    owner->lru_next = nullptr;
}

void KHeap::release_owner_blocks(const CacheOwner* owner)
{
    // Each free may merge neighbours and move high, so search again after it.
    for (;;) {
        if (low_ == nullptr) {
            return;
        }
        MemoryBlock* found = nullptr;
        for (MemoryBlock* m = low_; found == nullptr; m = m->next) {
            if (m->is_cacheable() && m->owner == owner) {
                found = m;
            }
            if (m == high_) {
                break;
            }
        }
        if (found == nullptr) {
            return;
        }
        free(found->data());
    }
}
