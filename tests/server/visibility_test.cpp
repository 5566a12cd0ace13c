// Objects of the linked classes reach a client through the visibility walk
// from its camera: those in cells its camera cannot see leave it 70 ticks
// after they went out of sight.
#include "server_fixture.h"

namespace {

class Visibility : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world());
        ASSERT_TRUE(spawn({&player}));
        var("S_FrameTicks")->set_int(1);
        camera = server.client[slot_of("fake")].camera_id;
        // In the first room of the snake.
        server.mirror.set_position(camera, Vector{128.0f, 128.0f, 64.0f});
    }
    void TearDown() override
    {
        player.close();
        ServerFixture::TearDown();
    }
    bool holds(int32_t id) const { return player.objects.count(static_cast<uint32_t>(id)) != 0; }

    FakeClient player{&hive, "local"};
    int32_t camera = -1;
};

TEST_F(Visibility, AnObjectOutOfSightLeavesSeventyTicksLater)
{
    const int32_t sprite = server.mirror.create(OBJCLASS_SPRITE, AUDIENCE_EVERYONE, false);
    ASSERT_GE(sprite, 0);
    server.mirror.set_position(sprite, Vector{200.0f, 100.0f, 64.0f});
    for (int i = 0; i < 5; ++i) {
        frame({&player});
    }
    player.receive();
    ASSERT_TRUE(holds(sprite));
    // To the far corner of the snake, which the first room cannot see.
    server.mirror.set_position(sprite, Vector{896.0f, 896.0f, 64.0f});
    frame({&player});
    const uint32_t moved = server.tick;
    int32_t left = -1;
    for (int i = 0; i < 90 && left < 0; ++i) {
        frame({&player});
        player.receive();
        if (!holds(sprite)) {
            left = static_cast<int32_t>(server.tick - moved);
        }
    }
    EXPECT_GE(left, 70);
    EXPECT_LE(left, 72);
    // Back in sight it is created again.
    server.mirror.set_position(sprite, Vector{100.0f, 200.0f, 64.0f});
    for (int i = 0; i < 3; ++i) {
        frame({&player});
    }
    player.receive();
    ASSERT_TRUE(holds(sprite));
    EXPECT_GE(player.objects[static_cast<uint32_t>(sprite)].creates, 1);
    EXPECT_NEAR(player.objects[static_cast<uint32_t>(sprite)].state.offset[0], 100.0, 0.125);
}

TEST_F(Visibility, WithoutThePvsEveryObjectIsAdmitted)
{
    const int32_t far = server.mirror.create(OBJCLASS_MESH, AUDIENCE_EVERYONE, false);
    server.mirror.set_position(far, Vector{896.0f, 896.0f, 64.0f});
    const int32_t hidden = server.mirror.create(OBJCLASS_MESH, AUDIENCE_NOBODY, false);
    server.mirror.set_position(hidden, Vector{128.0f, 100.0f, 64.0f});
    for (int i = 0; i < 3; ++i) {
        frame({&player});
    }
    player.receive();
    EXPECT_FALSE(holds(far));
    var("S_PVS")->set_bool(0);
    for (int i = 0; i < 3; ++i) {
        frame({&player});
    }
    player.receive();
    EXPECT_TRUE(holds(far));
    EXPECT_FALSE(holds(hidden)) << "the audience still rules";
}

} // namespace
