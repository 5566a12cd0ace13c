// Mesh drawing: our cube, lit, against the silhouette of its corners from
// many sides (every triangle of every strip must face the camera for the
// silhouette to be whole), the light fold, the view cone, blending between
// frames and between groups, hanging groups, and the perspective path.
#include "entity_fixture.h"
#include "silhouette.h"
#include "renderer/mesh_object.h"
#include "tools/models/model_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

class MeshDrawTest : public EntityTest {
protected:
    void SetUp() override
    {
        EntityTest::SetUp();
        start(160, 120);
    }

    void attach(const char* resource, const char* name)
    {
        ASSERT_EQ(model_.set_name(resource, name), 1);
        mesh_.attach(&model_, projection_);
        ASSERT_NE(model_.model, nullptr);
    }
    // A model of our own under models/t, with the cube's skin.
    void attach_design(const tools::ModelDesign& d, const char* name)
    {
        tree_.write("kavrin/models/t/" + std::string(name) + ".txt", tools::model_text(d));
        tree_.write("kavrin/models/t/" + d.skin_pattern + ".cmt", tools::cmt_bytes(tools::model_skin(0)));
        attach("t", name);
    }
    // The camera at the world origin looking along +z, x right, y down.
    void camera_identity()
    {
        mat_identity(view_.view);
        view_.set_extents(1.0f, 0.75f);
        projection_.begin_frame(view_);
        projection_.clear_window();
    }
    Point2 project(const Vector& world) const
    {
        Vector c;
        mat_rotate_vector(c, projection_.transform, world);
        return {projection_.centre_x_fixed / 65536.0 + projection_.xscale_fixed / 65536.0 * c.x / c.z,
                projection_.centre_y_fixed / 65536.0 + projection_.yscale_fixed / 65536.0 * c.y / c.z};
    }
    static Vector position(int32_t v) { return {mesh_vertex[v].x, mesh_vertex[v].y, mesh_vertex[v].z}; }

    MeshModel model_;
    MeshObject mesh_;
    EntityLink link_ = {};
};

} // namespace

TEST_F(MeshDrawTest, TheLitCubeCoversItsSilhouetteFromEverySide)
{
    attach("demo", "cube");
    mesh_.set_skin(0x808080);
    LampData lamp;
    lamp.set_colour(0xFFC080);
    LightSource light(ENTITY_TYPE_LAMP_LIGHT);
    light.set_range(3.0f);
    light.set_intensity(1.0f);
    light.set_lamp(&lamp);
    light.set_position({60, -40, 50}, {0, 0, 1});
    link_ = {&light, nullptr};
    mesh_.light_list_a = &link_;
    const Vector eyes[] = {{80, 10, 20}, {-70, 40, -30}, {5, -90, 60}, {60, 60, 60}, {-50, -50, 70}, {30, 0, -85}};
    for (const Vector& eye : eyes) {
        SCOPED_TRACE(testing::Message() << "eye " << eye.x << " " << eye.y << " " << eye.z);
        look(eye, {0, 0, 0});
        mesh_.draw(projection_);
        std::vector<Point2> corners;
        for (int i = 0; i < 8; ++i) {
            corners.push_back(project({i & 1 ? 16.0f : -16.0f, i & 2 ? 16.0f : -16.0f, i & 4 ? 16.0f : -16.0f}));
        }
        const std::vector<Point2> h = hull(corners);
        int inside = 0;
        int wrong = 0;
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            for (int32_t x = 0; x < projection_.xsize; ++x) {
                const double d = hull_depth(h, x, y);
                if (std::fabs(d) < 0.01) {
                    continue; // on the edge: rounding of the corners decides
                }
                const bool drawn = pixel(x, y) != 0;
                inside += d > 0 ? 1 : 0;
                wrong += drawn != (d > 0) ? 1 : 0;
                if (drawn) {
                    EXPECT_GT(projection_.depth_rows[y][x], 0) << x << "," << y;
                }
            }
        }
        EXPECT_GT(inside, 500);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(MeshDrawTest, LightsFoldIntoOneVectorAChannel)
{
    Matrix view;
    mat_identity(view);
    LampData plain;
    plain.set_intensity(0.5f);
    plain.set_colour(0x0000FF);
    LampData halved = plain;
    halved.lamp_type = LAMP_WAVE;
    // Reach 100, 50 away along +x: f = 50 x 1.28 = 64.
    auto light = [](const LampData* lamp, uint32_t colour, float x, float focus = 0.0f, float dir = -1.0f) {
        LightSource l;
        l.set_range(1.0f);
        l.set_intensity(1.0f);
        l.set_colour(colour);
        l.set_lamp(const_cast<LampData*>(lamp));
        l.set_kind(std::bit_cast<uint32_t>(focus));
        l.set_position({x, 0, 0}, {dir, 0, 0});
        return l;
    };
    struct Case {
        const char* why;
        uint32_t ambient;
        LightSource light;
        bool lamp_list;
        float facing;  // red light of a vertex facing the light
        float away;    // and of one facing away
    } cases[] = {
        {"no light, no ambient: the floor", 0, light(nullptr, 0, 500), false, 256, 256},
        {"ambient alone", 0x000040, light(nullptr, 0, 500), false, 8192, 8192},
        {"a red light: 60 % along, 40 % everywhere", 0, light(nullptr, 0xFF, 50), false, 16320, 256},
        {"ambient and light together, capped", 0x0000FF, light(nullptr, 0xFF, 50), false, 32512, 32640 + 6528 - 9792},
        {"a light exactly at its reach counts for nothing", 0x000040, light(nullptr, 0xFF, 100), false, 8192, 8192},
        {"a light beyond its reach is skipped", 0x000040, light(nullptr, 0xFF, 100.5f), false, 8192, 8192},
        {"a lamp scales by its intensity", 0, light(&plain, 0, 50), false, 8160, 256},
        {"a lamp of type 1 halves", 0, light(&halved, 0, 50), false, 4080, 256},
        {"but not on the lamp list", 0, light(&halved, 0, 50), true, 8160, 256},
        {"the lamp list skips a light without lamp", 0x000040, light(nullptr, 0xFF, 50), true, 8192, 8192},
        {"a spot pointing at the mesh", 0, light(nullptr, 0xFF, 50, 0.5f), false, 16320, 256},
        {"a spot pointing away is skipped", 0, light(nullptr, 0xFF, 50, 0.5f, 1.0f), false, 256, 256},
        {"a light at the centre lights every side alike", 0, light(nullptr, 0xFF, 0), false, 13056, 13056},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        MeshLightVector v[3];
        mesh_light_start(v, c.ambient);
        mesh_light_add(v, c.light, view, {0, 0, 0}, c.lamp_list);
        EXPECT_NEAR(mesh_vertex_light(v[0], {1, 0, 0}), c.facing, 0.5f);
        EXPECT_NEAR(mesh_vertex_light(v[0], {-1, 0, 0}), c.away, 0.5f);
        EXPECT_EQ(mesh_vertex_light(v[1], {1, 0, 0}), 256.0f) << "green stays dark";
    }
}

TEST_F(MeshDrawTest, WithLightingOffEveryVertexHasTheMiddleLight)
{
    attach("demo", "cube");
    mesh_.set_skin(0xFFFFFF);
    set("R_Lighting", false);
    look({80, 10, 20}, {0, 0, 0});
    mesh_.draw(projection_);
    for (int32_t v = 0; v < 24; ++v) {
        if (!std::signbit(mesh_vertex[v].w)) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(mesh_vertex[v].light[k], MESH_LIGHT_UNLIT);
            }
        }
    }
}

