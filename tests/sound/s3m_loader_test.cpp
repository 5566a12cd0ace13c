// The S3M loader: header, channels, notes and effects, samples, patterns
// and the files it refuses.
#include "tests/sound/module_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

TEST(S3mLoader, HeaderChannelsAndPanning)
{
    tools::ModuleSong song = basic_song();
    song.s3m_settings = {0, 8, 0xFF, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 10};
    song.global_volume = 48;
    song.s3m_flags = 0x50;
    song.orders = {0, 9, 254, 255};
    song.stereo = false;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_s3m(song)), nullptr);
    const ModuleData& m = rig.player->module();
    EXPECT_EQ(m.channels, 10) << "the last enabled channel is 9";
    EXPECT_EQ(m.initial_global_volume, 96);
    EXPECT_EQ(m.format_flags, 0x0051u);
    EXPECT_EQ(m.min_period, 112);
    EXPECT_EQ(m.max_period, 6848);
    EXPECT_FLOAT_EQ(m.initial_separation, 0.0f);
    EXPECT_EQ(m.orders[1], 254) << "past the patterns: skipped";
    EXPECT_EQ(m.initial_panning[0], 51);
    EXPECT_EQ(m.initial_panning[7], 51);
    EXPECT_EQ(m.initial_panning[8], 204);
    EXPECT_EQ(m.initial_volume[9], 64);

    song.s3m_panning_table = true;
    song.channel_panning = {0x20 | 3, 3, 0x20 | 15};
    ModuleRig table;
    ASSERT_NE(table.load(tools::write_s3m(song)), nullptr);
    const ModuleData& t = table.player->module();
    EXPECT_EQ(t.initial_panning[0], 51);
    EXPECT_EQ(t.initial_panning[1], 51) << "without bit 5 the default stays";
    EXPECT_EQ(t.initial_panning[2], 255);
}

