// Effects, notes, new-note actions and voice output, tick by tick, on small
// files of each format.
#include "tests/sound/module_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

enum class Format { IT, XM, S3M };

// IT and S3M command letters.
constexpr int L_A = 1, L_C = 3, L_D = 4, L_E = 5, L_F = 6, L_G = 7, L_K = 11, L_L = 12, L_M = 13, L_N = 14,
              L_P = 16, L_S = 19, L_V = 22, L_W = 23, L_X = 24;
// XM effect numbers.
constexpr int XM_A = 0xA, XM_E = 0xE, XM_G = 16, XM_H = 17;

constexpr int IT_C5 = 60;      // IT note C-5
constexpr int XM_C4 = 49;      // XM note that becomes 60
constexpr int S3M_C4 = 0x40;   // S3M note that becomes 60

using Build = std::function<void(tools::ModuleSong&)>;
using Probe = std::function<int(ModuleRig&)>;

struct Case {
    const char* why;
    Format format;
    Build build;
    Probe probe;
    std::vector<int> values; // the probe after each tick
};

tools::ModuleSong base(Format f)
{
    tools::ModuleSong song = basic_song(2);
    song.speed = 3;
    song.linear = false;
    tools::ModuleCell& c = song.patterns[0].at(0, 0);
    c.note = f == Format::IT ? IT_C5 : f == Format::XM ? XM_C4 : S3M_C4;
    c.instrument = 1;
    return song;
}

std::vector<uint8_t> write(Format f, const tools::ModuleSong& s)
{
    return f == Format::IT ? tools::write_it(s) : f == Format::XM ? tools::write_xm(s) : tools::write_s3m(s);
}

int volume(ModuleRig& r)
{
    return r.player->track(0)->volume;
}
int channel_volume(ModuleRig& r)
{
    return r.player->track(0)->channel_volume;
}
int panning(ModuleRig& r)
{
    return r.player->track(0)->panning;
}
int global(ModuleRig& r)
{
    return r.player->global_volume();
}
int period(ModuleRig& r)
{
    const ModTrackState* t = r.player->track(0);
    return t->voice != nullptr ? t->voice->period : -1;
}

Build effect(int row, int command, int param, int note = -1)
{
    return [=](tools::ModuleSong& s) {
        tools::ModuleCell& c = s.patterns[0].at(row, 0);
        c.command = command;
        c.param = param;
        if (note >= 0) {
            c.note = note;
        }
    };
}

Build both(Build a, Build b)
{
    return [=](tools::ModuleSong& s) {
        a(s);
        b(s);
    };
}

Build start_volume(int v)
{
    return [=](tools::ModuleSong& s) { s.patterns[0].at(0, 0).volume = v; };
}

