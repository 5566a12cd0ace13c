#pragma once
// A tree of maxima over an array of small unsigned entries (the leaves), for
// "the first (last) leaf at or after (before) i whose entry is at least n".
// Every level holds, per cache line of the level below, that line's largest
// entry; the top level is at most TOP_LINES lines and is scanned line by
// line, so a heap of a few megabytes needs two levels. Entries are uint8_t
// (64 to a line) or uint16_t (32 to a line, at most 0x7FFF).
//
// Writes store whole 16-byte vectors and searches read whole vectors: a
// vector load of data with a pending narrower store waits for that store.
#include <cstddef>
#include <cstdint>

template <typename T>
class KHeapMaxTree {
public:
    static constexpr uint32_t FAN = 64 / sizeof(T);

    KHeapMaxTree() = default;
    ~KHeapMaxTree() { release(); }
    KHeapMaxTree(const KHeapMaxTree&) = delete;
    KHeapMaxTree& operator=(const KHeapMaxTree&) = delete;

    // All entries 0; 0 when out of memory.
    int init(uint32_t leaves);
    void release();

    T leaf(uint32_t i) const { return level_[0][i]; }
    // Leaf i takes v, which is not below its entry.
    void raise(uint32_t i, T v);
    // Leaf i takes v.
    void set(uint32_t i, T v);
    // Leaf i takes vi, then leaf j takes vj.
    void set_two(uint32_t i, T vi, uint32_t j, T vj);

    // The first leaf at or after from (the last at or before from) whose
    // entry is at least want (at least 1), or -1.
    int64_t first_at_least(uint32_t from, T want) const;
    int64_t last_at_least(uint32_t from, T want) const;

    uint32_t leaves() const { return leaves_; }
    // Whether every level above the leaves holds the maxima of the one below (for tests).
    bool consistent() const;

private:
    static constexpr int MAX_LEVELS = 8;
    static constexpr uint32_t TOP_LINES = 8;

    // From level l upward, entry i of level l takes v.
    void set_from(int l, uint32_t i, T v);
    int64_t scan_top_up(uint32_t line, T want) const;
    int64_t scan_top_down(uint32_t line, T want) const;

    uint32_t leaves_ = 0;
    int levels_ = 0;
    T* level_[MAX_LEVELS] = {};
    uint32_t count_[MAX_LEVELS] = {}; // entries of each level, whole lines
    T* storage_ = nullptr;
};

extern template class KHeapMaxTree<uint8_t>;
extern template class KHeapMaxTree<uint16_t>;
