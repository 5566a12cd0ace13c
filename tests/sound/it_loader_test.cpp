// The IT loader: what it makes of each field, and the files it refuses.
#include "tests/sound/module_fixture.h"
#include "tests/support/print_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

const ModuleData& loaded(ModuleRig& rig, const tools::ModuleSong& song)
{
    ModulePlayer* const p = rig.load(tools::write_it(song));
    EXPECT_NE(p, nullptr);
    static ModuleData none;
    return p != nullptr ? p->module() : none;
}

TEST(ItLoader, HeaderChannelsAndOrders)
{
    tools::ModuleSong song = basic_song();
    song.patterns.resize(2);
    song.orders = {0, 1, 7, 254, 255};
    song.channel_panning = {100, 64, 32, 0, 0x80 | 16};
    song.channel_volume = {10, 64, 80};
    song.global_volume = 100;
    song.speed = 0;
    song.tempo = 150;
    song.separation = 64;
    ModuleRig rig;
    const ModuleData& m = loaded(rig, song);
    EXPECT_EQ(m.channels, 64);
    EXPECT_EQ(m.pattern_count, 3);
    EXPECT_EQ(m.patterns[2].rows(), 64u);
    EXPECT_EQ(m.order_count, 5);
    const int32_t orders[] = {0, 1, 2, 254, 255};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m.orders[i], orders[i]) << i;
    }
    const uint8_t panning[] = {128, 255, 128, 0, 64};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(m.initial_panning[c], panning[c]) << c;
    }
    EXPECT_EQ(m.initial_volume[0], 10);
    EXPECT_EQ(m.initial_volume[2], 64);
    EXPECT_EQ(m.initial_global_volume, 100);
    EXPECT_EQ(m.initial_speed, 6) << "speed 0 takes the default";
    EXPECT_EQ(m.initial_tempo, 150);
    EXPECT_FLOAT_EQ(m.initial_separation, 0.5f);
    EXPECT_EQ(m.format_flags, 0x21F0u | MODF_LINEAR);
    EXPECT_EQ(m.min_period, 1);
    EXPECT_EQ(m.max_period, 7680);
    EXPECT_STREQ(m.name, "test");
}

TEST(ItLoader, SamplesAndInstruments)
{
    tools::ModuleSong song = basic_song();
    song.linear = false;
    tools::ModuleSample& s = song.samples[0];
    s.c5 = 16726;
    s.global_volume = 32;
    s.volume = 80;
    s.panning = 16;
    s.bits16 = true;
    s.sustain = true;
    s.sustain_start = 8;
    s.sustain_end = 300; // past the data: cut to it
    tools::ModuleInstrument& in = song.instruments[0];
    in.nna = 3;
    in.dct = 4; // not a type: none
    in.dca = 2;
    in.fadeout = 10;
    in.global_volume = 64;
    in.panning = 20;
    in.keymap = {{60, 0}, {61, 1}};
    in.volume.on = true;
    in.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    in.volume.loop = true;
    in.volume.loop_start = 2;
    in.volume.loop_end = 1; // ends before it starts: off
    in.panning_envelope.on = true;
    in.panning_envelope.points = {{0, -32}, {5, 40}};
    ModuleRig rig;
    const ModuleData& m = loaded(rig, song);
    ASSERT_EQ(m.sample_count, 1);
    const ModSample& ms = m.samples[0];
    EXPECT_EQ(ms.c5, 16726u);
    EXPECT_EQ(ms.period_offset, -768);
    EXPECT_FLOAT_EQ(ms.global_volume, 0.5f);
    EXPECT_EQ(ms.default_volume, 64);
    EXPECT_EQ(ms.default_panning, 64);
    EXPECT_EQ(ms.flags, MODS_16BIT | MODS_SUSTAIN | MODS_LOOP | MODS_PANNING);
    EXPECT_EQ(ms.length, 256);
    EXPECT_EQ(ms.sustain_end, 256);
    EXPECT_EQ(m.min_period, 64);
    const ModInstrument& mi = m.instruments[0];
    EXPECT_EQ(mi.new_note_action, 3);
    EXPECT_EQ(mi.duplicate_type, 0);
    EXPECT_EQ(mi.duplicate_action, 2);
    EXPECT_EQ(mi.fadeout, 640u);
    EXPECT_FLOAT_EQ(mi.global_volume, 0.5f);
    EXPECT_EQ(mi.default_panning, 80);
    EXPECT_EQ(mi.flags, MODI_PANNING);
    EXPECT_EQ(mi.sample_map[60], MOD_NONE);
    EXPECT_EQ(mi.sample_map[61], 0);
    EXPECT_EQ(mi.sample_map[0], 0);
    const ModEnvelope& v = mi.envelope[MOD_ENV_VOLUME];
    EXPECT_EQ(v.count, 3);
    EXPECT_EQ(v.flags, MODE_ON);
    EXPECT_EQ(v.value[0], 256);
    EXPECT_EQ(v.value[1], 128);
    EXPECT_EQ(v.tick[2], 20);
    const ModEnvelope& p = mi.envelope[MOD_ENV_PANNING];
    EXPECT_EQ(p.value[0], -256);
    EXPECT_EQ(p.value[1], 256);
}

