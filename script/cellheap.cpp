#include "script/cellheap.h"

#include "core/kassert.h"
#include "script/karena.h"

namespace {

// Free list nodes sit at a cell's user address: word 0 next, word 1 previous.
// The list header is {head, tail = 0, tail-predecessor}; the tail node is the
// header's second word.
struct Heap {
    const KArena& a;
    uint32_t h;
    uint32_t nodes;
    uint32_t base;
    uint32_t size;

    Heap(const KArena& arena, uint32_t heap)
        : a(arena), h(heap), nodes(arena.word(heap + CELLHEAP_NODES)), base(arena.word(heap + CELLHEAP_BASE)),
          size(arena.word(heap + CELLHEAP_SIZE))
    {
        K_ASSERT(nodes != 0 && base != 0 && size != 0);
    }

    uint32_t w(uint32_t addr) const { return a.word(addr); }
    void set(uint32_t addr, uint32_t v) const { a.set_word(addr, v); }

    uint32_t class_size(uint32_t n) const { return w(n + CELLNODE_LO_ANCHOR + 4); }
    bool sentinel(uint32_t n) const { return class_size(n) == 0; }
    uint32_t data_start() const { return base - 4; }
    uint32_t top_sentinel() const { return base - 4 - CELLNODE_BYTES; }

    uint32_t header(uint32_t d) const { return w(d - 4); }
    uint32_t free_anchor(uint32_t d) const { return w(d + 8); }
    uint32_t anchor_node(uint32_t anchor) const { return w(anchor); }

    bool is_lo(uint32_t d, uint32_t s) const { return ((d - base) / s) % 2 == 0; }
    uint32_t buddy(uint32_t d, uint32_t s) const { return is_lo(d, s) ? d + s : d - s; }
    uint32_t anchor_for(uint32_t n, uint32_t d) const
    {
        return n + (is_lo(d, class_size(n)) ? CELLNODE_LO_ANCHOR : CELLNODE_HI_ANCHOR);
    }

    void list_init(uint32_t n) const
    {
        set(n + CELLNODE_FREE, n + CELLNODE_FREE + 4);
        set(n + CELLNODE_FREE + 4, 0);
        set(n + CELLNODE_FREE + 8, n + CELLNODE_FREE);
    }
    uint32_t list_first(uint32_t n) const
    {
        const uint32_t head = w(n + CELLNODE_FREE);
        return w(head) == 0 ? 0 : head;
    }
    void list_push(uint32_t n, uint32_t d) const
    {
        const uint32_t hdr = n + CELLNODE_FREE;
        const uint32_t head = w(hdr);
        set(d, head);
        set(d + 4, hdr);
        set(head + 4, d);
        set(hdr, d);
    }
    void list_remove(uint32_t d) const
    {
        const uint32_t next = w(d);
        const uint32_t prev = w(d + 4);
        set(prev, next);
        set(next + 4, prev);
    }

    // A free cell of class n: the front of its free list, else the lo half of its first pair.
    uint32_t take(uint32_t n) const
    {
        const uint32_t d = list_first(n);
        if (d != 0) {
            list_remove(d);
            return d;
        }
        const uint32_t lo = w(n + CELLNODE_PAIRED);
        if (lo == 0) {
            return 0;
        }
        const uint32_t hi = w(lo);
        set(n + CELLNODE_PAIRED, w(hi));
        set(hi + 8, n + CELLNODE_HI_ANCHOR);
        list_push(n, hi);
        return lo;
    }

    // Classes are few (at most 30): the recursion over them is bounded.
    uint32_t split(uint32_t n) const
    {
        const uint32_t up = n + CELLNODE_BYTES;
        if (sentinel(up)) {
            return 0;
        }
        uint32_t big = take(up);
        if (big == 0) {
            big = split(up);
        }
        if (big == 0) {
            return 0;
        }
        const uint32_t s = class_size(n);
        const uint32_t hi = big + s;
        set(hi - 4, 0);
        set(hi + 8, n + CELLNODE_HI_ANCHOR);
        list_push(n, hi);
        return big;
    }

