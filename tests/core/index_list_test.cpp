#include "core/index_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> walk(IndexList& list, int32_t head)
{
    std::vector<int32_t> seen;
    for (int32_t i = list.first(head); i != IL_NONE && seen.size() <= 64; i = list.next()) {
        seen.push_back(i);
    }
    return seen;
}

// Every element on exactly one list, previous links the inverse of next links.
void expect_sound(const IndexList& list)
{
    std::vector<int> on(list.count(), 0);
    for (int32_t head : {IL_USED_HEAD, IL_FREE_HEAD}) {
        int32_t i = head;
        for (int steps = 0; steps <= list.count() + 1; ++steps) {
            const int32_t next = list.link(i).next;
            ASSERT_TRUE(list.index_valid(next));
            ASSERT_EQ(list.link(next).prev, i);
            if (next < 0) {
                ASSERT_EQ(next, head + 1);
                break;
            }
            on[next] += 1;
            i = next;
        }
    }
    for (int32_t i = 0; i < list.count(); ++i) {
        EXPECT_EQ(on[i], 1) << i;
    }
}

} // namespace

TEST(IndexList, EmptyObject)
{
    IndexList list;
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.cursor(), IL_NONE);
}

TEST(IndexList, AllocOrderAndExhaustion)
{
    IndexList list;
    ASSERT_EQ(list.create(3), 1);
    EXPECT_EQ(list.alloc(), 0);
    EXPECT_EQ(list.alloc(), 1);
    EXPECT_EQ(list.alloc(), 2);
    EXPECT_EQ(list.alloc(), IL_NONE);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{2, 1, 0}));
    list.free(1);
    EXPECT_EQ(list.alloc(), 1);
    expect_sound(list);
}

TEST(IndexList, SingleElementLinksToFreeHead)
{
    IndexList list;
    ASSERT_EQ(list.create(1), 1);
    EXPECT_EQ(list.link(0).prev, IL_FREE_HEAD);
    EXPECT_EQ(list.link(0).next, IL_FREE_TAIL);
}

TEST(IndexList, FreeingDuringIterationVisitsEachOnce)
{
    IndexList list;
    ASSERT_EQ(list.create(5), 1);
    for (int i = 0; i < 5; ++i) {
        list.alloc();
    }
    std::vector<int32_t> seen;
    for (int32_t i = list.first(); i != IL_NONE; i = list.next()) {
        seen.push_back(i);
        list.free(i);
        ASSERT_LE(seen.size(), 5u);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(list.first(), IL_NONE);
    expect_sound(list);
}

TEST(IndexList, FreeingTheCursorElementSkipsIt)
{
    IndexList list;
    ASSERT_EQ(list.create(4), 1);
    for (int i = 0; i < 4; ++i) {
        list.alloc();
    }
    EXPECT_EQ(list.first(), 3);
    list.free(2); // the cursor: it moves on to 1
    EXPECT_EQ(list.next(), 1);
    EXPECT_EQ(list.next(), 0);
    EXPECT_EQ(list.next(), IL_NONE);
}

TEST(IndexList, EmptyIteration)
{
    IndexList list;
    ASSERT_EQ(list.create(2), 1);
    EXPECT_EQ(list.first(), IL_NONE);
    EXPECT_EQ(list.cursor(), IL_USED_TAIL);
    EXPECT_EQ(list.next(), IL_NONE);
}

TEST(IndexList, RelinkingAndContains)
{
    IndexList list;
    ASSERT_EQ(list.create(4), 1);
    for (int i = 0; i < 4; ++i) {
        list.alloc(); // used: 3 2 1 0
    }
    list.link_before(3, IL_USED_TAIL);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{2, 1, 0, 3}));
    list.link_after(0, IL_USED_HEAD);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{0, 2, 1, 3}));
    list.link_before(2, 3);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{0, 1, 2, 3}));
    list.link_before(1, IL_FREE_TAIL); // onto the free list, last
    EXPECT_EQ(list.contains(1), 0);
    EXPECT_EQ(list.contains(IL_FREE_HEAD, 1), 1);
    EXPECT_EQ(list.contains(2), 1);
    EXPECT_EQ(list.contains(IL_NONE), 0);
    EXPECT_EQ(list.contains(4), 0);
    expect_sound(list);
}

TEST(IndexList, HeadsAsArgumentsWorkFromEitherEnd)
{
    IndexList list;
    ASSERT_EQ(list.create(4), 1);
    // A recency list kept with -3 as its most recent end.
    EXPECT_EQ(list.alloc(IL_USED_TAIL), 0);
    EXPECT_EQ(list.alloc(IL_USED_TAIL), 1);
    EXPECT_EQ(list.alloc(IL_USED_TAIL), 2);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{0, 1, 2})); // least recent first
    EXPECT_EQ(walk(list, IL_USED_TAIL), (std::vector<int32_t>{2, 1, 0}));
    list.link_first(0, IL_USED_TAIL); // 0 becomes the most recent
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{1, 2, 0}));
    list.link_last(IL_USED_TAIL, 0); // and the least recent again
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{0, 1, 2}));
    list.link_last(IL_USED_HEAD, 0);
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{1, 2, 0}));
    list.link_last(2, 0); // in front of element 2
    EXPECT_EQ(walk(list, IL_USED_HEAD), (std::vector<int32_t>{1, 0, 2}));
    EXPECT_EQ(list.contains(IL_USED_TAIL, 0), 1);

    // Freeing the cursor element while walking backwards moves on backwards.
    EXPECT_EQ(list.first(IL_USED_TAIL), 2);
    list.free(0);
    EXPECT_EQ(list.next(), 1);
    EXPECT_EQ(list.next(), IL_NONE);
    expect_sound(list);
}

TEST(IndexList, ResetFreesAllInOrder)
{
    IndexList list;
    ASSERT_EQ(list.create(3), 1);
    list.alloc();
    list.alloc();
    list.reset();
    EXPECT_EQ(walk(list, IL_FREE_HEAD), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(list.first(), IL_NONE);
    list.destroy();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.cursor(), IL_NONE);
}

TEST(IndexListDeath, FreeingOutOfRangeStops)
{
    IndexList list;
    ASSERT_EQ(list.create(2), 1);
    EXPECT_DEATH(list.free(2), "");
}

TEST(IndexListDeath, BrokenLinksAndCursorsStopWithTheirAssertionTexts)
{
    IndexList list;
    ASSERT_EQ(list.create(2), 1);
    EXPECT_DEATH(list.next(), "index_valid \\(i\\)") << "no iteration started: the cursor is -5";

    ASSERT_EQ(list.alloc(), 0);
    // Damage element 0's links the way a stray write through an owner's array would.
    const_cast<IndexLink&>(list.link(0)).next = 7;
    EXPECT_DEATH(list.free(0), "index_valid \\(prev\\) && index_valid \\(next\\)");
}
