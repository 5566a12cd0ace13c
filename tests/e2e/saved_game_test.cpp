// Saved games of the demo level: a save taken at any moment of the level's
// first ticks, also while some script task is queued and has not run yet (a
// player's, started by the spawn of a client that joined between two ticks),
// names every task function and loads again.
#include "demo_session.h"

#include "client/client.h"
#include "engine/engine.h"
#include "server/saved_game.h"
#include "server/server.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"

#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace {

class SavedGame : public e2e::DemoSession {
protected:
    void TearDown() override
    {
        guest_.reset();
        DemoSession::TearDown();
    }
    bool guest_spawned() const
    {
        const Server& s = *engine_->server();
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            if (s.client[c].state == SCSTATE_SPAWNED && std::strcmp(s.client[c].name, "guest") == 0) {
                return true;
            }
        }
        return false;
    }
    // One engine frame of `seconds` with the guest answering as a client does.
    int play(double seconds)
    {
        if (!guest_->connected() || !guest_->accepted) {
            (void)guest_->connect();
        }
        guest_->receive();
        if (guest_->accepted) {
            (void)guest_->send_input();
        }
        guest_->flush();
        return frame(seconds);
    }

    std::unique_ptr<fake_client::FakeClient> guest_;
};

TEST_F(SavedGame, SavesThroughTheFirstSixHundredTicksNameEveryTaskAndLoad)
{
    ASSERT_NO_FATAL_FAILURE(start());
    PrintCapture capture;
    run("Set Client_Administrator True\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    Server& server = *engine_->server();
    const uint32_t first = server.tick;

    // A second player joins in frames that run no tick: the task its spawn
    // started is queued and has not run when the save is taken.
    fake_client::Options o;
    o.name = "guest";
    guest_ = std::make_unique<fake_client::FakeClient>(engine_->hive(), "local", o);
    for (int i = 0; i < 300 && !guest_spawned(); ++i) {
        ASSERT_EQ(play(0.0), 1);
    }
    ASSERT_TRUE(guest_spawned());
    ASSERT_EQ(server.tick, first) << "no tick ran since the guest's spawn";
    std::set<std::string> failed;
    if (save_game(server, "joined") != 1) {
        failed.insert("joined");
    }
    // Then a save after every frame of a third of a tick, named for the ticks
    // run since the start.
    constexpr double FRAME = 1.0 / 210.0;
    for (int i = 0; i < 4 * 600 && server.tick - first < 600; ++i) {
        ASSERT_EQ(play(FRAME), 1);
        const std::string name = "t" + std::to_string(server.tick - first);
        if (save_game(server, name.c_str()) != 1) {
            failed.insert(name);
        }
    }
    EXPECT_GE(server.tick - first, 600u);
    EXPECT_TRUE(failed.empty()) << failed.size() << " saves failed, first " << *failed.begin();
    EXPECT_EQ(capture.count("has no label"), 0);

    // Loading is starting the map with the save: the guest's join and later moments.
    for (const std::string save : {"joined", "t1", "t150", "t600"}) {
        SCOPED_TRACE(save);
        capture.clear();
        EXPECT_EQ(server.start_map("demo", save.c_str()), 1);
        EXPECT_EQ((server.world_flags & SWF_READY), SWF_READY);
        for (const PrintCapture::Line& line : capture.lines()) {
            EXPECT_NE(line.stream, P_ERROR) << line.text;
        }
        ASSERT_EQ(play(1.0 / 70.0), 1);
    }
}

} // namespace
