// The screen projection: its limits, its variables, the view maths with the
// side planes, clipping to them, clearing the window and the tint.
#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/print.h"
#include "core/view_frame.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "soft/lighting_tables.h"
#include "support/screen_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

class ProjectionTest : public ScreenBase {
protected:
    void start(int32_t w, int32_t h)
    {
        mode_ = std::make_unique<MemoryVideoMode>(w, h, 1, w + 3);
        ASSERT_EQ(screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt"), 1);
        ASSERT_EQ(projection_.init(&screen_), 1);
    }
    void TearDown() override
    {
        projection_.shutdown();
        screen_.shutdown();
        ScreenBase::TearDown();
    }

    // Camera-space point to window pixel, the convention every renderer shares.
    void project(const Vector& p, double& x, double& y) const
    {
        x = projection_.centre_x + projection_.xscale * p.x / p.z;
        y = projection_.centre_y + projection_.yscale * p.y / p.z;
    }

    std::unique_ptr<MemoryVideoMode> mode_;
    ScreenManager screen_;
    ScreenProjection projection_;
};

double dot(const Vector& a, const Vector& b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; }

// A rotation about the vertical axis and a translation, world to camera.
Matrix view_matrix(float angle, const Vector& eye)
{
    Matrix m = {};
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float r[3][3] = {{c, 0, -s}, {0, 1, 0}, {s, 0, c}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m.m[4 * i + j] = r[i][j];
        }
        m.m[4 * i + 3] = -(r[i][0] * eye.x + r[i][1] * eye.y + r[i][2] * eye.z);
    }
    return m;
}

} // namespace

TEST_F(ProjectionTest, ModesUpTo4096By3072Initialise)
{
    struct Case {
        int32_t w, h;
        int expected;
    };
    const Case cases[] = {{4096, 3072, 1}, {4097, 8, 0}, {8, 3073, 0}};
    for (const Case& c : cases) {
        MemoryVideoMode mode(c.w, c.h);
        ScreenManager screen;
        ASSERT_EQ(screen.init(&mode, "backgrnd", "loading", "small.fnt"), 1);
        ScreenProjection projection;
        EXPECT_EQ(projection.init(&screen), c.expected) << c.w << "x" << c.h;
        if (c.expected == 1) {
            EXPECT_EQ(projection.xsize, c.w);
            EXPECT_EQ(projection.depth_rows[c.h - 1], projection.depth_buffer + size_t(c.h - 1) * c.w);
        }
        projection.shutdown();
        screen.shutdown();
    }
}

TEST_F(ProjectionTest, VariablesAreLinkedWithTheirDefaultsFlagsAndSavedValues)
{
    start(64, 48);
    struct Case {
        const char* name;
        int type;
        bool value;
        uint32_t flags;
    };
    const Case cases[] = {
        {"MMX", CVTYPE_BOOL, true, 0x100},          {"R_Clear", CVTYPE_BOOL, false, 0x100},
        {"R_Perspmesh", CVTYPE_BOOL, false, 0x120}, {"R_Texture", CVTYPE_BOOL, true, 0x120},
        {"R_Lighting", CVTYPE_BOOL, true, 0x120},   {"R_TFilter", CVTYPE_BOOL, false, 0x100},
        {"R_LFilter", CVTYPE_BOOL, true, 0x100},    {"R_Mipmapping", CVTYPE_BOOL, true, 0x100},
        {"R_FirstMipmap", CVTYPE_INT, false, 0x100}, {"CameraPos", CVTYPE_BOOL, false, 0x100},
    };
    for (const Case& c : cases) {
        const ConfigVariable* const v = cvar_list->find(c.name);
        ASSERT_NE(v, nullptr) << c.name;
        EXPECT_EQ(v->type(), c.type) << c.name;
        EXPECT_EQ(v->is_true(), c.value) << c.name;
        EXPECT_EQ(v->flags() & ~CVFMASK_INTERNAL, c.flags) << c.name;
    }
    // A client that stops cheating gets these back.
    cvar_list->find("R_Perspmesh")->set_bool(1);
    cvar_list->find("R_Texture")->set_bool(0);
    cvar_list->find("R_Lighting")->set_bool(0);
    cvar_list->restore_saved(0x120, 0x120);
    EXPECT_FALSE(cvar_list->find("R_Perspmesh")->is_true());
    EXPECT_TRUE(cvar_list->find("R_Texture")->is_true());
    EXPECT_TRUE(cvar_list->find("R_Lighting")->is_true());
    EXPECT_EQ(projection_.frame, -1);
    EXPECT_EQ(projection_.palette[7], 0x40404040u);
    EXPECT_FLOAT_EQ(projection_.reciprocal[7], 1.0f / 7.0f);
    // 0x00RRGGBB: bytes 0, 1, 2, 3 of a pixel hold components 2, 1, 0, 3.
    EXPECT_EQ(projection_.layout_inverse[0], 16);
    EXPECT_EQ(projection_.layout_inverse[1], 8);
    EXPECT_EQ(projection_.layout_inverse[2], 0);
    EXPECT_EQ(projection_.layout_inverse[3], 24);
}

