#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/drawer_portable.h"
#include "soft/mesh_span.h"
#include "soft/mesh_triangle.h"

namespace {

constexpr float FULL_LIGHT = 64 * 256.0f;
constexpr float DEPTH_256 = 16777216.0f; // W whose 16.16 integer part is 256

int32_t fixed(double pixels) { return static_cast<int32_t>(std::lround(pixels * 65536)); }

// A window over a RasterFrame and a 64 x 16 texture whose texels name
// themselves, with palette entry i = i AND 0x7F in every byte.
struct MeshScene {
    std::unique_ptr<RasterFrame> frame = make_frame();
    int32_t line_offset[RasterFrame::HEIGHT];
    uint16_t* depth_rows[RasterFrame::HEIGHT];
    std::vector<uint8_t> texels = std::vector<uint8_t>(64 * 17);
    uint32_t palette[256];
    uint32_t grey[256];
    Texture texture{};
    DrawWindow window{};
    MeshVertex vertices[3]{};
    MeshTriangle triangle{};

    MeshScene()
    {
        for (int y = 0; y < RasterFrame::HEIGHT; ++y) {
            line_offset[y] = y * RasterFrame::WIDTH;
            depth_rows[y] = frame->depth_row(y);
        }
        for (size_t i = 0; i < texels.size(); ++i) {
            texels[i] = static_cast<uint8_t>(i);
        }
        for (int i = 0; i < 256; ++i) {
            palette[i] = bytes4(static_cast<uint32_t>(i & 0x7F));
            grey[i] = 0x40404040;
        }
        texture.levels[0] = TexelMap{texels.data(), 64, 16, {0, 64, 0, 16}, 0};
        texture.palette = palette;
        texture.mipmaps = 1;
        texture.ulog = 6;
        texture.usize = 64;
        texture.vsize = 16;
        window = DrawWindow{frame->pixels, line_offset, depth_rows, 40, 12, {16, 8, 0, 24}, grey, true, false};
        for (int k = 0; k < 3; ++k) {
            triangle.vertex[k] = static_cast<uint32_t>(k);
        }
        triangle.texture = &texture;
    }
    // Corner k at (x, y) pixels; u and v put the texel under the pixel
    // centre, so that pixel (x, y) shows texel (x, y).
    void corner(int k, double x, double y, float w = DEPTH_256, float light = FULL_LIGHT)
    {
        vertices[k] = MeshVertex{0, 0, 0, fixed(x), fixed(y), {light, light, light}, w};
        triangle.u[k] = fixed(x + 0.5);
        triangle.v[k] = fixed(y + 0.5);
    }
    int draw_affine()
    {
        TriangleGradients record;
        const int drawn = mesh_triangle_draw_inline(&record, &triangle, vertices, &window);
        if (drawn != 0) {
            mesh_triangle_draw_affine(&record, &window);
        }
        return drawn;
    }
    // Flat top at y = 5.0, left edge at x = 5.0, hypotenuse x + y = 14.
    void right_triangle(float w2 = DEPTH_256)
    {
        corner(0, 5, 5);
        corner(1, 9, 5);
        corner(2, 5, 9, w2);
    }
    void draw_persp() { mesh_triangle_draw_persp(&triangle, vertices, &window); }
    std::vector<int> covered()
    {
        std::vector<int> cells;
        for (int i = 0; i < RasterFrame::WIDTH * RasterFrame::HEIGHT; ++i) {
            if (frame->pixels[i] != 0) {
                cells.push_back(i);
            }
        }
        return cells;
    }
};

using Path = void (*)(MeshScene&);
const struct {
    const char* name;
    Path draw;
} PATHS[] = {
    {"affine", [](MeshScene& s) { s.draw_affine(); }},
    {"affine mmx",
     [](MeshScene& s) {
         s.window.mmx = true;
         s.draw_affine();
     }},
    {"perspective", [](MeshScene& s) { s.draw_persp(); }},
};

} // namespace

TEST(MeshTriangle, PixelCentresOnTheTopAndLeftEdgesAreInside)
{
    for (const auto& path : PATHS) {
        MeshScene s;
        s.right_triangle();
        path.draw(s);
        std::vector<int> expected;
        for (int y = 0; y < RasterFrame::HEIGHT; ++y) {
            for (int x = 0; x < RasterFrame::WIDTH; ++x) {
                if (x >= 5 && y >= 5 && x + y < 14) {
                    expected.push_back(y * RasterFrame::WIDTH + x);
                }
            }
        }
        EXPECT_EQ(s.covered(), expected) << path.name;
        // Each pixel shows its own texel, doubled by full light.
        EXPECT_EQ(s.frame->row(5)[8], bytes4(2 * ((5 * 64 + 8) & 0x7F))) << path.name;
        EXPECT_EQ(s.frame->depth_row(6)[6], 256) << path.name;
    }
}