TEST(S3mLoader, CellsAndEffects)
{
    struct Case {
        const char* why;
        tools::ModuleCell in;
        uint8_t note;
        uint8_t instrument;
        uint8_t c1;
        uint8_t p1;
        uint8_t c2;
        uint8_t p2;
    };
    const Case cases[] = {
        {"0x40 is C-5, 60", {0x40, 1, -1, 0, 0}, 60, 0, 0, 0, 0, 0},
        {"254 cuts", {254, 0, -1, 0, 0}, MOD_NOTE_CUT, 255, 0, 0, 0, 0},
        {"an instrument past the count is none", {0x41, 7, -1, 0, 0}, 61, 255, 0, 0, 0, 0},
        {"semitones past B count on into the next octave", {0x1D, 1, -1, 0, 0}, 37, 0, 0, 0, 0, 0},
        {"notes past the table are none", {0x9C, 1, -1, 0, 0}, 255, 0, 0, 0, 0, 0},
        {"volume 30", {-1, 0, 30, 0, 0}, 255, 255, MODC_VOLUME, 30, 0, 0},
        {"volume past 64 is dropped", {0x40, 0, 65, 0, 0}, 60, 255, 0, 0, 0, 0},
        {"D32 slides down by 2", {-1, 0, -1, 4, 0x32}, 255, 255, 0, 0, MODC_VOLUME_SLIDE, 0x02},
        {"D30 slides up by 3", {-1, 0, -1, 4, 0x30}, 255, 255, 0, 0, MODC_VOLUME_SLIDE, 0x30},
        {"D3F is kept for a fine slide up", {-1, 0, -1, 4, 0x3F}, 255, 255, 0, 0, MODC_VOLUME_SLIDE, 0x3F},
        {"C15 breaks to row 15", {-1, 0, -1, 3, 0x15}, 255, 255, 0, 0, MODC_BREAK, 15},
        {"C1A is dropped", {0x40, 0, -1, 3, 0x1A}, 60, 255, 0, 0, 0, 0},
        {"C64 is dropped", {0x40, 0, -1, 3, 0x64}, 60, 255, 0, 0, 0, 0},
        {"K fine forms are dropped", {0x40, 0, -1, 11, 0xF2}, 60, 255, 0, 0, 0, 0},
        {"K32 keeps the low nibble", {-1, 0, -1, 11, 0x32}, 255, 255, 0, 0, MODC_VOLUME_SLIDE2, 0x02},
        {"L30 keeps the high nibble", {-1, 0, -1, 12, 0x30}, 255, 255, 0, 0, MODC_TONE_PORTA_SLIDE, 0x30},
        {"V doubles", {-1, 0, -1, 22, 0x20}, 255, 255, 0, 0, MODC_GLOBAL_VOLUME, 0x40},
        {"X80 is fully right", {-1, 0, -1, 24, 0x80}, 255, 255, 0, 0, MODC_PANNING, 255},
        {"T below 0x20 is no tempo", {0x40, 0, -1, 20, 0x10}, 60, 255, 0, 0, 0, 0},
        {"T85", {-1, 0, -1, 20, 0x85}, 255, 255, 0, 0, MODC_TEMPO, 0x85},
        {"E portamento down", {-1, 0, -1, 5, 0xF1}, 255, 255, 0, 0, MODC_PORTA_DOWN, 0xF1},
        {"H vibrato is dropped", {0x40, 0, -1, 8, 0x44}, 60, 255, 0, 0, 0, 0},
    };
    tools::ModuleSong song = basic_song(4);
    int row = 0;
    for (const Case& c : cases) {
        song.patterns[0].at(row++, 3) = c.in;
    }
    song.patterns[0].at(5, 12).note = 0x40; // past the 4 channels: dropped
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_s3m(song)), nullptr);
    const ModuleData& m = rig.player->module();
    EXPECT_EQ(m.channels, 4);
    row = 0;
    for (const Case& c : cases) {
        const ModCell got = m.patterns[0].get_cell(3, uint32_t(row++));
        EXPECT_EQ(got.note, c.note) << c.why;
        EXPECT_EQ(got.instrument, c.instrument) << c.why;
        EXPECT_EQ(got.command[0], c.c1) << c.why;
        EXPECT_EQ(got.param[0], c.p1) << c.why;
        EXPECT_EQ(got.command[1], c.c2) << c.why;
        EXPECT_EQ(got.param[1], c.p2) << c.why;
    }
    EXPECT_TRUE(m.patterns[0].get_cell(12, 5).empty());
}

TEST(S3mLoader, SamplesAndTheirData)
{
    tools::ModuleSong song = basic_song();
    tools::ModuleSample& s = song.samples[0];
    s.frames = {5, -5, 0, 100};
    s.loop = true;
    s.loop_start = 1;
    s.loop_end = 9; // past the data: cut to it
    s.c5 = 16726;
    s.volume = 70;
    song.patterns[0].at(0, 0).note = 0x40;
    song.patterns[0].at(0, 0).instrument = 1;
    tools::ModuleSample none;
    none.type = 0;
    song.samples.push_back(none);
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_s3m(song)), nullptr);
    const ModuleData& m = rig.player->module();
    ASSERT_EQ(m.sample_count, 2);
    EXPECT_EQ(m.instrument_count, 2);
    const ModSample& ms = m.samples[0];
    EXPECT_EQ(ms.length, 4);
    EXPECT_EQ(ms.loop_end, 4);
    EXPECT_EQ(ms.flags, MODS_LOOP);
    EXPECT_EQ(ms.period_offset, -768);
    EXPECT_EQ(ms.default_volume, 64);
    EXPECT_EQ(m.instruments[0].sample_map[60], 0);
    EXPECT_EQ(m.instruments[1].sample_map[60], MOD_NONE) << "no sample, no mapping";
    rig.play(1);
    ASSERT_EQ(rig.device.loaded.size(), 1u);
    EXPECT_EQ(rig.device.loaded.begin()->second, (std::vector<uint8_t>{5, 0xFB, 0, 100}));
    EXPECT_EQ(rig.voice_channel(0).hz, 16726) << "C-5 plays at the sample's speed";

    song.samples[0].is_unsigned = true;
    ModuleRig unsigned_rig;
    ASSERT_NE(unsigned_rig.load(tools::write_s3m(song)), nullptr);
    EXPECT_EQ(unsigned_rig.player->module().samples[0].flags, MODS_LOOP | MODS_UNSIGNED);
}