TEST(ModuleEffects, TickByTick)
{
    const Case cases[] = {
        {"IT D0F: not fine (high nibble 0), down 15 after the first tick", Format::IT, effect(0, L_D, 0x0F), volume,
         {64, 49, 34, 34}},
        {"IT DF3: fine, down 3 on the first tick only", Format::IT, effect(0, L_D, 0xF3), volume, {61, 61, 61}},
        {"IT D3F: fine, up 3 on the first tick only", Format::IT, both(start_volume(32), effect(0, L_D, 0x3F)),
         volume, {35, 35, 35}},
        {"IT D00 uses the memory of the last slide", Format::IT, both(effect(0, L_D, 0x02), effect(1, L_D, 0x00)),
         volume, {64, 62, 60, 60, 58, 56}},
        {"IT D with two plain nibbles is dropped", Format::IT, effect(0, L_D, 0x23), volume, {64, 64, 64}},
        {"IT K02 slides like D02", Format::IT, effect(0, L_K, 0x02), volume, {64, 62, 60}},
        {"XM AF3 keeps its high nibble: up 15 after the first tick", Format::XM,
         both(start_volume(0x10 + 32), effect(0, XM_A, 0xF3)), volume, {32, 47, 62}},
        {"S3M fast slides: D02 acts on the first tick too", Format::S3M,
         [](tools::ModuleSong& s) {
             s.s3m_flags = 0x40;
             effect(0, L_D, 0x02)(s);
         },
         volume, {62, 60, 58}},
        {"S3M D32 slides down by 2", Format::S3M, effect(0, L_D, 0x32), volume, {64, 62, 60}},
        {"S3M D3F is a fine slide up by 3", Format::S3M, both(start_volume(10), effect(0, L_D, 0x3F)), volume,
         {13, 13, 13}},
        {"IT F02: period falls by 8 after the first tick", Format::IT, effect(0, L_F, 0x02), period,
         {1712, 1704, 1696}},
        {"IT E02: period rises by 8", Format::IT, effect(0, L_E, 0x02), period, {1712, 1720, 1728}},
        {"IT FF2: fine, 8 once", Format::IT, effect(0, L_F, 0xF2), period, {1704, 1704, 1704}},
        {"IT FE3: extra fine, 3 once", Format::IT, effect(0, L_F, 0xE3), period, {1709, 1709, 1709}},
        {"XM E12: fine portamento up by 2 x 4 at the row", Format::XM, effect(0, XM_E, 0x12), period,
         {1704, 1704, 1704}},
        {"IT G: a note beside it is the goal; no move on the first tick, never past it", Format::IT,
         both(effect(1, L_G, 0x40, IT_C5 + 12), effect(2, L_G, 0x00)), period,
         {1712, 1712, 1712, 1712, 1456, 1200, 1200, 944, 856, 856}},
        {"IT L reaching its goal keeps sliding the volume", Format::IT,
         both(effect(1, L_G, 0x40), effect(2, L_L, 0x02, IT_C5 + 1)), volume, {64, 64, 64, 64, 64, 64, 64, 62, 60}},
        {"IT L reaching its goal: the period", Format::IT,
         both(effect(1, L_G, 0x40), effect(2, L_L, 0x02, IT_C5 + 1)), period,
         {1712, 1712, 1712, 1712, 1712, 1712, 1712, 1616, 1616}},
        {"IT M sets the channel volume", Format::IT, effect(0, L_M, 0x20), channel_volume, {32, 32, 32}},
        {"IT M past 64 is 64", Format::IT, effect(0, L_M, 0x70), channel_volume, {64, 64, 64}},
        {"IT N01: channel volume down 1 a tick", Format::IT, effect(0, L_N, 0x01), channel_volume, {64, 63, 62}},
        {"IT V sets the global volume", Format::IT, effect(0, L_V, 0x40), global, {64, 64, 64}},
        {"IT W01: global volume down 1 a tick", Format::IT, effect(0, L_W, 0x01), global, {128, 127, 126}},
        {"XM H01: global volume down 2 a tick", Format::XM, effect(0, XM_H, 0x01), global, {128, 126, 124}},
        {"XM G20: global volume 64", Format::XM, effect(0, XM_G, 0x20), global, {64, 64, 64}},
        {"IT X sets the panning", Format::IT, effect(0, L_X, 0x40), panning, {0x40, 0x40, 0x40}},
        {"IT S8x sets the panning x 17", Format::IT, effect(0, L_S, 0x83), panning, {51, 51, 51}},
        {"IT P: nibbles swapped, x4: P01 moves right by 4", Format::IT, effect(0, L_P, 0x01), panning,
         {128, 132, 136}},
        {"S3M X: doubled", Format::S3M, effect(0, L_X, 0x20), panning, {64, 64, 64}},
        {"S3M S8x", Format::S3M, effect(0, L_S, 0x8F), panning, {255, 255, 255}},
        {"S3M A sets the speed: a row on every tick", Format::S3M, effect(0, L_A, 0x01),
         [](ModuleRig& r) { return r.player->row(); }, {0, 1, 2, 3}},
        {"S3M C1A is dropped: no break", Format::S3M, effect(0, L_C, 0x1A),
         [](ModuleRig& r) { return r.player->row(); }, {0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = base(c.format);
        c.build(song);
        ModuleRig rig;
        ASSERT_NE(rig.load(write(c.format, song)), nullptr) << c.why;
        rig.player->set_loop(0);
        rig.player->start();
        std::vector<int> got;
        for (size_t i = 0; i < c.values.size(); ++i) {
            rig.player->timer_tick();
            got.push_back(c.probe(rig));
        }
        EXPECT_EQ(got, c.values) << c.why;
    }
}

TEST(ModuleEffects, NotesThatDoNotPlay)
{
    struct NoteCase {
        const char* why;
        Build build;
    };
    const NoteCase cases[] = {
        {"the instrument maps the note to no sample",
         [](tools::ModuleSong& s) { s.instruments[0].keymap = {{IT_C5, 0}}; }},
        {"the instrument number is past the instruments", [](tools::ModuleSong& s) { s.patterns[0].at(0, 0).instrument = 9; }},
        {"the sample has no data", [](tools::ModuleSong& s) { s.samples[0].frames.clear(); }},
    };
    for (const NoteCase& c : cases) {
        tools::ModuleSong song = base(Format::IT);
        c.build(song);
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song)), nullptr) << c.why;
        rig.play(3);
        EXPECT_EQ(rig.player->track(0)->voice, nullptr) << c.why;
        EXPECT_TRUE(rig.device.channels.empty()) << c.why;
    }
}

