// The XM loader: notes, volume column and effects, instruments with their
// samples and envelopes, delta-coded data, and the files it refuses.
#include "tests/sound/module_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

ModCell cell(uint8_t note, uint8_t ins, uint8_t c1, uint8_t p1, uint8_t c2, uint8_t p2)
{
    ModCell c;
    c.note = note;
    c.instrument = ins;
    c.command[0] = c1;
    c.param[0] = p1;
    c.command[1] = c2;
    c.param[1] = p2;
    return c;
}

TEST(XmLoader, HeaderAndOrders)
{
    tools::ModuleSong song = basic_song(6);
    song.patterns.resize(2);
    song.orders = {1, 0, 200};
    song.speed = 5;
    song.tempo = 140;
    song.linear = false;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_xm(song)), nullptr);
    const ModuleData& m = rig.player->module();
    EXPECT_EQ(m.channels, 6);
    EXPECT_EQ(m.pattern_count, 3);
    EXPECT_EQ(m.orders[2], 2) << "past the patterns: the added empty one";
    EXPECT_EQ(m.patterns[2].rows(), 64u);
    EXPECT_EQ(m.initial_speed, 5);
    EXPECT_EQ(m.initial_tempo, 140);
    EXPECT_EQ(m.format_flags, 0x1600u);
    EXPECT_EQ(m.min_period, 57);
    EXPECT_EQ(m.max_period, 54784);
    EXPECT_EQ(m.initial_panning[5], 128);
    EXPECT_EQ(m.initial_volume[5], 64);
}

