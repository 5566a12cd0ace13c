#include "script/cellheap.h"

#include <bit>

#include "core/kassert.h"
#include "script/karena.h"

namespace {

// Every word of the heap lies in the arena where scripts can write it: a
// dangling object reference writes over a free cell's links, a wild one over
// anything. So the heap takes its geometry from the record only after checking
// it, computes class sizes and anchor nodes from addresses instead of reading
// them, checks every link before following it (a free cell of the right class
// that points back where it is linked from), and bounds every walk. A check
// that fails marks the heap broken; the operation then stops and does nothing
// more.
//
// Free list nodes sit at a cell's user address: word 0 next, word 1 previous,
// word 2 anchor. The list header is {head, tail = 0, tail-predecessor}; the
// tail node is the header's second word.
struct Heap {
    const KArena& a;
    uint32_t h;
    uint32_t nodes = 0;     // node of the smallest class
    uint32_t base = 0;      // user address of the first cell
    uint32_t size = 0;      // bytes of the data area
    uint32_t classes = 0;   // classes without the sentinels
    uint32_t smallest = 0;  // size of the smallest class
    mutable uint64_t budget = 0;  // links a single operation may follow
    mutable bool broken = false;

    Heap(const KArena& arena, uint32_t heap) : a(arena), h(heap)
    {
        K_ASSERT(h != 0);
        if (!a.contains(h, 12 + 2 * CELLNODE_BYTES)) {
            broken = true;
            return;
        }
        nodes = a.word(h + CELLHEAP_NODES);
        base = a.word(h + CELLHEAP_BASE);
        size = a.word(h + CELLHEAP_SIZE);
        const uint64_t span = static_cast<uint64_t>(base) - 4 - nodes;
        if (nodes != h + 12 + CELLNODE_BYTES || base < nodes + CELLNODE_BYTES + 4 || span % CELLNODE_BYTES != 0 ||
            span / CELLNODE_BYTES < 2 || span / CELLNODE_BYTES > 32 || size == 0 || !a.contains(base - 4, size)) {
            broken = true;
            return;
        }
        classes = static_cast<uint32_t>(span / CELLNODE_BYTES) - 1;
        smallest = a.word(nodes + CELLNODE_LO_ANCHOR + 4);
        const uint64_t top = static_cast<uint64_t>(smallest) << (classes - 1);
        if (smallest < 16 || (smallest & (smallest - 1)) != 0 || top > 0x80000000u || (size & (2 * top - 1)) != 0) {
            broken = true;
            return;
        }
        budget = 4 * (static_cast<uint64_t>(size) >> std::countr_zero(smallest)) + 64;
    }

    uint32_t fail() const
    {
        broken = true;
        return 0;
    }
    // Counts one followed link; false (and broken) when an operation follows
    // more links than the heap has cells, which only a loop in them can make.
    bool step() const
    {
        if (budget == 0) {
            broken = true;
            return false;
        }
        --budget;
        return true;
    }

    uint32_t w(uint32_t addr) const { return a.word(addr); }
    void set(uint32_t addr, uint32_t v) const { a.set_word(addr, v); }

    uint32_t node(uint32_t k) const { return nodes + k * CELLNODE_BYTES; }
    uint32_t index(uint32_t n) const { return (n - nodes) / CELLNODE_BYTES; }
    uint32_t class_size(uint32_t n) const { return smallest << index(n); }
    bool is_top(uint32_t n) const { return index(n) + 1 == classes; }
    uint64_t data_end() const { return static_cast<uint64_t>(base) - 4 + size; }

    // Class sizes are powers of two.
    bool is_lo(uint32_t d, uint32_t s) const { return ((d - base) & s) == 0; }
    uint32_t buddy(uint32_t d, uint32_t s) const { return is_lo(d, s) ? d + s : d - s; }
    uint32_t anchor_for(uint32_t n, uint32_t d) const
    {
        return n + (is_lo(d, class_size(n)) ? CELLNODE_LO_ANCHOR : CELLNODE_HI_ANCHOR);
    }

