#include "client/cobj_manager.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

class Table final : public CObjManager {
public:
    int net_update(int, uint32_t, NetStreamIn&) override { return 1; }
    int link(int) override { return 1; }
    int unlink(int, int) override { return 1; }
};

std::vector<int> used(Table& t)
{
    std::vector<int> out;
    for (int i = t.first(); i >= 0; i = t.next()) {
        out.push_back(i);
    }
    return out;
}

TEST(CObjManager, DirectSlotsComeFromTheIndexBits)
{
    PrintCapture capture;
    Table t;
    ASSERT_EQ(t.create(512, 0), 1);
    EXPECT_EQ(t.grab(0x00500105), 0x105);
    EXPECT_EQ(t.grab(0x00510105), -1);
    EXPECT_TRUE(capture.contains("Client: Can't grab 0x510105 - not free"));
    EXPECT_EQ(t.find(0x00510105), -1) << "another reuse count is another object";
    EXPECT_EQ(capture.count("Can't find"), 0);
    EXPECT_EQ(t.find(0x00500105), 0x105);
    EXPECT_EQ(t.grab(0x00500010), 0x10);
    EXPECT_EQ(t.grab(0x00500000 | 600), -1);
    EXPECT_TRUE(capture.contains("Client: Can't grab 0x500258 - index out of range"));
    EXPECT_EQ(t.find(0x00500000 | 600), -1);
    EXPECT_TRUE(capture.contains("Client: Can't find 0x500258 - index out of range"));
}

TEST(CObjManager, HashedSlotsProbeForward)
{
    Table t;
    ASSERT_EQ(t.create(32, 1), 1);
    EXPECT_EQ(t.grab(0x20), 0);
    EXPECT_EQ(t.grab(0x40), 1) << "both start at slot 0";
    EXPECT_EQ(t.find(0x40), 1);
    EXPECT_EQ(t.grab(0x3F), 31);
    EXPECT_EQ(t.grab(0x5F), 2) << "wraps from the last slot to slot 0";
    for (uint32_t id = 100; id < 128; ++id) {
        EXPECT_GE(t.grab(id), 0);
    }
    EXPECT_EQ(t.grab(0x1000), -1) << "the 33rd object finds no slot";
    EXPECT_EQ(t.find(0x1000), -1);
}

TEST(CObjManager, ReleaseDuringIterationAndTwice)
{
    PrintCapture capture;
    Table t;
    ASSERT_EQ(t.create(8, 0), 1);
    for (uint32_t i : {1u, 2u, 3u, 4u}) {
        ASSERT_EQ(t.grab(0x00100000 | i), static_cast<int>(i));
    }
    EXPECT_EQ(used(t), (std::vector<int>{4, 3, 2, 1})) << "newest first";
    std::vector<int> seen;
    for (int i = t.first(); i >= 0; i = t.next()) {
        seen.push_back(i);
        if (i == 4) {
            t.release(3); // the slot the iteration returns next
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 2, 1}));
    t.release(3);
    EXPECT_TRUE(capture.contains("Client: Duplicate free (class 1, index 0x3)"));
    EXPECT_EQ(used(t), (std::vector<int>{4, 2, 1}));
    t.release(1);
    t.release(4);
    t.release(2);
    EXPECT_EQ(t.first(), -1);
    EXPECT_FALSE(t.iterating()) << "first on an empty table starts no iteration";
    EXPECT_EQ(t.grab(0x00100005), 5);
    EXPECT_EQ(t.common(5).id, 0x00100005u);
}

TEST(CObjManager, FreedRecordsAreClean)
{
    Table t;
    ASSERT_EQ(t.create(4, 0), 1);
    const int s = t.grab(0x00A00002);
    t.common(s).state = 0x12345678;
    t.common(s).pose[1].position.y = 5.0f;
    t.release(s);
    const CObjCommon& c = t.common(s);
    EXPECT_EQ(c.id, OBJID_UNUSED);
    EXPECT_EQ(c.next, -1);
    EXPECT_EQ(c.state, 0u);
    EXPECT_EQ(c.pose[1].position.y, 0.0f);
    EXPECT_EQ(t.create(0, 1), 1) << "an empty class is a valid table";
    EXPECT_EQ(t.grab(1), -1);
}

// The table beside a model (id -> slot) over random grabs, finds and releases.
TEST(CObjManager, AgreesWithAModel)
{
    PrintCapture capture;
    std::mt19937 random(7);
    for (const int hashed : {0, 1}) {
        Table t;
        const int n = 24;
        ASSERT_EQ(t.create(n, hashed), 1);
        std::map<uint32_t, int> model;
        for (int step = 0; step < 4000; ++step) {
            const uint32_t id = make_object_id(3, random() % 3, random() % (hashed ? 200 : n));
            const int op = static_cast<int>(random() % 3);
            if (op == 0) {
                // The decoder grabs only ids it does not hold.
                if (model.count(id) != 0) {
                    continue;
                }
                const int s = t.grab(id);
                if (s < 0) {
                    // A direct slot may hold another count; a hashed table may be full.
                    EXPECT_TRUE(hashed ? model.size() == static_cast<size_t>(n)
                                       : t.is_allocated(static_cast<int>(id & OBJID_INDEXMASK)));
                    continue;
                }
                model[id] = s;
                EXPECT_EQ(t.common(s).id, id);
            } else if (op == 1) {
                const auto it = model.find(id);
                EXPECT_EQ(t.find(id), it == model.end() ? -1 : it->second) << step;
            } else if (!model.empty()) {
                auto it = model.begin();
                std::advance(it, static_cast<long>(random() % model.size()));
                t.release(it->second);
                model.erase(it);
            }
            std::vector<int> slots = used(t);
            std::sort(slots.begin(), slots.end());
            std::vector<int> expected;
            for (const auto& [key, slot] : model) {
                expected.push_back(slot);
            }
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(slots, expected) << "step " << step;
        }
    }
}

} // namespace
