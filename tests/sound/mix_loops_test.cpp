// The volume table, the four resampling loops and the eight converters:
// exact integer results.
#include "sound/mix_loops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct Table {
    std::vector<int32_t> t = std::vector<int32_t>(VTAB_ENTRIES);
    explicit Table(float volume = 1.0f)
    {
        vtab_build(t.data(), volume);
        vtab_select(t.data());
    }
    ~Table() { vtab_clear(); }
    int32_t at(int level, int column) const { return t[level * VTAB_COLUMNS + column]; }
};

TEST(VolumeTable, EntriesAreVolumeTimesLevelTimesSignedColumn)
{
    struct Case {
        const char* why;
        float volume;
        int level;
        int column;
        int32_t expected;
    };
    const Case cases[] = {
        {"silence adds nothing", 1.0f, 64, 128, 0},
        {"full scale up", 1.0f, 64, 255, 8323072},
        {"full scale down", 1.0f, 64, 0, -8388608},
        {"level 0 adds nothing", 1.0f, 0, 255, 0},
        {"level 0 adds nothing below", 1.0f, 0, 0, 0},
        {"half volume truncates k to 512", 0.5f, 64, 255, 512 * 64 * 127},
        {"odd volume truncates", 0.3f, 10, 200, 307 * 10 * 72},
        {"volume 0 counts as 1.0", 0.0f, 64, 255, 8323072},
        {"tiny volume counts as 1.0", 0.00009f, 64, 0, -8388608},
        {"negative volume counts as 1.0", -2.0f, 1, 129, 1024},
        {"NaN counts as 1.0", std::numeric_limits<float>::quiet_NaN(), 64, 255, 8323072},
        {"huge volume is held at 64", 1e9f, 64, 0, 65536 * 64 * -128},
    };
    for (const Case& c : cases) {
        const Table t(c.volume);
        EXPECT_EQ(t.at(c.level, c.column), c.expected) << c.why;
    }
}

TEST(VolumeTable, SelectAndClearTheCurrentTable)
{
    std::vector<int32_t> a(VTAB_ENTRIES);
    vtab_select(a.data());
    EXPECT_EQ(vtab_current(), a.data());
    vtab_clear();
    EXPECT_EQ(vtab_current(), nullptr);
}

// One frame of each loop from a fixed position.
struct LoopCase {
    const char* why;
    bool wide;
    bool interpolate;
    std::vector<uint16_t> data; // unsigned form
    int32_t position;
    int left;
    int right;
    int32_t expected_left;
    int32_t expected_right;
};

TEST(MixLoops, OneFrameExactResults)
{
    const Table table;
    const auto lvl = [&](int l, int c) { return table.at(l, c); };
    const LoopCase cases[] = {
        {"8-bit nearest: byte 255 at level 64", false, false, {255, 0}, 0, 64, 0, 8323072, 0},
        {"8-bit nearest: byte 0 at level 64", false, false, {0, 255}, 0, 64, 64, -8388608, -8388608},
        {"8-bit nearest ignores the fraction", false, false, {200, 0}, 0x7FF, 10, 20, lvl(10, 200), lvl(20, 200)},
        {"8-bit interpolated, fraction 0 = nearest", false, true, {200, 0}, 0, 10, 20, lvl(10, 200), lvl(20, 200)},
        {"8-bit interpolated halfway", false, true, {100, 200}, 1024, 64, 32, lvl(64, 150), lvl(32, 150)},
        {"8-bit interpolated going down", false, true, {200, 100}, 1536, 64, 64, lvl(64, 200 + ((-100 * 1536) >> 11)),
         lvl(64, 200 + ((-100 * 1536) >> 11))},
        {"8-bit second sample", false, false, {1, 2, 3}, 2 << 11, 64, 64, lvl(64, 3), lvl(64, 3)},
        {"16-bit nearest: split into high and low byte", true, false, {0x9234, 0}, 0, 64, 10,
         lvl(64, 0x92) + (lvl(64, 0x34) >> 8), lvl(10, 0x92) + (lvl(10, 0x34) >> 8)},
        {"16-bit silence adds low byte's share", true, false, {0x8000, 0}, 0, 64, 64, lvl(64, 0x80) + (lvl(64, 0) >> 8),
         lvl(64, 0x80) + (lvl(64, 0) >> 8)},
        {"16-bit full scale up", true, false, {0xFFFF}, 0, 64, 64, 8323072 + (8323072 >> 8), 8323072 + (8323072 >> 8)},
        {"16-bit full scale down", true, false, {0x0000}, 0, 64, 64, -8388608 + (-8388608 >> 8),
         -8388608 + (-8388608 >> 8)},
        {"16-bit interpolated, fraction 0 = nearest", true, true, {0x1234, 0xFFFF}, 0, 64, 64,
         lvl(64, 0x12) + (lvl(64, 0x34) >> 8), lvl(64, 0x12) + (lvl(64, 0x34) >> 8)},
        {"16-bit interpolated quarter way", true, true, {0x1000, 0x5000}, 512, 64, 0,
         lvl(64, 0x20) + (lvl(64, 0x00) >> 8), 0},
        {"level 0 adds zero whatever the data", true, true, {0x0000, 0xFFFF}, 700, 0, 0, 0, 0},
    };
    for (const LoopCase& c : cases) {
        std::vector<int32_t> acc = {7, -7};
        if (c.wide) {
            std::vector<uint16_t> d = c.data;
            d.push_back(d.back());
            (c.interpolate ? mix_16i : mix_16)(acc.data(), d.data(), c.position, 0, c.left, c.right, 1);
        } else {
            std::vector<uint8_t> d(c.data.begin(), c.data.end());
            d.push_back(d.back());
            (c.interpolate ? mix_8i : mix_8)(acc.data(), d.data(), c.position, 0, c.left, c.right, 1);
        }
        EXPECT_EQ(acc[0], 7 + c.expected_left) << c.why;
        EXPECT_EQ(acc[1], -7 + c.expected_right) << c.why;
    }
}