    uint32_t gather(uint32_t n) const
    {
        const uint32_t sn = n - CELLNODE_BYTES;
        const uint32_t lo = w(sn + CELLNODE_PAIRED);
        if (lo != 0) {
            set(sn + CELLNODE_PAIRED, w(w(lo)));
            return lo;
        }
        if (sentinel(sn)) {
            return 0;
        }
        const uint32_t s = class_size(sn);
        for (;;) {
            const uint32_t c = gather(sn);
            if (c == 0) {
                return 0;
            }
            const uint32_t b = buddy(c, s);
            if (b >= base && b < base + size && header(b) == 0 && anchor_node(free_anchor(b)) == sn) {
                list_remove(b);
                return b < c ? b : c;
            }
            set(c - 4, 0);
            set(c + 8, anchor_for(sn, c));
            list_push(sn, c);
        }
    }
};

uint32_t round_pow2(uint32_t v)
{
    uint32_t p = 1;
    while (p < v) {
        K_ASSERT(p << 1 > p);
        p <<= 1;
    }
    return p;
}

} // namespace

uint32_t cellheap_create(KArena& arena, uint32_t count, uint32_t min_object, uint32_t max_object)
{
    // Object sizes come from script files: sizes whose classes would not fit 32 bits are refused.
    if (min_object > 0x40000000u || max_object > 0x40000000u) {
        return 0;
    }
    uint32_t minsize = min_object + 4;
    if (minsize < 16) {
        minsize = 16;
    }
    const uint32_t maxcellsize = max_object + 4;
    const uint32_t smallest = round_pow2(minsize);
    uint32_t classes = 1;
    uint32_t top = smallest;
    while (top < maxcellsize) {
        top <<= 1;
        ++classes;
    }
    const uint64_t pair = 2ull * top;
    uint64_t data = static_cast<uint64_t>(count) * maxcellsize;
    if (data == 0) {
        data = 1;
    }
    data = (data + pair - 1) / pair * pair;
    const uint64_t node_bytes = static_cast<uint64_t>(classes + 2) * CELLNODE_BYTES;
    const uint64_t total = 12 + node_bytes + data;
    if (total > arena.size()) {
        return 0;
    }
    const uint32_t h = arena.alloc(static_cast<uint32_t>(total));
    if (h == 0) {
        return 0;
    }
    const uint32_t nodes = h + 12 + CELLNODE_BYTES;
    arena.set_word(h + CELLHEAP_NODES, nodes);
    arena.set_word(h + CELLHEAP_BASE, static_cast<uint32_t>(h + 12 + node_bytes + 4));
    arena.set_word(h + CELLHEAP_SIZE, static_cast<uint32_t>(data));
    for (uint32_t i = 0; i < classes + 2; ++i) {
        const uint32_t n = h + 12 + i * CELLNODE_BYTES;
        const uint32_t s = (i == 0 || i == classes + 1) ? 0 : smallest << (i - 1);
        arena.set_word(n + CELLNODE_LO_ANCHOR, n);
        arena.set_word(n + CELLNODE_LO_ANCHOR + 4, s);
        arena.set_word(n + CELLNODE_HI_ANCHOR, n);
        arena.set_word(n + CELLNODE_HI_ANCHOR + 4, 0u - s);
    }
    cellheap_reset(arena, h);
    return h;
}

void cellheap_destroy(KArena& arena, uint32_t h)
{
    // The arena is released as a whole with its context; clear the record so stale use is caught.
    K_ASSERT(h != 0);
    arena.set_word(h + CELLHEAP_NODES, 0);
}

void cellheap_reset(const KArena& arena, uint32_t h)
{
    const Heap heap(arena, h);
    uint32_t n = heap.nodes - CELLNODE_BYTES;
    for (;; n += CELLNODE_BYTES) {
        K_ASSERT(heap.w(n + CELLNODE_LO_ANCHOR) == n);
        K_ASSERT(heap.w(n + CELLNODE_HI_ANCHOR) == n);
        heap.list_init(n);
        heap.set(n + CELLNODE_PAIRED, 0);
        if (n != heap.nodes - CELLNODE_BYTES && heap.sentinel(n)) {
            break;
        }
    }
    const uint32_t topnode = n - CELLNODE_BYTES;
    const uint32_t s = heap.class_size(topnode);
    uint32_t prev_hi = 0;
    for (uint32_t d = heap.base; d < heap.base + heap.size; d += 2 * s) {
        const uint32_t hi = d + s;
        heap.set(d - 4, 0);
        heap.set(hi - 4, 0);
        heap.set(d + 8, topnode + CELLNODE_LO_ANCHOR);
        heap.set(hi + 8, topnode + CELLNODE_HI_ANCHOR);
        heap.set(d, hi);
        heap.set(hi, 0);
        if (prev_hi == 0) {
            heap.set(topnode + CELLNODE_PAIRED, d);
        } else {
            heap.set(prev_hi, d);
        }
        prev_hi = hi;
    }
}

