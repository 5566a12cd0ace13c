// The vertex each polygon's fan starts from, on a table of polygons: the
// start of a thin sliver moves to a vertex whose triangles are all wide,
// starts that tie keep the first, and polygons with nothing to choose
// (triangles, degenerate or broken ones) keep vertex 0.
#include "gl/gl_fan_start.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::vector<Vector> vertices;
    int32_t start;
    bool exact = true; // coordinates that scaling by 8 and moving keep exact
};

int32_t start_of(std::vector<Vector> vertices)
{
    std::vector<const Vector*> pointers;
    for (const Vector& v : vertices) {
        pointers.push_back(&v);
    }
    return choose_fan_start(pointers.data(), static_cast<int32_t>(pointers.size()));
}

// The square with a fifth vertex a little above the middle of its top edge,
// from the vertex named first. From the top corners the fan holds a sliver
// (the top corner, the fifth vertex and the other top corner); from the
// bottom corners it does not, and those two tie.
std::vector<Vector> roof(int first)
{
    const std::vector<Vector> v = {{0.0f, 0.0f, 0.0f},
                                   {10.0f, 0.0f, 0.0f},
                                   {10.0f, 10.0f, 0.0f},
                                   {5.0f, 10.125f, 0.0f},
                                   {0.0f, 10.0f, 0.0f}};
    std::vector<Vector> out;
    for (size_t i = 0; i < v.size(); ++i) {
        out.push_back(v[(static_cast<size_t>(first) + i) % v.size()]);
    }
    return out;
}

// 64 vertices: 62 along the bottom edge (every fan from one of them holds
// degenerate triangles), and two above it, the last twice as high as the
// one before. The products of both fans overflow a double; the higher
// vertex's is about 2^60 times the other's.
std::vector<Vector> long_floor()
{
    std::vector<Vector> v;
    for (int i = 0; i < 62; ++i) {
        v.push_back({100.0f * static_cast<float>(i), 0.0f, 0.0f});
    }
    v.push_back({6100.0f, 6100.0f, 0.0f});
    v.push_back({0.0f, 12200.0f, 0.0f});
    return v;
}

TEST(FanStart, TheStartAvoidsSliversAndTiesKeepTheFirst)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Case> cases = {
        {"a triangle has one fan", {{0.0f, 0.0f, 0.0f}, {100.0f, 0.0f, 0.0f}, {0.0f, 0.1f, 0.0f}}, 0},
        {"a square's starts all tie: the first",
         {{0.0f, 0.0f, 0.0f}, {4.0f, 0.0f, 0.0f}, {4.0f, 4.0f, 0.0f}, {0.0f, 4.0f, 0.0f}},
         0},
        {"a sliver at the start moves to the first wide start", roof(4), 1},
        {"a sliver at the start moves to the first wide start, later in the list", roof(2), 3},
        {"a start beside the sliver moves too", roof(3), 2},
        {"a wide start first stays", roof(0), 0},
        {"of two wide starts that tie, the first", roof(1), 0},
        {"a vertex in the middle of an edge: the fan starts there, no degenerate triangle",
         {{0.0f, 0.0f, 0.0f}, {5.0f, 0.0f, 0.0f}, {10.0f, 0.0f, 0.0f}, {10.0f, 10.0f, 0.0f}, {0.0f, 10.0f, 0.0f}},
         1},
        {"a hexagon tilted out of the axes: rounding makes no start better",
         {{0.0f, 0.0f, 0.0f},
          {0.866025f, 0.5f, 0.3f},
          {0.866025f, 1.5f, 0.9f},
          {0.0f, 2.0f, 1.2f},
          {-0.866025f, 1.5f, 0.9f},
          {-0.866025f, 0.5f, 0.3f}},
         0, false},
        {"all on one line: every fan degenerate", {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}, {3.0f, 0.0f, 0.0f}}, 0},
        {"a repeated vertex: every fan degenerate",
         {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {4.0f, 0.0f, 0.0f}, {4.0f, 4.0f, 0.0f}, {0.0f, 4.0f, 0.0f}},
         0},
        {"all at one point", {{3.0f, 3.0f, 3.0f}, {3.0f, 3.0f, 3.0f}, {3.0f, 3.0f, 3.0f}, {3.0f, 3.0f, 3.0f}}, 0},
        {"a vertex that is not a number", {{0.0f, 0.0f, 0.0f}, {4.0f, 0.0f, 0.0f}, {4.0f, nan, 0.0f}, {0.0f, 4.0f, 0.0f}}, 0},
        {"64 vertices whose products overflow a double: the larger still wins", long_floor(), 63},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(start_of(c.vertices), c.start) << c.name;
        if (!c.exact) {
            continue;
        }
        // Far from the origin and larger, the same start.
        std::vector<Vector> moved = c.vertices;
        for (Vector& v : moved) {
            v = Vector{v.x * 8.0f + 20480.0f, v.y * 8.0f - 32768.0f, v.z * 8.0f + 4096.0f};
        }
        EXPECT_EQ(start_of(moved), c.start) << c.name << ", moved and scaled";
    }
    EXPECT_EQ(start_of({}), 0) << "no vertices";
}

} // namespace
