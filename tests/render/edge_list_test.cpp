// The edge list on its own: shared edges, horizontal edges, the order of
// surfaces by key and by depth plane, transparent surfaces, and full pools.
#include "render/edge_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Points = std::vector<int32_t>;

Points edge_rect(int x0, int y0, int x1, int y1)
{
    return {x0 << 16, y0 << 16, x1 << 16, y0 << 16, x1 << 16, y1 << 16, x0 << 16, y1 << 16};
}

struct SurfaceSet {
    MapFace opaque;
    MapFace glass;
    MapPolygon polygon;
    MapPolygon glass_polygon;
    SurfaceSet()
    {
        polygon.face = &opaque;
        glass.flags = FACE_TRANSPARENT;
        glass_polygon.face = &glass;
    }
    PolygonRef ref(int32_t key, bool transparent = false, DepthPlane depth = {})
    {
        PolygonRef r;
        r.polygon = transparent ? &glass_polygon : &polygon;
        r.order_key = key;
        r.depth = depth;
        return r;
    }
};

// Which surface each pixel of a line got, by index in the list; -1 none, and
// a pixel in the spans of two surfaces is reported.
std::vector<int> line_owners(const EdgeList& edges, int y, int width, bool allow_overlap = false)
{
    std::vector<int> owner(static_cast<size_t>(width), -1);
    for (int32_t i = 0; i < edges.active_surfaces; ++i) {
        for (const Span* s = edges.surfaces()[i].spans; s != nullptr; s = s->next) {
            if (s->y != y) {
                continue;
            }
            for (int x = s->x; x < s->x + s->count; ++x) {
                if (!allow_overlap) {
                    EXPECT_EQ(owner[static_cast<size_t>(x)], -1) << "pixel " << x;
                }
                owner[static_cast<size_t>(x)] = i;
            }
        }
    }
    return owner;
}

class EdgeListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(edges.init(32, 16), 1); }
    Surface* add(const Points& p, const PolygonRef& ref)
    {
        return edges.add_surface(ref, p.data(), static_cast<int32_t>(p.size() / 2), 10.0f);
    }
    EdgeList edges;
    SurfaceSet set;
};

TEST_F(EdgeListTest, NeighboursShareOneEdge)
{
    add(edge_rect(2, 2, 10, 8), set.ref(5));
    const int32_t alone = edges.active_edges;
    EXPECT_EQ(alone, 2) << "a rectangle: one left and one right edge; the horizontal ones make none";
    add(edge_rect(10, 2, 20, 8), set.ref(5));
    EXPECT_EQ(edges.active_edges, alone + 1) << "the edge at x = 10 is shared";
    const Edge* shared = nullptr;
    for (const Edge* e = edges.line_edges(2); e != nullptr; e = e->next_in_line) {
        shared = e->closes != nullptr && e->opens != nullptr ? e : shared;
    }
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->closes, &edges.surfaces()[0]);
    EXPECT_EQ(shared->opens, &edges.surfaces()[1]);
    edges.scan();
    const std::vector<int> owners = line_owners(edges, 4, 32);
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(owners[static_cast<size_t>(x)], x < 2 ? -1 : x < 10 ? 0 : x < 20 ? 1 : -1) << x;
    }
    EXPECT_EQ(line_owners(edges, 8, 32), std::vector<int>(32, -1)) << "the bottom line is outside";
}