TEST(XmLoader, CellsAndEffects)
{
    struct Case {
        const char* why;
        tools::ModuleCell in;
        ModCell out;
    };
    const Case cases[] = {
        {"note 49 is C-5, 60", {49, 1, -1, 0, 0}, cell(60, 0, 0, 0, 0, 0)},
        {"97 is note off", {97, 0, -1, 0, 0}, cell(MOD_NOTE_OFF, 255, 0, 0, 0, 0)},
        {"an instrument past the count cuts", {49, 5, -1, 0, 0}, cell(MOD_NOTE_CUT, 255, 0, 0, 0, 0)},
        {"volume 0x50 sets 64", {-1, 0, 0x50, 0, 0}, cell(255, 255, MODC_VOLUME, 64, 0, 0)},
        {"volume 0x55 sets 69, which the player clamps", {-1, 0, 0x55, 0, 0}, cell(255, 255, MODC_VOLUME, 69, 0, 0)},
        {"volume 0x65 slides down 5", {-1, 0, 0x65, 0, 0}, cell(255, 255, MODC_VOLUME_SLIDE, 0x05, 0, 0)},
        {"volume 0x75 slides up 5", {-1, 0, 0x75, 0, 0}, cell(255, 255, MODC_VOLUME_SLIDE, 0x50, 0, 0)},
        {"volume 0x85 fine down 5", {-1, 0, 0x85, 0, 0}, cell(255, 255, MODC_FINE_VOLUME, 0x05, 0, 0)},
        {"volume 0x95 fine up 5", {-1, 0, 0x95, 0, 0}, cell(255, 255, MODC_FINE_VOLUME, 0x50, 0, 0)},
        {"volume column panning is dropped", {-1, 0, 0xC5, 0x1, 2}, cell(255, 255, 0, 0, MODC_PORTA_UP, 2)},
        {"F1F sets speed 31", {-1, 0, -1, 0xF, 0x1F}, cell(255, 255, 0, 0, MODC_SPEED, 0x1F)},
        {"F20 sets tempo 32", {-1, 0, -1, 0xF, 0x20}, cell(255, 255, 0, 0, MODC_TEMPO, 0x20)},
        {"D15 breaks to row 15", {-1, 0, -1, 0xD, 0x15}, cell(255, 255, 0, 0, MODC_BREAK, 15)},
        {"A32 keeps the high nibble", {-1, 0, -1, 0xA, 0x32}, cell(255, 255, 0, 0, MODC_VOLUME_SLIDE, 0x30)},
        {"A02 keeps the low nibble", {-1, 0, -1, 0xA, 0x02}, cell(255, 255, 0, 0, MODC_VOLUME_SLIDE, 0x02)},
        {"E12 fine up by 8", {-1, 0, -1, 0xE, 0x12}, cell(255, 255, 0, 0, MODC_FINE_PORTA_UP, 8)},
        {"E23 fine down by 12", {-1, 0, -1, 0xE, 0x23}, cell(255, 255, 0, 0, MODC_FINE_PORTA_DOWN, 12)},
        {"E84 pans by 68", {-1, 0, -1, 0xE, 0x84}, cell(255, 255, 0, 0, MODC_PANNING, 68)},
        {"EA3 fine up 3", {-1, 0, -1, 0xE, 0xA3}, cell(255, 255, 0, 0, MODC_FINE_VOLUME, 0x30)},
        {"EB3 fine down 3", {-1, 0, -1, 0xE, 0xB3}, cell(255, 255, 0, 0, MODC_FINE_VOLUME, 0x03)},
        {"other E forms are dropped", {49, 0, -1, 0xE, 0x93}, cell(60, 255, 0, 0, 0, 0)},
        {"G doubles", {-1, 0, -1, 16, 0x20}, cell(255, 255, 0, 0, MODC_GLOBAL_VOLUME, 0x40)},
        {"H slides the global volume", {-1, 0, -1, 17, 0x01}, cell(255, 255, 0, 0, MODC_GLOBAL_SLIDE, 0x01)},
        {"X13 extra fine up by 3", {-1, 0, -1, 33, 0x13}, cell(255, 255, 0, 0, MODC_FINE_PORTA_UP, 3)},
        {"X24 extra fine down by 4", {-1, 0, -1, 33, 0x24}, cell(255, 255, 0, 0, MODC_FINE_PORTA_DOWN, 4)},
        {"arpeggio is dropped", {49, 0, -1, 0, 0x37}, cell(60, 255, 0, 0, 0, 0)},
        {"5 with a high nibble", {-1, 0, -1, 5, 0x4F}, cell(255, 255, 0, 0, MODC_TONE_PORTA_SLIDE, 0x40)},
    };
    tools::ModuleSong song = basic_song(3);
    int row = 0;
    for (const Case& c : cases) {
        song.patterns[0].at(row++, 1) = c.in;
    }
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_xm(song)), nullptr);
    const ModuleData& m = rig.player->module();
    row = 0;
    for (const Case& c : cases) {
        const ModCell got = m.patterns[0].get_cell(1, uint32_t(row++));
        EXPECT_EQ(got.note, c.out.note) << c.why;
        EXPECT_EQ(got.instrument, c.out.instrument) << c.why;
        EXPECT_EQ(got.command[0], c.out.command[0]) << c.why;
        EXPECT_EQ(got.param[0], c.out.param[0]) << c.why;
        EXPECT_EQ(got.command[1], c.out.command[1]) << c.why;
        EXPECT_EQ(got.param[1], c.out.param[1]) << c.why;
    }
}