TEST_F(ProjectionTest, SidePlanesLieOnePixelOutsideTheWindowAtOddWidthsToo)
{
    start(101, 61);
    struct Case {
        int32_t xsize, ysize;
    };
    for (const Case& c : {Case{101, 61}, Case{64, 48}, Case{33, 7}}) {
        projection_.set_size(c.xsize, c.ysize);
        ViewFrame view;
        projection_.begin_frame(view);
        EXPECT_EQ(projection_.centre_x, c.xsize / 2);
        EXPECT_EQ(projection_.centre_x_fixed, (c.xsize / 2) << 16);
        // The view record's defaults give square pixels on a 4:3 window.
        EXPECT_DOUBLE_EQ(projection_.xscale, (c.xsize / 2) / 0.5);
        EXPECT_NEAR(projection_.yscale, (c.ysize / 2) / 0.375, 1e-9);
        EXPECT_NEAR(projection_.pixel_angle, std::sqrt(1.0 / (projection_.xscale * projection_.yscale)), 1e-12);
        EXPECT_NEAR(projection_.corner_sine, std::sqrt(0.390625 / 1.390625), 1e-12);
        EXPECT_FLOAT_EQ(projection_.inv_area, 1.0f / (float(c.xsize) * float(c.ysize)));
        // A point on each plane projects one pixel outside the window's edge.
        const double z = 10.0;
        const double edges[4][2] = {{-1.0, 0.0}, {c.xsize + 1.0, 0.0}, {0.0, -1.0}, {0.0, c.ysize + 1.0}};
        for (int s = 0; s < SIDE_COUNT; ++s) {
            const Vector& n = projection_.side_normals[s];
            EXPECT_NEAR(dot(n, n), 1.0, 1e-6);
            const double sx = s < 2 ? edges[s][0] : projection_.centre_x;
            const double sy = s < 2 ? projection_.centre_y : edges[s][1];
            const Vector p = {float((sx - projection_.centre_x) * z / projection_.xscale),
                              float((sy - projection_.centre_y) * z / projection_.yscale), float(z)};
            EXPECT_NEAR(dot(n, p), 0.0, 1e-4) << s;
            // The window's centre is inside every plane.
            EXPECT_GT(dot(n, Vector{0, 0, 1}), 0.0) << s;
        }
    }
}

TEST_F(ProjectionTest, WorldPlanesAndPositionFollowTheCamera)
{
    start(64, 48);
    const Vector eye = {3.0f, -2.0f, 5.0f};
    ViewFrame view;
    view.view = view_matrix(0.7f, eye);
    projection_.begin_frame(view);
    EXPECT_EQ(projection_.frame, 0);
    EXPECT_NEAR(projection_.position.x, eye.x, 1e-5);
    EXPECT_NEAR(projection_.position.y, eye.y, 1e-5);
    EXPECT_NEAR(projection_.position.z, eye.z, 1e-5);
    EXPECT_FLOAT_EQ(projection_.forward.x, view.view.m[8]);
    EXPECT_FLOAT_EQ(projection_.right.z, view.view.m[2]);
    EXPECT_FLOAT_EQ(projection_.down.y, view.view.m[5]);
    // A world point is inside a world plane exactly when its camera point is
    // inside the camera plane.
    const Vector points[] = {{10, 0, 3}, {-4, 1, 9}, {3, -2, 20}, {30, 5, -7}, {0, 40, 0}};
    for (const Vector& w : points) {
        const float* m = view.view.m;
        const Vector c = {m[0] * w.x + m[1] * w.y + m[2] * w.z + m[3], m[4] * w.x + m[5] * w.y + m[6] * w.z + m[7],
                          m[8] * w.x + m[9] * w.y + m[10] * w.z + m[11]};
        for (int s = 0; s < SIDE_COUNT; ++s) {
            const Plane& p = projection_.side_planes[s];
            EXPECT_NEAR(dot(p.normal, w) + p.d, dot(projection_.side_normals[s], c), 1e-3);
        }
    }
}

