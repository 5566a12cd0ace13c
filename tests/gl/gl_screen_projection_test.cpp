#include "core/four_cc.h"
#include "core/print.h"
#include "core/view_frame.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "gl_fixture.h"
#include "host/host_gl.h"

#include <bit>
#include <cmath>
#include <string>
#include <vector>

namespace {

class GLProjectionTest : public GLVideoTest {
protected:
    // GL started on a 64 x 64 window and a projection over it.
    void start_projection()
    {
        start_gl();
        if (IsSkipped()) {
            return;
        }
        screen.v_mode = mode.get();
        ASSERT_EQ(proj.init(&screen), 1);
    }

    void TearDown() override
    {
        proj.close();
        GLVideoTest::TearDown();
    }

    static ViewFrame camera(const Matrix& m, float zx, float zy, uint32_t tint)
    {
        ViewFrame v;
        v.view = m;
        v.set_extents(zx, zy);
        v.set_param(std::bit_cast<float>(tint));
        return v;
    }

    // The window's pixels as RGBA, lowest row first.
    std::vector<uint8_t> read_pixels()
    {
        std::vector<uint8_t> rgba(static_cast<size_t>(mode->xres) * static_cast<size_t>(mode->yres) * 4);
        glReadPixels(0, 0, mode->xres, mode->yres, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    void fill(float r, float g, float b)
    {
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    ScreenManager screen;
    ScreenProjection proj;
};

Matrix identity_camera()
{
    Matrix m;
    mat_identity(m);
    return m;
}

// A camera turned a quarter round the vertical axis and moved.
Matrix turned_camera()
{
    // Rows: right, down, forward; translation in the fourth column.
    return Matrix{{0.0f, 0.0f, -1.0f, 5.0f, 0.0f, 1.0f, 0.0f, -3.0f, 1.0f, 0.0f, 0.0f, 7.0f}};
}

TEST_F(GLProjectionTest, InitCreatesTheVariablesAndCloseReleasesThem)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    struct Row {
        const char* name;
        GLProjectionVariable v;
        bool value;
        uint32_t flags;
    };
    const Row rows[] = {
        {"R_Clear", GPV_CLEAR, false, 0x100},          {"R_Texture", GPV_TEXTURE, true, 0x120},
        {"R_Lighting", GPV_LIGHTING, true, 0x120},     {"CameraPos", GPV_CAMERAPOS, false, 0x100},
        {"R_LensFlares", GPV_LENSFLARES, true, 0x100}, {"R_MeshModels", GPV_MESHMODELS, true, 0x100},
        {"R_MeshSpecular", GPV_MESHSPECULAR, true, 0x100}, {"R_Sprites", GPV_SPRITES, true, 0x100},
        {"R_Particles", GPV_PARTICLES, true, 0x100},
    };
    for (const Row& r : rows) {
        ConfigVariable* const v = cvar_list->find(r.name);
        ASSERT_NE(v, nullptr) << r.name;
        EXPECT_EQ(v, proj.variable(r.v)) << r.name;
        EXPECT_EQ(v->type(), CVTYPE_BOOL) << r.name;
        EXPECT_EQ(v->is_true(), r.value) << r.name;
        EXPECT_EQ(v->flags() & 0x120u, r.flags) << r.name;
        EXPECT_GT(v->lock(), 0) << r.name;
    }
    EXPECT_EQ(cvar_list->find("R_Texture")->raw_saved(), 1u);
    EXPECT_EQ(cvar_list->find("R_Lighting")->raw_saved(), 1u);
    EXPECT_EQ(proj.frame, -1);
    EXPECT_EQ(proj.time, 0);
    EXPECT_EQ(proj.max_xres, 64);
    EXPECT_EQ(proj.width, 64);
    EXPECT_EQ(proj.height, 64);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(proj.rgb_layout[i], 8 * i);
        EXPECT_EQ(proj.layout_inverse[i], 8 * i);
    }
    EXPECT_EQ(proj.reciprocal[1], 1.0f);
    EXPECT_EQ(proj.reciprocal[63], 1.0f / 63.0f);

    // A second init keeps one link each; close leaves none.
    ASSERT_EQ(proj.init(&screen), 1);
    const int locks = cvar_list->find("R_Clear")->lock();
    proj.close();
    for (const Row& r : rows) {
        const ConfigVariable* const v = cvar_list->find(r.name);
        EXPECT_TRUE(v == nullptr || v->lock() == locks - 1) << r.name;
        EXPECT_EQ(proj.variable(r.v), nullptr) << r.name;
    }
}

TEST_F(GLProjectionTest, ResizeCentresTheWindowOnTheScreen)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    struct Row {
        int32_t w, h, cx, cy, cx_fixed, cy_fixed, ox, oy;
    };
    const Row rows[] = {
        {64, 64, 32, 32, (32 << 16) - 0x8000, (32 << 16) - 0x8000, 0, 0},
        {63, 47, 31, 23, (31 << 16) - 0x8000, (23 << 16) - 0x8000, 0, 8},
        {1, 2, 0, 1, -0x8000, (1 << 16) - 0x8000, 31, 31},
    };
    for (const Row& r : rows) {
        proj.resize(r.w, r.h);
        EXPECT_EQ(proj.cx, r.cx) << r.w;
        EXPECT_EQ(proj.cy, r.cy) << r.w;
        EXPECT_EQ(proj.cx_fixed, r.cx_fixed) << r.w;
        EXPECT_EQ(proj.cy_fixed, r.cy_fixed) << r.w;
        EXPECT_EQ(proj.origin_x, r.ox) << r.w;
        EXPECT_EQ(proj.origin_y, r.oy) << r.w;
        EXPECT_EQ(proj.inv_area, 1.0f / (static_cast<float>(r.w) * static_cast<float>(r.h))) << r.w;
    }
    proj.resize(0, 0);
    EXPECT_EQ(proj.inv_area, 0.0f);
}

TEST_F(GLProjectionTest, TransformLoadsTheCameraWithItsLowerRowsTurned)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    struct Row {
        Matrix m;
        Vector position;
    };
    const Row rows[] = {
        {identity_camera(), {0.0f, 0.0f, 0.0f}},
        {turned_camera(), {-7.0f, 3.0f, 5.0f}},
    };
    for (const Row& r : rows) {
        proj.set_transform(r.m.m);
        EXPECT_EQ(proj.position.x, r.position.x);
        EXPECT_EQ(proj.position.y, r.position.y);
        EXPECT_EQ(proj.position.z, r.position.z);
        const float* m = r.m.m;
        EXPECT_EQ(proj.forward.x, m[8]);
        EXPECT_EQ(proj.right.y, m[1]);
        EXPECT_EQ(proj.down.z, m[6]);
        // The view-direction plane passes through the camera.
        EXPECT_EQ(vec_dot(proj.view_plane.normal, proj.position) + proj.view_plane.d, 0.0f);
        float loaded[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, loaded);
        for (int row = 0; row < 3; ++row) {
            const float sign = row == 0 ? 1.0f : -1.0f;
            for (int col = 0; col < 4; ++col) {
                EXPECT_EQ(loaded[col * 4 + row], sign * m[row * 4 + col] + 0.0f) << row << "," << col;
            }
        }
        EXPECT_EQ(loaded[3], 0.0f);
        EXPECT_EQ(loaded[15], 1.0f);
    }
}