TEST(XmLoader, InstrumentsSamplesAndDeltaData)
{
    tools::ModuleSong song = basic_song();
    song.samples.clear();
    tools::ModuleSample a;
    a.frames = {1, 2, 3, 0};
    a.finetune = -16;
    a.volume = 40;
    a.panning = 200;
    tools::ModuleSample b;
    b.bits16 = true;
    b.frames = {1000, -1000, 32767, -32768, 0};
    b.relative_note = 12;
    b.loop = true;
    b.pingpong = true;
    b.loop_start = 1;
    b.loop_end = 4;
    song.samples = {a, b};
    song.instruments.clear();
    tools::ModuleInstrument empty;
    tools::ModuleInstrument in;
    in.samples = {0, 1};
    in.keymap = {{0, 1}, {1, 0}, {2, 7}};
    in.fadeout = 100;
    in.volume.on = true;
    in.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    in.volume.sustain = true;
    in.volume.sustain_start = 1;
    in.volume.loop = true;
    in.volume.loop_start = 0;
    in.volume.loop_end = 1; // the sustain point is the loop's end
    in.panning_envelope.on = true;
    in.panning_envelope.points = {{0, 0}, {4, 64}};
    song.instruments = {empty, in};
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_xm(song)), nullptr);
    const ModuleData& m = rig.player->module();
    ASSERT_EQ(m.sample_count, 2);
    ASSERT_EQ(m.instrument_count, 2);
    EXPECT_EQ(m.instruments[0].sample_map[12], MOD_NONE);
    const ModInstrument& mi = m.instruments[1];
    EXPECT_EQ(mi.sample_map[12], 1);
    EXPECT_EQ(mi.sample_map[13], 0);
    EXPECT_EQ(mi.sample_map[14], MOD_NONE) << "a sample beyond the instrument's own";
    EXPECT_EQ(mi.sample_map[11], MOD_NONE);
    EXPECT_EQ(mi.fadeout, 200u);
    const ModEnvelope& v = mi.envelope[MOD_ENV_VOLUME];
    EXPECT_EQ(v.flags, MODE_ON | MODE_SUSTAIN);
    EXPECT_EQ(v.sustain_start, 0);
    EXPECT_EQ(v.sustain_end, 1);
    EXPECT_EQ(v.value[0], 256);
    EXPECT_EQ(mi.envelope[MOD_ENV_PANNING].value[0], -256);
    EXPECT_EQ(mi.envelope[MOD_ENV_PANNING].value[1], 256);
    const ModSample& s0 = m.samples[0];
    EXPECT_EQ(s0.period_offset, 8);
    EXPECT_LT(s0.c5, 8363u);
    EXPECT_EQ(s0.default_volume, 40);
    EXPECT_EQ(s0.default_panning, 200);
    EXPECT_EQ(s0.flags, MODS_PANNING);
    const ModSample& s1 = m.samples[1];
    EXPECT_EQ(s1.length, 5);
    EXPECT_EQ(s1.loop_start, 1);
    EXPECT_EQ(s1.loop_end, 4);
    EXPECT_EQ(s1.period_offset, -768);
    EXPECT_EQ(s1.c5, 16726u);
    EXPECT_EQ(s1.flags, MODS_PANNING | MODS_16BIT | MODS_LOOP | MODS_PINGPONG);
    rig.play(1);
    ASSERT_EQ(rig.device.loaded.size(), 2u);
    std::vector<std::vector<uint8_t>> data;
    for (const auto& [d, bytes] : rig.device.loaded) {
        data.push_back(bytes);
    }
    if (data[0].size() != 4) {
        std::swap(data[0], data[1]);
    }
    EXPECT_EQ(data[0], (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(data[1], (std::vector<uint8_t>{0xE8, 0x03, 0x18, 0xFC, 0xFF, 0x7F, 0x00, 0x80, 0, 0}));
}

TEST(XmLoader, EnvelopeSustainAndLoopForms)
{
    struct Case {
        const char* why;
        bool loop;
        int loop_start;
        int loop_end;
        int sustain;
        uint8_t flags;
        uint8_t sustain_start;
        uint8_t sustain_end;
    };
    const Case cases[] = {
        {"sustain alone holds its point", false, 0, 0, 2, MODE_ON | MODE_SUSTAIN, 2, 2},
        {"sustain inside a loop: both", true, 0, 3, 1, MODE_ON | MODE_LOOP | MODE_SUSTAIN, 1, 1},
        {"sustain after the loop's end: no sustain", true, 0, 1, 2, MODE_ON | MODE_LOOP, 2, 2},
        {"sustain at the loop's end: the loop sustains", true, 1, 2, 2, MODE_ON | MODE_SUSTAIN, 1, 2},
        {"a loop that ends where it starts is off", true, 2, 2, 2, MODE_ON | MODE_SUSTAIN, 2, 2},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = basic_song();
        tools::ModuleEnvelope& e = song.instruments[0].volume;
        e.on = true;
        e.points = {{0, 64}, {4, 32}, {8, 16}, {12, 0}};
        e.sustain = true;
        e.sustain_start = c.sustain;
        e.loop = c.loop;
        e.loop_start = c.loop_start;
        e.loop_end = c.loop_end;
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_xm(song)), nullptr) << c.why;
        const ModEnvelope& got = rig.player->module().instruments[0].envelope[MOD_ENV_VOLUME];
        EXPECT_EQ(got.flags, c.flags) << c.why;
        if ((c.flags & MODE_SUSTAIN) != 0) {
            EXPECT_EQ(got.sustain_start, c.sustain_start) << c.why;
            EXPECT_EQ(got.sustain_end, c.sustain_end) << c.why;
        }
    }
}

