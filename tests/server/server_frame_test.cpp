// The server's frame: world ticks of 1/70 s following the engine clock with
// a lag cap, fixed ticks per frame, map load and unload, shutdown.
#include "server_fixture.h"

namespace {

class ServerFrame : public ServerFixture {
protected:
    void TearDown() override
    {
        player.close();
        ServerFixture::TearDown();
    }
    // A world with one spawned client; the clock then stands still.
    void spawn_one()
    {
        ASSERT_NO_FATAL_FAILURE(start_world());
        ASSERT_TRUE(spawn({&player}));
    }
    // Ticks run by one frame after dt seconds.
    uint32_t ticks_of_frame(double dt)
    {
        const uint32_t before = server.tick;
        frame({&player}, dt);
        return server.tick - before;
    }

    FakeClient player{&hive, "local"};
};

TEST_F(ServerFrame, WorldTimeFollowsTheClockWithALagCap)
{
    ASSERT_NO_FATAL_FAILURE(spawn_one());
    // The world stood still until the spawn; its first running frame runs one tick.
    server.world_flags &= ~SWF_RUNNING;
    EXPECT_EQ(ticks_of_frame(0.0), 1u);
    EXPECT_EQ(ticks_of_frame(0.5 / 70.0), 0u);
    EXPECT_EQ(ticks_of_frame(0.5 / 70.0), 1u);
    EXPECT_EQ(ticks_of_frame(10.0 / 70.0), 10u);
    // A stall of a second runs 0.2 s of world time and drops the rest.
    const double before = now - server.time_world;
    EXPECT_EQ(ticks_of_frame(1.0), 14u);
    const double behind = now - server.time_world;
    EXPECT_EQ(ticks_of_frame(1.0 / 70.0), 1u);
    EXPECT_NEAR(now - server.time_world, behind, 1e-9);
    EXPECT_NEAR(behind - before, 0.8, 1.0 / 70.0);
}

TEST_F(ServerFrame, FixedTicksPerFrame)
{
    ASSERT_NO_FATAL_FAILURE(spawn_one());
    var("S_FrameTicks")->set_int(3);
    for (const double dt : {0.0, 0.001, 2.0}) {
        EXPECT_EQ(ticks_of_frame(dt), 3u) << dt;
    }
    var("S_FrameTicks")->set_int(0);
    EXPECT_EQ(ticks_of_frame(5.0), 1u);
    // A negative count would run the world backwards: it runs none.
    var("S_FrameTicks")->set_int(-2);
    EXPECT_EQ(ticks_of_frame(1.0), 0u);
}

TEST_F(ServerFrame, TheWorldStandsStillWithoutSpawnedClients)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    const double world = server.time_world;
    for (int i = 0; i < 5; ++i) {
        frame({}, 0.5);
    }
    EXPECT_EQ(server.time_world, world);
    EXPECT_EQ(server.world_flags & SWF_RUNNING, 0u);
    // A client that does not ask to enter the world does not start it either.
    fake_client::Options watcher;
    watcher.player = false;
    FakeClient c(&hive, "local", watcher);
    for (int i = 0; i < 5; ++i) {
        frame({&c}, 0.5);
    }
    EXPECT_TRUE(c.accepted);
    EXPECT_EQ(c.load_maps, 0);
    EXPECT_EQ(server.time_world, world);
}

TEST_F(ServerFrame, AFrameWithoutTicksSendsNoUpdatesButRunsCommands)
{
    ASSERT_NO_FATAL_FAILURE(spawn_one());
    frame({&player}, 1.0 / 70.0);
    player.receive();
    const int32_t updates = player.updates_received;
    server.cmd->add_text("Set S_Profile True");
    frame({&player}, 0.1 / 70.0);
    player.receive();
    EXPECT_EQ(player.updates_received, updates);
    EXPECT_TRUE(var("S_Profile")->as_bool());
}

TEST_F(ServerFrame, MapNamesAndWorldTime)
{
    ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
    ASSERT_NO_FATAL_FAILURE(write_scripts());
    capture.clear();
    EXPECT_EQ(server.load_map("abcdefghij", nullptr), -1);
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(server.map, nullptr);
    EXPECT_EQ(server.world_flags, 0u);
    EXPECT_EQ(server.load_map("nosuchmap", nullptr), -1);
    server.unload_map();
    EXPECT_EQ(server.world_flags, 0u);

    ASSERT_EQ(server.start_map("snake", nullptr), 1);
    EXPECT_EQ(server.map_id, 0u) << "the generator's maps carry no identifier";
    EXPECT_STREQ(server.map_name, "snake");
    EXPECT_EQ(server.world_flags, SWF_READY);
    EXPECT_EQ(server.mirror.current_stamp, 0);
    server.set_world_time(1.0);
    EXPECT_EQ(server.tick, 70u);
    EXPECT_EQ(server.world_flags & SWF_RUNNING, 0u);
    server.unload_map();
    EXPECT_EQ(server.world_flags, 0u);
    EXPECT_STREQ(server.map_name, "");
    EXPECT_EQ(server.map, nullptr);
}

TEST_F(ServerFrame, ScriptWorldFailuresLeaveNoMap)
{
    ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
    struct Case {
        const char* name;
        const char* koblist;
        const char* message;
    };
    const Case cases[] = {
        {"no list", nullptr, "Server: Can't open 'k/koblist.txt'"},
        {"wrong magic", "textualKOBlist,version001\n0\n", "Server: Wrong KOBlist version"},
        {"too many", "textualKOBlist,version000\n256\n", "Server: Too many KOBs"},
        {"negative", "textualKOBlist,version000\n-1\n", "Server: Bad KOB count in 'k/koblist.txt'"},
        {"names missing", "textualKOBlist,version000\n3\nk/a.kob\n# c\nk/b.kob\n", "LoadK: Error reading KOBlist !"},
        {"missing file", "textualKOBlist,version000\n1\nk/none.kob\n", "Server: K_Link failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(tree.path("k/koblist.txt").c_str());
        if (c.koblist != nullptr) {
            tree.write("k/koblist.txt", c.koblist);
        }
        capture.clear();
        EXPECT_EQ(server.start_map("snake", nullptr), 0);
        EXPECT_TRUE(capture.contains(c.message));
        EXPECT_EQ(server.world_flags, 0u);
        EXPECT_EQ(server.map, nullptr);
    }
}

TEST_F(ServerFrame, ShutdownWaitsForTheLastSlot)
{
    ASSERT_NO_FATAL_FAILURE(spawn_one());
    fake_client::Options watcher;
    watcher.name = "watcher";
    watcher.player = false;
    FakeClient w(&hive, "local", watcher);
    frame({&w});
    ASSERT_EQ(server.clients, 2);
    // Shutting down: the watcher is dropped at once, the player logs out and
    // stays until the scripts take it out.
    advance(0.1);
    EXPECT_EQ(server.frame(now, 1), 1);
    EXPECT_EQ(server.clients, 1);
    const int s = slot_of("fake");
    ASSERT_GE(s, 0);
    EXPECT_EQ(server.client[s].state, SCSTATE_LOGGINGOUT);
    advance(0.1);
    EXPECT_EQ(server.frame(now, 1), 1);
    server.remove_script_client(s);
    server.begin_logout(s);
    advance(0.1);
    EXPECT_EQ(server.frame(now, 1), 1);
    EXPECT_EQ(server.clients, 0);
    EXPECT_EQ(server.frame(now, 1), 0);
    player.receive();
    EXPECT_TRUE(player.lost());
}

} // namespace