uint32_t cellheap_alloc(const KArena& arena, uint32_t h, uint32_t size)
{
    K_ASSERT(size != 0);
    const Heap heap(arena, h);
    const uint64_t need = static_cast<uint64_t>(size) + 4;
    uint32_t n = heap.nodes;
    while (!heap.sentinel(n) && heap.class_size(n) < need) {
        n += CELLNODE_BYTES;
    }
    if (heap.sentinel(n)) {
        return 0;
    }
    uint32_t d = heap.take(n);
    if (d == 0) {
        d = heap.split(n);
    }
    if (d == 0) {
        d = heap.gather(n);
    }
    if (d == 0) {
        return 0;
    }
    heap.set(d - 4, heap.anchor_for(n, d));
    return d;
}

void cellheap_free(const KArena& arena, uint32_t h, uint32_t d)
{
    K_ASSERT(IsFullHeapCell(arena, h, d));
    const Heap heap(arena, h);
    const uint32_t anchor = heap.header(d);
    const uint32_t n = heap.anchor_node(anchor);
    const uint32_t s = heap.class_size(n);
    heap.set(d - 4, 0);
    heap.set(d + 8, anchor);
    const uint32_t b = heap.buddy(d, s);
    const bool buddy_free = b >= heap.base && b < heap.base + heap.size && heap.header(b) == 0 &&
                            heap.anchor_node(heap.free_anchor(b)) == n;
    if (!buddy_free) {
        heap.list_push(n, d);
        return;
    }
    heap.list_remove(b);
    const uint32_t lo = d < b ? d : b;
    const uint32_t hi = d < b ? b : d;
    K_ASSERT(heap.free_anchor(lo) == n + CELLNODE_LO_ANCHOR);
    K_ASSERT(heap.free_anchor(hi) == n + CELLNODE_HI_ANCHOR);
    heap.set(hi, heap.w(n + CELLNODE_PAIRED));
    heap.set(lo, hi);
    heap.set(n + CELLNODE_PAIRED, lo);
}

bool IsFullHeapCell(const KArena& arena, uint32_t h, uint32_t d)
{
    const Heap heap(arena, h);
    if (d < heap.base || static_cast<uint64_t>(d) >= static_cast<uint64_t>(heap.base) + heap.size - 4) {
        return false;
    }
    const uint32_t smallest = heap.class_size(heap.nodes);
    if ((d - heap.base) % smallest != 0) {
        return false;
    }
    const uint32_t anchor = heap.header(d);
    if (anchor < heap.nodes || anchor >= heap.data_start()) {
        return false;
    }
    const uint32_t rel = anchor - heap.nodes;
    if (rel % 8 != 0 || (rel % CELLNODE_BYTES) < CELLNODE_LO_ANCHOR) {
        return false;
    }
    const uint32_t n = heap.anchor_node(anchor);
    return n != 0 && n == anchor - (rel % CELLNODE_BYTES) && n < heap.top_sentinel();
}

void cellheap_for_each(const KArena& arena, uint32_t h, CellCallback callback, void* data)
{
    const Heap heap(arena, h);
    const uint64_t end = static_cast<uint64_t>(heap.base) + heap.size - 4;
    uint32_t c = heap.base;
    while (c < end) {
        const uint32_t full = heap.header(c);
        const uint32_t anchor = full != 0 ? full : heap.free_anchor(c);
        K_ASSERT(anchor);
        K_ASSERT(heap.anchor_node(anchor));
        if (full != 0) {
            callback(data, c);
        }
        const uint32_t nc = c + heap.class_size(heap.anchor_node(anchor));
        K_ASSERT(nc > c);
        c = nc;
    }
}

uint32_t cellheap_min_class(const KArena& arena, uint32_t h)
{
    const Heap heap(arena, h);
    return heap.class_size(heap.nodes);
}

uint32_t cellheap_cell_size(const KArena& arena, uint32_t h, uint32_t d)
{
    K_ASSERT(IsFullHeapCell(arena, h, d));
    const Heap heap(arena, h);
    return heap.class_size(heap.anchor_node(heap.header(d)));
}
