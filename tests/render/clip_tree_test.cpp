// The clip partition tree: coverage of a whole view, occlusion against a
// model that samples view directions, and its behaviour at its limits.
#include "polygon_soup.h"
#include "world/view/bcp_tree.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A 90-degree view along +z from the origin: normals point into the view.
struct View90 {
    View90()
    {
        const float h = std::sqrt(0.5f);
        planes[0] = Plane{{h, 0.0f, h}, 0.0f};  // left
        planes[1] = Plane{{-h, 0.0f, h}, 0.0f}; // right
        planes[2] = Plane{{0.0f, h, h}, 0.0f};  // top
        planes[3] = Plane{{0.0f, -h, h}, 0.0f}; // bottom
    }
    Plane planes[4];
};

SoupPolygon quad(float x0, float y0, float x1, float y1, float z)
{
    SoupPolygon p;
    p.vertices = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}}; // clockwise on the screen
    return p;
}

// Nodes reachable from the root: with the free ones they make the pool.
int32_t nodes_in_use(const BcpNode* n)
{
    return n == nullptr ? 0 : 1 + nodes_in_use(n->front) + nodes_in_use(n->back);
}

int insert(BcpTree& tree, const SoupPolygon& p, int must_clip)
{
    return tree.insert_polygon(p.vertices.data(), static_cast<int32_t>(p.vertices.size()), must_clip);
}

class ClipTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(tree.alloc(1024), 1);
        tree.reset(Vector{0, 0, 0}, view.planes, 4);
    }
    // Whatever a test did, every node is in the tree or in the pool, once.
    void TearDown() override
    {
        EXPECT_EQ(tree.free_nodes() + nodes_in_use(tree.root()), tree.capacity()) << "a node lost or counted twice";
    }
    View90 view;
    BcpTree tree;
};

TEST_F(ClipTreeTest, AWholeViewPolygonCoversEverything)
{
    for (const int must_clip : {1}) {
        tree.reset(Vector{0, 0, 0}, view.planes, 4);
        EXPECT_FALSE(tree.covered());
        const int32_t free_after_reset = tree.free_nodes();
        EXPECT_EQ(free_after_reset, 1024 - 9) << "entry leaf and four side planes with their solid leaves";
        EXPECT_EQ(insert(tree, quad(-50, -50, 50, 50, 10), must_clip), 1) << must_clip;
        EXPECT_TRUE(tree.covered()) << must_clip;
        EXPECT_EQ(insert(tree, quad(-1, -1, 1, 1, 2), 1), 0) << "nearer, but drawn later: covered";
        EXPECT_EQ(tree.root()->type, BCP_NODE_SOLID);
    }
}

TEST_F(ClipTreeTest, HiddenPartlyHiddenAndEdgeOnPolygons)
{
    EXPECT_EQ(insert(tree, quad(-2, -2, 2, 2, 10), 0), 1);
    struct Case {
        const char* why;
        SoupPolygon polygon;
        int visible;
    } cases[] = {
        {"wholly behind", quad(-1, -1, 1, 1, 20), 0},
        {"same cone, nearer but later", quad(-0.5f, -0.5f, 0.5f, 0.5f, 5), 0},
        {"sticks out to the right", quad(0, -1, 6, 1, 20), 1},
        {"the same again: its outer part is covered now", quad(0, -1, 6, 1, 30), 0},
        {"beside it", quad(3, 3, 5, 5, 20), 1},
        {"the same again: now covered", quad(3, 3, 5, 5, 30), 0},
        {"touching the first along its edge only", quad(-4, -2, -2, 2, 10), 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(insert(tree, c.polygon, 1), c.visible) << c.why;
    }
    // A polygon seen edge-on (its plane through the eye) records nothing.
    const int32_t before = tree.free_nodes();
    SoupPolygon edge_on;
    edge_on.vertices = {{-3, 5, 10}, {3, 5, 10}, {6, 10, 20}, {-6, 10, 20}};
    EXPECT_EQ(insert(tree, edge_on, 1), 0);
    EXPECT_EQ(tree.free_nodes(), before);
}

TEST_F(ClipTreeTest, APolygonInASplitPlaneGoesWhollyToOneSide)
{
    ASSERT_EQ(insert(tree, quad(0, -2, 2, 2, 10), 0), 1);
    const int32_t before = tree.free_nodes();
    // In the plane x = 0 through the eye: the left edge plane of the first quad.
    SoupPolygon in_plane;
    in_plane.vertices = {{0, -1, 5}, {0, -1, 15}, {0, 1, 15}, {0, 1, 5}};
    EXPECT_EQ(insert(tree, in_plane, 1), 0);
    EXPECT_EQ(tree.free_nodes(), before) << "no cut was made";
}

TEST_F(ClipTreeTest, OcclusionAgreesWithSampledDirections)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(-1.1, 1.1);
    std::uniform_real_distribution<double> size(0.02, 0.5);
    std::uniform_real_distribution<double> tilt(-0.5, 0.5);
    std::uniform_int_distribution<int> corners(3, 9);
    constexpr int GRID = 160;
    for (int round = 0; round < 6; ++round) {
        tree.reset(Vector{0, 0, 0}, view.planes, 4);
        std::vector<SoupPolygon> accepted;
        int slivers = 0;
        int offered = 0;
        for (int k = 0; k < 60 && !tree.covered(); ++k) {
            const SoupPolygon p = soup_polygon(rng, pos(rng), pos(rng), size(rng), 10.0, tilt(rng), tilt(rng),
                                               corners(rng), true);
            // Wholly inside the cone of one earlier polygon: must be hidden.
            bool inside_one = false;
            for (const SoupPolygon& q : accepted) {
                bool all = true;
                for (const Vector& v : p.vertices) {
                    all = all && ray_hits(q, v.x / v.z, v.y / v.z, 1e-3);
                }
                inside_one = inside_one || all;
            }
            // Sampled directions inside the view that p covers and no earlier polygon does.
            int clear_inside = 0; // well inside p and well outside every earlier one
            int touched = 0;      // anywhere near p and not deep inside an earlier one
            for (int i = 0; i < GRID; ++i) {
                for (int j = 0; j < GRID; ++j) {
                    const double dx = -1.0 + 2.0 * (i + 0.5) / GRID;
                    const double dy = -1.0 + 2.0 * (j + 0.5) / GRID;
                    if (ray_hits(p, dx, dy, -1e-3)) {
                        bool deep = false;
                        bool near = false;
                        for (const SoupPolygon& q : accepted) {
                            deep = deep || ray_hits(q, dx, dy, 1e-3);
                            near = near || ray_hits(q, dx, dy, -1e-3);
                        }
                        touched += deep ? 0 : 1;
                        clear_inside += !near && ray_hits(p, dx, dy, 1e-3) ? 1 : 0;
                    }
                }
            }
            const int r = insert(tree, p, 1);
            ++offered;
            if (clear_inside > 0) {
                ASSERT_EQ(r, 1) << "round " << round << " polygon " << k << ": visible directions hidden";
            }
            if (inside_one) {
                ASSERT_EQ(r, 0) << "round " << round << " polygon " << k << ": hidden polygon reported visible";
            }
            slivers += r == 1 && touched == 0 ? 1 : 0;
            accepted.push_back(p);
        }
        EXPECT_LE(slivers, offered / 5) << "visible only between the sampled directions";
        EXPECT_EQ(tree.unrecorded(), 0);
    }
}

