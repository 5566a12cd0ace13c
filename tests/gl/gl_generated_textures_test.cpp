// Textures made by formula: sizes, values worked out by hand at chosen
// texels, and the symmetry each formula has about its centre.
#include "gl/gl_generated_textures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct Texel {
    int32_t row;
    int32_t column;
    uint8_t grey;
    uint8_t alpha;
};

uint8_t byte_at(const std::vector<uint8_t>& texels, int32_t side, int32_t row, int32_t column, int byte)
{
    return texels[static_cast<size_t>((row * side + column) * 4 + byte)];
}

void expect_texels(const std::vector<uint8_t>& texels, int32_t side, const std::vector<Texel>& expected)
{
    ASSERT_EQ(texels.size(), static_cast<size_t>(side * side * 4));
    for (const Texel& t : expected) {
        SCOPED_TRACE("row " + std::to_string(t.row) + " column " + std::to_string(t.column));
        for (int byte = 0; byte < 3; ++byte) {
            EXPECT_EQ(byte_at(texels, side, t.row, t.column, byte), t.grey);
        }
        EXPECT_EQ(byte_at(texels, side, t.row, t.column, 3), t.alpha);
    }
}

// Mirrored about the centre lines and the diagonal: rows and columns
// `first` .. side - 1 sample -first .. side - 1 + first.
void expect_symmetric(const std::vector<uint8_t>& texels, int32_t side, int32_t first)
{
    const int32_t last = side - 1;
    for (int32_t r = first; r < side; ++r) {
        for (int32_t c = first; c < side; ++c) {
            const uint32_t v = byte_at(texels, side, r, c, 0) | byte_at(texels, side, r, c, 3) << 8;
            const int32_t mr = last + first - r;
            const int32_t mc = last + first - c;
            ASSERT_EQ(v, (byte_at(texels, side, mr, c, 0) | byte_at(texels, side, mr, c, 3) << 8)) << r << ", " << c;
            ASSERT_EQ(v, (byte_at(texels, side, r, mc, 0) | byte_at(texels, side, r, mc, 3) << 8)) << r << ", " << c;
            ASSERT_EQ(v, (byte_at(texels, side, c, r, 0) | byte_at(texels, side, c, r, 3) << 8)) << r << ", " << c;
        }
    }
}

} // namespace

TEST(EnvBitmapTest, AGaussianPeakThatSharpensAndBrightensWithTheLevel)
{
    // Texel (32 + y, 32 + x); exp(-k (x^2 + y^2)) 255 I by hand, rounded.
    const struct {
        int level;
        std::vector<Texel> texels;
    } cases[] = {
        {0, {{32, 32, 54, 255}, {0, 0, 0, 255}, {42, 42, 31, 255}}},   // 54.19, 0.17, 30.81
        {3, {{28, 37, 68, 255}}},                                         // 67.69
        {5, {{32, 0, 0, 255}}},
        {7, {{32, 32, 255, 255}, {32, 31, 240, 255}, {32, 42, 0, 255}}}, // 255, 239.55, 0.49
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        expect_texels(env_bitmap_texels(c.level), ENV_BITMAP_SIZE, c.texels);
    }
    uint8_t previous_peak = 0;
    int32_t previous_width = ENV_BITMAP_SIZE;
    for (int level = 0; level < ENV_BITMAPS; ++level) {
        SCOPED_TRACE(level);
        const std::vector<uint8_t> texels = env_bitmap_texels(level);
        ASSERT_EQ(texels.size(), size_t{64 * 64 * 4});
        expect_symmetric(texels, ENV_BITMAP_SIZE, 1);
        const uint8_t peak = byte_at(texels, 64, 32, 32, 0);
        int32_t width = 0;
        for (int32_t c = 32; c < 64 && byte_at(texels, 64, 32, c, 0) * 2 >= peak; ++c) {
            ++width;
            if (c > 32) {
                EXPECT_LE(byte_at(texels, 64, 32, c, 0), byte_at(texels, 64, 32, c - 1, 0));
            }
        }
        EXPECT_GT(peak, previous_peak);
        EXPECT_LE(width, previous_width);
        previous_peak = peak;
        previous_width = width;
    }
    EXPECT_TRUE(env_bitmap_texels(-1).empty());
    EXPECT_TRUE(env_bitmap_texels(ENV_BITMAPS).empty());
}

TEST(GeneratedTextureTest, SpotGlowAndRingAtChosenTexels)
{
    // Sampled at -side + 1, -side + 3, ..: texel index i stands at 2 i - side + 1.
    const struct {
        const char* name;
        std::function<std::vector<uint8_t>()> make;
        int32_t side;
        std::vector<Texel> texels;
    } cases[] = {
        // White; alpha exp(-5 (x^2 + y^2) / 256) 255 truncated.
        {"spot", particle_spot_texels, PARTICLE_SPOT_SIZE,
         {{7, 7, 255, 245}, {8, 8, 255, 245}, {15, 15, 255, 0}, {0, 0, 255, 0}, {6, 11, 255, 82}, {12, 8, 255, 51},
          {9, 8, 255, 209}, {11, 11, 255, 37}}}, // 209.76 and 37.61 truncated
        // q = (x^2 + y^2) / 1024: 248.21, 35.66 inside q < 0.5; 31.75, 22.29,
        // 10.83 on the slope; 0 from q = 1 on.
        {"glow", flare_glow_texels, FLARE_TEXTURE_SIZE,
         {{15, 15, 248, 255}, {16, 16, 248, 255}, {23, 23, 35, 255}, {24, 23, 31, 255}, {8, 26, 22, 255},
          {8, 3, 10, 255}, {31, 31, 0, 255}}},
        // q = (x^2 + y^2) / 819: 133.80 at the centre rising to 245.21 near
        // the rim, 0 past it.
        {"ring", flare_ring_texels, FLARE_TEXTURE_SIZE,
         {{15, 15, 133, 255}, {24, 23, 228, 255}, {22, 27, 245, 255}, {8, 3, 0, 255}, {0, 0, 0, 255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> texels = c.make();
        expect_texels(texels, c.side, c.texels);
        expect_symmetric(texels, c.side, 0);
    }
}
