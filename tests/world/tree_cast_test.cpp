#include "world/tree_cast.h"
#include "world/volume_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr int32_t STONE = 0x2150;

// A box -4..4, -4..4, 0..8 of stone in a point tree.
class BoxTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Vector hull = {0, 0, 0};
        ASSERT_EQ(set_.build_box(1, STONE, Vector{-4, -4, 0}, Vector{4, 4, 8}, &hull), 1);
    }
    const VolumeTree& tree() const { return set_.tree(0, 0); }

    VolumeSet set_;
};

struct CastCase {
    const char* name;
    Vector start;
    Vector direction;
    float scale;
    int32_t threshold;
    int hits;
    int32_t contents;
    float fraction;
    Vector normal;
};

} // namespace

TEST_F(BoxTree, SegmentsStopAtTheFirstLeafAboveTheThreshold)
{
    const CastCase cases[] = {
        {"straight in from the west", {-10, 0, 4}, {1, 0, 0}, 20, 0x1FFF, 1, STONE, 6, {-1, 0, 0}},
        {"direction scaled: fraction in direction vectors", {-10, 0, 4}, {2, 0, 0}, 10, 0x1FFF, 1, STONE, 3, {-1, 0, 0}},
        {"down onto the top", {1, 1, 20}, {0, 0, -1}, 30, 0x1FFF, 1, STONE, 12, {0, 0, 1}},
        {"too short to reach", {-10, 0, 4}, {1, 0, 0}, 5.9f, 0x1FFF, 0, 0, 0, {0, 0, 0}},
        {"contents equal to the threshold pass", {-10, 0, 4}, {1, 0, 0}, 20, STONE, 0, 0, 0, {0, 0, 0}},
        {"one below the contents stops", {-10, 0, 4}, {1, 0, 0}, 20, STONE - 1, 1, STONE, 6, {-1, 0, 0}},
        {"the renderer's threshold 0x20FF stops stone above it", {-10, 0, 4}, {1, 0, 0}, 20, 0x20FF, 1, STONE, 6, {-1, 0, 0}},
        {"parallel above the top never crosses", {-10, 0, 8.01f}, {1, 0, 0}, 1e6f, 0x1FFF, 0, 0, 0, {0, 0, 0}},
        {"along the top face: on the plane is behind it, inside", {-10, 0, 8}, {1, 0, 0}, 20, 0x1FFF, 1, STONE, 6, {-1, 0, 0}},
        {"starting inside and leaving into air", {0, 0, 4}, {1, 0, 0}, 20, 0x1FFF, 0, 0, 0, {0, 0, 0}},
        {"starting inside, air stops a zero threshold", {0, 0, 4}, {1, 0, 0}, 20, 0, 1, 1, 4, {-1, 0, 0}},
        {"starting inside and staying", {0, 0, 4}, {1, 0, 0}, 2, 0, 0, 0, 0, {0, 0, 0}},
        {"starting on the west face is inside", {-4, 0, 4}, {-1, 0, 0}, 20, 0, 1, 1, 0, {-1, 0, 0}},
        {"diagonal through an edge", {-10, -10, 4}, {1, 1, 0}, 20, 0x1FFF, 1, STONE, 6, {-1, 0, 0}},
    };
    for (const CastCase& c : cases) {
        TreeHit hit;
        hit.normal = Vector{9, 9, 9};
        ASSERT_EQ(tree_cast_segment(tree(), hit, c.start, c.direction, c.scale, c.threshold), c.hits) << c.name;
        if (c.hits == 0) {
            continue;
        }
        EXPECT_EQ(hit.contents, c.contents) << c.name;
        EXPECT_FLOAT_EQ(hit.fraction, c.fraction) << c.name;
        EXPECT_FLOAT_EQ(hit.point.x, c.start.x + c.direction.x * c.fraction) << c.name;
        EXPECT_FLOAT_EQ(hit.point.z, c.start.z + c.direction.z * c.fraction) << c.name;
        if (c.fraction > 0) {
            EXPECT_EQ(hit.normal_valid, 1) << c.name;
            EXPECT_EQ(hit.normal.x, c.normal.x) << c.name;
            EXPECT_EQ(hit.normal.y, c.normal.y) << c.name;
            EXPECT_EQ(hit.normal.z, c.normal.z) << c.name;
        }
    }
}

TEST_F(BoxTree, ASegmentWhoseBoxMissesIsNotWalked)
{
    TreeHit hit;
    hit.normal_valid = 7;
    EXPECT_EQ(tree_cast_segment(tree(), hit, Vector{-10, 10, 4}, Vector{1, 0, 0}, 20, 0), 0);
    EXPECT_EQ(hit.normal_valid, 7) << "the walk never started";
    EXPECT_EQ(tree_cast_segment(tree(), hit, Vector{-10, 4, 4}, Vector{1, 0, 0}, 20, 0x1FFF), 1)
        << "a box touching the tree's box is walked";
}

// NaN anywhere meets nothing; a segment from minus infinity has its box out
// there and is not walked. An endless direction crosses the first plane at
// t = 0 and goes on from a NaN point, which meets nothing either.
TEST_F(BoxTree, NonFiniteSegmentsEndWithoutAHang)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        Vector start, direction;
        int hits;
    };
    const Case cases[] = {
        {"NaN start", {nan, 0, 4}, {1, 0, 0}, 0},
        {"NaN start and direction", {nan, 0, 4}, {nan, nan, nan}, 0},
        {"NaN start, endless direction", {nan, 0, 4}, {inf, 0, 0}, 0},
        {"NaN direction", {-10, 0, 4}, {nan, nan, nan}, 0},
        {"finite", {-10, 0, 4}, {1, 0, 0}, 1},
        {"endless direction", {-10, 0, 4}, {inf, 0, 0}, 0},
        {"start at minus infinity", {-inf, 0, 4}, {1, 0, 0}, 0},
        {"start at minus infinity, NaN direction", {-inf, 0, 4}, {nan, nan, nan}, 0},
        {"minus infinity plus infinity", {-inf, 0, 4}, {inf, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        TreeHit hit;
        hit.normal_valid = 7;
        EXPECT_EQ(tree_cast_segment(tree(), hit, c.start, c.direction, 20, 0x1FFF), c.hits) << c.name;
        if (c.start.x == -inf) {
            EXPECT_EQ(hit.normal_valid, 7) << c.name << ": the walk never started";
        }
    }
    EXPECT_EQ(tree_point_contents(tree(), Vector{nan, 0, 0}), 1) << "NaN lies in no box";
}
