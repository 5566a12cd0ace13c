#include "core/compare_nocase.h"
#include "core/scan.h"

#include <gtest/gtest.h>

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