TEST(ItLoader, OldInstrumentRecords)
{
    tools::ModuleSong song = basic_song();
    song.it_compatible = 0x1FF;
    tools::ModuleInstrument& in = song.instruments[0];
    in.fadeout = 10;
    in.nna = 2;
    in.dct = 1;
    in.volume.on = true;
    in.volume.points = {{0, 64}, {4, 16}};
    ModuleRig rig;
    const ModuleData& m = loaded(rig, song);
    const ModInstrument& mi = m.instruments[0];
    EXPECT_EQ(mi.fadeout, 1280u);
    EXPECT_EQ(mi.new_note_action, 2);
    EXPECT_EQ(mi.duplicate_type, MOD_DCT_NOTE);
    EXPECT_EQ(mi.envelope[0].count, 2);
    EXPECT_EQ(mi.envelope[0].flags, MODE_ON);
    EXPECT_EQ(mi.envelope[0].value[1], 64);
    EXPECT_EQ(mi.envelope[0].tick[1], 4);
}

TEST(ItLoader, WithoutInstrumentsEachInstrumentPlaysItsSample)
{
    tools::ModuleSong song = basic_song();
    song.instrument_mode = false;
    song.samples.push_back(song.samples[0]);
    song.samples.push_back(song.samples[0]);
    ModuleRig rig;
    const ModuleData& m = loaded(rig, song);
    ASSERT_EQ(m.instrument_count, 3);
    for (int i = 0; i < 3; ++i) {
        for (int n = 0; n < MOD_NOTES; n += 17) {
            EXPECT_EQ(m.instruments[i].sample_map[n], i);
        }
    }
}

TEST(ItLoader, CellsAndEffects)
{
    struct Case {
        const char* why;
        tools::ModuleCell in;
        ModCell out;
    };
    auto cell = [](uint8_t note, uint8_t ins, uint8_t c1, uint8_t p1, uint8_t c2, uint8_t p2) {
        ModCell c;
        c.note = note;
        c.instrument = ins;
        c.command[0] = c1;
        c.param[0] = p1;
        c.command[1] = c2;
        c.param[1] = p2;
        return c;
    };
    const Case cases[] = {
        {"note and instrument", {60, 2, -1, 0, 0}, cell(60, 1, 0, 0, 0, 0)},
        {"255 is note off", {255, 0, -1, 0, 0}, cell(MOD_NOTE_OFF, 255, 0, 0, 0, 0)},
        {"254 is note cut", {254, 0, -1, 0, 0}, cell(MOD_NOTE_CUT, 255, 0, 0, 0, 0)},
        {"other notes past 119 fade", {130, 0, -1, 0, 0}, cell(MOD_NOTE_FADE, 255, 0, 0, 0, 0)},
        {"volume column 64", {-1, 0, 64, 0, 0}, cell(255, 255, MODC_VOLUME, 64, 0, 0)},
        {"volume column effects are dropped", {-1, 0, 100, 0, 0}, cell(255, 255, 0, 0, 0, 0)},
        {"A speed", {-1, 0, -1, 1, 3}, cell(255, 255, 0, 0, MODC_SPEED, 3)},
        {"D fine", {-1, 0, -1, 4, 0xF2}, cell(255, 255, 0, 0, MODC_VOLUME_SLIDE, 0xF2)},
        {"D with two plain nibbles is dropped", {60, 0, -1, 4, 0x23}, cell(60, 255, 0, 0, 0, 0)},
        {"K with two plain nibbles keeps its command, parameter 0", {-1, 0, -1, 11, 0x23},
         cell(255, 255, 0, 0, MODC_VOLUME_SLIDE2, 0)},
        {"P swaps its nibbles", {-1, 0, -1, 16, 0x0F}, cell(255, 255, 0, 0, MODC_PANNING_SLIDE, 0xF0)},
        {"S8x pans x 17", {-1, 0, -1, 19, 0x84}, cell(255, 255, 0, 0, MODC_PANNING, 68)},
        {"other S commands are dropped", {60, 0, -1, 19, 0x91}, cell(60, 255, 0, 0, 0, 0)},
        {"T from 0x20 sets the tempo", {-1, 0, -1, 20, 0x20}, cell(255, 255, 0, 0, MODC_TEMPO, 0x20)},
        {"T below 0x20 slides the tempo: dropped", {60, 0, -1, 20, 0x11}, cell(60, 255, 0, 0, 0, 0)},
        {"H vibrato is dropped", {60, 0, -1, 8, 0x44}, cell(60, 255, 0, 0, 0, 0)},
        {"X pans", {-1, 0, -1, 24, 0x80}, cell(255, 255, 0, 0, MODC_PANNING, 0x80)},
        {"letters past Z are nothing", {60, 0, -1, 27, 0x80}, cell(60, 255, 0, 0, 0, 0)},
    };
    for (const bool reuse : {true, false}) {
        tools::ModuleSong song = basic_song();
        song.it_reuse = reuse;
        int row = 0;
        for (const Case& c : cases) {
            song.patterns[0].at(row, 2) = c.in;
            song.patterns[0].at(row + 1, 2) = c.in; // the same again: packed from memory
            row += 2;
        }
        ModuleRig rig;
        const ModuleData& m = loaded(rig, song);
        row = 0;
        for (const Case& c : cases) {
            for (int again = 0; again < 2; ++again) {
                const ModCell got = m.patterns[0].get_cell(2, uint32_t(row + again));
                EXPECT_EQ(got.note, c.out.note) << c.why << reuse;
                EXPECT_EQ(got.instrument, c.out.instrument) << c.why;
                EXPECT_EQ(got.command[0], c.out.command[0]) << c.why;
                EXPECT_EQ(got.param[0], c.out.param[0]) << c.why;
                EXPECT_EQ(got.command[1], c.out.command[1]) << c.why;
                EXPECT_EQ(got.param[1], c.out.param[1]) << c.why;
            }
            row += 2;
        }
    }
}

