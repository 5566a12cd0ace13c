#pragma once
// A tree of maxima over an array of small unsigned entries (the leaves), for
// "the first (last) leaf at or after (before) i whose entry is at least n".
// Every level holds, per 32-byte node of the level below, that node's
// largest entry; the top level is at most TOP_NODES nodes and is scanned
// node by node. A node is two registers, so a step down costs two compares
// and a bit scan, and a heap of up to 4 MB needs two levels. Entries are
// uint8_t (32 to a node) or uint16_t (16 to a node, at most 0x7FFF).
#include "core/kheap_node.h"

#include <bit>
#include <cstddef>
#include <cstdint>

template <typename T>
class KHeapMaxTree {
public:
    static constexpr uint32_t FAN = KHEAP_NODE_BYTES / sizeof(T);

    KHeapMaxTree() = default;
    ~KHeapMaxTree() { release(); }
    KHeapMaxTree(const KHeapMaxTree&) = delete;
    KHeapMaxTree& operator=(const KHeapMaxTree&) = delete;

    // All entries 0; 0 when out of memory.
    int init(uint32_t leaves);
    void release();

    T leaf(uint32_t i) const { return level_[0][i]; }
    // Leaf i takes v, which is not below its entry.
    [[gnu::always_inline]] void raise(uint32_t i, T v);
    // Leaf i takes v.
    [[gnu::always_inline]] void set(uint32_t i, T v);
    // Leaf i takes vi, then leaf j takes vj.
    [[gnu::always_inline]] void set_two(uint32_t i, T vi, uint32_t j, T vj);

    // The first leaf at or after from (the last at or before from) whose
    // entry is at least want (at least 1), or -1.
    int64_t first_at_least(uint32_t from, T want) const;
    int64_t last_at_least(uint32_t from, T want) const;
    // The same from the first (the last) leaf: straight down from the top.
    [[gnu::always_inline]] int64_t first_from_start(T want) const;
    [[gnu::always_inline]] int64_t last_from_end(T want) const;

    uint32_t leaves() const { return leaves_; }
    // Whether every level above the leaves holds the maxima of the one below (for tests).
    bool consistent() const;

private:
    static constexpr int MAX_LEVELS = 8;
    static constexpr uint32_t TOP_NODES = 32;

    // From level l upward, entry i of level l takes v.
    [[gnu::always_inline]] void set_from(int l, uint32_t i, T v);
    // The first (last) entry of the top level at or after (before) the node's start (end).
    int64_t scan_top_up(uint32_t node, T want) const;
    int64_t scan_top_down(int64_t node, T want) const;
    // From entry i of level l (-1: none) down to the first (last) leaf below it whose entry is at least want.
    int64_t down_first(int l, int64_t i, T want) const;
    int64_t down_last(int l, int64_t i, T want) const;

    uint32_t leaves_ = 0;
    int levels_ = 0;
    T* level_[MAX_LEVELS] = {};
    uint32_t count_[MAX_LEVELS] = {}; // entries of each level, whole nodes
    T* storage_ = nullptr;
};


// The operations of every allocation and free, inline.

template <typename T>
inline void KHeapMaxTree<T>::raise(uint32_t i, T v)
{
    // Every maximum above takes v or keeps its own; no node needs reading whole.
    for (int l = 0; l < levels_; ++l, i /= FAN) {
        level_[l][i] = level_[l][i] > v ? level_[l][i] : v;
    }
}

template <typename T>
inline void KHeapMaxTree<T>::set_from(int l, uint32_t i, T v)
{
    // Every maximum above is computed again, without branches on the values:
    // which ones change is as random as the sizes.
    for (; l < levels_ - 1; ++l, i /= FAN) {
        level_[l][i] = v;
        v = KHeapNode<T>(level_[l] + i / FAN * FAN).max();
    }
    level_[l][i] = v;
}

template <typename T>
inline void KHeapMaxTree<T>::set(uint32_t i, T v)
{
    set_from(0, i, v);
}

