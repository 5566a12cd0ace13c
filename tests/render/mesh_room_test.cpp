// A lit cube in a box room through the whole polygon renderer: the walls as
// the ray caster sees them wherever the cube is not, and the cube, nearer
// than every wall, over exactly its silhouette.
#include "poly_fixture.h"
#include "world/view/entity_hooks.h"
#include "renderer/mesh_object.h"
#include "silhouette.h"
#include "tools/models/demo_models.h"
#include "tools/textures/procedural.h"
#include "world/light_source.h"

#include <gtest/gtest.h>

namespace {

class MeshRoomTest : public PolyTest {};

} // namespace

TEST_F(MeshRoomTest, ALitCubeInABoxRoom)
{
    ASSERT_TRUE(tools::write_demo_models(tree_.path("kavrin")));
    start(160, 120);
    AlgoTexture* grid = texture("grid", tools::make_uv_grid());
    Scene scene;
    const float s = 200.0f;
    const float h = 120.0f;
    // Each wall clockwise seen from inside; y runs down, the camera looks along +z.
    const std::vector<std::vector<Vector>> walls = {
        {{-s, -h, s}, {s, -h, s}, {s, h, s}, {-s, h, s}},     // far
        {{s, -h, -s}, {-s, -h, -s}, {-s, h, -s}, {s, h, -s}}, // near
        {{s, -h, s}, {s, -h, -s}, {s, h, -s}, {s, h, s}},     // right
        {{-s, -h, -s}, {-s, -h, s}, {-s, h, s}, {-s, h, -s}}, // left
        {{-s, h, s}, {s, h, s}, {s, h, -s}, {-s, h, -s}},     // floor
        {{-s, -h, -s}, {s, -h, -s}, {s, -h, s}, {-s, -h, s}}, // ceiling
    };
    int key = 10;
    for (const std::vector<Vector>& w : walls) {
        SoupPolygon p;
        p.vertices = w;
        scene.add(p, grid, 2.0, key--);
    }

    MeshModel model;
    ASSERT_EQ(model.set_name("demo", "cube"), 1);
    MeshObject cube;
    cube.attach(&model, projection_);
    ASSERT_NE(model.model, nullptr);
    // Turned about two axes, 90 units ahead.
    const float a = 0.6f;
    const float b = 0.4f;
    Matrix ry;
    Matrix rx;
    mat_identity(ry);
    mat_identity(rx);
    ry.m[0] = std::cos(a);
    ry.m[2] = std::sin(a);
    ry.m[8] = -std::sin(a);
    ry.m[10] = std::cos(a);
    rx.m[5] = std::cos(b);
    rx.m[6] = -std::sin(b);
    rx.m[9] = std::sin(b);
    rx.m[10] = std::cos(b);
    mat_multiply(cube.transform, ry, rx);
    mat_set_translation(cube.transform, {10, -5, 90});
    mat_get_translation(cube.position, cube.transform);
    cube.set_skin(0x404040);
    LampData lamp;
    lamp.set_colour(0xFFFFFF);
    LightSource light(ENTITY_TYPE_LAMP_LIGHT);
    light.set_range(2.0f);
    light.set_intensity(1.0f);
    light.set_lamp(&lamp);
    light.set_position({-60, -60, 40}, {0, 0, 1});
    EntityLink link = {&light, nullptr};
    cube.light_list_b = &link;

    set("R_ClipCone", "True");
    set("R_ClipRaster", "True");
    projection_.begin_frame(view_);
    projection_.clear_window();
    renderer_.begin_frame();
    renderer_.set_transform(world_, nullptr);
    for (Scene::Item& it : scene.items) {
        PolygonRef ref;
        ref.polygon = &it.polygon;
        ref.transform = &world_;
        ref.order_key = it.key;
        renderer_.add_polygon(ref, POLY_CLIP | POLY_OCCLUDER | POLY_HIDDEN_DROP);
    }
    ASSERT_EQ(entity_hooks(cube.entity_type())->meet(cube, renderer_), 1);
    renderer_.end_frame();
    EXPECT_EQ(renderer_.stats.entities[ENTITY_TYPE_MESH], 1);

    std::vector<Point2> corners;
    for (int i = 0; i < 8; ++i) {
        Vector c;
        mat_rotate_vector(c, cube.transform, {i & 1 ? 16.0f : -16.0f, i & 2 ? 16.0f : -16.0f, i & 4 ? 16.0f : -16.0f});
        corners.push_back({projection_.centre_x_fixed / 65536.0 + projection_.xscale * c.x / c.z,
                           projection_.centre_y_fixed / 65536.0 + projection_.yscale * c.y / c.z});
    }
    const std::vector<Point2> silhouette = hull(corners);
    const std::vector<int> walls_seen = span_ids(scene);
    int cube_pixels = 0;
    int wrong = 0;
    for (int32_t y = 0; y < projection_.ysize; ++y) {
        for (int32_t x = 0; x < projection_.xsize; ++x) {
            const double d = hull_depth(silhouette, x, y);
            if (std::fabs(d) < 0.01) {
                continue;
            }
            const RayHit wall = cast(scene, x, y);
            EXPECT_EQ(walls_seen[static_cast<size_t>(y * projection_.xsize + x)], wall.id) << x << "," << y;
            // The cube lies nearer than any wall: its depths are larger.
            const uint16_t depth = projection_.depth_rows[y][x];
            const bool cube_there = depth > 65536.0 / 140.0;
            cube_pixels += d > 0 ? 1 : 0;
            wrong += cube_there != (d > 0) ? 1 : 0;
        }
    }
    EXPECT_GT(cube_pixels, 1500);
    EXPECT_EQ(wrong, 0);
}
