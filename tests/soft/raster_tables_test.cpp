#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "soft/byte_blend.h"
#include "soft/lighting_tables.h"
#include "soft/span_plan.h"
#include "soft/span_warp.h"

TEST(LightingTables, LightProductsSaturateAndRowsAbove127AreBlack)
{
    build_lighting_tables();
    struct Case {
        const char* why;
        int light, colour, expected;
    };
    const Case cases[] = {
        {"light 64 doubles a half-intensity colour", 64, 100, 200},
        {"light 32 keeps the colour", 32, 77, 77},
        {"127 on 127 saturates", 127, 127, 255},
        {"light 0 is black", 0, 90, 0},
        {"rows from 128 are black", 128, 100, 0},
        {"last row is black", 255, 255, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(light_mul_table[c.light][c.colour], c.expected) << c.why;
    }
}

TEST(LightingTables, SignedFractionsFloorTowardMinusInfinity)
{
    build_lighting_tables();
    struct Case {
        const char* why;
        int weight, x, expected;
    };
    const Case cases[] = {
        {"half of -1 floors to -1", 128, 0xFF, 0xFF},
        {"half of 1 floors to 0", 128, 1, 0},
        {"255/256 of 127", 255, 127, 126},
        {"255/256 of -128 floors to -128", 255, 0x80, 0x80},
        {"weight 0", 0, 0x85, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(signed_frac_table[c.weight][c.x], c.expected) << c.why;
    }
}

TEST(LightingTables, GreyWeightsFillAllFourBytes)
{
    build_lighting_tables();
    EXPECT_EQ(grey_weight_table[0], 0u);
    EXPECT_EQ(grey_weight_table[128], 0x3F3F3F3Fu);
    EXPECT_EQ(grey_weight_table[255], 0x7E7E7E7Eu);
}

TEST(SpanReciprocals, AreRoundedSixteenBitReciprocals)
{
    EXPECT_EQ(span_reciprocals[0], 0u);
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(span_reciprocals[n], static_cast<uint32_t>(std::lround(65536.0 / n))) << n;
    }
}

TEST(WarpTable, HoldsTwoPeriodsOfTheScaledSine)
{
    std::vector<float> sine(4096);
    for (int i = 0; i < 4096; ++i) {
        sine[i] = static_cast<float>(std::sin(i * 2.0 * M_PI / 4096));
    }
    std::vector<int32_t> table(WARP_TABLE_ENTRIES);
    build_warp_table(table.data(), sine.data(), 4096);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[256], 131072);
    EXPECT_EQ(table[768], -131072);
    EXPECT_NEAR(table[128], 131072 * std::sqrt(0.5), 1.0);
    for (int k = 0; k < WARP_PERIOD; ++k) {
        ASSERT_EQ(table[k + WARP_PERIOD], table[k]) << k;
    }
}

TEST(ByteBlend, LaneArithmeticMatchesTheSignedFractionTable)
{
    build_lighting_tables();
    uint32_t seed = 1;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    for (int n = 0; n < 200000; ++n) {
        const uint32_t a = next(), b = next(), f = next() >> 24;
        uint32_t lerp = 0;
        for (int k = 0; k < 4; ++k) {
            const uint32_t ak = (a >> (8 * k)) & 0xFF;
            const uint32_t bk = (b >> (8 * k)) & 0xFF;
            lerp |= ((ak + signed_frac_table[f][(bk - ak) & 0xFF]) & 0xFF) << (8 * k);
        }
        ASSERT_EQ(lerp_bytes(a, b, f), lerp) << std::hex << a << " " << b << " " << f;
        ASSERT_EQ(blend_half(a, b & 0x7F7F7F7F, f), blend_half_bytes(a, b & 0x7F7F7F7F, f * 0x01010101u))
            << std::hex << a << " " << b << " " << f;
    }
}
