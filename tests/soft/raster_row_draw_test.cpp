#include <vector>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/drawer_portable.h"
#include "soft/particle_draw.h"
#include "soft/row_draw.h"

TEST(RowDraw, BackgroundStepsThroughTheRowInSixteenSixteen)
{
    const uint8_t texels[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i] = 0xFF000000u | static_cast<uint32_t>(i * 3);
    }
    struct Case {
        const char* why;
        int32_t u, du;
        int count;
        int expected[6];
    };
    const Case cases[] = {
        {"half steps repeat every texel twice", 0, 0x8000, 6, {0, 0, 1, 1, 2, 2}},
        {"double steps skip every other texel", 0x10000, 0x20000, 5, {1, 3, 5, 7, 9}},
        {"fractions carry", 0xC000, 0x6000, 6, {0, 1, 1, 1, 2, 2}},
    };
    for (const Case& c : cases) {
        uint32_t row[7] = {};
        row_draw_background(row, c.count, texels, palette, c.u, c.du);
        for (int i = 0; i < c.count; ++i) {
            EXPECT_EQ(row[i], palette[c.expected[i]]) << c.why << " at " << i;
        }
        EXPECT_EQ(row[c.count], 0u) << c.why << ": nothing past the row";
    }
}

namespace {

using IconRow = void (*)(uint32_t*, int, const uint16_t*, const uint32_t*, int32_t, int32_t);
using SpriteRow = void (*)(uint32_t*, const uint16_t*, int, const uint16_t*, const uint32_t*, int32_t, int32_t, int32_t);
using BlendRow = void (*)(uint32_t*, int, const uint8_t*, uint32_t, int32_t, int32_t);

// The public drawers and the portable ones, each held to the same pixels.
struct RowForms {
    const char* name;
    IconRow icon, icon_mmx;
    SpriteRow sprite, sprite_mmx;
    BlendRow blend, blend_mmx;
};

const RowForms ROW_FORMS[] = {
    {"public", row_draw_icon, row_draw_icon_mmx, row_draw_sprite, row_draw_sprite_mmx, row_draw_blend,
     row_draw_blend_mmx},
    {"portable", row_draw_icon_portable, row_draw_icon_mmx_portable, row_draw_sprite_portable,
     row_draw_sprite_mmx_portable, row_draw_blend_portable, row_draw_blend_mmx_portable},
};

} // namespace

TEST(RowDraw, IconAndSpriteBlendsTowardTheTexelByItsOpacity)
{
    build_lighting_tables();
    uint32_t palette[256] = {};
    palette[3] = 0x00107F64;
    struct Case {
        const char* why;
        uint16_t texel;
        uint32_t dest, plain, mmx;
    };
    const Case cases[] = {
        {"opacity 0 clears the lowest bits (plain), leaves the pixel (mmx)", 0x0003, 0x00C9FF03, 0x00C8FE02,
         0x00C9FF03},
        {"opacity 255 over black", 0xFF03, 0, 0x001EFCC6, 0x001FFAC4},
    };
    for (const RowForms& form : ROW_FORMS) {
        SCOPED_TRACE(form.name);
        for (const Case& c : cases) {
            const uint16_t texels[2] = {c.texel, c.texel};
            uint32_t plain[2] = {c.dest, c.dest};
            uint32_t mmx[2] = {c.dest, c.dest};
            form.icon(plain, 2, texels, palette, 0, 0x8000);
            form.icon_mmx(mmx, 2, texels, palette, 0, 0x8000);
            EXPECT_EQ(plain[1], c.plain) << c.why;
            EXPECT_EQ(mmx[1], c.mmx) << c.why;

            // A sprite draws where its depth is not below the stored one
            // (equal, stored one nearer, stored one farther), and keeps the depth.
            uint16_t depth[3] = {0x0800, 0x0801, 0x07FF};
            uint32_t sprite[3] = {c.dest, c.dest, c.dest};
            uint32_t sprite_mmx[3] = {c.dest, c.dest, c.dest};
            const uint16_t row3[3] = {c.texel, c.texel, c.texel};
            form.sprite(sprite, depth, 3, row3, palette, 0, 0x10000, 0x0800FFFF);
            form.sprite_mmx(sprite_mmx, depth, 3, row3, palette, 0, 0x10000, 0x0800FFFF);
            const uint32_t want_plain[3] = {c.plain, c.dest, c.plain};
            const uint32_t want_mmx[3] = {c.mmx, c.dest, c.mmx};
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(sprite[i], want_plain[i]) << c.why << " sprite at " << i;
                EXPECT_EQ(sprite_mmx[i], want_mmx[i]) << c.why << " mmx sprite at " << i;
            }
            EXPECT_EQ(depth[0], 0x0800);
            EXPECT_EQ(depth[1], 0x0801);
            EXPECT_EQ(depth[2], 0x07FF);
        }
    }
}

TEST(RowDraw, BlendMovesTowardTheColourByTheWeight)
{
    build_lighting_tables();
    for (const RowForms& form : ROW_FORMS) {
        SCOPED_TRACE(form.name);
        const uint8_t weights[] = {0, 128, 255};
        uint32_t plain[3] = {0x00808080, 0x00000000, 0x00000000};
        uint32_t mmx[3] = {0x00808080, 0x00000000, 0x00000000};
        form.blend(plain, 3, weights, 0x00FF4020, 0, 0x10000);
        form.blend_mmx(mmx, 3, weights, 0x00FF4020, 0, 0x10000);
        EXPECT_EQ(plain[0], 0x00808080u);
        EXPECT_EQ(mmx[0], 0x00808080u);
        // Weight 128: halfway at 7-bit precision (plain), g = 63 of 128 (mmx).
        EXPECT_EQ(plain[1], 0x007E2010u);
        EXPECT_EQ(mmx[1], 0x007C1E0E);
        // Weight 255 from black: the plain form keeps the halved colour's 7 bits.
        EXPECT_EQ(plain[2], 0x00FC3E1E);
        EXPECT_EQ(mmx[2], 0x00FA3E1E);
    }
}