TEST_F(GLProjectionTest, ZoomSetsTheScalesPlanesAndFrustum)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    struct Row {
        int32_t w, h;
        double zx, zy;
    };
    const Row rows[] = {{64, 64, 1.0, 1.0}, {63, 48, 1.0, 0.75}, {33, 17, 0.5, 2.0}};
    for (const Row& r : rows) {
        proj.resize(r.w, r.h);
        proj.set_transform(turned_camera().m);
        proj.set_zoom(r.zx, r.zy);
        EXPECT_EQ(proj.sx, (r.w / 2) / r.zx);
        EXPECT_EQ(proj.sy, (r.h / 2) / r.zy);
        EXPECT_EQ(proj.sx_fixed, proj.sx * 65536.0);
        EXPECT_DOUBLE_EQ(proj.inv_sx * proj.sx, 1.0);
        EXPECT_DOUBLE_EQ(proj.corner_sine,
                         std::sqrt((r.zx * r.zx + r.zy * r.zy) / (1.0 + r.zx * r.zx + r.zy * r.zy)));
        // A view point one pixel past each window edge lies on that side plane;
        // the right and bottom edges count from the odd width and height.
        const double z = 100.0;
        const double cx = r.w / 2;
        const double cy = r.h / 2;
        const Vector edges[4] = {
            {static_cast<float>((-1.0 - cx) * z / proj.sx), 0.0f, static_cast<float>(z)},
            {static_cast<float>((r.w + 1.0 - cx) * z / proj.sx), 0.0f, static_cast<float>(z)},
            {0.0f, static_cast<float>((-1.0 - cy) * z / proj.sy), static_cast<float>(z)},
            {0.0f, static_cast<float>((r.h + 1.0 - cy) * z / proj.sy), static_cast<float>(z)},
        };
        for (int s = 0; s < 4; ++s) {
            const Plane& p = proj.view_planes[GCP_LEFT + s];
            EXPECT_NEAR(vec_dot(p.normal, edges[s]) + p.d, 0.0f, 1e-4f) << r.w << " side " << s;
            EXPECT_NEAR(vec_dot(p.normal, p.normal), 1.0f, 1e-6f);
            EXPECT_EQ(p.d, 0.0f);
        }
        EXPECT_EQ(proj.view_planes[GCP_NEAR].normal.z, 1.0f);
        EXPECT_EQ(proj.view_planes[GCP_NEAR].d, -8.0f);
        // World planes give a world point the distance its view point has.
        const Matrix m = turned_camera();
        const Vector world = {3.0f, -2.0f, 11.0f};
        const Vector in_view = {m.m[0] * world.x + m.m[1] * world.y + m.m[2] * world.z + m.m[3],
                                m.m[4] * world.x + m.m[5] * world.y + m.m[6] * world.z + m.m[7],
                                m.m[8] * world.x + m.m[9] * world.y + m.m[10] * world.z + m.m[11]};
        for (int i = 0; i < GL_CLIP_PLANES; ++i) {
            const Plane& v = proj.view_planes[i];
            const Plane& w = proj.world_planes[i];
            EXPECT_NEAR(vec_dot(w.normal, world) + w.d, vec_dot(v.normal, in_view) + v.d, 1e-4f) << i;
        }
        float frustum[16];
        glGetFloatv(GL_PROJECTION_MATRIX, frustum);
        EXPECT_FLOAT_EQ(frustum[0], static_cast<float>(1.0 / r.zx));
        EXPECT_FLOAT_EQ(frustum[5], static_cast<float>(1.0 / r.zy));
        EXPECT_FLOAT_EQ(frustum[10], static_cast<float>(-(65536.0 + 8.0) / (65536.0 - 8.0)));
        EXPECT_FLOAT_EQ(frustum[11], -1.0f);
        EXPECT_FLOAT_EQ(frustum[14], static_cast<float>(-2.0 * 65536.0 * 8.0 / (65536.0 - 8.0)));
    }
}