TEST_F(ProjectionTest, ClipToPlaneKeepsTheInsideRunWithItsCrossings)
{
    const Vector n = {1, 0, 0}; // inside: x >= +0.0
    struct Case {
        const char* why;
        std::vector<Vector> in;
        std::vector<Vector> out; // in cyclic order, any starting vertex
    };
    const Case cases[] = {
        {"all inside", {{1, 0, 1}, {2, 0, 1}, {1, 1, 1}}, {{1, 0, 1}, {2, 0, 1}, {1, 1, 1}}},
        {"all outside", {{-1, 0, 1}, {-2, 0, 1}, {-1, 1, 1}}, {}},
        {"a vertex on the plane stays", {{0, 0, 1}, {2, 0, 1}, {2, 2, 1}}, {{0, 0, 1}, {2, 0, 1}, {2, 2, 1}}},
        // Every product -0.0, so that the dot product is -0.0 too.
        {"a vertex at -0.0 counts as outside",
         {{-0.0f, -0.0f, -0.0f}, {2, 0, 1}, {2, 2, 1}},
         {{0, 0, 0}, {2, 0, 1}, {2, 2, 1}, {0, 0, 0}}},
        {"one vertex out: a quadrilateral",
         {{-2, 0, 1}, {2, 0, 1}, {2, 4, 1}},
         {{0, 0, 1}, {2, 0, 1}, {2, 4, 1}, {0, 2, 1}}},
        {"two vertices out: a triangle", {{-2, 0, 1}, {2, 0, 1}, {-2, 4, 1}}, {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}}},
        {"inside run across the array's end",
         {{2, 0, 1}, {-2, 0, 1}, {-2, 2, 1}, {2, 2, 1}},
         {{2, 0, 1}, {0, 0, 1}, {0, 2, 1}, {2, 2, 1}}},
    };
    for (const Case& c : cases) {
        std::vector<Vector> v = c.in;
        v.resize(c.in.size() + 1, Vector{99, 99, 99});
        const int count = ScreenProjection::clip_to_plane(n, v.data(), static_cast<int>(c.in.size()));
        ASSERT_EQ(count, static_cast<int>(c.out.size())) << c.why;
        if (count == 0) {
            continue;
        }
        // Find the rotation that lines the result up with the expectation.
        bool matched = false;
        for (int start = 0; start < count && !matched; ++start) {
            matched = true;
            for (int i = 0; i < count && matched; ++i) {
                const Vector& got = v[static_cast<size_t>((start + i) % count)];
                const Vector& want = c.out[static_cast<size_t>(i)];
                matched = std::fabs(got.x - want.x) < 1e-6 && std::fabs(got.y - want.y) < 1e-6 &&
                          std::fabs(got.z - want.z) < 1e-6;
            }
        }
        EXPECT_TRUE(matched) << c.why;
    }
    // Not convex: more crossings than the caller's array holds, dropped.
    std::vector<Vector> zigzag = {{1, 0, 1}, {-1, 1, 1}, {1, 2, 1}, {-1, 3, 1}, {1, 4, 1}, {2, 5, 1}, {}};
    EXPECT_EQ(ScreenProjection::clip_to_plane(n, zigzag.data(), 6), 0);
    EXPECT_EQ(ScreenProjection::clip_to_plane(n, zigzag.data(), 0), 0);
}

