// The tree of maxima under KHeap's free-block index against a plain array:
// after random raises, sets and paired sets, every search, from either end
// and from anywhere, must name the leaf that a walk over the array names,
// for trees of one, two and three levels of both entry types.
#include "core/kheap_max_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

uint32_t tree_rand_state = 4242;

uint32_t tree_rand(uint32_t n)
{
    tree_rand_state = tree_rand_state * 1664525u + 1013904223u;
    return (tree_rand_state >> 8) % n;
}

template <typename T>
int64_t walk_first(const std::vector<T>& v, uint32_t from, T want)
{
    for (size_t i = from; i < v.size(); ++i) {
        if (v[i] >= want) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

template <typename T>
int64_t walk_last(const std::vector<T>& v, uint32_t from, T want)
{
    for (int64_t i = std::min<int64_t>(from, static_cast<int64_t>(v.size()) - 1); i >= 0; --i) {
        if (v[static_cast<size_t>(i)] >= want) {
            return i;
        }
    }
    return -1;
}

// Mostly small entries, a few large ones and many empty leaves, as free-block
// sizes are: the searches must skip long runs of too small entries.
template <typename T>
T random_entry(T cap)
{
    const uint32_t pick = tree_rand(8);
    if (pick < 3) {
        return 0;
    }
    return static_cast<T>(pick == 7 ? 1 + tree_rand(cap) : 1 + tree_rand(std::max<uint32_t>(cap / 16, 1)));
}

template <typename T>
void run_against_array(uint32_t leaves, T cap, int operations)
{
    KHeapMaxTree<T> tree;
    ASSERT_EQ(tree.init(leaves), 1);
    std::vector<T> v(leaves, 0);
    for (int op = 0; op < operations; ++op) {
        const uint32_t i = tree_rand(leaves);
        const uint32_t kind = tree_rand(3);
        if (kind == 0) {
            const T x = std::max(v[i], random_entry(cap));
            tree.raise(i, x);
            v[i] = x;
        } else if (kind == 1) {
            const T x = random_entry(cap);
            tree.set(i, x);
            v[i] = x;
        } else {
            // Neighbours as a split or a merge touches them, sometimes across nodes.
            const uint32_t j = std::min(leaves - 1, i + tree_rand(100));
            const T xi = random_entry(cap);
            const T xj = random_entry(cap);
            tree.set_two(i, xi, j, xj);
            v[i] = xi;
            v[j] = xj;
        }
        for (int q = 0; q < 4; ++q) {
            const uint32_t pick = tree_rand(4);
            const uint32_t from = pick == 0 ? 0 : pick == 1 ? leaves - 1 : tree_rand(leaves);
            const T want = static_cast<T>(1 + (tree_rand(2) == 0 ? tree_rand(cap) : tree_rand(std::max<uint32_t>(cap / 16, 1))));
            ASSERT_EQ(tree.first_at_least(from, want), walk_first(v, from, want))
                << "operation " << op << ", from " << from << ", want " << want;
            ASSERT_EQ(tree.last_at_least(from, want), walk_last(v, from, want))
                << "operation " << op << ", from " << from << ", want " << want;
        }
    }
    EXPECT_TRUE(tree.consistent());
    EXPECT_EQ(tree.first_from_start(1), walk_first<T>(v, 0, 1));
    EXPECT_EQ(tree.last_from_end(1), walk_last<T>(v, leaves - 1, 1));
}

struct TreeCase {
    const char* name;
    uint32_t leaves;
    int operations;
};

// Byte entries: 32 to a node, at most 32 nodes on top.
const TreeCase byte_cases[] = {
    {"one level, part of a node", 20, 3000},
    {"one level, several nodes", 500, 3000},
    {"two levels", 3000, 3000},
    {"two levels, a full top", 32768, 600},
    {"three levels", 40000, 600},
};

// 16-bit entries: 16 to a node.
const TreeCase word_cases[] = {
    {"one level", 20, 3000},
    {"two levels", 1000, 3000},
    {"three levels", 20000, 800},
};

TEST(KHeapMaxTreeTest, ByteTreesFindWhatAWalkFinds)
{
    for (const TreeCase& c : byte_cases) {
        SCOPED_TRACE(c.name);
        run_against_array<uint8_t>(c.leaves, 0xFF, c.operations);
    }
}

TEST(KHeapMaxTreeTest, WordTreesFindWhatAWalkFinds)
{
    for (const TreeCase& c : word_cases) {
        SCOPED_TRACE(c.name);
        run_against_array<uint16_t>(c.leaves, 0x7FFF, c.operations);
    }
}

TEST(KHeapMaxTreeTest, EmptyTreeFindsNothing)
{
    KHeapMaxTree<uint8_t> tree;
    ASSERT_EQ(tree.init(3000), 1);
    EXPECT_EQ(tree.first_from_start(1), -1);
    EXPECT_EQ(tree.last_from_end(1), -1);
    EXPECT_EQ(tree.first_at_least(1234, 1), -1);
    EXPECT_EQ(tree.last_at_least(1234, 1), -1);
    // A leaf past the end is asked for nothing.
    EXPECT_EQ(tree.first_at_least(3000, 1), -1);
    tree.raise(2999, 9);
    EXPECT_EQ(tree.first_at_least(0, 9), 2999);
    EXPECT_EQ(tree.first_at_least(0, 10), -1);
    EXPECT_EQ(tree.last_at_least(2998, 9), -1);
    EXPECT_EQ(tree.last_at_least(2999, 9), 2999);
}

} // namespace
