// Note periods and frequencies in both frequency modes.
#include "sound/mod_period.h"

#include <gtest/gtest.h>

namespace {

struct Module {
    Module(bool linear, int32_t c5, int32_t offset)
    {
        m.samples = mod_new_array<ModSample>(1, "test");
        m.sample_count = 1;
        m.samples[0].c5 = uint32_t(c5);
        m.samples[0].period_offset = offset;
        m.format_flags = linear ? MODF_LINEAR : 0;
        m.min_period = linear ? 1 : 64;
        m.max_period = linear ? 7680 : 32767;
    }
    ModuleData m;
};

TEST(ModPeriod, NotePeriods)
{
    struct Case {
        const char* why;
        bool linear;
        int32_t c5;
        int32_t offset;
        uint32_t note;
        uint32_t sample;
        int32_t period;
    };
    const Case cases[] = {
        {"C-5 at 8363 Hz", false, 8363, 0, 60, 0, 1712},
        {"an octave up halves", false, 8363, 0, 72, 0, 856},
        {"C-5 at twice the rate", false, 16726, 0, 60, 0, 856},
        {"low notes clamp to the maximum", false, 8363, 0, 0, 0, 32767},
        {"a rate of 0 gives the maximum", false, 0, 0, 60, 0, 32767},
        {"a missing sample gives the maximum", false, 8363, 0, 60, 3, 32767},
        {"a note past the table gives the maximum", false, 8363, 0, 120, 0, 32767},
        {"linear C-5", true, 8363, 0, 60, 0, 3840},
        {"linear with the sample's offset", true, 8363, -64, 60, 0, 3776},
        {"linear top note clamps to 1", true, 8363, -200, 119, 0, 1},
        {"linear past the table", true, 8363, 0, 200, 0, 7680},
    };
    for (const Case& c : cases) {
        Module m(c.linear, c.c5, c.offset);
        EXPECT_EQ(mod_note_period(m.m, c.note, c.sample), c.period) << c.why;
    }
}

TEST(ModPeriod, Frequencies)
{
    struct Case {
        const char* why;
        int32_t period;
        bool linear;
        int32_t hz;
    };
    const Case cases[] = {
        {"period 1712 is C-5 at 8363", 1712, false, 8363},
        {"period 0 gives 1 Hz", 0, false, 1},
        {"linear 3840: (33421 x 8) >> 5", 3840, true, 8355},
        {"linear 0 gives 1 Hz", 0, true, 1},
        {"linear 7680 is ten octaves down", 7680, true, (33421 * 8) >> 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mod_period_hz(c.period, c.linear), c.hz) << c.why;
    }
}

TEST(ModPeriod, LinearTableEntries)
{
    EXPECT_EQ(mod_linear_table(0), 16726u);
    EXPECT_EQ(mod_linear_table(188), 19819u);
    EXPECT_EQ(mod_linear_table(703), 31546u);
    EXPECT_EQ(mod_linear_table(767), 33421u);
}

} // namespace