TEST(ItLoader, CompressedSamplesPlaySilentWithAWarning)
{
    tools::ModuleSong song = basic_song();
    song.samples[0].compressed = true;
    PrintCapture capture;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    EXPECT_TRUE(capture.contains("compressed"));
    rig.play(1);
    ASSERT_EQ(rig.device.loaded.size(), 1u);
    for (const uint8_t b : rig.device.loaded.begin()->second) {
        ASSERT_EQ(b, 0);
    }
}

TEST(ItLoader, SampleDataIsReadAsStored)
{
    tools::ModuleSong song = basic_song();
    song.samples[0].frames = {1, -2, 3, -4};
    song.samples[0].loop = false;
    song.samples[0].is_unsigned = true;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    EXPECT_EQ(rig.player->module().samples[0].flags & MODS_UNSIGNED, MODS_UNSIGNED);
    rig.play(1);
    ASSERT_EQ(rig.device.loaded.size(), 1u);
    EXPECT_EQ(rig.device.loaded.begin()->second, (std::vector<uint8_t>{0x81, 0x7E, 0x83, 0x7C}));
}

TEST(ItLoader, RefusedFiles)
{
    struct Case {
        const char* why;
        std::function<void(tools::ModuleSong&)> song;
        std::function<void(std::vector<uint8_t>&)> bytes;
        const char* says = nullptr; // the reason given
    };
    auto patch = [](size_t at, uint8_t v) { return [=](std::vector<uint8_t>& b) { b[at] = v; }; };
    auto find = [](const std::vector<uint8_t>& b, const char* tag) {
        for (size_t i = 0; i + 4 <= b.size(); ++i) {
            if (std::memcmp(&b[i], tag, 4) == 0) {
                return i;
            }
        }
        return size_t(0);
    };
    const Case cases[] = {
        {"compatible with version 0x214", [](tools::ModuleSong& s) { s.it_compatible = 0x214; }, nullptr,
         "ModPlay: IT file compatible with version 0x0214; the highest supported is 0x0213"},
        {"a stereo sample", [](tools::ModuleSong& s) { s.samples[0].stereo = true; }, nullptr},
        {"an envelope of 26 nodes",
         [](tools::ModuleSong& s) { s.instruments[0].volume.points.assign(26, {0, 0}); }, nullptr},
        {"a pattern of 257 rows", [](tools::ModuleSong& s) { s.patterns[0].rows = 257; }, nullptr},
        {"the instrument tag", nullptr, [&](std::vector<uint8_t>& b) { b[find(b, "IMPI")] = 'X'; }},
        {"the sample tag", nullptr, [&](std::vector<uint8_t>& b) { b[find(b, "IMPS") + 3] = 'X'; }},
        {"the sample's zero byte", nullptr, [&](std::vector<uint8_t>& b) { b[find(b, "IMPS") + 0x10] = 1; }},
        {"a packed length one byte long", nullptr,
         [&](std::vector<uint8_t>& b) {
             const size_t at = find(b, "IMPS") + 0x50; // the pattern follows the sample header
             b[at] = uint8_t(b[at] + 1);
         }},
        {"a packed length one byte short", nullptr,
         [&](std::vector<uint8_t>& b) {
             const size_t at = find(b, "IMPS") + 0x50;
             b[at] = uint8_t(b[at] - 1);
         }},
        {"a cut header", nullptr, [](std::vector<uint8_t>& b) { b.resize(0x30); }},
        {"offsets past the end", nullptr, patch(0xC1 + 3, 0x7F)},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = basic_song();
        song.orders = {0};
        song.patterns[0].at(3, 1).note = 60;
        if (c.song) {
            c.song(song);
        }
        std::vector<uint8_t> bytes = tools::write_it(song);
        if (c.bytes) {
            c.bytes(bytes);
        }
        ModuleRig rig;
        PrintCapture printed;
        EXPECT_EQ(rig.load(bytes), nullptr) << c.why;
        if (c.says != nullptr) {
            EXPECT_TRUE(printed.contains(c.says)) << c.why;
        }
    }
}

} // namespace
