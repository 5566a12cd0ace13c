#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/drawer_portable.h"
#include "soft/light_block.h"
#include "soft/lit_span.h"
#include "soft/span_warp.h"
#include "soft/translucent_span.h"

namespace {

using LitDrawer = void (*)(SpanPlan*, int, const uint8_t*, const uint32_t*, int, int, int, int32_t, int32_t,
                           const int32_t*, const int32_t*);

struct NamedDrawer {
    const char* name;
    LitDrawer draw;
};

const NamedDrawer LIT_DRAWERS[] = {
    {"lit", span_draw_lit},
    {"blend", span_draw_lit_blend},
    {"filtered", span_draw_lit_filtered},
    {"mmx", span_draw_lit_mmx},
    {"lit portable", span_draw_lit_portable},
    {"blend portable", span_draw_lit_blend_portable},
    {"filtered portable", span_draw_lit_filtered_portable},
    {"mmx portable", span_draw_lit_mmx_portable},
};

using ZtestDrawer = void (*)(SpanPlan*, int, const uint16_t*, const uint32_t*, int, int, int, const int32_t*,
                             const int32_t*);

// The public translucent drawers and the portable ones: plain and mmx.
struct ZtestForms {
    const char* name;
    ZtestDrawer plain, mmx;
};

const ZtestForms ZTEST_FORMS[] = {
    {"public", span_draw_ztest, span_draw_ztest_mmx},
    {"portable", span_draw_ztest_portable, span_draw_ztest_mmx_portable},
};

// A one-colour texture of 16 x 16 texels with its repeated last row.
struct PlainTexture {
    std::vector<uint8_t> texels = std::vector<uint8_t>(16 * 17, 1);
    uint32_t palette[256] = {};
    explicit PlainTexture(uint32_t colour) { palette[1] = colour; }
};

void fill_light(uint32_t value)
{
    for (uint32_t& l : surface_light_block) {
        l = value;
    }
}

} // namespace

