// Song stepping: ticks, rows, orders, breaks, jumps, the end and the loop,
// on small IT files.
#include "tests/sound/module_fixture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Pos = std::pair<int, int>; // (order, row)

constexpr int IT_A = 1;  // set speed
constexpr int IT_B = 2;  // position jump
constexpr int IT_C = 3;  // pattern break
constexpr int IT_T = 20; // set tempo

tools::ModuleSong song_of(std::vector<int> rows, std::vector<int> orders)
{
    tools::ModuleSong song = basic_song(1);
    song.speed = 1;
    song.orders = std::move(orders);
    song.patterns.clear();
    for (const int r : rows) {
        tools::ModulePattern p;
        p.rows = r;
        song.patterns.push_back(p);
    }
    return song;
}

// (order, row) after each of n ticks.
std::vector<Pos> walk(ModuleRig& rig, int n, bool loop = false)
{
    rig.player->set_loop(loop ? 1 : 0);
    rig.player->start();
    std::vector<Pos> out;
    for (int i = 0; i < n; ++i) {
        rig.player->timer_tick();
        out.emplace_back(rig.player->order(), rig.player->row());
    }
    return out;
}

TEST(ModulePlayer, EndMarkerEndsTheSongWithoutLoopAndRepeatsWithIt)
{
    const tools::ModuleSong song = song_of({3, 3}, {0, 255, 1});
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    EXPECT_EQ(walk(rig, 6), (std::vector<Pos>{{0, 0}, {0, 1}, {0, 2}, {0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(rig.player->is_finished(), 1);

    ModuleRig looping;
    ASSERT_NE(looping.load(tools::write_it(song)), nullptr);
    EXPECT_EQ(walk(looping, 7, true), (std::vector<Pos>{{0, 0}, {0, 1}, {0, 2}, {0, 0}, {0, 1}, {0, 2}, {0, 0}}));
    EXPECT_EQ(looping.player->is_finished(), 0);
}

TEST(ModulePlayer, OrderEntriesThatNameNoPatternAreSkipped)
{
    // IT keeps 254 (skipped); a number past the patterns plays the added empty pattern of 64 rows.
    const tools::ModuleSong song = song_of({2, 2}, {254, 1, 254, 254, 0, 7});
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    ASSERT_EQ(rig.player->module().pattern_count, 3);
    const std::vector<Pos> got = walk(rig, 5);
    EXPECT_EQ(got, (std::vector<Pos>{{1, 0}, {1, 1}, {4, 0}, {4, 1}, {5, 0}}));
    EXPECT_EQ(rig.player->pattern(), 2);
    rig.ticks(63);
    EXPECT_EQ(rig.player->row(), 63);
    rig.ticks(1);
    EXPECT_EQ(rig.player->is_finished(), 1);
}

TEST(ModulePlayer, BreaksAndJumps)
{
    struct Case {
        const char* why;
        std::vector<int> rows;
        std::vector<int> orders;
        int command;
        int param;
        int second_command; // with its own parameter below, on the next channel... same row
        int second_param;
        Pos after;
    };
    const Case cases[] = {
        {"break to row 10 goes on at row 10 of the next order", {64, 64, 64}, {0, 1, 2}, IT_C, 10, 0, 0, {1, 10}},
        {"break past the next pattern's rows skips one more order, at row 0", {64, 64, 64}, {0, 1, 2}, IT_C, 80, 0, 0,
         {2, 0}},
        {"break to row 80 of a 128-row pattern", {64, 128, 64}, {0, 1, 2}, IT_C, 80, 0, 0, {1, 80}},
        {"a jump starts its order at row 0", {64, 64, 64}, {0, 1, 2}, IT_B, 2, 0, 0, {2, 0}},
        {"a jump with a break goes to the jump's order at the break's row", {64, 64, 64}, {0, 1, 2}, IT_B, 2, IT_C, 5,
         {2, 5}},
    };
    for (const Case& c : cases) {
        tools::ModuleSong song = song_of(c.rows, c.orders);
        song.channels = 2;
        song.patterns[0].at(0, 0).command = c.command;
        song.patterns[0].at(0, 0).param = c.param;
        if (c.second_command != 0) {
            song.patterns[0].at(0, 1).command = c.second_command;
            song.patterns[0].at(0, 1).param = c.second_param;
        }
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song)), nullptr) << c.why;
        const std::vector<Pos> got = walk(rig, 2);
        EXPECT_EQ(got[1], c.after) << c.why;
    }
}

TEST(ModulePlayer, SpeedAndTempo)
{
    tools::ModuleSong song = song_of({8}, {0});
    song.speed = 3;
    song.tempo = 150;
    song.patterns[0].at(2, 0).command = IT_A;
    song.patterns[0].at(2, 0).param = 1;
    song.patterns[0].at(3, 0).command = IT_T;
    song.patterns[0].at(3, 0).param = 100;
    song.patterns[0].at(4, 0).command = IT_A;
    song.patterns[0].at(4, 0).param = 0; // no change
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    rig.player->set_loop(0);
    rig.player->start();
    EXPECT_FLOAT_EQ(rig.device.rate(), 60.0f);
    std::vector<int> rows;
    for (int i = 0; i < 10; ++i) {
        rig.player->timer_tick();
        rows.push_back(rig.player->row());
    }
    // Three ticks a row until row 2 sets speed 1.
    EXPECT_EQ(rows, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 3, 4, 5}));
    EXPECT_FLOAT_EQ(rig.device.rate(), 40.0f);
    EXPECT_EQ(rig.player->speed(), 1);
    EXPECT_EQ(rig.player->tempo(), 100);
}

