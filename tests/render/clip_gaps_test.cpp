// The clip-gap table against a model bitmap filled by an exact point-in-polygon
// rule, and its small cases: touching spans, split gaps, closed lines, limits.
#include "world/view/clip_gaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using Points = std::vector<int32_t>;

int32_t fx(double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); }

// A rectangle of whole pixels [x0, x1) x [y0, y1), clockwise on the screen.
Points rect(int x0, int y0, int x1, int y1)
{
    return {x0 << 16, y0 << 16, x1 << 16, y0 << 16, x1 << 16, y1 << 16, x0 << 16, y1 << 16};
}

// Whether point (px, py) is inside by the half-open rule: each left (up)
// edge that spans the line lies at or left of it, each right (down) edge
// strictly right of it. Exact in 128-bit arithmetic.
bool covers(const Points& p, int px, int py)
{
    const size_t n = p.size() / 2;
    const __int128 x = static_cast<__int128>(px) << 16;
    const __int128 y = static_cast<__int128>(py) << 16;
    int spanning = 0;
    for (size_t i = 0; i < n; ++i) {
        const __int128 ax = p[2 * ((i + n - 1) % n)];
        const __int128 ay = p[2 * ((i + n - 1) % n) + 1];
        const __int128 bx = p[2 * i];
        const __int128 by = p[2 * i + 1];
        if (ay == by) {
            continue;
        }
        const bool down = ay < by;
        const __int128 ty = down ? ay : by;
        const __int128 tx = down ? ax : bx;
        const __int128 ey = down ? by : ay;
        const __int128 ex = down ? bx : ax;
        if (!(ty <= y && y < ey)) {
            continue;
        }
        ++spanning;
        // Compare x with the edge's x at y: x - edge_x has the sign of lhs.
        const __int128 lhs = (x - tx) * (ey - ty) - (y - ty) * (ex - tx);
        if (down ? !(lhs < 0) : lhs < 0) {
            return false;
        }
    }
    return spanning > 0;
}

Points random_polygon(std::mt19937& rng, int width, int height)
{
    std::uniform_real_distribution<double> cx(-10.0, width + 10.0);
    std::uniform_real_distribution<double> cy(-10.0, height + 10.0);
    std::uniform_real_distribution<double> radius(0.3, 12.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> corners(3, 8);
    const double x = cx(rng);
    const double y = cy(rng);
    const double rx = radius(rng);
    const double ry = radius(rng);
    std::vector<double> angles(static_cast<size_t>(corners(rng)));
    for (double& a : angles) {
        a = unit(rng) * 2.0 * M_PI;
    }
    std::sort(angles.begin(), angles.end());
    Points p;
    for (const double a : angles) { // increasing angle, y down: clockwise
        p.push_back(fx(x + rx * std::cos(a)));
        p.push_back(fx(y + ry * std::sin(a)));
    }
    return p;
}

class GapModel {
public:
    GapModel(int w, int h) : width(w), height(h), covered(static_cast<size_t>(w * h), false) {}
    bool visible(const Points& p) const
    {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (!covered[static_cast<size_t>(y * width + x)] && covers(p, x, y)) {
                    return true;
                }
            }
        }
        return false;
    }
    void apply(const Points& p)
    {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                covered[static_cast<size_t>(y * width + x)] =
                    covered[static_cast<size_t>(y * width + x)] || covers(p, x, y);
            }
        }
    }
    // The gaps of a line as the model sees them.
    std::vector<std::pair<int, int>> gaps(int y) const
    {
        std::vector<std::pair<int, int>> out;
        for (int x = 0; x < width;) {
            if (covered[static_cast<size_t>(y * width + x)]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < width && !covered[static_cast<size_t>(y * width + end)]) {
                ++end;
            }
            out.emplace_back(x, end);
            x = end;
        }
        return out;
    }
    int width;
    int height;
    std::vector<bool> covered;
};

std::vector<std::pair<int, int>> table_gaps(const ClipGaps& gaps, int y)
{
    std::vector<std::pair<int, int>> out;
    for (const ClipGap* g = gaps.line(y); g != nullptr; g = g->next) {
        EXPECT_EQ(g->x0 & 0xFFFF, 0);
        EXPECT_EQ(g->x1 & 0xFFFF, 0);
        out.emplace_back(g->x0 >> 16, g->x1 >> 16);
    }
    return out;
}

TEST(ClipGaps, ResetOpensEveryLine)
{
    ClipGaps gaps;
    ASSERT_EQ(gaps.alloc(40, 30), 1);
    gaps.set_resolution(32, 20);
    gaps.reset();
    EXPECT_EQ(gaps.active_clipgaps, 20);
    EXPECT_EQ(gaps.max_clipgaps, 50 * 30);
    EXPECT_EQ(gaps.first_open, 0);
    EXPECT_EQ(gaps.last_open, 19);
    EXPECT_EQ(gaps.top_bound, 0);
    EXPECT_EQ(gaps.bottom_bound, (19 << 16) + 1);
    for (int y = 0; y < 20; ++y) {
        ASSERT_EQ(table_gaps(gaps, y), (std::vector<std::pair<int, int>>{{0, 32}}));
    }
}