    // A cell of class n may start at user address d.
    bool cell_of(uint32_t n, uint32_t d) const
    {
        const uint32_t s = class_size(n);
        return d >= base && ((d - base) & (s - 1)) == 0 && static_cast<uint64_t>(d) - 4 + s <= data_end();
    }
    // The node of a valid anchor for a cell at d, or 0.
    uint32_t anchor_node(uint32_t anchor, uint32_t d) const
    {
        if (anchor < nodes || anchor >= node(classes)) {
            return 0;
        }
        const uint32_t n = node(index(anchor));
        if ((anchor - n != CELLNODE_LO_ANCHOR && anchor - n != CELLNODE_HI_ANCHOR) || !cell_of(n, d) ||
            anchor != anchor_for(n, d)) {
            return 0;
        }
        return n;
    }
    // The node of the full cell at d, or 0 when d is no full cell.
    uint32_t full_node(uint32_t d) const
    {
        if (broken || d < base || d >= data_end() || ((d - base) & (smallest - 1)) != 0) {
            return 0;
        }
        return anchor_node(w(d - 4), d);
    }
    // A free cell of class n at d: header 0 and its own anchor in word 2.
    bool free_cell(uint32_t n, uint32_t d) const
    {
        return cell_of(n, d) && w(d - 4) == 0 && w(d + 8) == anchor_for(n, d);
    }

    uint32_t head_word(uint32_t n) const { return n + CELLNODE_FREE; }
    uint32_t tail_word(uint32_t n) const { return n + CELLNODE_FREE + 4; }

    void list_init(uint32_t n) const
    {
        set(head_word(n), tail_word(n));
        set(tail_word(n), 0);
        set(n + CELLNODE_FREE + 8, head_word(n));
    }
    // The front of the free list (0 when empty); the list's first link checked.
    uint32_t list_first(uint32_t n) const
    {
        const uint32_t head = w(head_word(n));
        if (head == tail_word(n)) {
            return 0;
        }
        if (!step() || !free_cell(n, head) || w(head + 4) != head_word(n)) {
            return fail();
        }
        return head;
    }
    void list_push(uint32_t n, uint32_t d) const
    {
        const uint32_t head = w(head_word(n));
        if (head != tail_word(n) && (!free_cell(n, head) || w(head + 4) != head_word(n))) {
            fail();
            return;
        }
        set(d, head);
        set(d + 4, head_word(n));
        set(head + 4, d);
        set(head_word(n), d);
    }
    // Unlinks a free cell of class n, after checking that its neighbours link back to it.
    bool list_remove(uint32_t n, uint32_t d) const
    {
        const uint32_t next = w(d);
        const uint32_t prev = w(d + 4);
        const bool next_ok = next == tail_word(n) || (free_cell(n, next) && w(next + 4) == d);
        const bool prev_ok = (prev == head_word(n) && w(prev) == d) || (free_cell(n, prev) && w(prev) == d);
        if (!step() || !next_ok || !prev_ok) {
            return fail() != 0;
        }
        set(prev, next);
        set(next + 4, prev);
        return true;
    }
    // The first pair of class n: its lo cell, with both halves checked; 0 when none.
    uint32_t pair_first(uint32_t n) const
    {
        const uint32_t lo = w(n + CELLNODE_PAIRED);
        if (lo == 0) {
            return 0;
        }
        const uint32_t s = class_size(n);
        if (!step() || !free_cell(n, lo) || !is_lo(lo, s) || w(lo) != lo + s || !free_cell(n, lo + s)) {
            return fail();
        }
        return lo;
    }
    uint32_t pair_take(uint32_t n) const
    {
        const uint32_t lo = pair_first(n);
        if (lo != 0) {
            set(n + CELLNODE_PAIRED, w(lo + class_size(n)));
        }
        return lo;
    }
    // The buddy of a class-n cell is a free cell of the same class (not split).
    bool buddy_free(uint32_t n, uint32_t b) const
    {
        if (b < base || b >= data_end() || w(b - 4) != 0) {
            return false;
        }
        // Every cell that starts there and is not full is free, with its anchor.
        const uint32_t m = anchor_node(w(b + 8), b);
        if (m == 0) {
            return fail() != 0;
        }
        return m == n;
    }