TEST(MixLoops, StepByIncrementAndAddIntoEveryFrame)
{
    const Table table;
    const std::vector<uint8_t> data = {0, 50, 100, 150, 200, 250, 255, 255};
    std::vector<int32_t> acc(8, 1);
    // 1.5 samples a frame from sample 0: reads 0, 1 (frac .5), 3, 4 (frac .5).
    mix_8(acc.data(), data.data(), 0, 3072, 64, 32, 4);
    const int idx[] = {0, 1, 3, 4};
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(acc[2 * f], 1 + table.at(64, data[idx[f]])) << f;
        EXPECT_EQ(acc[2 * f + 1], 1 + table.at(32, data[idx[f]])) << f;
    }
    std::vector<int32_t> back(4, 0);
    // Backward from sample 5 by one sample a frame.
    mix_8i(back.data(), data.data(), 5 << 11, -2048, 64, 64, 2);
    EXPECT_EQ(back[0], table.at(64, 250));
    EXPECT_EQ(back[2], table.at(64, 200));
}

TEST(MixLoops, AccumulatorsWrapInsteadOfOverflowing)
{
    const Table table(64.0f);
    const std::vector<uint16_t> data = {0xFFFF, 0xFFFF};
    std::vector<int32_t> acc = {std::numeric_limits<int32_t>::max(), 0};
    mix_16(acc.data(), data.data(), 0, 0, 64, 64, 1);
    const uint32_t add = static_cast<uint32_t>(table.at(64, 255) + (table.at(64, 255) >> 8));
    EXPECT_EQ(static_cast<uint32_t>(acc[0]), static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) + add);
}

struct ClipCase {
    const char* why;
    int32_t acc;
    int32_t s8;   // signed 8-bit output
    int32_t s16;  // signed 16-bit output
};

TEST(ClipConverters, EdgesOfEveryFormat)
{
    const ClipCase cases[] = {
        {"zero", 0, 0, 0},
        {"2^23 clips up", 8388608, 127, 32767},
        {"far above clips up", 0x7FFFFFFF, 127, 32767},
        {"just below 2^23", 8388607, 127, 32767},
        {"one 16-bit step", 256, 0, 1},
        {"minus one 16-bit step", -256, -1, -1},
        {"tiny negative rounds down", -1, -1, -1},
        {"-2^23 is the bottom exactly", -8388608, -128, -32768},
        {"below -2^23 clips", -8388609, -128, -32768},
        {"far below clips", INT32_MIN, -128, -32768},
        {"8-bit step", 65536, 1, 256},
        {"mid value", 1234567, 18, 4822},
    };
    for (const ClipCase& c : cases) {
        // Left holds the case, right its negation or a marker, to see sides kept apart.
        const int32_t acc[2] = {c.acc, 0};
        for (uint32_t flags = 0; flags < 8; ++flags) {
            const bool stereo = (flags & 1) != 0;
            const bool wide = (flags & 2) != 0;
            const bool unsign = (flags & 4) != 0;
            uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
            clip_converter(flags)(out, acc, 1);
            int32_t got;
            int32_t want;
            if (wide) {
                uint16_t w;
                std::memcpy(&w, out, 2);
                got = unsign ? w : static_cast<int16_t>(w);
                want = unsign ? c.s16 + 32768 : c.s16;
                if (stereo) {
                    uint16_t r;
                    std::memcpy(&r, out + 2, 2);
                    EXPECT_EQ(r, unsign ? 32768 : 0) << c.why << " flags " << flags;
                } else {
                    EXPECT_EQ(out[2], 0xEE) << c.why << " mono writes one word";
                }
            } else {
                got = unsign ? out[0] : static_cast<int8_t>(out[0]);
                want = unsign ? c.s8 + 128 : c.s8;
                if (stereo) {
                    EXPECT_EQ(out[1], unsign ? 128 : 0) << c.why << " flags " << flags;
                } else {
                    EXPECT_EQ(out[1], 0xEE) << c.why << " mono writes one byte";
                }
            }
            EXPECT_EQ(got, want) << c.why << " flags " << flags;
        }
    }
}

TEST(ClipConverters, TableOrderFollowsTheFormatFlags)
{
    EXPECT_EQ(clip_converter(0), &clip_m8s);
    EXPECT_EQ(clip_converter(1), &clip_s8s);
    EXPECT_EQ(clip_converter(2), &clip_m16s);
    EXPECT_EQ(clip_converter(3), &clip_s16s);
    EXPECT_EQ(clip_converter(4), &clip_m8u);
    EXPECT_EQ(clip_converter(5), &clip_s8u);
    EXPECT_EQ(clip_converter(6), &clip_m16u);
    EXPECT_EQ(clip_converter(7), &clip_s16u);
    EXPECT_EQ(clip_converter(11), &clip_s16s) << "interpolation does not choose a converter";
}

TEST(ClipConverters, MonoReadsTheLeftAccumulatorsOnly)
{
    const int32_t acc[6] = {256, 99999999, 512, -99999999, -256, 12345678};
    int16_t out[3] = {};
    clip_m16s(out, acc, 3);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], -1);
}

TEST(Silence, EveryOutputFormat)
{
    uint8_t b[4];
    fill_silence(b, 4, 0);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    fill_silence(b, 4, 4);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80}));
    fill_silence(b, 4, 6);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x80}));
}

} // namespace