TEST(ClipGaps, SmallCases)
{
    ClipGaps gaps;
    ASSERT_EQ(gaps.alloc(16, 8), 1);
    Points a = rect(2, 1, 6, 3);
    EXPECT_EQ(gaps.clip_polygon(a.data(), 4), 1);
    EXPECT_EQ(gaps.active_clipgaps, 8 + 2) << "two lines split in the middle";
    EXPECT_EQ(table_gaps(gaps, 1), (std::vector<std::pair<int, int>>{{0, 2}, {6, 16}}));
    struct Case {
        const char* why;
        Points polygon;
        int visible;
    } cases[] = {
        {"inside the covered part", rect(3, 1, 5, 3), 0},
        {"ends exactly where a gap begins", rect(3, 1, 6, 3), 0},
        {"begins exactly where a gap ends", rect(2, 1, 5, 2), 0},
        {"one pixel into the gap", rect(3, 1, 7, 2), 1},
        {"a line below", rect(3, 3, 5, 4), 1},
        {"no whole line", {fx(3.0), fx(1.2), fx(9.0), fx(1.2), fx(9.0), fx(1.9), fx(3.0), fx(1.9)}, 0},
        {"no whole pixel", {fx(10.2), 0, fx(10.8), 0, fx(10.8), 4 << 16, fx(10.2), 4 << 16}, 0},
        {"wound the other way", {2 << 16, 5 << 16, 2 << 16, 7 << 16, 6 << 16, 7 << 16, 6 << 16, 5 << 16}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gaps.test_polygon(c.polygon.data(), static_cast<int32_t>(c.polygon.size() / 2)), c.visible)
            << c.why;
    }

    // Removing a whole gap frees its record; the next split takes it back.
    Points left = rect(0, 1, 2, 2);
    EXPECT_EQ(gaps.clip_polygon(left.data(), 4), 1);
    EXPECT_EQ(table_gaps(gaps, 1), (std::vector<std::pair<int, int>>{{6, 16}}));
    const int32_t active = gaps.active_clipgaps;
    Points middle = rect(8, 5, 10, 6);
    EXPECT_EQ(gaps.clip_polygon(middle.data(), 4), 1);
    EXPECT_EQ(gaps.active_clipgaps, active) << "the freed record was reused";
    EXPECT_EQ(table_gaps(gaps, 5), (std::vector<std::pair<int, int>>{{0, 8}, {10, 16}}));

    // Closing lines moves the open range over closed lines only.
    Points line2 = rect(0, 2, 16, 3);
    gaps.clip_polygon(line2.data(), 4);
    EXPECT_EQ(gaps.first_open, 0);
    Points line0 = rect(-3, 0, 20, 1);
    gaps.clip_polygon(line0.data(), 4);
    EXPECT_EQ(gaps.first_open, 1);
    EXPECT_EQ(gaps.top_bound, 1 << 16);
    Points line1 = rect(0, 1, 16, 2);
    gaps.clip_polygon(line1.data(), 4);
    EXPECT_EQ(gaps.first_open, 3) << "over the line closed before";
    EXPECT_EQ(gaps.top_bound, 3 << 16);
    Points bottom = rect(0, 6, 16, 9);
    gaps.clip_polygon(bottom.data(), 4);
    EXPECT_EQ(gaps.last_open, 5);
    EXPECT_EQ(gaps.bottom_bound, (5 << 16) + 1);
    EXPECT_FALSE(gaps.covered());
    Points all = rect(-100, -100, 100, 100);
    EXPECT_EQ(gaps.clip_polygon(all.data(), 4), 1);
    EXPECT_TRUE(gaps.covered());
    EXPECT_EQ(gaps.test_polygon(all.data(), 4), 0);
}

TEST(ClipGaps, AgreesWithAnExactModel)
{
    constexpr int W = 48;
    constexpr int H = 36;
    std::mt19937 rng(11);
    for (int round = 0; round < 8; ++round) {
        ClipGaps gaps;
        ASSERT_EQ(gaps.alloc(W, H), 1);
        GapModel model(W, H);
        int visible = 0;
        for (int k = 0; k < 120; ++k) {
            const Points p = random_polygon(rng, W, H);
            const int32_t n = static_cast<int32_t>(p.size() / 2);
            const bool want = model.visible(p);
            ASSERT_EQ(gaps.test_polygon(p.data(), n), want ? 1 : 0) << round << ":" << k;
            if (k % 2 == 0) {
                ASSERT_EQ(gaps.clip_polygon(p.data(), n), want ? 1 : 0) << round << ":" << k;
                model.apply(p);
            }
            visible += want ? 1 : 0;
        }
        for (int y = 0; y < H; ++y) {
            ASSERT_EQ(table_gaps(gaps, y), model.gaps(y)) << "round " << round << " line " << y;
        }
        EXPECT_GT(visible, 10);
        EXPECT_EQ(gaps.unclipped, 0);
    }
}

TEST(ClipGaps, AFullTablePassesPolygonsWithoutClipping)
{
    constexpr int W = 400;
    constexpr int H = 4;
    ClipGaps gaps;
    ASSERT_EQ(gaps.alloc(W, H), 1);
    GapModel model(W, H);
    // Every second pixel column covered: each line splits into many gaps.
    int passed = 0;
    for (int x = 1; x < W; x += 2) {
        const Points p = rect(x, 0, x + 1, H);
        const int32_t before = gaps.unclipped;
        ASSERT_EQ(gaps.clip_polygon(p.data(), 4), 1);
        if (gaps.unclipped == before) {
            model.apply(p);
        } else {
            ++passed;
        }
        ASSERT_LE(gaps.active_clipgaps, gaps.max_clipgaps);
    }
    EXPECT_GT(passed, 0) << "the table ran out of records";
    for (int y = 0; y < H; ++y) {
        EXPECT_EQ(table_gaps(gaps, y), model.gaps(y));
    }
}

} // namespace