TEST(MeshTriangle, TrianglesThatAreNotDrawn)
{
    struct Case {
        const char* why;
        double x[3], y[3];
        float w0;
        int set_up;
    };
    const Case cases[] = {
        {"the other winding faces away", {5, 5, 9}, {5, 9, 5}, DEPTH_256, 0},
        {"wholly at x 0 or less", {-9, 0, -9}, {5, 5, 9}, DEPTH_256, 0},
        {"reaching x = 0.5 between pixel centres", {-9, 0.5, -9}, {5.2, 5.2, 5.8}, DEPTH_256, 1},
        {"a corner outside the view cone", {5, 9, 5}, {5, 5, 9}, -1.0f, 0},
        {"no area", {5, 7, 9}, {5, 7, 9}, DEPTH_256, 0},
        {"below the window", {5, 9, 5}, {12, 12, 15}, DEPTH_256, 0},
        {"no height", {5, 9, 7}, {5, 5, 5}, DEPTH_256, 0},
        {"a W that is not a number", {5, 9, 5}, {5, 5, 9}, std::nanf(""), 0},
        {"an infinite W", {5, 9, 5}, {5, 5, 9}, INFINITY, 0},
    };
    for (const Case& c : cases) {
        MeshScene s;
        for (int k = 0; k < 3; ++k) {
            s.corner(k, c.x[k], c.y[k]);
        }
        s.vertices[0].w = c.w0;
        EXPECT_EQ(s.draw_affine(), c.set_up) << c.why;
        s.draw_persp();
        EXPECT_TRUE(s.covered().empty()) << c.why;
    }
}

TEST(MeshTriangle, ALightThatIsNotFiniteRefusesTheTriangle)
{
    for (const float light : {std::nanf(""), INFINITY, -INFINITY}) {
        MeshScene s;
        s.right_triangle();
        s.vertices[1].light[2] = light;
        EXPECT_EQ(s.draw_affine(), 0) << light;
        s.draw_persp();
        EXPECT_TRUE(s.covered().empty()) << light;
    }
}

TEST(MeshTriangle, EqualDepthIsDrawnAndRewritten)
{
    for (const auto& path : PATHS) {
        MeshScene s;
        s.frame->fill_depth(256);
        s.depth_rows[6][6] = 257;
        s.right_triangle(DEPTH_256 + 1.0f);
        path.draw(s);
        EXPECT_NE(s.frame->row(5)[5], 0u) << path.name;
        EXPECT_EQ(s.frame->row(6)[6], 0u) << path.name << ": behind the stored depth";
        EXPECT_EQ(s.depth_rows[6][6], 257) << path.name;
    }
}

TEST(MeshTriangle, LightChannelsFollowThePixelLayout)
{
    struct Case {
        const char* why;
        uint8_t layout[4];
        uint32_t expected;
    };
    // Red light 32 keeps its byte, green 64 doubles, blue 0 is black; the
    // fourth byte takes the green light.
    const Case cases[] = {
        {"0x00RRGGBB", {16, 8, 0, 24}, 0x80304000},
        {"0x00BBGGRR", {0, 8, 16, 24}, 0x80004010},
    };
    for (const bool mmx : {false, true}) {
        for (const Case& c : cases) {
            MeshScene s;
            s.palette[(5 * 64 + 5) & 0xFF] = 0x40302010;
            for (int i = 0; i < 4; ++i) {
                s.window.rgb_layout[i] = c.layout[i];
            }
            s.window.mmx = mmx;
            s.right_triangle();
            for (MeshVertex& v : s.vertices) {
                v.light[0] = 32 * 256.0f;
                v.light[1] = 64 * 256.0f;
                v.light[2] = 0;
            }
            s.draw_affine();
            EXPECT_EQ(s.frame->row(5)[5], c.expected) << c.why << (mmx ? " (mmx)" : "");
        }
    }
}

TEST(MeshTriangle, TexturesOffUseTheWindowPalette)
{
    MeshScene s;
    s.window.textures = false;
    s.right_triangle();
    s.draw_affine();
    EXPECT_EQ(s.frame->row(6)[6], 0x80808080u);
}

TEST(MeshTriangle, PerspectiveEqualsAffineAtConstantDepth)
{
    MeshScene affine;
    MeshScene persp;
    for (MeshScene* s : {&affine, &persp}) {
        s->corner(0, 2.3, 0.6);
        s->corner(1, 38.2, 3.4);
        s->corner(2, 11.7, 11.9);
    }
    ASSERT_EQ(affine.draw_affine(), 1);
    persp.draw_persp();
    EXPECT_GT(affine.covered().size(), 150u);
    EXPECT_EQ(affine.covered(), persp.covered());
    for (int i = 0; i < RasterFrame::WIDTH * RasterFrame::HEIGHT; ++i) {
        ASSERT_EQ(affine.frame->pixels[i], persp.frame->pixels[i]) << i;
        ASSERT_EQ(affine.frame->depth[i], persp.frame->depth[i]) << i;
    }
}