TEST(LitSpans, EveryVariantMultipliesByTheLightTable)
{
    struct Case {
        const char* why;
        uint32_t light, colour, expected;
    };
    const Case cases[] = {
        {"64 doubles", 0x40404040, 0x00644020, 0x00C88040},
        {"127 on 127 saturates", 0x7F7F7F7F, 0x7F7F7F7F, 0xFFFFFFFF},
        {"no light is black", 0, 0x7F7F7F7F, 0},
        {"each byte by its own light", 0x00204000, 0x00505050, 0x0050A000},
    };
    for (const NamedDrawer& d : LIT_DRAWERS) {
        for (const Case& c : cases) {
            PlainTexture tex(c.colour);
            fill_light(c.light);
            auto f = make_frame();
            f->add_affine(5, 2, 37, 3 << 16, 1 << 16, 0x9000, 0x2000);
            d.draw(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
            for (int x = 5; x < 42; ++x) {
                ASSERT_EQ(f->row(2)[x], c.expected) << d.name << ": " << c.why << " at " << x;
            }
            EXPECT_EQ(f->row(2)[42], 0u) << d.name;
        }
    }
}

TEST(LitSpans, NearestLightRoundsToTheNearestLightTexelAndWraps)
{
    PlainTexture tex(0x20202020);
    fill_light(0);
    surface_light_block[0] = 0x01010101;
    surface_light_block[31] = 0x02020202;
    surface_light_block[30] = 0x03030303;
    auto f = make_frame();
    // s = 31.5 light texels rounds to column 32, which wraps to column 0.
    f->add_affine(15, 0, 1, 504 << 16, 0, 0, 0);
    // Just below 31.5 stays in column 31; just below 30.5 in column 30.
    f->add_affine(15, 1, 1, (504 << 16) - 16, 0, 0, 0);
    f->add_affine(15, 2, 1, (488 << 16) - 16, 0, 0, 0);
    span_draw_lit(f->plans(), 3, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[15], 0x01010101u);
    EXPECT_EQ(f->row(1)[15], 0x02020202u);
    EXPECT_EQ(f->row(2)[15], 0x03030303u);
}

TEST(LitSpans, LightOffsetsMoveTheLightNotTheTexture)
{
    PlainTexture tex(0x20202020);
    fill_light(0);
    surface_light_block[2 + 32 * 1] = 0x00000011;
    auto f = make_frame();
    f->add_affine(15, 0, 1, 0, 0, 0, 0);
    // Offsets of 2 light texels in s and 1 in t, in level-0 texels.
    span_draw_lit(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 32 << 16, 16 << 16, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[15], 0x11u);
}

TEST(LitSpans, FilteredLightInterpolatesBetweenLightTexels)
{
    PlainTexture tex(0x20202020); // light byte L gives L
    fill_light(0);
    surface_light_block[1] = 0x40404040;
    surface_light_block[33] = 0x40404040;
    auto f = make_frame();
    // s = 0.5 light texel: halfway between column 0 and column 1.
    f->add_affine(15, 0, 1, 8 << 16, 0, 0, 0);
    span_draw_lit_filtered(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[15], 0x20202020u);
}

TEST(LitSpans, FilteredReadsStayInsideThePaddedBlock)
{
    // The last entry's neighbours lie in the padding; whatever is there, the
    // read stays inside the block (the sanitizer build checks it).
    PlainTexture tex(0x20202020);
    fill_light(0x10101010);
    auto f = make_frame();
    f->add_affine(15, 0, 1, (31 * 16 + 8) << 16, (31 * 16 + 8) << 16, 0, 0);
    span_draw_lit_filtered(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    span_draw_lit_mmx(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[15], 0x10101010u);
}

TEST(LitSpans, SampledVariantsFollowTheFilteredLight)
{
    PlainTexture tex(0x20202020); // light byte L gives L
    // Light grows by 3 per light texel in s and by 1 per light texel in t;
    // the spans stay clear of the block's wrap.
    for (int t = 0; t < 33; ++t) {
        for (int s = 0; s < 32; ++s) {
            surface_light_block[s + 32 * t] = bytes4(static_cast<uint32_t>(3 * s + t));
        }
    }
    struct Case {
        const char* why;
        int x, count;
        int32_t du, dv;
    };
    const Case cases[] = {
        {"slow light: every eighth pixel in full pieces", 3, 61, 0x10000, 0x2000},
        {"fast light: every fourth pixel", 1, 63, 0x50000, 0x30000},
        {"single piece", 2, 9, 0x40000, 0},
        {"lead of one pixel", 15, 30, 0x30000, 0x8000},
        {"falling light", 6, 50, -0x20000, -0x10000},
    };
    for (const Case& c : cases) {
        auto filtered = make_frame();
        auto blend = make_frame();
        auto mmx = make_frame();
        const int32_t u0 = 128 << 16, v0 = 100 << 16;
        filtered->add_affine(c.x, 0, c.count, u0, v0, c.du, c.dv);
        blend->add_affine(c.x, 0, c.count, u0, v0, c.du, c.dv);
        mmx->add_affine(c.x, 0, c.count, u0, v0, c.du, c.dv);
        span_draw_lit_filtered(filtered->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        span_draw_lit_blend(blend->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        span_draw_lit_mmx(mmx->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        for (int x = c.x; x < c.x + c.count; ++x) {
            const int want = static_cast<int>(filtered->row(0)[x] & 0xFF);
            EXPECT_LE(std::abs(static_cast<int>(blend->row(0)[x] & 0xFF) - want), 2) << c.why << " blend at " << x;
            EXPECT_LE(std::abs(static_cast<int>(mmx->row(0)[x] & 0xFF) - want), 3) << c.why << " mmx at " << x;
        }
        const int last = c.x + c.count - 1;
        EXPECT_EQ(blend->row(0)[last], filtered->row(0)[last]) << c.why << ": the last pixel is a sample";
    }
}

TEST(LitSpans, LightLinearAlongTheSpanIsExactInEverySampledVariant)
{
    // Light column c holds 8c, and the span crosses a quarter light texel per
    // pixel from column 1 rightward (light 8 + 2p at pixel p) or from column
    // 12 leftward (96 - 2p): samples, halvings and interpolations must all
    // land on it exactly.
    PlainTexture tex(0x20202020); // light byte L gives L
    for (int i = 0; i < LIGHT_BLOCK_PADDED; ++i) {
        surface_light_block[i] = bytes4(static_cast<uint32_t>(8 * (i % 32 < 16 ? i % 32 : 0)));
    }
    const NamedDrawer sampled[] = {LIT_DRAWERS[1], LIT_DRAWERS[2], LIT_DRAWERS[3]};
    struct Case {
        const char* why;
        int x, count;
    };
    const Case cases[] = {
        {"from a boundary: full and last pieces", 0, 32},
        {"lead of 13: a single pixel and groups of four first", 3, 40},
        {"one piece", 4, 9},
    };
    for (const NamedDrawer& d : sampled) {
        for (const Case& c : cases) {
            for (const int direction : {1, -1}) {
                auto f = make_frame();
                const int first = direction > 0 ? 8 : 96;
                f->add_affine(c.x, 0, c.count, (first / 8 * 16) << 16, 0, direction * (4 << 16), 0);
                d.draw(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
                for (int p = 0; p < c.count; ++p) {
                    ASSERT_EQ(f->row(0)[c.x + p], bytes4(static_cast<uint32_t>(first + direction * 2 * p)))
                        << d.name << ": " << c.why << (direction > 0 ? ", rising" : ", falling") << " at pixel " << p;
                }
            }
        }
    }
}

TEST(LitSpans, NoLightIsSampledBeyondThePlansLastPixel)
{
    // One light texel a pixel from column 1, with fs = 0: pixel p reads
    // column 1 + p exactly. The columns up to the last pixel's are lit and
    // those beyond it dark, so that a sample taken behind the plan (beyond a
    // polygon's edge) darkens the pixels before it. Every start and length
    // puts the plan's end at each place in its groups and pieces.
    PlainTexture tex(0x20202020); // light byte L gives L
    for (const NamedDrawer& d : LIT_DRAWERS) {
        for (int x = 0; x < 16; ++x) {
            for (int count = 1; count <= 26; ++count) {
                for (int i = 0; i < LIGHT_BLOCK_PADDED; ++i) {
                    surface_light_block[i] = i % 32 <= count ? bytes4(90) : 0;
                }
                auto f = make_frame();
                f->add_affine(x, 0, count, (1 * 16) << 16, 0, 16 << 16, 0);
                d.draw(f->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
                for (int p = 0; p < count; ++p) {
                    ASSERT_EQ(f->row(0)[x + p], bytes4(90))
                        << d.name << ": " << count << " pixels from " << x << ", pixel " << p;
                }
            }
        }
    }
}

TEST(LitSpans, BlendSamplesAtEachPartsLastPixelAndInterpolatesBetween)
{
    // Light columns alternate between 10 and 100, so that a straight line
    // between two samples misses the kinks between them: only the pixels the
    // drawer samples show the bilinear light of the filtered drawer exactly.
    PlainTexture tex(0x20202020); // light byte L gives L
    for (int i = 0; i < LIGHT_BLOCK_PADDED; ++i) {
        surface_light_block[i] = bytes4(i % 2 != 0 ? 100 : 10);
    }
    struct Case {
        const char* why;
        int x, count;
        int32_t du;
        std::vector<int> samples;
    };
    const Case cases[] = {
        {"slow light: every eighth pixel of a full piece, then a pair and a single", 15, 36, 0x20000,
         {0, 8, 16, 24, 32, 34, 35}},
        {"fast light: every fourth pixel of a full piece", 15, 36, 0x40000,
         {0, 4, 8, 12, 16, 20, 24, 28, 32, 34, 35}},
        {"lead of 7: a single, a pair and a group of four; last of 5: a group and a single", 9, 28, 0x40000,
         {0, 2, 6, 10, 14, 18, 22, 26, 27}},
        {"one piece of 7 pixels", 1, 7, 0x40000, {0, 2, 6}},
    };
    for (const Case& c : cases) {
        auto filtered = make_frame();
        auto blend = make_frame();
        const int32_t u0 = (3 * 16 + 5) << 16;
        filtered->add_affine(c.x, 0, c.count, u0, 0, c.du, 0);
        blend->add_affine(c.x, 0, c.count, u0, 0, c.du, 0);
        span_draw_lit_filtered(filtered->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        span_draw_lit_blend(blend->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        auto light_at = [&](int p) { return static_cast<int>(filtered->row(0)[c.x + p] & 0xFF); };
        ASSERT_EQ(c.samples.front(), 0) << c.why << ": the case starts with a sampled pixel";
        ASSERT_EQ(c.samples.back(), c.count - 1) << c.why << ": the last pixel is a sample";
        EXPECT_EQ(blend->row(0)[c.x], filtered->row(0)[c.x]) << c.why;
        for (size_t n = 1; n < c.samples.size(); ++n) {
            const int a_at = c.samples[n - 1];
            const int b_at = c.samples[n];
            const int a = light_at(a_at);
            const int b = light_at(b_at);
            for (int p = a_at + 1; p <= b_at; ++p) {
                // a + floor(k (b - a) / n), the byte-wise interpolation's rounding.
                const int k = p - a_at;
                const int n_apart = b_at - a_at;
                const int want = a + static_cast<int>(std::floor(static_cast<double>(k * (b - a)) / n_apart));
                EXPECT_EQ(blend->row(0)[c.x + p], bytes4(static_cast<uint32_t>(want))) << c.why << " at pixel " << p;
            }
        }
    }
}

TEST(LitSpans, WarpDisplacesTextureUnderUndisplacedLight)
{
    // Texture columns alternate colours, light varies along s.
    std::vector<uint8_t> texels(16 * 17);
    for (size_t i = 0; i < texels.size(); ++i) {
        texels[i] = static_cast<uint8_t>(i % 16);
    }
    uint32_t palette[256] = {};
    for (int i = 0; i < 16; ++i) {
        palette[i] = bytes4(static_cast<uint32_t>(10 + 7 * i));
    }
    for (int s = 0; s < LIGHT_BLOCK_PADDED; ++s) {
        surface_light_block[s] = bytes4(static_cast<uint32_t>(20 + (s % 32) * 3));
    }
    std::vector<int32_t> S(WARP_TABLE_ENTRIES, 3 << 16), T(WARP_TABLE_ENTRIES, 0);
    for (const NamedDrawer& d : LIT_DRAWERS) {
        auto warped = make_frame();
        auto moved = make_frame();
        // Pieces of 16 pixels, whose warped steps are exact.
        warped->add_affine(0, 0, 48, 0x2000, 0, 0x24000, 0);
        // The same picture: texture 3 texels on, light offset 3 texels back.
        moved->add_affine(0, 0, 48, (3 << 16) + 0x2000, 0, 0x24000, 0);
        d.draw(warped->plans(), 1, texels.data(), palette, 4, 16, 0, 0, 0, S.data(), T.data());
        d.draw(moved->plans(), 1, texels.data(), palette, 4, 16, 0, -(3 << 16), 0, nullptr, nullptr);
        for (int x = 0; x < 48; ++x) {
            EXPECT_EQ(warped->row(0)[x], moved->row(0)[x]) << d.name << " at " << x;
        }
    }
}

TEST(LitSpans, FilteredTextureBlendsNeighboursAndReadsThePaddingRow)
{
    // Columns 0 and 1 of the last row hold colours 20 and 60; the padding row
    // repeats row 0 (colour 100).
    std::vector<uint8_t> texels(16 * 17, 2);
    texels[15 * 16 + 0] = 0;
    texels[15 * 16 + 1] = 1;
    uint32_t palette[256] = {};
    palette[0] = bytes4(20);
    palette[1] = bytes4(60);
    palette[2] = bytes4(100);
    fill_light(0x20202020); // light 32 keeps the colour
    auto f = make_frame();
    // Texel centres sit at .5: u = 1.0 lies halfway between columns 0 and 1,
    // v = 15.5 on the centre of the last row, v = 16.0 halfway to the padding row.
    f->add_affine(15, 0, 1, 1 << 16, (15 << 16) + 0x8000, 0, 0);
    f->add_affine(15, 1, 1, 1 << 16, 16 << 16, 0, 0);
    span_draw_lit_filtered(f->plans(), 2, texels.data(), palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[15], bytes4(40));
    EXPECT_EQ(f->row(1)[15], bytes4(70));
}

TEST(LitSpans, APlanAsWideAsTheWidestModeIsDrawnWhole)
{
    // One plan across a 5120-pixel display row gives the same pixels as the
    // row drawn as two plans of 2560 or so. Light and texels vary, so that
    // every pixel depends on its own place in the light line.
    constexpr int WIDTH = 5120;
    constexpr int HALF = WIDTH / 2;
    // 4 texels and a quarter light texel a pixel: every variant samples each
    // piece in groups of four, so that both drawings sample the same pixels.
    // A plan's last pixel is always sampled: the first half reaches one pixel
    // further, to a pixel that the whole plan samples too, and the second
    // half, drawn after it, draws that pixel again from the same sample.
    constexpr int32_t U0 = 0x8000;
    constexpr int32_t DU = 0x40000;
    uint32_t seed = 5;
    auto next = [&seed] {
        seed = seed * 214013u + 2531011u;
        return seed >> 16;
    };
    for (uint32_t& l : surface_light_block) {
        l = (next() | next() << 16) & 0x3F3F3F3F;
    }
    std::vector<uint8_t> texels(16 * 17);
    for (uint8_t& t : texels) {
        t = static_cast<uint8_t>(next());
    }
    uint32_t palette[256];
    for (uint32_t& p : palette) {
        p = (next() | next() << 16) & 0x007F7F7F;
    }
    struct Row {
        uint32_t* pixels = static_cast<uint32_t*>(std::aligned_alloc(64, sizeof(uint32_t) * WIDTH));
        std::vector<uint16_t> depth = std::vector<uint16_t>(WIDTH);
        std::vector<uint64_t> plans = std::vector<uint64_t>(span_plan_max_bytes(WIDTH) * 2 / 8);
        ~Row() { std::free(pixels); }
        SpanPlan* plan() { return reinterpret_cast<SpanPlan*>(plans.data()); }
        SpanPlan* add(SpanPlan* at, int first, int count)
        {
            return span_setup_persp(at, pixels + first, depth.data() + first, count, 0, 0,
                                    static_cast<float>(U0 + static_cast<int64_t>(first) * DU), 0x78000,
                                    static_cast<float>(DU), 0.0f, 1.0f, 0.0f);
        }
    };
    for (const NamedDrawer& d : LIT_DRAWERS) {
        build_lighting_tables();
        Row whole;
        Row halves;
        std::fill(whole.pixels, whole.pixels + WIDTH, 0xA5A5A5A5u);
        std::fill(halves.pixels, halves.pixels + WIDTH, 0x5A5A5A5Au);
        whole.add(whole.plan(), 0, WIDTH);
        halves.add(halves.add(halves.plan(), 0, HALF + 1), HALF, HALF);
        d.draw(whole.plan(), 1, texels.data(), palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        d.draw(halves.plan(), 2, texels.data(), palette, 4, 16, 0, 0, 0, nullptr, nullptr);
        for (int x = 0; x < WIDTH; ++x) {
            ASSERT_EQ(whole.pixels[x], halves.pixels[x]) << d.name << " at " << x;
        }
    }
    // The last pixel by hand for the nearest light: u = 0.5 + 4 * 5119 texels,
    // texel column 12 (u AND 15), light column 0 ((u / 16 + 0.5) AND 31),
    // v = 7.5: texel row 7 and light row 0.
    Row row;
    row.add(row.plan(), 0, WIDTH);
    span_draw_lit(row.plan(), 1, texels.data(), palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    const uint32_t colour = palette[texels[7 * 16 + 12]];
    const uint32_t light = surface_light_block[0];
    uint32_t expected = 0;
    for (int k = 0; k < 4; ++k) {
        expected |= static_cast<uint32_t>(light_mul_table[(light >> (8 * k)) & 0xFF][(colour >> (8 * k)) & 0xFF])
                    << (8 * k);
    }
    EXPECT_EQ(row.pixels[WIDTH - 1], expected);
}

TEST(TranslucentSpans, BlendWhereDepthIsNotBelowAndNeverWriteDepth)
{
    std::vector<uint16_t> texels(16 * 16);
    uint32_t palette[256] = {};
    palette[7] = 0x00647F10;
    struct Case {
        const char* why;
        uint32_t opacity, dest, plain, mmx;
    };
    const Case cases[] = {
        {"opacity 0 clears the lowest bits (plain), leaves the pixel (mmx)", 0, 0x00C9FF03, 0x00C8FE02, 0x00C9FF03},
        {"opacity 255 over black", 255, 0, 0x00C6FC1E, 0x00C4FA1F},
        {"half opacity over black", 128, 0x00000000, 0x00647E10, 0x00627D0F},
    };
    for (const ZtestForms& form : ZTEST_FORMS) {
        SCOPED_TRACE(form.name);
        for (const Case& c : cases) {
            for (uint16_t& t : texels) {
                t = static_cast<uint16_t>(7 | c.opacity << 8);
            }
            auto plain = make_frame();
            auto mmx = make_frame();
            for (RasterFrame* f : {plain.get(), mmx.get()}) {
                f->fill(c.dest);
                f->fill_depth(0x1000);
                f->depth_row(0)[4] = 0x1001; // nearer: kept
                f->depth_row(0)[5] = 0x0FFF; // farther: drawn over
                f->add_affine(2, 0, 4, 0, 0, 0x10000, 0, 0x1000FFFF, 0);
            }
            form.plain(plain->plans(), 1, texels.data(), palette, 4, 16, 0, nullptr, nullptr);
            form.mmx(mmx->plans(), 1, texels.data(), palette, 4, 16, 0, nullptr, nullptr);
            for (int x = 2; x < 6; ++x) {
                const uint32_t plain_want = x == 4 ? c.dest : c.plain;
                const uint32_t mmx_want = x == 4 ? c.dest : c.mmx;
                EXPECT_EQ(plain->row(0)[x], plain_want) << c.why << " at " << x;
                EXPECT_EQ(mmx->row(0)[x], mmx_want) << c.why << " at " << x;
                const uint16_t kept = x == 4 ? 0x1001 : (x == 5 ? 0x0FFF : 0x1000);
                EXPECT_EQ(plain->depth_row(0)[x], kept);
                EXPECT_EQ(mmx->depth_row(0)[x], kept);
            }
        }
    }
}

TEST(TranslucentSpans, MmxDepthTestComparesSignedAndDiffersFromHalfTheRangeUp)
{
    std::vector<uint16_t> texels(16 * 16, static_cast<uint16_t>(7 | 255 << 8));
    uint32_t palette[256] = {};
    palette[7] = 0x00404040;
    struct Case {
        const char* why;
        uint32_t z;
        uint16_t stored;
        bool plain_draws, mmx_draws;
    };
    const Case cases[] = {
        {"equal integer parts below 32768", 0x1234FFFF, 0x1234, true, true},
        {"one below", 0x1233FFFF, 0x1234, false, false},
        {"nearer across 32768: negative as a signed number", 0x80000000, 0x7FFF, true, false},
        {"farther across 32768: the stored value is negative", 0x7FFFFFFF, 0x8000, false, true},
        {"equal at the top of the range", 0xFFFF0000, 0xFFFF, true, true},
    };
    for (const ZtestForms& form : ZTEST_FORMS) {
        SCOPED_TRACE(form.name);
        for (const Case& c : cases) {
            auto plain = make_frame();
            auto mmx = make_frame();
            for (RasterFrame* f : {plain.get(), mmx.get()}) {
                f->fill_depth(c.stored);
                f->add_affine(2, 0, 1, 0, 0, 0, 0, static_cast<int32_t>(c.z), 0);
            }
            form.plain(plain->plans(), 1, texels.data(), palette, 4, 16, 0, nullptr, nullptr);
            form.mmx(mmx->plans(), 1, texels.data(), palette, 4, 16, 0, nullptr, nullptr);
            EXPECT_EQ(plain->row(0)[2] != 0, c.plain_draws) << c.why;
            EXPECT_EQ(mmx->row(0)[2] != 0, c.mmx_draws) << c.why;
            EXPECT_EQ(plain->depth_row(0)[2], c.stored) << c.why;
            EXPECT_EQ(mmx->depth_row(0)[2], c.stored) << c.why;
        }
    }
}
