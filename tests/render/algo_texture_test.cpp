#include "core/numerics.h"
#include "world/view/algo_texture.h"
#include "world/view/palette.h"
#include "texture_fixture.h"

#include <cmath>
#include <numbers>

namespace {

struct WarpParams {
    float wavelength, amplitude, speed, alpha_gain;
};

// The warp written out plainly from its definition, with the cosine taken
// from the C library: what every texel of a generated level must be.
std::vector<uint8_t> model_level(const TexelMap& src, int32_t ticks, const WarpParams& p)
{
    int32_t wave[256];
    int32_t wobble[256];
    for (int i = 0; i < 256; ++i) {
        const double c = static_cast<float>(std::cos(2.0 * std::numbers::pi * i / 256.0));
        wave[i] = static_cast<int32_t>(std::nearbyint(p.amplitude * 256.0 * c));
        wobble[i] = static_cast<int32_t>(std::nearbyint(16.0 * c));
    }
    const int w = src.width;
    const int h = src.height;
    const int lw = std::countr_zero(static_cast<uint32_t>(w));
    const int32_t step = p.wavelength == 0.0f ? 0 : static_cast<int32_t>(std::nearbyint((1 << lw) * 256.0 / (p.wavelength * 16.0)));
    const int32_t phase = static_cast<int32_t>(std::nearbyint(static_cast<double>(static_cast<float>(ticks) * p.speed) * 4.0));
    const int64_t gain = p.amplitude == 0.0f ? 0 : static_cast<int64_t>(std::nearbyint(p.alpha_gain * 1024.0 / p.amplitude));
    const bool two = (src.flags & TEXTURE_TRANSPARENT) != 0;
    std::vector<uint8_t> out(static_cast<size_t>(w * (h + 1) * (two ? 2 : 1)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int32_t u = x * step + y * step + phase + wobble[(phase / 4 + x * (4 << lw)) & 255];
            const int dy = wave[u & 255] >> 8;
            const int dx = wave[(u + 64) & 255] >> 8;
            const int sx = (x + dx) & (w - 1);
            const int sy = (y + dy) & (h - 1);
            if (!two) {
                out[static_cast<size_t>(y * w + x)] = src.texels[sy * w + sx];
                continue;
            }
            const int64_t a = src.texels[2 * (sy * w + sx) + 1] + (wave[(u + 64) & 255] * gain >> 12);
            out[static_cast<size_t>(2 * (y * w + x))] = src.texels[2 * (sy * w + sx)];
            out[static_cast<size_t>(2 * (y * w + x) + 1)] = static_cast<uint8_t>(std::clamp<int64_t>(a, 0, 255));
        }
    }
    const size_t row = static_cast<size_t>(w * (two ? 2 : 1));
    std::copy(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(row), out.begin() + static_cast<std::ptrdiff_t>(row * h));
    return out;
}

bool level_equals(const TexelMap& m, const std::vector<uint8_t>& expected)
{
    return std::equal(expected.begin(), expected.end(), m.texels);
}

std::vector<uint32_t> palette_copy(const Texture* t)
{
    return t->palette != nullptr ? std::vector<uint32_t>(t->palette, t->palette + 256) : std::vector<uint32_t>{};
}

class AlgoTextureTest : public TextureTest {
protected:
    void SetUp() override
    {
        TextureTest::SetUp();
        write("textures/w/opaque.cmt", tools::cmt_bytes(pattern_image(64, 32, false)));
        write("textures/w/alpha.cmt", tools::cmt_bytes(pattern_image(32, 16, true)));
        write("textures/w/small.cmt", tools::cmt_bytes(pattern_image(16, 16, false)));
        write("textures/w/big.cmt", tools::cmt_bytes(pattern_image(32, 32, false)));
        write("textures/w/anim.cmt", tools::mips_bytes({{"small", 1.0f}, {"big", 1.0f}}, 0));
    }
    void use(const char* name)
    {
        ASSERT_EQ(slot_.load("w", name, TEXTURE_KIND_MAP, nullptr), 1);
        anim_ = TextureAnim{&slot_, 0, 0.0f};
    }
    void TearDown() override
    {
        algo_.release();
        slot_.release();
        TextureTest::TearDown();
    }
    TextureSlot slot_;
    TextureAnim anim_;
    AlgoTexture algo_;
};

TEST_F(AlgoTextureTest, ScrollOffsetsAreSpeedTimesTicksInTwentyFourBits)
{
    use("opaque");
    const struct {
        float speed;
        int32_t ticks;
        int32_t fixed_speed;
        int32_t offset;
    } cases[] = {
        {2.0f, 35, 1872, 65520},                  // half a second: just under one texel
        {2.0f, 0, 1872, 0},
        {2.0f, 10000, 1872, 18720000 - 0x1000000}, // past 256 texels: wrapped
        {-2.0f, 35, -1872, 0x1000000 - 65520},
        {70.0f, 256, 65536, 0},                    // one texel a tick: 256 ticks is a whole turn
        {1.0e9f, 1000, INT_INDEFINITE, 0},         // beyond 32 bits: a defined value, no trap
    };
    for (const auto& c : cases) {
        ASSERT_EQ(algo_.init(&anim_, c.speed, 0.5f, 0, 0, 0, 0, 0), 1);
        EXPECT_EQ(algo_.speed_u, c.fixed_speed) << c.speed;
        EXPECT_EQ(algo_.speed_v, 468);
        Texture* t = algo_.update(c.ticks);
        EXPECT_EQ(t, slot_.frames[0].texture); // mode 0: the source itself
        EXPECT_EQ(algo_.warped, nullptr);
        EXPECT_EQ(algo_.scroll_u, c.offset) << c.speed << " at " << c.ticks;
        EXPECT_EQ(algo_.scroll_v, (468 * c.ticks) & 0xFFFFFF);
    }
}

TEST_F(AlgoTextureTest, WarpFollowsTheTravellingWave)
{
    const struct {
        const char* name;
        WarpParams p;
    } cases[] = {
        {"opaque", {2.0f, 3.0f, 1.5f, 0.0f}},
        {"opaque", {0.7f, 1.25f, -2.0f, 0.0f}},
        {"alpha", {1.0f, 2.0f, 1.0f, 0.5f}},
        {"alpha", {3.0f, 6.0f, 0.25f, -4.0f}},  // alpha driven below 0 and above 255
        {"opaque", {0.0f, 2.0f, 1.0f, 0.0f}},   // wavelength 0: the wave moves the texture as a whole
        {"alpha", {1.0f, 0.0f, 1.0f, 3.0f}},    // amplitude 0: no displacement, no alpha change
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.p.wavelength << " " << c.p.amplitude);
        use(c.name);
        ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 1, c.p.wavelength, c.p.amplitude, c.p.speed, c.p.alpha_gain), 1);
        const Texture* src = slot_.frames[0].texture;
        for (int32_t ticks : {0, 1, 7, 300, 12345}) {
            Texture* t = algo_.update(ticks);
            ASSERT_EQ(t, algo_.warped);
            EXPECT_EQ(palette_copy(t), palette_copy(src));
            for (int l = 0; l < 5; ++l) {
                ASSERT_TRUE(level_equals(t->levels[l], model_level(src->levels[l], ticks, c.p))) << "level " << l
                                                                                                  << " tick " << ticks;
            }
        }
        if (c.p.amplitude == 0.0f) {
            const TexelMap& m = src->levels[0];
            EXPECT_TRUE(std::equal(m.texels, m.texels + 2 * m.width * (m.height + 1), algo_.warped->levels[0].texels));
        }
    }
}