template <typename T>
inline void KHeapMaxTree<T>::set_two(uint32_t i, T vi, uint32_t j, T vj)
{
    if (i / FAN != j / FAN) {
        set_from(0, i, vi);
        set_from(0, j, vj);
        return;
    }
    // One node (the common case): one new maximum for the level above.
    level_[0][i] = vi;
    level_[0][j] = vj;
    if (levels_ > 1) {
        set_from(1, i / FAN, KHeapNode<T>(level_[0] + i / FAN * FAN).max());
    }
}

template <typename T>
inline int64_t KHeapMaxTree<T>::scan_top_up(uint32_t node, T want) const
{
    const int top = levels_ - 1;
    for (; node < count_[top] / FAN; ++node) {
        const uint32_t mask = KHeapNode<T>(level_[top] + node * FAN).at_least(want);
        if (mask != 0) {
            return node * FAN + static_cast<uint32_t>(std::countr_zero(mask));
        }
    }
    return -1;
}

template <typename T>
inline int64_t KHeapMaxTree<T>::scan_top_down(int64_t node, T want) const
{
    const int top = levels_ - 1;
    for (; node >= 0; --node) {
        const uint32_t mask = KHeapNode<T>(level_[top] + node * FAN).at_least(want);
        if (mask != 0) {
            return node * FAN + 31 - std::countl_zero(mask);
        }
    }
    return -1;
}

template <typename T>
inline int64_t KHeapMaxTree<T>::down_first(int l, int64_t i, T want) const
{
    for (; l > 0 && i >= 0; --l) {
        i = i * FAN + std::countr_zero(KHeapNode<T>(level_[l - 1] + i * FAN).at_least(want));
    }
    return i;
}

template <typename T>
inline int64_t KHeapMaxTree<T>::down_last(int l, int64_t i, T want) const
{
    for (; l > 0 && i >= 0; --l) {
        i = i * FAN + 31 - std::countl_zero(KHeapNode<T>(level_[l - 1] + i * FAN).at_least(want));
    }
    return i;
}

template <typename T>
inline int64_t KHeapMaxTree<T>::first_from_start(T want) const
{
    return down_first(levels_ - 1, scan_top_up(0, want), want);
}

template <typename T>
inline int64_t KHeapMaxTree<T>::last_from_end(T want) const
{
    return down_last(levels_ - 1, scan_top_down(count_[levels_ - 1] / FAN - 1, want), want);
}

template <typename T>
inline int64_t KHeapMaxTree<T>::first_at_least(uint32_t from, T want) const
{
    if (from >= leaves_) {
        return -1;
    }
    if (from == 0) {
        return first_from_start(want);
    }
    // Up until a node holds a large enough entry at or after i; the top
    // level goes on node by node.
    const int top = levels_ - 1;
    int l = 0;
    uint32_t i = from;
    int64_t found = -1;
    for (;; ++l) {
        const uint32_t node = i / FAN;
        const uint32_t mask = KHeapNode<T>(level_[l] + node * FAN).at_least(want) & (~uint32_t{0} << (i % FAN));
        if (mask != 0) {
            found = node * FAN + std::countr_zero(mask);
            break;
        }
        if (l == top) {
            found = scan_top_up(node + 1, want);
            break;
        }
        i = node + 1;
        if (i >= count_[l + 1]) {
            return -1;
        }
    }
    // Then down the first such path.
    return down_first(l, found, want);
}

template <typename T>
inline int64_t KHeapMaxTree<T>::last_at_least(uint32_t from, T want) const
{
    if (from >= leaves_ - 1) {
        return last_from_end(want);
    }
    const int top = levels_ - 1;
    int l = 0;
    uint32_t i = from;
    int64_t found = -1;
    for (;; ++l) {
        const uint32_t node = i / FAN;
        const uint32_t keep = ~uint32_t{0} >> (31 - i % FAN);
        const uint32_t mask = KHeapNode<T>(level_[l] + node * FAN).at_least(want) & keep;
        if (mask != 0) {
            found = node * FAN + 31 - std::countl_zero(mask);
            break;
        }
        if (l == top) {
            found = node > 0 ? scan_top_down(node - 1, want) : -1;
            break;
        }
        if (node == 0) {
            return -1;
        }
        i = node - 1;
    }
    return down_last(l, found, want);
}
