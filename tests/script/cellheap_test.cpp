#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <random>
#include <vector>

#include "script/cellheap.h"
#include "script/karena.h"

namespace {

// Classes 16, 32 and 64 (largest object 60), 4 x 64 data bytes rounded to pairs of 64.
class CellHeap : public ::testing::Test {
protected:
    KArena arena;
    uint32_t h = 0;

    void SetUp() override
    {
        ASSERT_TRUE(arena.reserve(4u << 20));
        h = cellheap_create(arena, 4, 8, 60);
        ASSERT_NE(h, 0u);
    }
    uint32_t base() const { return arena.word(h + CELLHEAP_BASE); }
    uint32_t node(int cls) const { return arena.word(h + CELLHEAP_NODES) + static_cast<uint32_t>(cls) * CELLNODE_BYTES; }
    // Free-list cells of a class, front first.
    std::vector<uint32_t> free_list(int cls) const
    {
        std::vector<uint32_t> out;
        for (uint32_t d = arena.word(node(cls) + CELLNODE_FREE); arena.word(d) != 0 && out.size() < 1000;
             d = arena.word(d)) {
            out.push_back(d - base());
        }
        return out;
    }
    std::vector<uint32_t> pairs(int cls) const
    {
        std::vector<uint32_t> out;
        for (uint32_t lo = arena.word(node(cls) + CELLNODE_PAIRED); lo != 0 && out.size() < 1000;
             lo = arena.word(arena.word(lo))) {
            out.push_back(lo - base());
        }
        return out;
    }
    uint32_t alloc(uint32_t size) const
    {
        const uint32_t d = cellheap_alloc(arena, h, size);
        return d == 0 ? 0xFFFFFFFFu : d - base();
    }
};

TEST_F(CellHeap, SizesOfTheHeap)
{
    EXPECT_EQ(cellheap_min_class(arena, h), 16u);
    EXPECT_EQ(arena.word(h + CELLHEAP_SIZE), 256u);
    EXPECT_EQ(pairs(2), (std::vector<uint32_t>{0, 128}));
}

TEST_F(CellHeap, FirstSmallAllocationSplitsDownLeavingOneHiHalfPerClass)
{
    EXPECT_EQ(alloc(12), 0u);
    EXPECT_EQ(free_list(0), (std::vector<uint32_t>{16}));
    EXPECT_EQ(free_list(1), (std::vector<uint32_t>{32}));
    EXPECT_EQ(free_list(2), (std::vector<uint32_t>{64}));
    EXPECT_EQ(pairs(2), (std::vector<uint32_t>{128}));
}

TEST_F(CellHeap, AllocationOrderIsFixed)
{
    // The order fixes the object numbers in saved states.
    const struct {
        uint32_t size;
        uint32_t offset;
    } steps[] = {
        {12, 0}, {12, 16}, {28, 32}, {60, 64}, {60, 128}, {1, 192}, {1, 208}, {28, 224}, {1, 0xFFFFFFFF},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(alloc(s.size), s.offset) << "size " << s.size;
    }
}

TEST_F(CellHeap, FreedBuddiesBecomeAPairThatTheNextAllocationSplitsAgain)
{
    const uint32_t a = cellheap_alloc(arena, h, 12);
    const uint32_t b = cellheap_alloc(arena, h, 12);
    cellheap_free(arena, h, a);
    EXPECT_EQ(free_list(0), (std::vector<uint32_t>{0}));
    cellheap_free(arena, h, b);
    EXPECT_TRUE(free_list(0).empty());
    EXPECT_EQ(pairs(0), (std::vector<uint32_t>{0}));
    EXPECT_EQ(alloc(12), 0u);
    EXPECT_EQ(free_list(0), (std::vector<uint32_t>{16}));
    EXPECT_TRUE(pairs(0).empty());
}

TEST_F(CellHeap, TooLargeIsRefused)
{
    EXPECT_NE(alloc(60), 0xFFFFFFFFu);
    EXPECT_EQ(alloc(61), 0xFFFFFFFFu);
}

TEST_F(CellHeap, LargerAllocationFailsWhenEveryFreeCellHasAFullBuddy)
{
    std::vector<uint32_t> cells;
    for (int i = 0; i < 16; ++i) {
        cells.push_back(cellheap_alloc(arena, h, 12));
        ASSERT_NE(cells.back(), 0u);
    }
    EXPECT_EQ(cellheap_alloc(arena, h, 12), 0u);
    for (size_t i = 0; i < cells.size(); i += 2) {
        cellheap_free(arena, h, cells[i]);
    }
    EXPECT_EQ(cellheap_alloc(arena, h, 28), 0u);
    EXPECT_EQ(free_list(0).size(), 8u) << "the gathered cells go back to their list";
    cellheap_free(arena, h, cells[1]);
    EXPECT_NE(cellheap_alloc(arena, h, 28), 0u) << "a freed buddy makes a pair";
}

TEST_F(CellHeap, ForEachOverAFreshHeapCallsNothingAndThenVisitsFullCellsInOrder)
{
    std::vector<uint32_t> seen;
    auto collect = [](void* data, uint32_t d) { static_cast<std::vector<uint32_t>*>(data)->push_back(d); };
    cellheap_for_each(arena, h, collect, &seen);
    EXPECT_TRUE(seen.empty());
    const uint32_t a = cellheap_alloc(arena, h, 60);
    const uint32_t b = cellheap_alloc(arena, h, 12);
    const uint32_t c = cellheap_alloc(arena, h, 28);
    cellheap_free(arena, h, b);
    cellheap_for_each(arena, h, collect, &seen);
    std::vector<uint32_t> expected = {a, c};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
}

TEST_F(CellHeap, FullCellCheck)
{
    const uint32_t a = cellheap_alloc(arena, h, 12);
    EXPECT_TRUE(IsFullHeapCell(arena, h, a));
    EXPECT_FALSE(IsFullHeapCell(arena, h, a + 4)) << "not on a cell boundary";
    EXPECT_FALSE(IsFullHeapCell(arena, h, a + 16)) << "a free cell";
    EXPECT_FALSE(IsFullHeapCell(arena, h, base() - 16)) << "below the data";
    EXPECT_FALSE(IsFullHeapCell(arena, h, base() + 256)) << "beyond the data";
    cellheap_free(arena, h, a);
    EXPECT_FALSE(IsFullHeapCell(arena, h, a));
}

// Every word of the heap lies where scripts can write. A link that is not
// what the heap left there stops the operation with the heap marked broken:
// no assertion, no write through it, no endless walk.
TEST_F(CellHeap, LinksThatAreNotWhatTheHeapLeftStopIt)
{
    using Word = std::pair<uint32_t, uint32_t>;  // address, value written there
    struct Case {
        const char* name;
        std::function<Word()> damage;  // after its own steps
        std::function<void(bool*)> use;
    };
    const auto two_small = [this] {
        const uint32_t a = cellheap_alloc(arena, h, 12);
        const uint32_t b = cellheap_alloc(arena, h, 12);
        return std::pair<uint32_t, uint32_t>{a, b};
    };
    const auto alloc_small = [this](bool* broken) { cellheap_alloc(arena, h, 12, broken); };
    const Case cases[] = {
        {"free list back link",
         [&] {
             const auto [a, b] = two_small();
             cellheap_free(arena, h, a);
             return Word{a + 4, 0x12345};
         },
         alloc_small},
        {"free list forward link out of the heap",
         [&] {
             const auto [a, b] = two_small();
             cellheap_free(arena, h, a);
             return Word{a, KARENA_LOW + 64};
         },
         alloc_small},
        {"pair chain that loops back", [this] { return Word{base() + 64, base()}; },
         [this](bool* broken) {
             for (int i = 0; i < 4 && !*broken; ++i) {
                 cellheap_alloc(arena, h, 60, broken);
             }
         }},
        {"anchor of a free buddy",
         [&] {
             const auto [a, b] = two_small();
             cellheap_free(arena, h, b);
             return Word{b + 8, 0x12345};
         },
         [this](bool* broken) { cellheap_free(arena, h, base(), broken); }},
        {"anchor met by the walk",
         [this] {
             cellheap_alloc(arena, h, 12);
             return Word{base() + 16 + 8, 7};
         },
         [this](bool* broken) { cellheap_for_each(arena, h, [](void*, uint32_t) {}, nullptr, broken); }},
        {"size in the record", [this] { return Word{h + CELLHEAP_SIZE, 100}; }, alloc_small},
        {"head of a class list", [this] { return Word{node(0) + CELLNODE_FREE, 0x12345}; }, alloc_small},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        h = cellheap_create(arena, 4, 8, 60);
        ASSERT_NE(h, 0u);
        const Word w = k.damage();
        arena.set_word(w.first, w.second);
        bool broken = false;
        k.use(&broken);
        EXPECT_TRUE(broken);
    }
}

// Random allocations and frees against a model of the live cells: cells never
// overlap, hold what was written into them, and a heap emptied again can be
// filled with top-class cells to the last byte.
TEST(CellHeapModel, RandomUseKeepsCellsApartAndMergesBackCompletely)
{
    KArena arena;
    ASSERT_TRUE(arena.reserve(8u << 20));
    const uint32_t h = cellheap_create(arena, 64, 4, 252);
    ASSERT_NE(h, 0u);
    const uint32_t base = arena.word(h + CELLHEAP_BASE);
    const uint32_t size = arena.word(h + CELLHEAP_SIZE);
    std::mt19937 rng(12345);
    std::map<uint32_t, uint32_t> live;  // user address -> requested size
    auto fill = [&](uint32_t d, uint32_t n) { std::memset(arena.at(d, n), static_cast<int>(d & 0xFF), n); };
    auto intact = [&](uint32_t d, uint32_t n) {
        const uint8_t* p = arena.at(d, n);
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i] != (d & 0xFF)) {
                return false;
            }
        }
        return true;
    };
    for (int round = 0; round < 3; ++round) {
        for (int step = 0; step < 4000; ++step) {
            if (live.empty() || rng() % 100 < 55) {
                const uint32_t want = 1 + rng() % (rng() % 4 == 0 ? 252 : 40);
                const uint32_t d = cellheap_alloc(arena, h, want);
                if (d == 0) {
                    continue;
                }
                ASSERT_TRUE(IsFullHeapCell(arena, h, d));
                ASSERT_GE(cellheap_cell_size(arena, h, d), want + 4);
                ASSERT_GE(d, base);
                ASSERT_LE(static_cast<uint64_t>(d) - 4 + cellheap_cell_size(arena, h, d), uint64_t{base} - 4 + size);
                const auto next = live.lower_bound(d);
                if (next != live.end()) {
                    ASSERT_LE(d - 4 + cellheap_cell_size(arena, h, d), next->first - 4);
                }
                if (next != live.begin()) {
                    const auto prev = std::prev(next);
                    ASSERT_LE(prev->first - 4 + cellheap_cell_size(arena, h, prev->first), d - 4);
                }
                live[d] = want;
                fill(d, want);
            } else {
                auto it = live.begin();
                std::advance(it, static_cast<long>(rng() % live.size()));
                ASSERT_TRUE(intact(it->first, it->second));
                cellheap_free(arena, h, it->first);
                live.erase(it);
            }
        }
        std::vector<uint32_t> seen;
        cellheap_for_each(
            arena, h, [](void* data, uint32_t d) { static_cast<std::vector<uint32_t>*>(data)->push_back(d); }, &seen);
        std::vector<uint32_t> expected;
        for (const auto& [d, n] : live) {
            expected.push_back(d);
        }
        ASSERT_EQ(seen, expected);
        for (const auto& [d, n] : live) {
            ASSERT_TRUE(intact(d, n));
            cellheap_free(arena, h, d);
        }
        live.clear();
        uint32_t whole = 0;
        std::vector<uint32_t> big;
        for (uint32_t d; (d = cellheap_alloc(arena, h, 252)) != 0 && whole < 10000; ++whole) {
            big.push_back(d);
        }
        ASSERT_EQ(whole, size / 256) << "every free buddy merged back";
        for (uint32_t d : big) {
            cellheap_free(arena, h, d);
        }
    }
}

} // namespace