TEST(MeshTriangle, CoordinatesOutsideTheTextureAreKeptInside)
{
    for (const auto& path : PATHS) {
        MeshScene s;
        s.corner(0, 2, 1);
        s.corner(1, 38, 2);
        s.corner(2, 10, 11);
        // Texel coordinates far outside the 64 x 16 texels.
        s.triangle.u[0] = fixed(-300);
        s.triangle.v[1] = fixed(500);
        s.triangle.u[2] = fixed(900);
        path.draw(s);
        EXPECT_GT(s.covered().size(), 100u) << path.name;
    }
}

TEST(MeshSpan, PerspectiveSpanInterpolatesBetweenExactValuesEveryEightPixels)
{
    // Column c of a one-row texture shows 2c. u = U / W with U and W linear
    // along the span: each piece of 8 pixels from the first runs linearly
    // between the exact values at its first pixel and the next piece's, the
    // last piece to the span's last pixel.
    std::vector<uint8_t> texels(64 * 2);
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i] = static_cast<uint32_t>(i & 0x7F);
    }
    for (int c = 0; c < 64; ++c) {
        texels[c] = static_cast<uint8_t>(c);
    }
    struct Case {
        const char* why;
        int count;
        std::vector<int> piece_ends; // the pixel each piece runs to
    };
    const Case cases[] = {
        {"two full pieces and a last of 5, measured over 4", 21, {8, 16, 20}},
        {"8 pixels are one piece, measured over 7", 8, {7}},
        {"9 pixels: a full piece and a last of 1", 9, {8, 8}},
    };
    const double W0 = 1.0, dW = 0.09, u0 = 2.3, du = 2.5; // u(x) = (u0 + du x) / (W0 + dW x)
    auto exact_u = [&](int x) { return (u0 + du * x) / (W0 + dW * x); };
    for (const Case& c : cases) {
        auto f = make_frame();
        f->fill_depth(0);
        // W in 16.16 depth (k = 65536: depth 1.0 at the first pixel), U = u W in 16.16 texels.
        const double k = 65536.0;
        const float U = static_cast<float>(u0 * 65536 * k * W0);
        const float Cu = static_cast<float>((du * W0 - dW * u0) * 65536 * k * k);
        span_draw_persp8(f->row(0), f->depth_row(0), c.count, texels.data(), palette, 64, 1, U, 0.0f, Cu, 0.0f,
                         static_cast<float>(k * W0), static_cast<float>(k * dW));
        int start = 0;
        for (const int end : c.piece_ends) {
            const int last = end == c.piece_ends.back() ? c.count - 1 : end - 1;
            for (int x = start; x <= last; ++x) {
                const double t = end == start ? 0.0 : static_cast<double>(x - start) / (end - start);
                const double u = exact_u(start) + t * (exact_u(end) - exact_u(start));
                if (u - std::floor(u) < 0.01 || u - std::floor(u) > 0.99) {
                    continue; // too near a texel edge for the rounded steps
                }
                EXPECT_EQ(f->row(0)[x], 2u * static_cast<uint32_t>(u)) << c.why << " at " << x;
            }
            start = end;
        }
        EXPECT_EQ(f->row(0)[c.count], 0u) << c.why << ": nothing past the span";
    }
}

// Every lit mesh span, public and portable: drawn where its depth is not below
// the stored one, which it then takes; a stored depth one nearer stops it.
TEST(MeshSpan, LitSpansDrawAndWriteWhereTheDepthIsNotBelow)
{
    build_lighting_tables();
    using Zlit = void (*)(uint32_t*, uint16_t*, int, const ZlitSpan&);
    const struct {
        const char* name;
        Zlit draw;
    } forms[] = {
        {"zlit", span_draw_zlit},
        {"zlit mmx", span_draw_zlit_mmx},
        {"zlit portable", span_draw_zlit_portable},
        {"zlit mmx portable", span_draw_zlit_mmx_portable},
    };
    const uint8_t texels[2 * 4] = {};
    uint32_t palette[256] = {};
    palette[0] = 0x00644020;
    ZlitSpan span{};
    span.texels = texels;
    span.palette = palette;
    span.width = 4;
    span.depth = 0x0800FFFF;
    for (int32_t& l : span.light) {
        l = 64 << 8; // a full light step doubles the half-intensity colour
    }
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        uint32_t pixels[4] = {1, 1, 1, 1};
        uint16_t depth[4] = {0x0800, 0x0801, 0x07FF, 0x0000};
        form.draw(pixels, depth, 3, span);
        EXPECT_EQ(pixels[0], 0x00C88040u) << "equal depth";
        EXPECT_EQ(pixels[1], 1u) << "stored one nearer";
        EXPECT_EQ(pixels[2], 0x00C88040u) << "stored one farther";
        EXPECT_EQ(pixels[3], 1u) << "past the span";
        EXPECT_EQ(depth[0], 0x0800);
        EXPECT_EQ(depth[1], 0x0801);
        EXPECT_EQ(depth[2], 0x0800) << "the span's depth is written";
        EXPECT_EQ(depth[3], 0x0000);
    }
}