TEST_F(AlgoTextureTest, DisplacementWrapsAroundTheEdges)
{
    use("small");
    // No phase along the texture and none in time: texel (0, 0) takes u = wobble[0] = 16,
    // dy = 946 >> 8 = 3 and dx = -392 >> 8 = -2: the source texel (14, 3).
    ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 1, 1.0e9f, 4.0f, 0.0f, 0.0f), 1);
    const Texture* t = algo_.update(3);
    const TexelMap& src = slot_.frames[0].texture->levels[0];
    EXPECT_EQ(algo_.warped->wave[16], 946);
    EXPECT_EQ(algo_.warped->wave[80], -392);
    EXPECT_EQ(t->levels[0].texels[0], src.texels[3 * 16 + 14]);
}

TEST_F(AlgoTextureTest, OneGenerationPerTick)
{
    use("opaque");
    ASSERT_EQ(algo_.init(&anim_, 1.0f, 0.0f, 1, 2.0f, 3.0f, 1.0f, 0.0f), 1);
    Texture* first = algo_.update(10);
    const uint8_t before = first->levels[0].texels[0];
    first->levels[0].texels[0] = static_cast<uint8_t>(before + 1);
    EXPECT_EQ(algo_.update(10), first);
    EXPECT_EQ(first->levels[0].texels[0], static_cast<uint8_t>(before + 1)); // not generated again
    algo_.update(11);
    algo_.update(10);
    EXPECT_EQ(first->levels[0].texels[0], before);
}

TEST_F(AlgoTextureTest, SwitchedOffOrUnknownModesLeaveTheWarpAlone)
{
    use("opaque");
    ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 1, 2.0f, 3.0f, 1.0f, 0.0f), 1);
    ConfigVariable* on = variables_.find("R_AlgoTextures");
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->flags() & 0xF00, 0x100u);
    ASSERT_EQ(on->set_bool(0), 1);
    EXPECT_EQ(algo_.update(5), slot_.frames[0].texture);
    EXPECT_EQ(algo_.scroll_u, 0);
    ASSERT_EQ(on->set_bool(1), 1);
    EXPECT_EQ(algo_.update(6), algo_.warped);

    // Any other mode gives the warped texture as it stands.
    ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 7, 2.0f, 3.0f, 1.0f, 0.0f), 1);
    Texture* kept = algo_.update(8);
    EXPECT_EQ(kept, algo_.warped);
    EXPECT_EQ(std::count(kept->levels[0].texels, kept->levels[0].texels + 64 * 33, 0), 64 * 33);

    // The variable is released with the last user.
    algo_.release();
    EXPECT_EQ(variables_.find("R_AlgoTextures"), nullptr);
}

