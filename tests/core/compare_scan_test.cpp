#include "core/byte_order.h"
#include "core/compare_nocase.h"
#include "core/numerics.h"
#include "core/scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

TEST(CompareNocase, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(compare_nocase("Base", "bASE"), 0);
    EXPECT_LT(compare_nocase("a", "b"), 0);
    EXPECT_GT(compare_nocase("abc", "ab"), 0);
    // '[' (0x5B) sits between 'Z' and 'a': no folding for it.
    EXPECT_NE(compare_nocase("[", "{"), 0);
    EXPECT_EQ(compare_nocase("\xC4", "\xC4"), 0);
    EXPECT_NE(compare_nocase("\xC4", "\xE4"), 0);
}

TEST(ScanInt, FollowsPercentIRules)
{
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"12", true, 12},          {"  -7", true, -7},       {"0x10", true, 16},
        {"010", true, 8},          {"12abc", true, 12},      {"abc", false, 0},
        {"", false, 0},            {"-", false, 0},          {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {"0xFFFFFFFF", true, -1},
        {"0x100000000", false, 0}, {"99999999999999999999", false, 0}, {"0x", true, 0},
    };
    for (const Case& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(scan_int(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(ByteOrder, SwapsReverseBytes)
{
    EXPECT_EQ(swap16(0x1234u), 0x3412u);
    EXPECT_EQ(swap16(0xABCD1234u), 0x3412u); // only the low 16 bits
    EXPECT_EQ(swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(std::bit_cast<uint32_t>(swap_float(std::bit_cast<float>(0x0000803Fu))), 0x3F800000u);
    const unsigned char bytes[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(read_le32(bytes), 0x12345678u);
    EXPECT_EQ(read_le16(bytes + 2), 0x1234u);
}

// Out-of-range and NaN conversions give the x87 "integer indefinite".
TEST(Numerics, FloatToIntAtTheEdges)
{
    struct Case {
        double v;
        int32_t trunc;
        int32_t round;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {2.5, 2, 2},
        {3.5, 3, 4},
        {-2.5, -2, -2},
        {-2.7, -2, -3},
        {2147483647.4, INT32_MAX, INT32_MAX},
        {2147483647.5, INT32_MAX, INT_INDEFINITE},
        {2147483648.0, INT_INDEFINITE, INT_INDEFINITE},
        {-2147483648.5, INT32_MIN, INT32_MIN},
        {-2147483648.9, INT32_MIN, INT_INDEFINITE},
        {-2147483649.0, INT_INDEFINITE, INT_INDEFINITE},
        {nan, INT_INDEFINITE, INT_INDEFINITE},
        {inf, INT_INDEFINITE, INT_INDEFINITE},
        {-inf, INT_INDEFINITE, INT_INDEFINITE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(float_to_int_trunc(c.v), c.trunc) << c.v;
        EXPECT_EQ(float_to_int_round(c.v), c.round) << c.v;
    }
}

TEST(Numerics, DivisionNeverTraps)
{
    EXPECT_EQ(safe_div(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(safe_mod(INT32_MIN, -1), 0);
    EXPECT_EQ(safe_div(7, 0), 0);
    EXPECT_EQ(safe_mod(7, 0), 0);
    EXPECT_EQ(safe_div(-7, 2), -3);
    EXPECT_EQ(safe_mod(-7, 2), -1);
    EXPECT_EQ(wrap_add(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(wrap_mul(0x10000, 0x10000), 0);
    EXPECT_EQ(wrap_neg(INT32_MIN), INT32_MIN);
}
