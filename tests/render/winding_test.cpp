// One winding for the whole renderer: seen from its front, a polygon runs
// clockwise (on the y-down screen too). A quad of each winding goes through
// every rule that depends on it: polygon set-up, the clip tree, the clip gaps,
// the edge list, the mesh triangle drawer, and the sky box's corner orders.
#include "poly_fixture.h"
#include "soft/mesh_triangle.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t W = 64;
constexpr int32_t H = 48;

SoupPolygon quad(float x0, float y0, float x1, float y1, float z, bool clockwise)
{
    SoupPolygon p;
    p.vertices = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}}; // right, then down: clockwise
    if (!clockwise) {
        std::reverse(p.vertices.begin(), p.vertices.end());
    }
    p.clockwise = clockwise;
    return p;
}

int span_pixels(const PolyRenderer& r, const MapPolygon* polygon)
{
    int n = 0;
    for (int32_t i = 0; i < r.edges.active_surfaces; ++i) {
        const Surface& s = r.edges.surfaces()[i];
        for (const Span* span = s.spans; span != nullptr && s.ref.polygon == polygon; span = span->next) {
            n += span->count;
        }
    }
    return n;
}

class WindingTest : public PolyTest {
protected:
    void SetUp() override
    {
        PolyTest::SetUp();
        start(W, H);
        patch_ = texture("uvq", uv_texture());
    }
    AlgoTexture* patch_ = nullptr;
};

TEST_F(WindingTest, OneQuadOfEachWindingThroughTheWholeRenderer)
{
    struct Case {
        const char* why;
        bool clockwise;
        bool convex;     // polygon set-up
        bool drawn;      // the edge list gives it spans
    } cases[] = {
        {"clockwise: the winding of the engine", true, true, true},
        {"counter-clockwise: refused everywhere", false, false, false},
    };
    for (const char* structures : {"R_ClipCone", "R_ClipRaster", "none"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.why) + " with " + structures);
            set("R_ClipCone", std::string(structures) == "R_ClipCone" ? "True" : "False");
            set("R_ClipRaster", std::string(structures) == "R_ClipRaster" ? "True" : "False");
            Scene scene;
            Scene::Item& front = scene.add(quad(-2, -2, 2, 2, 10, c.clockwise), patch_, 0.25, 2);
            Scene::Item& back = scene.add(quad(-1, -1, 1, 1, 20, true), patch_, 0.25, 1);
            EXPECT_EQ(setup_texture_axes(front.polygon, front.pointers.data(), 4, &front.face), c.convex ? 1 : 0);
            draw(scene, POLY_CLIP | POLY_OCCLUDER | POLY_HIDDEN_DROP);
            EXPECT_EQ(span_pixels(renderer_, &front.polygon) > 0, c.drawn);
            const int back_pixels = span_pixels(renderer_, &back.polygon);
            // The clip structures drop what they see as hidden before it
            // becomes a surface: the back quad behind a clockwise occluder,
            // the counter-clockwise quad itself.
            EXPECT_EQ(renderer_.edges.active_surfaces, std::string(structures) == "none" ? 2 : 1);
            EXPECT_EQ(back_pixels == 0, c.clockwise) << "the back quad shows only where nothing hides it";
        }
    }
}

TEST_F(WindingTest, MeshTrianglesOfTheSameWindingAreDrawn)
{
    // The first three corners of each quad, projected as the mesh code does.
    projection_.begin_frame(view_);
    for (const bool clockwise : {true, false}) {
        const SoupPolygon q = quad(-2, -2, 2, 2, 10, clockwise);
        MeshVertex v[3] = {};
        for (int k = 0; k < 3; ++k) {
            const Vector& p = q.vertices[static_cast<size_t>(k)];
            v[k].sx = static_cast<int32_t>((projection_.centre_x + projection_.xscale * p.x / p.z) * 65536.0);
            v[k].sy = static_cast<int32_t>((projection_.centre_y + projection_.yscale * p.y / p.z) * 65536.0);
            v[k].w = 1.0f / p.z;
        }
        std::vector<uint32_t> pixels(W * H);
        std::vector<int32_t> offsets(H);
        std::vector<uint16_t> depth(W * H);
        std::vector<uint16_t*> rows(H);
        for (int32_t y = 0; y < H; ++y) {
            offsets[static_cast<size_t>(y)] = y * W;
            rows[static_cast<size_t>(y)] = depth.data() + y * W;
        }
        const Texture* skin = patch_->update(0);
        MeshTriangle t = {{0, 1, 2}, {0, 0, 0}, {0, 0, 0}, skin};
        DrawWindow window = {pixels.data(), offsets.data(), rows.data(), W, H, {16, 8, 0, 24}, nullptr, true, true};
        TriangleGradients g;
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(mesh_triangle_draw_inline(&g, &t, v, &window), clockwise ? 1 : 0) << clockwise;
    }
}

TEST_F(WindingTest, SkyBoxSidesFaceTheCameraInside)
{
    // The box's corners and the six sides in their corner orders.
    std::vector<Vector> corners;
    for (int i = 0; i < 8; ++i) {
        corners.push_back(Vector{(i & 1) ? 32768.0f : -32768.0f, (i & 2) ? 32768.0f : -32768.0f,
                                 (i & 4) ? 32768.0f : -32768.0f});
    }
    const int sides[6][4] = {{2, 3, 1, 0}, {4, 5, 7, 6}, {6, 7, 3, 2}, {7, 5, 1, 3}, {5, 4, 0, 1}, {4, 6, 2, 0}};
    for (const auto& side : sides) {
        std::vector<Vector*> pointers;
        for (const int k : side) {
            pointers.push_back(&corners[static_cast<size_t>(k)]);
        }
        const Vector& c0 = corners[static_cast<size_t>(side[0])];
        Vector first = corners[static_cast<size_t>(side[1])];
        vec_sub(first, c0);
        Vector second = corners[static_cast<size_t>(side[3])];
        vec_sub(second, c0);
        Plane plane;
        vec_cross(second, first, plane.normal); // into the box
        vec_normalize(plane.normal);
        plane.d = -vec_dot(plane.normal, c0);
        EXPECT_GT(plane.d, 0.0f) << "the centre lies in front";
        MapFace face;
        setup_polygon_face(face, nullptr, patch_, &plane, c0, first, second, 0, false);
        MapPolygon polygon;
        EXPECT_EQ(setup_texture_axes(polygon, pointers.data(), 4, &face), 1) << "convex in the engine's winding";
    }
}

} // namespace