TEST_F(ClipTreeTest, LimitsCountThePieceVisibleWithoutRecordingIt)
{
    // A pool too small for more than the side planes and one small quad.
    BcpTree small;
    ASSERT_EQ(small.alloc(9 + 8), 1);
    small.reset(Vector{0, 0, 0}, view.planes, 4);
    EXPECT_EQ(insert(small, quad(-1, -1, 1, 1, 10), 0), 1);
    EXPECT_EQ(small.free_nodes(), 0);
    EXPECT_EQ(insert(small, quad(3, 3, 4, 4, 10), 0), 1) << "no room: visible";
    EXPECT_EQ(small.unrecorded(), 1);
    EXPECT_EQ(insert(small, quad(3, 3, 4, 4, 20), 0), 1) << "and still visible behind it";
    EXPECT_EQ(insert(small, quad(-0.5f, -0.5f, 0.5f, 0.5f, 20), 0), 0) << "what was recorded still hides";

    // Too many vertices for one piece.
    std::vector<Vector> many;
    for (int i = 0; i < 70; ++i) {
        const double a = 2.0 * M_PI * i / 70;
        many.push_back(Vector{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 10.0f});
    }
    EXPECT_EQ(tree.insert_polygon(many.data(), 70, 1), 1);
    EXPECT_EQ(tree.unrecorded(), 1);
    EXPECT_EQ(tree.insert_polygon(many.data(), 64, 1), 1) << "64 are taken, but no piece of 64 can be cut";
    EXPECT_EQ(tree.unrecorded(), 2);
    EXPECT_EQ(tree.insert_polygon(many.data(), 63, 1), 1);
    EXPECT_EQ(tree.unrecorded(), 2) << "63 are recorded";
    EXPECT_EQ(tree.insert_polygon(many.data(), 63, 1), 0);
}

TEST_F(ClipTreeTest, DeepTreesStayWithinTheirLimits)
{
    // Hundreds of thin slivers side by side make long chains; the pool and
    // the recursion limit must hold without a fault, and covered parts stay covered.
    std::mt19937 rng(3);
    for (int i = 0; i < 400; ++i) {
        const float x = -9.5f + 0.047f * i;
        insert(tree, quad(x, -9, x + 0.03f, 9, 10.0f + 0.01f * i), 1);
    }
    EXPECT_GT(tree.unrecorded(), 0) << "the pool ran dry";
    EXPECT_EQ(insert(tree, quad(-47.45f, -40, -47.40f, 40, 50), 1), 0) << "behind the first sliver";
    EXPECT_EQ(insert(tree, quad(9.0f, -1, 9.4f, 1, 10), 1), 1) << "beyond the last";
}

} // namespace