TEST_F(EdgeListTest, SurfacesAreStackedByKeyThenByDepth)
{
    // Nearer keys win where world surfaces overlap; model surfaces (key -1)
    // compare their depth planes, and planes within 4096 of each other their x slopes.
    struct Case {
        const char* why;
        int32_t key_a, key_b;
        DepthPlane depth_a, depth_b;
        int winner_at_12; // surface index owning pixel 12 of line 5
    } cases[] = {
        {"larger key is nearer", 3, 7, {}, {}, 1},
        {"larger key is nearer, other order", 7, 3, {}, {}, 0},
        {"model: larger 1/z is nearer", -1, -1, {1 << 30, 0, 0}, {1 << 28, 0, 0}, 0},
        {"model against a world surface: depth decides", 9, -1, {1 << 28, 0, 0}, {1 << 30, 0, 0}, 1},
        {"within 4096: the steeper x slope", -1, -1, {1000000, 0, 0}, {1000000 + 12 * 10 - 4000, 10, 0}, 1},
        {"within 4096: the other slope", -1, -1, {1000000, 10, 0}, {1000000 + 120 - 4000, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        edges.reset();
        add(edge_rect(4, 2, 20, 9), set.ref(c.key_a, false, c.depth_a));
        add(edge_rect(12, 4, 28, 12), set.ref(c.key_b, false, c.depth_b));
        edges.scan();
        const std::vector<int> owners = line_owners(edges, 5, 32);
        EXPECT_EQ(owners[12], c.winner_at_12) << c.why;
        EXPECT_EQ(owners[5], 0) << c.why;
        EXPECT_EQ(owners[25], 1) << c.why;
    }
}

TEST_F(EdgeListTest, TransparentSurfacesShowWhatLiesBehind)
{
    add(edge_rect(4, 2, 20, 9), set.ref(9, true)); // glass in front
    add(edge_rect(0, 0, 32, 16), set.ref(2));      // a wall behind
    edges.scan();
    const Surface& glass = edges.surfaces()[0];
    EXPECT_EQ(glass.flags & (SURFACE_TRANSPARENT | SURFACE_TRANSPARENT_FACE),
              SURFACE_TRANSPARENT | SURFACE_TRANSPARENT_FACE);
    // The wall keeps every pixel; the glass gets its own on top.
    int wall = 0;
    int glass_pixels = 0;
    for (int32_t i = 0; i < 2; ++i) {
        for (const Span* s = edges.surfaces()[i].spans; s != nullptr; s = s->next) {
            (i == 0 ? glass_pixels : wall) += s->count;
        }
    }
    EXPECT_EQ(wall, 32 * 16);
    EXPECT_EQ(glass_pixels, 16 * 7);
}

TEST_F(EdgeListTest, ThinPolygonsAndEdgesOutsideTheScreen)
{
    // A sliver narrower than a pixel: its closing edge may come first; no span, no upset stack.
    const Points sliver = {(5 << 16) + 100, 1 << 16, (5 << 16) + 900, 1 << 16, (5 << 16) + 800, 12 << 16};
    add(sliver, set.ref(4));
    // A polygon far beyond the screen's sides and top: clamped spans.
    add(edge_rect(-100, -50, 200, 3), set.ref(1));
    // A counter-clockwise one: closes before it opens on every line.
    Points backwards = edge_rect(2, 10, 30, 14);
    std::swap(backwards[2], backwards[6]);
    std::swap(backwards[3], backwards[7]);
    add(backwards, set.ref(8));
    edges.scan();
    EXPECT_EQ(edges.unbalanced_lines, 0);
    EXPECT_EQ(line_owners(edges, 2, 32), std::vector<int>(32, 1));
    EXPECT_EQ(line_owners(edges, 11, 32), std::vector<int>(32, -1)) << "nothing of the sliver or the backwards one";
}

TEST_F(EdgeListTest, FullPoolsDropWholePolygonsAndCountThem)
{
    int added = 0;
    for (int i = 0; i < EDGE_LIST_MAX_SURFACES + 10; ++i) {
        const int x = i % 30;
        added += add(edge_rect(x, 0, x + 1, 16), set.ref(i)) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(added, EDGE_LIST_MAX_SURFACES);
    EXPECT_EQ(edges.dropped_polygons, 10);
    edges.scan();
    EXPECT_EQ(edges.unbalanced_lines, 0);

    // Edges: polygons of many corners run the edge pool dry first.
    edges.reset();
    Points many;
    for (int k = 0; k < 16; ++k) { // a zigzag down the right, straight up the left
        many.push_back((4 + 3 * (k % 2)) << 16);
        many.push_back(k << 16);
    }
    many.push_back(0);
    many.push_back(15 << 16);
    added = 0;
    for (int i = 0; i < 600; ++i) {
        added += add(many, set.ref(i)) != nullptr ? 1 : 0;
    }
    EXPECT_LT(added, 600);
    EXPECT_GT(edges.dropped_polygons, 0);
    EXPECT_LE(edges.active_edges, EDGE_LIST_MAX_EDGES);
    edges.scan();
    EXPECT_EQ(edges.unbalanced_lines, 0);
    EXPECT_LE(edges.active_spans, EDGE_LIST_MAX_SPANS);
}

} // namespace