TEST_F(AlgoTextureTest, AnimatedSourceOfAnotherSizeIsDrawnUnwarped)
{
    use("anim");
    ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 1, 2.0f, 3.0f, 1.0f, 0.0f), 1);
    EXPECT_EQ(algo_.warped->usize, 16);
    EXPECT_EQ(algo_.update(35), algo_.warped);
    for (int32_t ticks = 70; ticks < 140; ticks += 10) {
        Texture* t = algo_.update(ticks);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->usize, 32);
        EXPECT_EQ(t, slot_.frames[1].texture);
    }
    EXPECT_EQ(capture_.count("WarpTexture: Source of another size (32 * 32), drawn unwarped"), 1);
    EXPECT_EQ(algo_.update(150), algo_.warped); // back to the first frame
}

// The renderer draws a surface after asking for its texture, and other textures
// load in between: the heap may drop the algorithmic texture's source then.
TEST_F(AlgoTextureTest, SourceDroppedByTheHeapBeforeTheDraw)
{
    // Room for one of the two textures' data at a time; freed space is overwritten.
    open_heap(8 * 1024, KHEAP_CHECK | KHEAP_DEADBEEF);
    write("textures/w/other.cmt", tools::cmt_bytes(pattern_image(64, 32, false, 5)));
    TextureSlot other;
    ASSERT_EQ(other.load("w", "other", TEXTURE_KIND_MAP, nullptr), 1);
    const struct {
        uint32_t mode;
        bool enabled;
        bool warped; // whether the warped texture is drawn
    } cases[] = {
        {1, true, true},
        {7, true, true},   // keeps its texels, still takes the source's colours
        {0, true, false},  // scroll only: the source itself
        {1, false, false}, // warp switched off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.enabled ? "" : " off"));
        use("opaque");
        ASSERT_EQ(algo_.init(&anim_, 1.0f, 0.0f, c.mode, 2.0f, 3.0f, 1.0f, 0.0f), 1);
        ASSERT_EQ(variables_.find("R_AlgoTextures")->set_bool(c.enabled ? 1 : 0), 1);
        const int32_t ticks = 20;
        Texture* drawn = algo_.update(ticks);
        ASSERT_NE(drawn, nullptr);
        ASSERT_EQ(drawn == algo_.warped, c.warped);
        const std::vector<uint32_t> colours = palette_copy(slot_.frames[0].texture);
        ASSERT_EQ(colours.size(), 256u);
        const std::vector<uint8_t> texels(drawn->levels[0].texels, drawn->levels[0].texels + 64 * 33);

        TextureAnim other_anim{&other, 0, 0.0f};
        ASSERT_NE(other.get_frame(other_anim, ticks), nullptr);
        ASSERT_EQ(slot_.frames[0].texture, nullptr); // the source was dropped

        if (c.warped) {
            // The texture given before the drop is still whole.
            EXPECT_EQ(palette_copy(drawn), colours);
            EXPECT_TRUE(std::equal(texels.begin(), texels.end(), drawn->levels[0].texels));
        }
        // Another surface in the same tick gets a texture that is there.
        Texture* again = algo_.update(ticks);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again == algo_.warped, c.warped);
        if (!c.warped) {
            EXPECT_EQ(again, slot_.frames[0].texture); // loaded again
        }
        EXPECT_EQ(palette_copy(again), colours);
        EXPECT_TRUE(std::equal(texels.begin(), texels.end(), again->levels[0].texels));
        EXPECT_EQ(heap_.check(1), 1);
        algo_.release();
    }
    EXPECT_EQ(errors(), 0);
}

// A palette converted while the tick stands still (a paused game whose video
// mode changes) shows at once in the warped texture.
TEST_F(AlgoTextureTest, PaletteConversionShowsWithinTheTick)
{
    use("opaque");
    ASSERT_EQ(algo_.init(&anim_, 0.0f, 0.0f, 1, 2.0f, 3.0f, 1.0f, 0.0f), 1);
    const std::vector<uint32_t> before = palette_copy(algo_.update(40));
    const uint8_t layout[4] = {16, 8, 0, 24};
    slot_.convert(layout);
    const std::vector<uint32_t> after = palette_copy(algo_.update(40));
    ASSERT_EQ(after.size(), 256u);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(after[i], colour_convert(before[i], layout)) << i;
    }
}

} // namespace