// Tempo t ticks every 2.5 / t seconds, at 44.1 kHz every 1378.125 frames for
// tempo 80, 984.375 for 112, 882 for 125 and 781.915 for 141. The mixer's
// ticks fall on whole frames; the song must still end where the exact tick
// times put it, neither a tick late after a change of tempo nor drifting by
// a fraction of a frame each tick.
TEST(ModulePlayer, SongLengthKeepsTheExactTickTimesThroughTempoChanges)
{
    const int tempos[] = {80, 112, 125, 141};
    constexpr int ROWS_EACH = 64;
    tools::ModuleSong song = song_of({ROWS_EACH * 4}, {0});
    for (int i = 0; i < 4; ++i) {
        song.patterns[0].at(i * ROWS_EACH, 0).command = IT_T;
        song.patterns[0].at(i * ROWS_EACH, 0).param = tempos[i];
    }
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    for (const int32_t rate : {44100, 48000, 22050, 8000}) {
        tools::ModuleRender render;
        ASSERT_TRUE(render.open(rig.path().c_str(), rate)) << rate;
        std::vector<int16_t> out;
        while (!render.finished() && render.seconds() < 60.0) {
            render.render(out, rate);
        }
        ASSERT_TRUE(render.finished()) << rate;
        // One row a tick: the song ends at the tick after its last row.
        double exact = 0.0;
        for (const int t : tempos) {
            exact += ROWS_EACH * (rate * 2.5 / t);
        }
        EXPECT_NEAR(render.seconds() * rate, exact, 1.0) << rate << " Hz";
    }
}

