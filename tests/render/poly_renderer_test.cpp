// The polygon renderer against the ray caster: random convex soups rendered
// to spans (which polygon owns each pixel), the depth buffer, and a texture
// that encodes its coordinates read back from the frame.
#include "poly_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr int32_t W = 160;
constexpr int32_t H = 120;

// Layers of non-intersecting polygons, nearest first: polygon i lies within
// 6 % of depth 4 * 1.12^i, so no later polygon is ever in front of it.
void fill_soup(Scene& scene, std::mt19937& rng, AlgoTexture* patch, int count, bool model_keys,
               double backwards_share)
{
    std::uniform_real_distribution<double> sx(-0.6, 0.6);
    std::uniform_real_distribution<double> sy(-0.45, 0.45);
    std::uniform_real_distribution<double> radius(0.04, 0.35);
    std::uniform_real_distribution<double> tilt(-0.15, 0.15);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> corners(3, 10);
    double z = 4.0;
    for (int i = 0; i < count; ++i) {
        const bool clockwise = unit(rng) >= backwards_share;
        const SoupPolygon p =
            soup_polygon(rng, sx(rng), sy(rng), radius(rng), z, tilt(rng), tilt(rng), corners(rng), clockwise);
        scene.add(p, patch, 0.02 * z, model_keys ? -1 : 1000 - i);
        z *= 1.12;
    }
}

struct Comparison {
    int pixels = 0;
    int matching = 0;
    int inner_mismatches = 0; // mismatches away from every edge
    double worst_depth_error = 0.0;
};

class PolyOracleTest : public PolyTest {
protected:
    void SetUp() override
    {
        PolyTest::SetUp();
        start(W, H);
        set("R_Lighting", "False");
        patch_ = texture("uvq", uv_texture());
    }

    // An edge pixel: the ray caster gives another answer one pixel away.
    bool near_edge(const std::vector<RayHit>& hits, int32_t x, int32_t y) const
    {
        const int id = hits[static_cast<size_t>(y * W + x)].id;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int32_t nx = std::clamp(x + dx, 0, W - 1);
                const int32_t ny = std::clamp(y + dy, 0, H - 1);
                if (hits[static_cast<size_t>(ny * W + nx)].id != id) {
                    return true;
                }
            }
        }
        return false;
    }

    Comparison compare(const Scene& scene, bool check_texels)
    {
        std::vector<RayHit> hits;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                hits.push_back(cast(scene, x, y));
            }
        }
        const std::vector<int> ids = span_ids(scene);
        Comparison c;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                const RayHit& hit = hits[static_cast<size_t>(y * W + x)];
                const int id = ids[static_cast<size_t>(y * W + x)];
                ++c.pixels;
                const bool edge = near_edge(hits, x, y);
                if (id == hit.id) {
                    ++c.matching;
                } else if (!edge) {
                    ++c.inner_mismatches;
                    ADD_FAILURE() << "pixel " << x << "," << y << ": span of " << id << ", ray hits " << hit.id;
                }
                if (id != hit.id || id < 0 || edge) {
                    continue;
                }
                const double want = 65536.0 / hit.depth;
                const double got = projection_.depth_rows[y][x];
                c.worst_depth_error = std::max(c.worst_depth_error, std::fabs(got - want) / want);
                if (check_texels) {
                    const uint32_t p = pixel(x, y);
                    const int u = channel(p, 0) >> 4;
                    const int v = channel(p, 1) >> 4;
                    const auto near_texel = [](int got_texel, double want_coord) {
                        const int t = static_cast<int>(std::floor(want_coord)) & 15;
                        const int d = std::abs(got_texel - t);
                        return std::min(d, 16 - d) <= 1;
                    };
                    EXPECT_TRUE(near_texel(u, hit.u) && near_texel(v, hit.v))
                        << "pixel " << x << "," << y << " shows texel " << u << "," << v << ", ray gives " << hit.u
                        << "," << hit.v;
                }
            }
        }
        return c;
    }

    AlgoTexture* patch_ = nullptr;
};

struct SoupCase {
    const char* why;
    bool model_keys;
    double backwards_share;
    const char* clip_cone;
    const char* clip_raster;
    uint32_t flags;
};

TEST_F(PolyOracleTest, RandomSoupsMatchTheRayCaster)
{
    const SoupCase cases[] = {
        {"ordered by key, no clip structures", false, 0.0, "False", "False", POLY_CLIP},
        {"ordered by depth planes", true, 0.0, "False", "False", POLY_CLIP},
        {"key order with the clip tree as occluder", false, 0.0, "True", "False", POLY_CLIP | 4 | 8},
        {"key order with the clip gaps as occluder", false, 0.0, "False", "True", POLY_CLIP | 4 | 8},
        {"both clip structures", false, 0.0, "True", "True", POLY_CLIP | 4 | 8},
        {"depth order, a third wound backwards", true, 0.33, "False", "False", POLY_CLIP},
        {"key order, backwards ones through both clip structures", false, 0.33, "True", "True", POLY_CLIP | 4 | 8},
    };
    std::mt19937 rng(2024);
    for (const SoupCase& sc : cases) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(sc.why) + " round " + std::to_string(round));
            set("R_ClipCone", sc.clip_cone);
            set("R_ClipRaster", sc.clip_raster);
            Scene scene;
            fill_soup(scene, rng, patch_, 40, sc.model_keys, sc.backwards_share);
            draw(scene, sc.flags);
            const Comparison c = compare(scene, true);
            EXPECT_GE(c.matching, c.pixels * 995 / 1000);
            EXPECT_EQ(c.inner_mismatches, 0);
            EXPECT_LT(c.worst_depth_error, 0.01);
            EXPECT_EQ(renderer_.stats.dropped, 0);
            EXPECT_EQ(renderer_.edges.unbalanced_lines, 0);
        }
    }
}

TEST_F(PolyOracleTest, PolygonsThroughTheSidesAndBeyondTheEye)
{
    // Large polygons that cross every side plane and reach behind the eye's
    // plane: clipped to the sides, never projected from behind the eye.
    Scene scene;
    std::mt19937 rng(5);
    SoupPolygon floor;
    floor.vertices = {{-50, 2, -5}, {50, 2, -5}, {50, 2, 60}, {-50, 2, 60}};
    // Seen from above (y down is toward the floor): clockwise on the screen.
    std::reverse(floor.vertices.begin(), floor.vertices.end());
    scene.add(floor, patch_, 0.5, 10);
    SoupPolygon wall;
    wall.vertices = {{-50, -30, 60}, {50, -30, 60}, {50, 2, 60}, {-50, 2, 60}};
    scene.add(wall, patch_, 0.5, 9);
    set("R_ClipCone", "True");
    set("R_ClipRaster", "True");
    draw(scene, POLY_CLIP | 4 | 8);
    const Comparison c = compare(scene, true);
    EXPECT_GE(c.matching, c.pixels * 995 / 1000);
    EXPECT_EQ(c.inner_mismatches, 0);
    EXPECT_LT(c.worst_depth_error, 0.01);
    EXPECT_TRUE(renderer_.screen_covered());
}

} // namespace