TEST(XmLoader, AnEmptyPatternKeepsItsRows)
{
    tools::ModuleSong song = basic_song();
    song.patterns[0].rows = 32;
    std::vector<uint8_t> bytes = tools::write_xm(song);
    // Pattern data of nothing at all: the packed size is 0 and no data follows.
    const size_t at = 60 + 276;
    ASSERT_EQ(bytes[at], 9);
    const size_t packed = size_t(bytes[at + 7] | bytes[at + 8] << 8);
    bytes.erase(bytes.begin() + long(at + 9), bytes.begin() + long(at + 9 + packed));
    bytes[at + 7] = 0;
    bytes[at + 8] = 0;
    ModuleRig rig;
    ASSERT_NE(rig.load(bytes), nullptr);
    EXPECT_EQ(rig.player->module().patterns[0].rows(), 32u);
}

TEST(XmLoader, RefusedFiles)
{
    struct Case {
        const char* why;
        std::function<void(tools::ModuleSong&)> song;
        std::function<void(std::vector<uint8_t>&)> bytes;
    };
    constexpr size_t PATTERN = 60 + 276;
    const Case cases[] = {
        {"version 0x103", [](tools::ModuleSong& s) { s.xm_version = 0x103; }, nullptr},
        {"no channels", [](tools::ModuleSong& s) { s.channels = 0; }, nullptr},
        {"256 channels", nullptr, [](std::vector<uint8_t>& b) { b[69] = 1; b[68] = 0; }},
        {"a header size too small for its fields", nullptr, [](std::vector<uint8_t>& b) { b[60] = 19; b[61] = 0; }},
        {"a song longer than its order table", nullptr, [](std::vector<uint8_t>& b) { b[60] = 20; b[61] = 0; }},
        {"a pattern header of 8", nullptr, [](std::vector<uint8_t>& b) { b[PATTERN] = 8; }},
        {"a packing type of 1", nullptr, [](std::vector<uint8_t>& b) { b[PATTERN + 4] = 1; }},
        {"257 rows", [](tools::ModuleSong& s) { s.patterns[0].rows = 257; }, nullptr},
        {"packed data one byte short of the rows", nullptr, [](std::vector<uint8_t>& b) { b[PATTERN + 7] -= 1; }},
        {"255 samples before an instrument's", [](tools::ModuleSong& s) {
             tools::ModuleInstrument in;
             in.samples.assign(128, 0);
             s.instruments = {in, in};
         }, nullptr},
        {"a cut file", nullptr, [](std::vector<uint8_t>& b) { b.resize(PATTERN + 20); }},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = basic_song();
        song.patterns[0].at(0, 0).note = 49;
        if (c.song) {
            c.song(song);
        }
        std::vector<uint8_t> bytes = tools::write_xm(song);
        if (c.bytes) {
            c.bytes(bytes);
        }
        ModuleRig rig;
        EXPECT_EQ(rig.load(bytes), nullptr) << c.why;
    }
}

} // namespace

namespace {

// A 16-bit sample stored with an odd number of bytes: the next sample's data
// starts after that odd byte.
TEST(XmLoader, AnOddLengthDoesNotShiftTheNextSample)
{
    tools::ModuleSong song = basic_song();
    tools::ModuleSample a;
    a.bits16 = true;
    a.frames = {100, 200};
    tools::ModuleSample b;
    b.frames = {7, 7, 7};
    song.samples = {a, b};
    song.instruments[0].samples = {0, 1};
    std::vector<uint8_t> bytes = tools::write_xm(song);
    const size_t data = bytes.size() - 3 - 4; // b's 3 bytes after a's 4
    const size_t header_a = data - 2 * 40;
    bytes[header_a] = 5;                      // a: 5 bytes, 2 frames and one odd byte
    bytes.insert(bytes.begin() + long(data + 4), 0x55);
    ModuleRig rig;
    ASSERT_NE(rig.load(bytes), nullptr);
    EXPECT_EQ(rig.player->module().samples[0].length, 2);
    rig.player->set_loop(0);
    rig.player->start();
    bool found = false;
    for (const auto& [d, got] : rig.device.loaded) {
        if (got.size() == 3) {
            found = true;
            EXPECT_EQ(got, (std::vector<uint8_t>{7, 7, 7})) << "decoded from the right place";
        }
    }
    EXPECT_TRUE(found);
}

} // namespace