TEST(ModulePlayer, LifecycleFlagsDeviceSamplesAndTimer)
{
    tools::ModuleSong song = song_of({4}, {0});
    song.samples.push_back(tools::ModuleSample{}); // no data: no device sample
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    EXPECT_EQ(rig.player->state(), MODP_STOPPED | MODP_PAUSED | MODP_LOOP | MODP_LOADED);
    rig.player->start();
    EXPECT_EQ(rig.player->state(), MODP_LOOP | MODP_LOADED);
    EXPECT_EQ(rig.device.samples, 1);
    EXPECT_EQ(rig.device.timer_count(), 1);
    rig.player->pause();
    rig.ticks(5);
    EXPECT_EQ(rig.player->order(), -1);
    rig.player->start();
    rig.ticks(1);
    EXPECT_EQ(rig.player->order(), 0);
    rig.player->stop();
    EXPECT_EQ(rig.device.samples, 0);
    EXPECT_EQ(rig.device.timer_count(), 0);
    EXPECT_TRUE(rig.player->state() & MODP_STOPPED);
    rig.player->unload();
    EXPECT_EQ(rig.player->state() & MODP_LOADED, 0u);
    EXPECT_EQ(rig.player->loader(), -1);
}

TEST(ModulePlayer, StartsNothingWithoutAPlayableOrderOrDeviceSamples)
{
    {
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song_of({4}, {254, 255, 9}))), nullptr);
        // 9 names the added empty pattern: that one is playable.
        rig.player->start();
        EXPECT_EQ(rig.player->state() & MODP_STOPPED, 0u);
    }
    {
        ModuleRig rig;
        ASSERT_NE(rig.load(tools::write_it(song_of({4}, {254, 255}))), nullptr);
        rig.player->start();
        EXPECT_TRUE(rig.player->state() & MODP_STOPPED);
        EXPECT_EQ(rig.device.timer_count(), 0);
        EXPECT_EQ(rig.device.samples, 0);
        rig.ticks(3);
        EXPECT_EQ(rig.player->order(), -1);
    }
    {
        ModuleRig rig;
        rig.device.refuse_samples = true;
        ASSERT_NE(rig.load(tools::write_it(song_of({4}, {0}))), nullptr);
        rig.player->start();
        EXPECT_TRUE(rig.player->state() & MODP_STOPPED);
        EXPECT_EQ(rig.device.timer_count(), 0);
    }
}

TEST(ModulePlayer, PositionTakesEffectAtTheNextRow)
{
    tools::ModuleSong song = song_of({4, 4, 4}, {0, 1, 2});
    song.speed = 2;
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song)), nullptr);
    rig.player->start();
    rig.ticks(1);
    SongPos pos;
    pos.unit = SONGPOS_SECONDS;
    EXPECT_EQ(rig.player->set_position(&pos), 0);
    EXPECT_EQ(pos.unit, SONGPOS_ORDER_ROW);
    pos.order = 2;
    pos.row = 3;
    EXPECT_EQ(rig.player->set_position(&pos), 1);
    rig.ticks(1);
    EXPECT_EQ(rig.player->order(), 0);
    rig.ticks(1);
    SongPos now;
    rig.player->get_position(&now);
    EXPECT_EQ(now.order, 2);
    EXPECT_EQ(now.row, 3);
    SongPos length;
    rig.player->get_length(&length);
    EXPECT_EQ(length.unit, SONGPOS_ORDER_ROW);
    EXPECT_EQ(length.order, 3);
}

TEST(ModulePlayer, VolumeSeparationAndLoopSettings)
{
    ModuleRig rig;
    ASSERT_NE(rig.load(tools::write_it(song_of({4}, {0}))), nullptr);
    rig.player->set_volume(2.0f);
    EXPECT_EQ(rig.player->get_volume(), 1.0f);
    rig.player->set_volume(-1.0f);
    EXPECT_EQ(rig.player->get_volume(), 0.0f);
    rig.player->set_separation(-3.0f);
    EXPECT_EQ(rig.player->get_separation(), -1.0f);
    EXPECT_EQ(rig.player->set_loop(0), 1);
    EXPECT_EQ(rig.player->set_loop(1), 0);
    SongInfo info;
    rig.player->get_info(&info);
    EXPECT_EQ(info.kind, SONG_KIND_MODULE);
    EXPECT_STREQ(info.name, "test");
}

} // namespace
