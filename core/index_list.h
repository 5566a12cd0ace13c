#pragma once
// A fixed pool of n elements, addressed 0..n-1, on two doubly linked lists
// (used and free) whose links are indices. Owners keep their records in a
// parallel array and use the list for free slots, iteration and order.
//
// Sentinels: -4 head and -3 tail of the used list, -2 head and -1 tail of the
// free list; -5 is "none". An index is valid when -4 <= index < n.
//
// Every sentinel also names its list and one end of it; the forms that take
// such an end ("head") work from that end inwards, so that a list can be kept
// in either direction: first (-3) walks the used list from its tail, and
// link_first (i, -3) makes i the element next to the tail.
#include <cstdint>

struct IndexLink {
    int32_t prev = -5;
    int32_t next = -5;
};

constexpr int32_t IL_USED_HEAD = -4;
constexpr int32_t IL_USED_TAIL = -3;
constexpr int32_t IL_FREE_HEAD = -2;
constexpr int32_t IL_FREE_TAIL = -1;
constexpr int32_t IL_NONE = -5;

class IndexList {
public:
    IndexList() = default;
    ~IndexList() { destroy(); }
    IndexList(const IndexList&) = delete;
    IndexList& operator=(const IndexList&) = delete;

    int create(int32_t count);
    void destroy();
    // Every element back on the free list in increasing order; the cursor stays.
    void reset();

    // The first free element, put at the front of the used list; -5 when none is free.
    int32_t alloc() { return alloc(IL_USED_HEAD); }
    // The same, linked next to head (an end sentinel) or after head (an element).
    int32_t alloc(int32_t head);
    // Back to the front of the free list; the cursor moves on first when it is i.
    void free(int32_t i);

    // Iteration: the cursor holds the element that next () returns, so the
    // element just returned may be freed or relinked during the loop.
    int32_t first() { return first(IL_USED_HEAD); }
    int32_t first(int32_t head);
    int32_t next();

    int contains(int32_t i) const { return contains(IL_USED_HEAD, i); }
    int contains(int32_t head, int32_t i) const;

    // Unlinks i and inserts it just in front of / just behind h (element or sentinel).
    void link_before(int32_t i, int32_t h);
    void link_after(int32_t i, int32_t h);
    // Next to the end head (inwards), or just behind element head.
    void link_first(int32_t i, int32_t head);
    // At the far end of the list named by head, or just in front of element head.
    void link_last(int32_t head, int32_t i);

    bool index_valid(int32_t i) const { return i >= IL_USED_HEAD && i < n; }
    int32_t count() const { return n; }
    int32_t cursor() const { return cursor_; }
    const IndexLink& link(int32_t i) const { return links_[i]; }

private:
    IndexLink& at(int32_t i) { return links_[i]; }
    void unlink(int32_t i);
    void insert_between(int32_t i, int32_t before, int32_t after);
    // Walking away from end sentinel e: forward from a head, backward from a tail.
    static bool is_end(int32_t h) { return h >= IL_USED_HEAD && h <= IL_FREE_TAIL; }
    static bool walks_forward(int32_t end) { return end == IL_USED_HEAD || end == IL_FREE_HEAD; }
    static int32_t opposite_end(int32_t end) { return end ^ 1; } // -4 <-> -3, -2 <-> -1

    IndexLink* storage_ = nullptr; // n + 4 links
    IndexLink* links_ = nullptr;   // storage_ + 4, so links_[-4] is the used head
    int32_t n = 0;
    int32_t cursor_ = IL_NONE;
    bool forward_ = true;          // direction of the current iteration
};