TEST_F(ProjectionTest, ClipToFrustumCutsAgainstAllFourSides)
{
    start(64, 48);
    ViewFrame view;
    projection_.begin_frame(view);
    // A large square in front of the eye becomes the window, one pixel wider each side.
    std::vector<Vector> v = {{-100, -100, 10}, {100, -100, 10}, {100, 100, 10}, {-100, 100, 10}};
    v.resize(4 + 4);
    const int count = projection_.clip_to_frustum(v.data(), 4);
    ASSERT_EQ(count, 4);
    for (int i = 0; i < count; ++i) {
        double x = 0;
        double y = 0;
        project(v[static_cast<size_t>(i)], x, y);
        EXPECT_NEAR(std::fabs(x - 32.0), 33.0, 1e-3);
        EXPECT_NEAR(std::fabs(y - 24.0), 25.0, 1e-3);
    }
    // Wholly left of the window: nothing left.
    std::vector<Vector> left = {{-100, 0, 1}, {-90, 0, 1}, {-95, 5, 1}, {}};
    EXPECT_EQ(projection_.clip_to_frustum(left.data(), 3), 0);
    EXPECT_EQ(projection_.clip_to_frustum(left.data(), 0), 0);
}

TEST_F(ProjectionTest, ClearWindowClearsOnlyTheWindowAndItsDepth)
{
    start(40, 30);
    screen_.set_window_size(10, 6);
    projection_.set_size(10, 6);
    std::fill(projection_.depth_buffer, projection_.depth_buffer + 40 * 30, uint16_t{0x1234});
    projection_.clear_window();
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const bool in = x >= 15 && x < 25 && y >= 12 && y < 18;
            EXPECT_EQ(mode_->at(x, y), in ? 0u : 0xDEADBEEFu) << x << "," << y;
        }
    }
    for (int32_t i = 0; i < 10 * 6; ++i) {
        EXPECT_EQ(projection_.depth_buffer[i], 0);
    }
    EXPECT_EQ(projection_.depth_buffer[10 * 6], 0x1234);
    // R_Clear clears it at every frame's start.
    std::fill(mode_->pixels.begin(), mode_->pixels.end(), 7u);
    cvar_list->find("R_Clear")->set_bool(1);
    projection_.begin_frame(ViewFrame());
    EXPECT_EQ(mode_->at(15, 12), 0u);
    EXPECT_EQ(mode_->at(14, 12), 7u);
}

TEST_F(ProjectionTest, TintPacksTheFilterAndBlendsTheWindowByItsAmount)
{
    start(16, 8);
    build_lighting_tables();
    struct Case {
        const char* why;
        uint32_t filter;
        int mmx;
        uint32_t expected_colour;
    };
    const Case cases[] = {
        {"amount 0 leaves the window", 0x000000FF, 1, 0x00FF0000},
        {"amount 255, plain form: nearly the colour", 0xFF2040F0, 0, 0xFFF04020},
        {"amount 255, MMX form", 0xFF2040F0, 1, 0xFFF04020},
    };
    for (const Case& c : cases) {
        cvar_list->find("MMX")->set_bool(c.mmx);
        std::fill(mode_->pixels.begin(), mode_->pixels.end(), 0x00808080u);
        ViewFrame view;
        view.param = std::bit_cast<float>(c.filter);
        projection_.begin_frame(view);
        EXPECT_EQ(projection_.tint_colour, c.expected_colour) << c.why;
        EXPECT_EQ(projection_.tint_factor, (c.filter >> 24) * 0x01010101u) << c.why;
        projection_.apply_tint();
        const uint32_t p = mode_->at(3, 4);
        if ((c.filter >> 24) == 0) {
            EXPECT_EQ(p, 0x00808080u) << c.why;
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(int((p >> (8 * k)) & 255), int((c.expected_colour >> (8 * k)) & 255), 4) << c.why << k;
        }
        // The gap after each line is not part of the window.
        EXPECT_EQ(mode_->pixels[16], 0x00808080u) << c.why;
    }
}

TEST_F(ProjectionTest, CameraPosPrintsOneTaggedLineAFrame)
{
    start(16, 8);
    std::vector<std::string> lines;
    (void)set_tagged_hook(
        [](uint32_t tag, const char* text, uintptr_t context) {
            if (tag == four_cc("CaPs")) {
                reinterpret_cast<std::vector<std::string>*>(context)->push_back(text);
            }
        },
        reinterpret_cast<uintptr_t>(&lines));
    ViewFrame view;
    view.view = view_matrix(0.0f, Vector{1.5f, -2.0f, 0.25f});
    projection_.begin_frame(view);
    EXPECT_TRUE(lines.empty());
    cvar_list->find("CameraPos")->set_bool(1);
    projection_.begin_frame(view);
    projection_.begin_frame(view);
    (void)set_tagged_hook(nullptr, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Camera pos = [1.50;-2.00;0.25]");
    EXPECT_EQ(projection_.frame, 2);
}
