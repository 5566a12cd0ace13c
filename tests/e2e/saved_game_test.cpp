// Saved games of the demo level: a save taken at any tick of the level's
// first moments, while some script task is queued and has not run yet (the
// world's own just after it starts, a player's just after its client joined),
// names every task function and loads again.
#include "demo_session.h"

#include "client/client.h"
#include "engine/engine.h"
#include "server/saved_game.h"
#include "server/server.h"
#include "support/print_capture.h"

#include <set>
#include <string>

namespace {

class SavedGame : public e2e::DemoSession {
protected:
    bool player_spawned() const
    {
        const Server* const s = engine_->server();
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            if (s->client[c].state == SCSTATE_SPAWNED) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(SavedGame, EveryTickOfTheFirstSixHundredSavesAndLoads)
{
    ASSERT_NO_FATAL_FAILURE(start());
    PrintCapture capture;
    run("Set Client_Administrator True\nConnect local\nWait 5\nMap demo");
    Server& server = *engine_->server();
    ASSERT_TRUE(frames_until([&] { return (server.world_flags & SWF_READY) == SWF_READY; }, 300));
    const uint32_t first = server.tick;
    // The player joins in frames that run no tick: its task, started by the
    // spawn, is queued and has not run when the save is taken.
    ASSERT_TRUE(frames_until([&] { return player_spawned(); }, 300, 0.0));
    const uint32_t joined = server.tick - first;
    std::set<uint32_t> failed;
    if (save_game(server, "joined") != 1) {
        failed.insert(joined);
    }
    // Then a save after every frame of a third of a tick, named for the ticks
    // run since the start.
    constexpr double FRAME = 1.0 / 210.0;
    for (int i = 0; i < 3 * 600 && server.tick - first <= 600; ++i) {
        ASSERT_EQ(frame(FRAME), 1);
        if (save_game(server, ("t" + std::to_string(server.tick - first)).c_str()) != 1) {
            failed.insert(server.tick - first);
        }
    }
    EXPECT_GE(server.tick - first, 600u);
    EXPECT_TRUE(failed.empty()) << failed.size() << " saves failed, the first at tick " << *failed.begin();
    EXPECT_EQ(capture.count("has no label"), 0);

    // Loading is starting the map with the save: the player's join and later moments.
    for (const std::string save : {"joined", "t1", "t150", "t600"}) {
        SCOPED_TRACE(save);
        capture.clear();
        EXPECT_EQ(server.start_map("demo", save.c_str()), 1);
        EXPECT_EQ((server.world_flags & SWF_READY), SWF_READY);
        for (const PrintCapture::Line& line : capture.lines()) {
            EXPECT_NE(line.stream, P_ERROR) << line.text;
        }
        ASSERT_EQ(frame(), 1);
    }
}

} // namespace