TEST_F(GLProjectionTest, ClipKeepsWhatLiesInsideTheFivePlanes)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    proj.set_transform(identity_camera().m);
    proj.set_zoom(1.0, 1.0);
    struct Row {
        const char* name;
        std::vector<Vector> polygon;
        int left;
        float min_z;
    };
    const Row rows[] = {
        {"inside", {{-1, -1, 20}, {1, -1, 20}, {0, 1, 20}}, 3, 20.0f},
        {"on the near plane", {{-1, -1, 8}, {1, -1, 8}, {0, 1, 8}}, 3, 8.0f},
        {"behind the near plane", {{-1, -1, 7.9f}, {1, -1, 7.9f}, {0, 1, 7.9f}}, 0, 0.0f},
        {"across the near plane", {{0, -1, 4}, {0, -1, 12}, {0, 1, 12}, {0, 1, 4}}, 4, 8.0f},
        {"one corner behind", {{-1, 0, 4}, {1, 1, 12}, {1, -1, 12}}, 4, 8.0f},
        {"beyond the left side", {{-50, -1, 20}, {-40, -1, 20}, {-45, 1, 20}}, 0, 0.0f},
        {"across the left side", {{-30, -1, 20}, {0, -1, 20}, {0, 1, 20}, {-30, 1, 20}}, 4, 20.0f},
    };
    for (const Row& r : rows) {
        std::vector<Vector> buffer = r.polygon;
        buffer.resize(r.polygon.size() + GL_CLIP_PLANES);
        for (int world = 0; world < 2; ++world) {
            std::vector<Vector> v = buffer;
            const int n = world ? proj.clip_polygon(v.data(), static_cast<int>(r.polygon.size()))
                                : proj.clip_polygon_view(v.data(), static_cast<int>(r.polygon.size()));
            EXPECT_EQ(n, r.left) << r.name;
            for (int i = 0; i < n; ++i) {
                EXPECT_GE(v[static_cast<size_t>(i)].z, r.min_z) << r.name;
                for (int p = 0; p < GL_CLIP_PLANES; ++p) {
                    const Plane& plane = proj.view_planes[p];
                    EXPECT_GE(vec_dot(plane.normal, v[static_cast<size_t>(i)]) + plane.d, -1e-4f) << r.name;
                }
            }
        }
    }
    // A polygon that doubles back on itself would outgrow the buffer: dropped.
    std::vector<Vector> zigzag = {{0, 0, 4}, {0, 0, 12}, {1, 0, 4}, {1, 0, 12}, {2, 0, 4}, {2, 0, 12}};
    zigzag.resize(zigzag.size() + 1);
    EXPECT_EQ(ScreenProjection::clip_to_plane(proj.view_planes[GCP_NEAR], zigzag.data(), 6), 0);
}