TEST_F(MeshDrawTest, TheViewConeDecidesWhichVerticesAreProjected)
{
    tools::ModelDesign d;
    d.skin_pattern = "coneskn0";
    d.skins.push_back({32, 32, {{false, {{0, 0, 0}, {1, 16, 0}, {2, 0, 16}}}, {false, {{3, 0, 0}, {1, 16, 0}, {2, 0, 16}}}}});
    d.sets.push_back({{0}, 4});
    d.groups.push_back({0, 4});
    d.vertices.assign(4, {0, 0});
    tools::ModelFrame f;
    f.origin[2] = 1.0f;
    // (4, 0, 1) lies on the cone's edge, (5, 0, 1) outside it, (0, 0, 0) is the eye.
    f.points = {{4, 0, 0, 5}, {0, 2, 0, 5}, {2, 2, 0, 5}, {5, 0, 0, 5}};
    d.frames.push_back(f);
    tools::ModelDesign at_eye = d;
    at_eye.frames[0].origin[2] = 0.0f;
    at_eye.frames[0].points[3] = {0, 0, 0, 5};

    attach_design(d, "cone");
    camera_identity();
    mesh_.draw(projection_);
    EXPECT_EQ(mesh_vertex[0].w, static_cast<float>(std::ldexp(1.0, 32))) << "on the edge: projected";
    EXPECT_EQ(mesh_vertex[0].sx, projection_.centre_x_fixed + static_cast<int32_t>(std::lrint(4 * projection_.xscale_fixed)));
    EXPECT_TRUE(std::signbit(mesh_vertex[3].w)) << "outside";
    EXPECT_EQ(mesh_vertex[3].w, -1.0f) << "the cone value";

    MeshModel eye_model;
    tree_.write("kavrin/models/t/eye.txt", tools::model_text(at_eye));
    ASSERT_EQ(eye_model.set_name("t", "eye"), 1);
    MeshObject eye;
    eye.attach(&eye_model, projection_);
    projection_.clear_window();
    eye.draw(projection_);
    EXPECT_TRUE(std::signbit(mesh_vertex[3].w)) << "the eye is inside the cone but nowhere on the screen";
}

