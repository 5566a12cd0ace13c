// The SSE2 forms of the drawers (the public names on x86-64) against their
// portable forms, over random inputs and edge values: every pixel must match.
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/drawer_portable.h"
#include "soft/light_block.h"
#include "soft/lit_span.h"
#include "soft/mesh_span.h"
#include "soft/row_draw.h"
#include "soft/screen_tint.h"
#include "soft/span_warp.h"
#include "soft/translucent_span.h"

namespace {

constexpr int ROUNDS = 60;

// Wide enough for spans and rows of several hundred pixels.
using TestFrame = RasterFrameOf<320, 8>;

std::unique_ptr<TestFrame> new_frame() { return make_frame<TestFrame::WIDTH, TestFrame::HEIGHT>(); }

using Random = std::mt19937;

uint32_t random_word(Random& rng) { return static_cast<uint32_t>(rng()); }

int random_int(Random& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

// A byte of a value: random in [low, high], or one of the two ends.
struct ByteRange {
    const char* why;
    int low, high;
    bool ends_only;

    uint32_t byte(Random& rng) const
    {
        if (ends_only) {
            return static_cast<uint32_t>(random_int(rng, 0, 1) != 0 ? high : low);
        }
        return static_cast<uint32_t>(random_int(rng, low, high));
    }
    uint32_t word(Random& rng) const { return byte(rng) | byte(rng) << 8 | byte(rng) << 16 | byte(rng) << 24; }
};

// Every pixel of the two frames alike, or the first that differs.
testing::AssertionResult same_pixels(const TestFrame& a, const TestFrame& b)
{
    for (int i = 0; i < TestFrame::WIDTH * TestFrame::HEIGHT; ++i) {
        if (a.pixels[i] != b.pixels[i]) {
            return testing::AssertionFailure() << "pixel " << i % TestFrame::WIDTH << ", " << i / TestFrame::WIDTH
                                               << ": " << std::hex << a.pixels[i] << " against " << b.pixels[i];
        }
    }
    return testing::AssertionSuccess();
}

// Opacities, weights and strengths: random, the two ends, and both ends
// side by side.
const ByteRange WEIGHTS[] = {
    {"random weights", 0, 255, false},
    {"weight 0", 0, 0, false},
    {"weight 255", 255, 255, false},
    {"weights 0 and 255 side by side", 0, 255, true},
};

// A drawer's public form (the SSE2 one on x86-64) and its portable form.
template <typename Drawer>
struct FormPair {
    const char* name;
    Drawer fast, portable;
};

// Runs check(form, weights, rng) ROUNDS times for each form and row of WEIGHTS.
template <typename Form, size_t N, typename CheckFn>
void each_weighted_case(const Form (&forms)[N], uint32_t seed, CheckFn&& check)
{
    Random rng(seed);
    for (const Form& form : forms) {
        for (const ByteRange& weights : WEIGHTS) {
            for (int round = 0; round < ROUNDS; ++round) {
                SCOPED_TRACE(testing::Message() << form.name << ", " << weights.why << ", round " << round);
                check(form, weights, rng);
                if (testing::Test::HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

// A 16 x 16 texture with its repeated row, of 8- and 16-bit texels, a random
// palette and a random warp table.
struct RandomTexture {
    std::vector<uint8_t> texels = std::vector<uint8_t>(16 * 17);
    std::vector<uint16_t> texels16 = std::vector<uint16_t>(16 * 17);
    uint32_t palette[256];
    std::vector<int32_t> warp = std::vector<int32_t>(WARP_TABLE_ENTRIES);

    RandomTexture(Random& rng, const ByteRange& opacity)
    {
        for (size_t i = 0; i < texels.size(); ++i) {
            texels[i] = static_cast<uint8_t>(rng());
            texels16[i] = static_cast<uint16_t>((rng() & 0xFF) | opacity.byte(rng) << 8);
        }
        for (uint32_t& p : palette) {
            p = random_word(rng);
        }
        for (int32_t& w : warp) {
            w = random_int(rng, -0x30000, 0x30000);
        }
    }
};

// The same random pixels in both frames, and depths either side of 32768.
void fill_random(Random& rng, TestFrame* a, TestFrame* b)
{
    for (int i = 0; i < TestFrame::WIDTH * TestFrame::HEIGHT; ++i) {
        a->pixels[i] = b->pixels[i] = random_word(rng);
        a->depth[i] = b->depth[i] = static_cast<uint16_t>(0x7FF0 + random_int(rng, 0, 32));
    }
}

// A random count of pixels from x: 0 (or 1) to 17, or up to the frame's width.
int random_count(Random& rng, int x, int least)
{
    const int longest = TestFrame::WIDTH - x;
    return random_int(rng, 0, 1) != 0 ? random_int(rng, least, std::min(17, longest)) : random_int(rng, least, longest);
}

// fill_random, and the same random plans in both frames, at unaligned
// starts, on random rows.
void add_random_plans(Random& rng, TestFrame* a, TestFrame* b)
{
    fill_random(rng, a, b);
    const int plans = random_int(rng, 1, 6);
    for (int p = 0; p < plans; ++p) {
        const int x = random_int(rng, 0, TestFrame::WIDTH - 1);
        const int count = random_count(rng, x, 1);
        const int y = random_int(rng, 0, TestFrame::HEIGHT - 1);
        const int32_t u = random_int(rng, -(1 << 24), 1 << 24);
        const int32_t v = random_int(rng, -(1 << 24), 1 << 24);
        const int32_t du = random_int(rng, -0x60000, 0x60000);
        const int32_t dv = random_int(rng, -0x60000, 0x60000);
        // Depths around the stored ones, either side of 32768.
        const int32_t z = static_cast<int32_t>(0x7FF00000u + static_cast<uint32_t>(random_int(rng, 0, 0x200000)));
        const int32_t dz = random_int(rng, -0x8000, 0x8000);
        a->add_affine(x, y, count, u, v, du, dv, z, dz);
        b->add_affine(x, y, count, u, v, du, dv, z, dz);
    }
}

using LitDrawer = void (*)(SpanPlan*, int, const uint8_t*, const uint32_t*, int, int, int, int32_t, int32_t,
                           const int32_t*, const int32_t*);
using TranslucentDrawer = void (*)(SpanPlan*, int, const uint16_t*, const uint32_t*, int, int, int, const int32_t*,
                                   const int32_t*);

} // namespace

TEST(SimdForms, LitSpansMatchThePortableForms)
{
    // The light block holds bytes 0 to 127, but the forms agree on every
    // byte (the table of the plain form has rows above 127, all 0).
    struct Form {
        const char* name;
        LitDrawer fast, portable;
    };
    const Form forms[] = {
        {"lit", span_draw_lit, span_draw_lit_portable},
        {"lit blend", span_draw_lit_blend, span_draw_lit_blend_portable},
        {"lit filtered", span_draw_lit_filtered, span_draw_lit_filtered_portable},
        {"mmx", span_draw_lit_mmx, span_draw_lit_mmx_portable},
    };
    const ByteRange any{"any", 0, 255, false};
    Random rng(17);
    for (const Form& form : forms) {
        const ByteRange lights[] = {
            {"random lights", 0, 255, false},
            {"random lights of the light block's range", 0, 127, false},
            {"no light", 0, 0, false},
            {"lights of 127", 127, 127, false},
            {"lights of 255", 255, 255, false},
            {"the lowest and highest lights side by side", 0, 255, true},
            {"lights of 127 and 0 side by side", 0, 127, true},
            {"lights of 128 and 127 side by side", 127, 128, true},
        };
        for (const ByteRange& light : lights) {
            for (int round = 0; round < ROUNDS; ++round) {
                const RandomTexture tex(rng, any);
                for (uint32_t& l : surface_light_block) {
                    l = light.word(rng);
                }
                auto fast = new_frame();
                auto portable = new_frame();
                add_random_plans(rng, fast.get(), portable.get());
                const int level = random_int(rng, 0, 2);
                const int32_t light_s = random_int(rng, -(1 << 22), 1 << 22);
                const int32_t light_t = random_int(rng, -(1 << 22), 1 << 22);
                const bool warped = random_int(rng, 0, 2) == 0;
                const int32_t* S = warped ? tex.warp.data() + random_int(rng, 0, 1023) : nullptr;
                const int32_t* T = warped ? tex.warp.data() + random_int(rng, 0, 1023) : nullptr;
                form.fast(fast->plans(), fast->plan_count, tex.texels.data(), tex.palette, 4, 16, level, light_s,
                          light_t, S, T);
                form.portable(portable->plans(), portable->plan_count, tex.texels.data(), tex.palette, 4, 16, level,
                              light_s, light_t, S, T);
                ASSERT_TRUE(same_pixels(*fast, *portable))
                    << form.name << ", " << light.why << ", round " << round << (warped ? ", warped" : "");
            }
        }
    }
}

TEST(SimdForms, TranslucentSpansMatchThePortableForms)
{
    using Form = FormPair<TranslucentDrawer>;
    const Form forms[] = {
        {"ztest", span_draw_ztest, span_draw_ztest_portable},
        {"ztest mmx", span_draw_ztest_mmx, span_draw_ztest_mmx_portable},
    };
    each_weighted_case(forms, 18, [](const Form& form, const ByteRange& opacity, Random& rng) {
        const RandomTexture tex(rng, opacity);
        auto fast = new_frame();
        auto portable = new_frame();
        add_random_plans(rng, fast.get(), portable.get());
        const int level = random_int(rng, 0, 2);
        const bool warped = random_int(rng, 0, 2) == 0;
        const int32_t* S = warped ? tex.warp.data() + random_int(rng, 0, 1023) : nullptr;
        const int32_t* T = warped ? tex.warp.data() + random_int(rng, 0, 1023) : nullptr;
        form.fast(fast->plans(), fast->plan_count, tex.texels16.data(), tex.palette, 4, 16, level, S, T);
        form.portable(portable->plans(), portable->plan_count, tex.texels16.data(), tex.palette, 4, 16, level, S, T);
        ASSERT_TRUE(same_pixels(*fast, *portable)) << (warped ? "warped" : "");
        EXPECT_EQ(std::memcmp(fast->depth, portable->depth, sizeof(fast->depth)), 0);
    });
}

TEST(SimdForms, MeshSpansMatchThePortableForms)
{
    // Lights are 8.8 light steps; the mesh code keeps them within 0 to 127.99
    // steps, but both forms are held to their formulas for any 32-bit value.
    struct LightRange {
        const char* why;
        int32_t low, high;
        bool any;
    };
    const LightRange lights[] = {
        {"lights within 0 to 127.99 steps", 0, 0x7FFF, false},
        {"no light", 0, 0, false},
        {"full light", 0x7FFF, 0x7FFF, false},
        {"any light values and steps", 0, 0, true},
    };
    using Form = FormPair<void (*)(uint32_t*, uint16_t*, int, const ZlitSpan&)>;
    const Form forms[] = {
        {"zlit", span_draw_zlit, span_draw_zlit_portable},
        {"zlit mmx", span_draw_zlit_mmx, span_draw_zlit_mmx_portable},
    };
    constexpr int SIZE = 64;
    Random rng(21);
    std::vector<uint8_t> texels(SIZE * SIZE);
    for (const Form& form : forms) {
        for (const LightRange& light : lights) {
            for (int round = 0; round < ROUNDS; ++round) {
                SCOPED_TRACE(testing::Message() << form.name << ", " << light.why << ", round " << round);
                for (uint8_t& t : texels) {
                    t = static_cast<uint8_t>(rng());
                }
                uint32_t palette[256];
                for (uint32_t& p : palette) {
                    p = random_word(rng);
                }
                auto fast = new_frame();
                auto portable = new_frame();
                fill_random(rng, fast.get(), portable.get());
                for (int span_number = 0; span_number < 4; ++span_number) {
                    const int x = random_int(rng, 0, TestFrame::WIDTH - 1);
                    const int y = random_int(rng, 0, TestFrame::HEIGHT - 1);
                    const int count = random_count(rng, x, 1);
                    // Texel positions that run between two random points of the
                    // texture, either way, as the mesh code keeps them.
                    const int32_t u = random_int(rng, 0, (SIZE << 16) - 1);
                    const int32_t v = random_int(rng, 0, (SIZE << 16) - 1);
                    const int steps = std::max(count - 1, 1);
                    ZlitSpan span{};
                    span.texels = texels.data() + (v >> 16) * SIZE + (u >> 16);
                    span.palette = palette;
                    span.width = SIZE;
                    span.u_fraction = static_cast<uint32_t>(u) & 0xFFFF;
                    span.v_fraction = static_cast<uint32_t>(v) & 0xFFFF;
                    span.du = (random_int(rng, 0, (SIZE << 16) - 1) - u) / steps;
                    span.dv = (random_int(rng, 0, (SIZE << 16) - 1) - v) / steps;
                    span.depth =
                        static_cast<int32_t>(0x7FF00000u + static_cast<uint32_t>(random_int(rng, 0, 0x200000)));
                    span.depth_step = random_int(rng, -0x8000, 0x8000);
                    for (int k = 0; k < 4; ++k) {
                        if (light.any) {
                            span.light[k] = static_cast<int32_t>(random_word(rng));
                            span.light_step[k] = static_cast<int32_t>(random_word(rng));
                        } else {
                            span.light[k] = random_int(rng, light.low, light.high);
                            span.light_step[k] = (random_int(rng, light.low, light.high) - span.light[k]) / steps;
                        }
                    }
                    form.fast(fast->row(y) + x, fast->depth_row(y) + x, count, span);
                    form.portable(portable->row(y) + x, portable->depth_row(y) + x, count, span);
                }
                ASSERT_TRUE(same_pixels(*fast, *portable));
                ASSERT_EQ(std::memcmp(fast->depth, portable->depth, sizeof(fast->depth)), 0);
            }
        }
    }
}

namespace {

// What a row drawer reads, drawn at a random place of a frame row.
constexpr int ROW_TEXELS = 1024;

struct RowInputs {
    std::vector<uint16_t> texels16 = std::vector<uint16_t>(ROW_TEXELS);
    std::vector<uint8_t> weights = std::vector<uint8_t>(ROW_TEXELS);
    uint32_t palette[256];
    uint32_t colour;
    int32_t u, du, z;
};

using RowDrawer = void (*)(uint32_t* destination, const uint16_t* depth_row, int count, const RowInputs& in);

// The three kinds of row drawer behind one signature.
template <auto Draw>
void icon_row(uint32_t* destination, const uint16_t*, int count, const RowInputs& in)
{
    Draw(destination, count, in.texels16.data(), in.palette, in.u, in.du);
}

template <auto Draw>
void sprite_row(uint32_t* destination, const uint16_t* depth_row, int count, const RowInputs& in)
{
    Draw(destination, depth_row, count, in.texels16.data(), in.palette, in.u, in.du, in.z);
}

template <auto Draw>
void blend_row(uint32_t* destination, const uint16_t*, int count, const RowInputs& in)
{
    Draw(destination, count, in.weights.data(), in.colour, in.u, in.du);
}

} // namespace

TEST(SimdForms, RowDrawersMatchThePortableForms)
{
    using Form = FormPair<RowDrawer>;
    const Form forms[] = {
        {"icon", icon_row<row_draw_icon>, icon_row<row_draw_icon_portable>},
        {"icon mmx", icon_row<row_draw_icon_mmx>, icon_row<row_draw_icon_mmx_portable>},
        {"sprite", sprite_row<row_draw_sprite>, sprite_row<row_draw_sprite_portable>},
        {"sprite mmx", sprite_row<row_draw_sprite_mmx>, sprite_row<row_draw_sprite_mmx_portable>},
        {"blend", blend_row<row_draw_blend>, blend_row<row_draw_blend_portable>},
        {"blend mmx", blend_row<row_draw_blend_mmx>, blend_row<row_draw_blend_mmx_portable>},
    };
    each_weighted_case(forms, 19, [](const Form& form, const ByteRange& opacity, Random& rng) {
        RowInputs in;
        for (int i = 0; i < ROW_TEXELS; ++i) {
            in.texels16[i] = static_cast<uint16_t>((rng() & 0xFF) | opacity.byte(rng) << 8);
            in.weights[i] = static_cast<uint8_t>(opacity.byte(rng));
        }
        for (uint32_t& p : in.palette) {
            p = random_word(rng);
        }
        in.colour = random_word(rng);
        // Up to 320 pixels of up to three texels each from texel 63.
        in.u = random_int(rng, 0, 63 << 16);
        in.du = random_int(rng, 0, 0x30000);
        in.z = static_cast<int32_t>(0x7FF00000u + static_cast<uint32_t>(random_int(rng, 0, 0x200000)));
        auto fast = new_frame();
        auto portable = new_frame();
        fill_random(rng, fast.get(), portable.get());
        const int x = random_int(rng, 0, TestFrame::WIDTH - 1);
        const int count = random_count(rng, x, 0);
        form.fast(fast->row(3) + x, fast->depth_row(3) + x, count, in);
        form.portable(portable->row(3) + x, portable->depth_row(3) + x, count, in);
        ASSERT_TRUE(same_pixels(*fast, *portable)) << count << " pixels from " << x;
    });
}

TEST(SimdForms, ScreenTintsMatchThePortableForms)
{
    using Form = FormPair<void (*)(uint32_t*, int, int, int, uint32_t, uint32_t)>;
    const Form forms[] = {
        {"plain", blend_span_to_colour, blend_span_to_colour_portable},
        {"mmx", blend_span_to_colour_mmx, blend_span_to_colour_mmx_portable},
    };
    each_weighted_case(forms, 20, [](const Form& form, const ByteRange& strength, Random& rng) {
        auto fast = new_frame();
        auto portable = new_frame();
        fill_random(rng, fast.get(), portable.get());
        const int x = random_int(rng, 0, TestFrame::WIDTH - 1);
        const int y = random_int(rng, 0, TestFrame::HEIGHT - 1);
        const int width = random_count(rng, x, 1);
        const int height = random_int(rng, 1, (TestFrame::HEIGHT - y + 1) / 2);
        const uint32_t colour = random_word(rng);
        const uint32_t s = strength.word(rng);
        // Every other row: the pitch skips a row that must stay.
        form.fast(fast->row(y) + x, width, height, 2 * TestFrame::WIDTH, colour, s);
        form.portable(portable->row(y) + x, width, height, 2 * TestFrame::WIDTH, colour, s);
        ASSERT_TRUE(same_pixels(*fast, *portable)) << width << " x " << height << " from " << x << ", " << y;
    });
}