TEST_F(GLProjectionTest, TintCoversTheWindowOnlyWithAlpha)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    struct Row {
        uint32_t tint;
        uint8_t r, g, b;
    };
    const Row rows[] = {
        {0x00FF0000u, 0, 0, 0},   // alpha 0: no quad, whatever the colour
        {0xFF0000FFu, 255, 0, 0}, // red, opaque
        {0x8000FF00u, 0, 128, 0}, // green, half
    };
    for (const Row& r : rows) {
        fill(0.0f, 0.0f, 0.0f);
        proj.set_tint(r.tint);
        proj.post_process_frame();
        const std::vector<uint8_t> px = read_pixels();
        for (size_t i : {size_t{0}, px.size() / 2, px.size() - 4}) {
            EXPECT_EQ(px[i], r.r) << std::hex << r.tint;
            EXPECT_NEAR(px[i + 1], r.g, 1) << std::hex << r.tint;
            EXPECT_EQ(px[i + 2], r.b) << std::hex << r.tint;
        }
        EXPECT_EQ(GLSys::report_errors("test"), 0);
    }
    // The quad leaves both matrices as they were.
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

TEST_F(GLProjectionTest, InitFrameClearsDepthAndColourOnlyWithRClear)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    for (int clear = 0; clear < 2; ++clear) {
        cvar_list->find("R_Clear")->set_bool(clear);
        fill(0.0f, 0.0f, 1.0f);
        glDepthMask(GL_TRUE);
        glClearDepth(0.25);
        glClear(GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
        proj.set_time(40 * clear);
        proj.init_frame(camera(turned_camera(), 1.0f, 0.75f, 0x11223344u));
        EXPECT_EQ(proj.frame, clear);
        EXPECT_EQ(proj.tint[0], 0x44);
        EXPECT_EQ(proj.tint[3], 0x11);
        EXPECT_EQ(proj.position.x, -7.0f);
        EXPECT_EQ(proj.sy, 32 / 0.75);
        float depth = 0.0f;
        glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        EXPECT_EQ(depth, 1.0f) << clear;
        const std::vector<uint8_t> px = read_pixels();
        if (clear == 0) {
            EXPECT_EQ(px[0], 0);
            EXPECT_EQ(px[2], 255);
        } else {
            // Six corners of different shades: the two far corners differ.
            const size_t top_right = px.size() - 4;
            EXPECT_TRUE(px[0] != px[top_right] || px[1] != px[top_right + 1] || px[2] != px[top_right + 2]);
        }
        EXPECT_EQ(GLSys::report_errors("test"), 0);
    }
}

TEST_F(GLProjectionTest, CameraPosPrintsThePosition)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    std::vector<std::string> lines;
    (void)set_tagged_hook(
        [](uint32_t tag, const char* text, uintptr_t context) {
            if (tag == four_cc("CaPs")) {
                reinterpret_cast<std::vector<std::string>*>(context)->push_back(text);
            }
        },
        reinterpret_cast<uintptr_t>(&lines));
    proj.set_transform(turned_camera().m);
    EXPECT_TRUE(lines.empty());
    cvar_list->find("CameraPos")->set_bool(1);
    proj.set_transform(turned_camera().m);
    (void)set_tagged_hook(nullptr, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Camera pos = [-7.00;3.00;5.00]");
}

TEST_F(GLProjectionTest, PlainDrawIsOnePixelPerUnitFromTheTopLeft)
{
    start_projection();
    if (IsSkipped()) {
        return;
    }
    fill(0.0f, 0.0f, 0.0f);
    screen.begin_plaindraw();
    GLSys::set_texturing(0);
    glColor3ub(255, 255, 255);
    glRecti(2, 1, 4, 2);
    screen.finish_plaindraw();
    const std::vector<uint8_t> px = read_pixels();
    const auto at = [&](int x, int y) { return px[(static_cast<size_t>(63 - y) * 64 + static_cast<size_t>(x)) * 4]; };
    EXPECT_EQ(at(2, 1), 255);
    EXPECT_EQ(at(3, 1), 255);
    EXPECT_EQ(at(1, 1), 0);
    EXPECT_EQ(at(4, 1), 0);
    EXPECT_EQ(at(2, 0), 0);
    EXPECT_EQ(at(2, 2), 0);
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

} // namespace