    // A free cell of class n: the front of its free list, else the lo half of its first pair.
    uint32_t take(uint32_t n) const
    {
        const uint32_t d = list_first(n);
        if (d != 0) {
            return list_remove(n, d) ? d : 0;
        }
        if (broken) {
            return 0;
        }
        const uint32_t lo = pair_take(n);
        if (lo == 0) {
            return 0;
        }
        const uint32_t hi = lo + class_size(n);
        set(hi + 8, n + CELLNODE_HI_ANCHOR);
        list_push(n, hi);
        return broken ? 0 : lo;
    }

    // Classes are few (at most 32): the recursion over them is bounded.
    uint32_t split(uint32_t n) const
    {
        if (is_top(n)) {
            return 0;
        }
        const uint32_t up = n + CELLNODE_BYTES;
        uint32_t big = take(up);
        if (big == 0 && !broken) {
            big = split(up);
        }
        if (big == 0) {
            return 0;
        }
        const uint32_t hi = big + class_size(n);
        set(hi - 4, 0);
        set(hi + 8, n + CELLNODE_HI_ANCHOR);
        list_push(n, hi);
        return broken ? 0 : big;
    }

    // A cell of class n made of two free buddies of the class below.
    uint32_t gather(uint32_t n) const
    {
        if (index(n) == 0) {
            return 0;
        }
        const uint32_t sn = n - CELLNODE_BYTES;
        const uint32_t lo = pair_take(sn);
        if (lo != 0 || broken) {
            return lo;
        }
        const uint32_t s = class_size(sn);
        while (step()) {
            const uint32_t c = gather(sn);
            if (c == 0) {
                return 0;
            }
            const uint32_t b = buddy(c, s);
            if (buddy_free(sn, b)) {
                return list_remove(sn, b) ? (b < c ? b : c) : 0;
            }
            set(c - 4, 0);
            set(c + 8, anchor_for(sn, c));
            list_push(sn, c);
            if (broken) {
                return 0;
            }
        }
        return 0;
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

// A broken heap is reported to the caller that asked; for one that did not,
// it is a broken invariant.
bool report(const Heap& heap, bool* broken)
{
    if (heap.broken) {
        K_ASSERT(broken != nullptr);
        *broken = true;
    }
    return heap.broken;
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
    arena.set_word(nodes + CELLNODE_LO_ANCHOR + 4, smallest);
    cellheap_reset(arena, h);
    return h;
}

void cellheap_destroy(KArena& arena, uint32_t h)
{
    // The arena is released as a whole with its context; clear the record so stale use is caught.
    K_ASSERT(h != 0);
    arena.set_word(h + CELLHEAP_NODES, 0);
}

void cellheap_reset(const KArena& arena, uint32_t h, bool* broken)
{
    const Heap heap(arena, h);
    if (report(heap, broken)) {
        return;
    }
    // The nodes are written whole again: scripts may have written over them.
    for (uint32_t i = 0; i < heap.classes + 2; ++i) {
        const uint32_t n = heap.nodes - CELLNODE_BYTES + i * CELLNODE_BYTES;
        const uint32_t s = (i == 0 || i == heap.classes + 1) ? 0 : heap.smallest << (i - 1);
        heap.list_init(n);
        heap.set(n + CELLNODE_PAIRED, 0);
        heap.set(n + CELLNODE_LO_ANCHOR, n);
        heap.set(n + CELLNODE_LO_ANCHOR + 4, s);
        heap.set(n + CELLNODE_HI_ANCHOR, n);
        heap.set(n + CELLNODE_HI_ANCHOR + 4, 0u - s);
    }
    const uint32_t topnode = heap.node(heap.classes - 1);
    const uint32_t s = heap.class_size(topnode);
    uint32_t prev_hi = 0;
    for (uint64_t d = heap.base; d < static_cast<uint64_t>(heap.base) + heap.size; d += 2ull * s) {
        const uint32_t lo = static_cast<uint32_t>(d);
        const uint32_t hi = lo + s;
        heap.set(lo - 4, 0);
        heap.set(hi - 4, 0);
        heap.set(lo + 8, topnode + CELLNODE_LO_ANCHOR);
        heap.set(hi + 8, topnode + CELLNODE_HI_ANCHOR);
        heap.set(lo, hi);
        heap.set(hi, 0);
        if (prev_hi == 0) {
            heap.set(topnode + CELLNODE_PAIRED, lo);
        } else {
            heap.set(prev_hi, lo);
        }
        prev_hi = hi;
    }
}

uint32_t cellheap_alloc(const KArena& arena, uint32_t h, uint32_t size, bool* broken)
{
    K_ASSERT(size != 0);
    const Heap heap(arena, h);
    if (report(heap, broken)) {
        return 0;
    }
    const uint64_t need = static_cast<uint64_t>(size) + 4;
    uint32_t k = 0;
    while (k < heap.classes && heap.class_size(heap.node(k)) < need) {
        ++k;
    }
    if (k == heap.classes) {
        return 0;
    }
    const uint32_t n = heap.node(k);
    uint32_t d = heap.take(n);
    if (d == 0 && !heap.broken) {
        d = heap.split(n);
    }
    if (d == 0 && !heap.broken) {
        d = heap.gather(n);
    }
    if (report(heap, broken) || d == 0) {
        return 0;
    }
    heap.set(d - 4, heap.anchor_for(n, d));
    return d;
}

void cellheap_free(const KArena& arena, uint32_t h, uint32_t d, bool* broken)
{
    const Heap heap(arena, h);
    if (report(heap, broken)) {
        return;
    }
    const uint32_t n = heap.full_node(d);
    K_ASSERT(n != 0);
    const uint32_t anchor = heap.w(d - 4);
    const uint32_t s = heap.class_size(n);
    heap.set(d - 4, 0);
    heap.set(d + 8, anchor);
    const uint32_t b = heap.buddy(d, s);
    if (!heap.buddy_free(n, b)) {
        heap.list_push(n, d);
        report(heap, broken);
        return;
    }
    if (!heap.list_remove(n, b)) {
        report(heap, broken);
        return;
    }
    const uint32_t lo = d < b ? d : b;
    const uint32_t hi = d < b ? b : d;
    heap.set(hi, heap.w(n + CELLNODE_PAIRED));
    heap.set(lo, hi);
    heap.set(n + CELLNODE_PAIRED, lo);
}

bool IsFullHeapCell(const KArena& arena, uint32_t h, uint32_t d)
{
    return Heap(arena, h).full_node(d) != 0;
}

void cellheap_for_each(const KArena& arena, uint32_t h, CellCallback callback, void* data, bool* broken)
{
    const Heap heap(arena, h);
    if (report(heap, broken)) {
        return;
    }
    // Cells follow each other by the size of their class: the walk only moves forward.
    uint32_t c = heap.base;
    while (c < heap.data_end()) {
        const uint32_t full = heap.w(c - 4);
        const uint32_t n = heap.anchor_node(full != 0 ? full : heap.w(c + 8), c);
        if (n == 0) {
            heap.fail();
            report(heap, broken);
            return;
        }
        if (full != 0) {
            callback(data, c);
        }
        c += heap.class_size(n);
    }
}

uint32_t cellheap_min_class(const KArena& arena, uint32_t h)
{
    const Heap heap(arena, h);
    K_ASSERT(!heap.broken);
    return heap.smallest;
}

uint32_t cellheap_cell_size(const KArena& arena, uint32_t h, uint32_t d)
{
    const Heap heap(arena, h);
    const uint32_t n = heap.full_node(d);
    K_ASSERT(n != 0);
    return heap.class_size(n);
}

bool cellheap_extent(const KArena& arena, uint32_t h, uint32_t* base, uint32_t* end)
{
    const Heap heap(arena, h);
    if (heap.broken) {
        return false;
    }
    *base = heap.base;
    *end = static_cast<uint32_t>(heap.data_end());
    return true;
}