TEST(S3mLoader, PatternLengths)
{
    tools::ModuleSong song = basic_song();
    song.patterns.resize(3);
    song.patterns[1].at(0, 0).note = 0x40;
    song.orders = {0, 1, 2};
    std::vector<uint8_t> bytes = tools::write_s3m(song);
    // Pattern 2 (all 64 rows empty) given a length of 2; pattern 0 a parapointer of 0.
    const size_t table = 0x60 + 3 + 2 * 1;
    const size_t at2 = size_t(bytes[table + 4] | bytes[table + 5] << 8) * 16;
    bytes[at2] = 2;
    bytes[at2 + 1] = 0;
    bytes[table] = 0;
    bytes[table + 1] = 0;
    ModuleRig rig;
    ASSERT_NE(rig.load(bytes), nullptr);
    const ModuleData& m = rig.player->module();
    EXPECT_EQ(m.patterns[0].rows(), 64u) << "parapointer 0: 64 empty rows";
    EXPECT_EQ(m.patterns[2].rows(), 0u) << "length 2: no rows";
    EXPECT_FALSE(m.playable(2));

    song.s3m_short_length = true;
    ModuleRig short_rig;
    ASSERT_NE(short_rig.load(tools::write_s3m(song)), nullptr) << "the tracker's own length, without its two bytes";
    EXPECT_EQ(short_rig.player->module().patterns[1].get_cell(0, 0).note, 60);
}

TEST(S3mLoader, RefusedFiles)
{
    struct Case {
        const char* why;
        std::function<void(tools::ModuleSong&)> song;
        std::function<void(std::vector<uint8_t>&)> bytes;
    };
    auto find = [](const std::vector<uint8_t>& b, const char* tag) {
        for (size_t i = 0; i + 4 <= b.size(); ++i) {
            if (std::memcmp(&b[i], tag, 4) == 0) {
                return i;
            }
        }
        return size_t(0);
    };
    const Case cases[] = {
        {"the 0x1A mark", nullptr, [](std::vector<uint8_t>& b) { b[0x1D] = 0x11; }},
        {"no channel enabled", [](tools::ModuleSong& s) { s.s3m_settings.assign(32, 0x80); }, nullptr},
        {"sample type 2", [](tools::ModuleSong& s) { s.samples[0].type = 2; }, nullptr},
        {"a packed sample", [](tools::ModuleSong& s) { s.samples[0].compressed = true; }, nullptr},
        {"a stereo sample", [](tools::ModuleSong& s) { s.samples[0].stereo = true; }, nullptr},
        {"the sample tag", nullptr, [&](std::vector<uint8_t>& b) { b[find(b, "SCRS")] = 'X'; }},
        {"a pattern one byte longer than its data and length", nullptr,
         [&](std::vector<uint8_t>& b) {
             const size_t at = (find(b, "SCRS") + 4 + 15) / 16 * 16;
             b[at] = uint8_t(b[at] + 1);
         }},
        {"a pattern whose data runs past its length", nullptr,
         [&](std::vector<uint8_t>& b) {
             const size_t at = (find(b, "SCRS") + 4 + 15) / 16 * 16;
             b[at] = uint8_t(b[at] - 3);
         }},
        {"a cut file", nullptr, [](std::vector<uint8_t>& b) { b.resize(0x50); }},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = basic_song();
        song.patterns[0].at(0, 0).note = 0x40;
        if (c.song) {
            c.song(song);
        }
        std::vector<uint8_t> bytes = tools::write_s3m(song);
        if (c.bytes) {
            c.bytes(bytes);
        }
        ModuleRig rig;
        EXPECT_EQ(rig.load(bytes), nullptr) << c.why;
    }
    // "SCRM" missing: no loader takes the file at all.
    std::vector<uint8_t> bytes = tools::write_s3m(basic_song());
    bytes[0x2C] = 'X';
    ModuleRig rig;
    EXPECT_EQ(rig.load(bytes), nullptr);
}

} // namespace