namespace {

// A frame with identity view: particles in camera space. Scales of 64 pixels
// make a particle of size 2 at Z = 64 (q = 1024) two pixels in half-width.
struct ParticleScene {
    std::unique_ptr<RasterFrame> frame = make_frame();
    int32_t line_offset[RasterFrame::HEIGHT];
    uint16_t* depth_rows[RasterFrame::HEIGHT];
    const float view[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const int32_t centre_x = (8 << 16) + 0x8000;
    const int32_t centre_y = (6 << 16) + 0x8000;

    ParticleScene()
    {
        for (int y = 0; y < RasterFrame::HEIGHT; ++y) {
            line_offset[y] = y * RasterFrame::WIDTH;
            depth_rows[y] = frame->depth_row(y);
        }
    }
    void draw(const Particle* particles, int count, int blend, int width = 32, int height = 12, float scale = 64.0f)
    {
        span_draw_particle(particles, count, view, scale, scale, width, height, centre_x, centre_y, frame->pixels,
                           line_offset, depth_rows, blend);
    }
    int drawn(uint32_t colour)
    {
        int n = 0;
        for (uint32_t p : frame->pixels) {
            n += p == colour ? 1 : 0;
        }
        return n;
    }
};

Particle particle(float x, float y, float z, float size, uint32_t colour, int32_t min_half = 0, int32_t life = 10)
{
    return Particle{{x, y, z}, {0, 0, 0}, size, colour, min_half, life};
}

} // namespace

TEST(ParticleDraw, SquareAroundTheProjectedCentre)
{
    ParticleScene s;
    const Particle p = particle(0, 0, 64, 2, 0x00ABCDEF);
    s.draw(&p, 1, 0);
    // Centre (8.5, 6.5), half-size 2: columns 6 to 9, rows 4 to 7.
    EXPECT_EQ(s.drawn(0x00ABCDEF), 16);
    EXPECT_EQ(s.frame->row(4)[6], 0x00ABCDEFu);
    EXPECT_EQ(s.frame->row(7)[9], 0x00ABCDEFu);
    EXPECT_EQ(s.frame->row(8)[9], 0u);
    EXPECT_EQ(s.frame->row(4)[10], 0u);
}

TEST(ParticleDraw, NearerThanQ1024KeepsItsSizeButNotItsDepth)
{
    ParticleScene s;
    s.frame->fill_depth(1500); // between the depths of Z = 64 (1024) and Z = 32 (2048)
    const Particle far = particle(0, 0, 64, 2, 0x00000011);
    const Particle near = particle(0, 0, 32, 2, 0x00000022);
    s.draw(&far, 1, 0);
    EXPECT_EQ(s.drawn(0x11), 0) << "behind the stored depth";
    s.draw(&near, 1, 0);
    EXPECT_EQ(s.drawn(0x22), 16) << "same size as at q = 1024";
}

TEST(ParticleDraw, SubPixelParticlesAndTheViewCone)
{
    struct Case {
        const char* why;
        Particle p;
        int pixels;
        float scale = 64.0f;
    };
    // At a scale of 4 the cone's edge |X| + |Y| = 2Z projects inside the area,
    // a few pixels from the centre, so only the cone test keeps those out.
    const Case cases[] = {
        {"sub-pixel at least its minimum is one pixel", particle(0, 0, 64, 0.25f, 1, 0x4000), 1},
        {"sub-pixel below its minimum is not drawn", particle(0, 0, 64, 0.25f, 1, 0x5000), 0},
        {"|X| + |Y| just below 2Z is drawn", particle(99.5f, 28, 64, 0.25f, 1), 1, 4.0f},
        {"|X| + |Y| just above 2Z is outside", particle(100.5f, 28, 64, 0.25f, 1), 0, 4.0f},
        {"|X| + |Y| just above 2Z to the upper left", particle(-100.5f, -28, 64, 0.25f, 1), 0, 4.0f},
        {"dead particles are skipped", particle(0, 0, 64, 2, 1, 0, 0), 0},
        {"on the camera plane", particle(0, 0, 0, 2, 1), 0},
        {"behind the camera", particle(0, 0, -64, 2, 1), 0},
    };
    for (const Case& c : cases) {
        ParticleScene s;
        s.draw(&c.p, 1, 0, 32, 12, c.scale);
        EXPECT_EQ(s.drawn(1), c.pixels) << c.why;
    }
}

TEST(ParticleDraw, ClipsToTheAreaAndBlendsAQuarter)
{
    ParticleScene s;
    s.frame->fill(0x00808080);
    // Centre at (8.5 + 8, 6.5): columns 14 to 17, cut at width 16.
    const Particle p = particle(8, 0, 64, 2, 0x00FF4000);
    s.draw(&p, 1, 1, 16, 12);
    const uint32_t blended = (0x00FF4000 >> 2 & 0x3F3F3F3F) + 3 * ((0x00808080 & 0xFCFCFCFC) >> 2);
    EXPECT_EQ(s.drawn(blended), 8);
    EXPECT_EQ(s.frame->row(5)[15], blended);
    EXPECT_EQ(s.frame->row(5)[16], 0x00808080u);
    ParticleScene none;
    none.draw(&p, 0, 0);
    EXPECT_EQ(none.drawn(0x00FF4000), 0);
}