TEST_F(MeshDrawTest, PosesBlendFramesAndBlendedSetsAverageTheirGroups)
{
    attach("demo", "figure");
    camera_identity();
    const int32_t vertices = model_.model->vertices;
    auto draw_pose = [&](int32_t f1, int32_t f2, float t) {
        mesh_.set_pose(0, f1, f2, t);
        mesh_.draw(projection_);
        return std::vector<MeshVertex>(mesh_vertex, mesh_vertex + vertices);
    };
    const std::vector<MeshVertex> upright = draw_pose(0, 0, 0.0f);
    const std::vector<MeshVertex> leaning = draw_pose(1, 1, 0.0f);
    const std::vector<MeshVertex> t0 = draw_pose(0, 1, 0.0f);
    const std::vector<MeshVertex> t1 = draw_pose(0, 1, 1.0f);
    const std::vector<MeshVertex> half = draw_pose(0, 1, 0.5f);
    for (int32_t v = 0; v < vertices; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(t0[v].x, upright[v].x);
        EXPECT_EQ(t0[v].z, upright[v].z);
        EXPECT_EQ(t1[v].x, leaning[v].x);
        EXPECT_EQ(t1[v].z, leaning[v].z);
        EXPECT_NEAR(half[v].x, 0.5f * (upright[v].x + leaning[v].x), 1e-3f);
    }
    // The head hangs on the neck in every pose; the arm on the shoulder.
    const std::vector<MeshVertex> crouching = draw_pose(2, 2, 0.0f);
    for (const auto* pose : {&upright, &leaning, &crouching}) {
        EXPECT_NEAR((*pose)[26].z - (*pose)[tools::FIGURE_NECK].z, upright[26].z - upright[tools::FIGURE_NECK].z, 1e-4f);
        EXPECT_NEAR((*pose)[50].x - (*pose)[tools::FIGURE_SHOULDER].x, upright[50].x - upright[tools::FIGURE_SHOULDER].x, 1e-4f);
    }
    // The joint lies halfway between the body's share and the arm's share.
    const MeshData& m = *model_.model;
    const MeshFrame& body = m.frame[2];
    const MeshFramePoint& b = body.first[26];
    const MeshFrame& arm = m.frame[tools::FIGURE_ARM_DOWN];
    const MeshFramePoint& a = arm.first[24];
    const Vector shoulder = {crouching[tools::FIGURE_SHOULDER].x, crouching[tools::FIGURE_SHOULDER].y,
                             crouching[tools::FIGURE_SHOULDER].z};
    const float body_x = body.origin.x + body.scale.x * b.x;
    const float arm_x = shoulder.x + arm.origin.x + arm.scale.x * a.x;
    EXPECT_NEAR(crouching[tools::FIGURE_JOINT].x, 0.5f * (body_x + arm_x), 1e-3f);
    const float body_z = body.origin.z + body.scale.z * b.z;
    const float arm_z = shoulder.z + arm.origin.z + arm.scale.z * a.z;
    EXPECT_NEAR(crouching[tools::FIGURE_JOINT].z, 0.5f * (body_z + arm_z), 1e-3f);

    // Other groups take their own frames; a frame of another group is drawn
    // as the group's first.
    mesh_.set_pose(2, tools::FIGURE_ARM_RAISED, tools::FIGURE_ARM_RAISED, 0.0f);
    const std::vector<MeshVertex> raised = draw_pose(2, 2, 0.0f);
    EXPECT_GT(std::fabs(raised[53].x - crouching[53].x), 10.0f);
    mesh_.set_pose(2, 0, 99, 0.5f);
    const std::vector<MeshVertex> foreign = draw_pose(2, 2, 0.0f);
    EXPECT_EQ(foreign[53].x, crouching[53].x);
}

TEST_F(MeshDrawTest, ThePerspectivePathUsesNoSetUpRecords)
{
    attach("demo", "cube");
    mesh_.set_skin(0x808080);
    for (const bool persp : {false, true}) {
        SCOPED_TRACE(persp ? "R_Perspmesh" : "affine");
        set("R_Perspmesh", persp);
        std::memset(static_cast<void*>(mesh_setup), 0xAB, sizeof mesh_setup);
        look({80, 10, 20}, {0, 0, 0});
        mesh_.draw(projection_);
        EXPECT_GT(drawn_pixels(), 500);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh_setup)[0] == 0xAB, persp);
    }
}

TEST_F(MeshDrawTest, AMeshWithoutModelOrWithABrokenOneDrawsNothing)
{
    look({80, 10, 20}, {0, 0, 0});
    mesh_.draw(projection_);
    tree_.write("kavrin/models/t/broken.txt", "textualModel,version004\n1\n");
    ASSERT_EQ(model_.set_name("t", "broken"), 1);
    mesh_.attach(&model_, projection_);
    mesh_.draw(projection_);
    EXPECT_EQ(drawn_pixels(), 0);
    EXPECT_EQ(capture_.count("Mesh: Can't load model 't:broken'"), 2) << "tried again at every touch";
}