TEST(ModuleEffects, VoiceOutput)
{
    tools::ModuleSong song = base(Format::IT);
    song.channel_volume = {32};
    song.channel_panning = {0};
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    rig.play(1);
    const FakeModDevice::Channel& ch = rig.voice_channel(0);
    EXPECT_TRUE(ch.playing);
    EXPECT_EQ(ch.hz, 8363);
    EXPECT_FLOAT_EQ(ch.volume, 0.5f);   // channel volume 32 of 64
    EXPECT_FLOAT_EQ(ch.pan, -1.0f);     // channel panning 0, separation 128 of 128
    rig.player->set_volume(0.5f);
    rig.ticks(1);
    EXPECT_FLOAT_EQ(rig.voice_channel(0).volume, 0.25f);
}

TEST(ModuleEffects, FadeOutInInstrumentModeStopsTheChannel)
{
    tools::ModuleSong song = base(Format::IT);
    song.instruments[0].fadeout = 512; // 32768 a tick: two ticks from full to 0
    song.patterns[0].at(1, 0).note = 255; // note off
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    rig.play(3);
    const int32_t channel = rig.player->track(0)->voice->channel;
    EXPECT_EQ(rig.player->track(0)->last_note, IT_C5);
    rig.ticks(1); // row 1: released, fading
    EXPECT_EQ(rig.player->track(0)->voice->fade, 0x8000);
    EXPECT_TRUE(rig.device.at(channel).playing);
    rig.ticks(1);
    EXPECT_FALSE(rig.device.at(channel).playing);
    EXPECT_EQ(rig.player->track(0)->last_note, MOD_NONE);
    rig.ticks(1);
    EXPECT_EQ(rig.player->track(0)->voice, nullptr);
}

TEST(ModuleEffects, NewNoteActionsAndDuplicateChecks)
{
    struct NnaCase {
        const char* why;
        int nna;
        int dct;
        int dca;
        int second_note;
        int channels_used;
        bool first_playing;
    };
    const NnaCase cases[] = {
        {"cut: the new note takes the old voice's channel", 0, 0, 0, IT_C5 + 2, 1, true},
        {"continue: the old note plays on in the background", 1, 0, 0, IT_C5 + 2, 2, true},
        {"continue, duplicate note cut: the same note stops the old", 1, 1, 0, IT_C5, 2, false},
        {"continue, duplicate note cut: another note does not", 1, 1, 0, IT_C5 + 2, 2, true},
        {"continue, duplicate instrument cut", 1, 3, 0, IT_C5 + 2, 2, false},
    };
    for (const NnaCase& c : cases) {
        tools::ModuleSong song = base(Format::IT);
        song.instruments[0].nna = c.nna;
        song.instruments[0].dct = c.dct;
        song.instruments[0].dca = c.dca;
        song.patterns[0].at(1, 0).note = c.second_note;
        song.patterns[0].at(1, 0).instrument = 1;
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song)), nullptr) << c.why;
        rig.play(4);
        EXPECT_EQ(int(rig.device.channels.size()), c.channels_used) << c.why;
        if (c.channels_used == 2) {
            EXPECT_EQ(rig.device.at(1).playing, c.first_playing) << c.why;
            EXPECT_TRUE(rig.device.at(2).playing) << c.why;
            if (c.first_playing) {
                EXPECT_LT(rig.device.at(1).priority, rig.device.at(2).priority) << c.why;
            }
        } else {
            EXPECT_EQ(rig.device.at(1).starts, 2) << c.why;
        }
    }
}

TEST(ModuleEffects, SustainLoopReleasedToTheNormalLoop)
{
    tools::ModuleSong song = base(Format::IT);
    tools::ModuleSample& s = song.samples[0];
    s.sustain = true;
    s.sustain_start = 16;
    s.sustain_end = 32;
    s.loop_start = 64;
    s.loop_end = 128;
    s.pingpong = true;
    song.patterns[0].at(1, 0).note = 255;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    rig.play(4);
    const FakeModDevice::Channel& ch = rig.device.at(1);
    EXPECT_EQ(ch.loop_flags, uint32_t(SDSF_LOOPED | SDSF_BIDI));
    EXPECT_EQ(ch.loop_start, 64);
    EXPECT_EQ(ch.loop_end, 128);
}

TEST(ModuleEffects, NoteCutStopsOrSilences)
{
    {
        tools::ModuleSong song = base(Format::IT);
        song.patterns[0].at(1, 0).note = 254; // IT cut
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
        rig.play(4);
        EXPECT_FALSE(rig.device.at(1).playing);
    }
    {
        tools::ModuleSong song = base(Format::XM);
        song.patterns[0].at(1, 0).instrument = 9; // past the instruments: XM turns it into a cut
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_xm(song)), nullptr);
        rig.play(4);
        EXPECT_TRUE(rig.device.at(1).playing);
        EXPECT_EQ(rig.player->track(0)->volume, 0);
        EXPECT_FLOAT_EQ(rig.device.at(1).volume, 0.0f);
    }
}

} // namespace
