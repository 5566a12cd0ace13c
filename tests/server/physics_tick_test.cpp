#include "physics_fixture.h"

#include <cmath>
#include <limits>

namespace {

const Vector GRAVITY = {0, 0, -800};

} // namespace

TEST_F(PhysicsHall, ABodyLandsAtTheHeightItsHullGivesAndSleeps)
{
    struct Case {
        Vector size;
        float rest;
    };
    physics.set_physical_gravity(GRAVITY);
    for (const Case& c : {Case{{0, 0, 0}, 0}, Case{{8, 8, 8}, 8}, Case{{16, 16, 28}, 28}, Case{{15, 15, 26}, 28}}) {
        const int32_t id = body(c.size, Vector{800, 800, 100});
        physics.set_physical_bounce(id, 0);
        EXPECT_GT(until_asleep(id, 400), 0) << c.rest;
        EXPECT_GE(at(id).position.z, c.rest) << "never inside the floor";
        EXPECT_LT(at(id).position.z, c.rest + 0.05f);
        EXPECT_EQ(at(id).velocity.z, 0.0f);
        EXPECT_EQ(physics.physical_ground_material(id), STONE);
        EXPECT_EQ(physics.physical_entity_material(id), 1) << "the air it rests in";
        physics.destroy_entity(id);
    }
}

TEST_F(PhysicsHall, ABouncyBodyBouncesOffTheFloor)
{
    physics.set_physical_gravity(GRAVITY);
    const int32_t id = body(Vector{8, 8, 8}, Vector{800, 800, 60});
    float lowest_rise = 0.0f;
    bool rose = false;
    for (int t = 0; t < 200 && !rose; ++t) {
        const float before = at(id).position.z;
        physics.tick();
        rose = at(id).velocity.z > 0.0f && before < 12.0f;
        lowest_rise = at(id).velocity.z;
    }
    EXPECT_TRUE(rose) << "material 128 gives bounce 0.5 times the body's 1.0";
    EXPECT_GT(lowest_rise, 100.0f);
}

TEST_F(PhysicsHall, SleepComesAfterTwoQuietTicks)
{
    struct Case {
        const char* name;
        Vector velocity;
        int sleeps_after;
    };
    for (const Case& c : {Case{"at rest", {0, 0, 0}, 2}, Case{"slower than 0.01", {0.009f, -0.005f, 0}, 2},
                          Case{"moving", {0.5f, 0, 0}, -1}}) {
        const int32_t id = body(Vector{8, 8, 8}, Vector{800, 800, 100});
        physics.set_physical_velocity(id, c.velocity);
        EXPECT_EQ(until_asleep(id, 5), c.sleeps_after) << c.name;
        physics.destroy_entity(id);
    }
}

TEST_F(PhysicsHall, ABodySlidesAlongAWall)
{
    const int32_t id = body(Vector{8, 8, 8}, Vector{980, 700, 100});
    physics.set_physical_bounce(id, 0);
    physics.set_physical_velocity(id, Vector{300, 100, 0});
    ticks(35);
    EXPECT_LE(at(id).position.x, 1016.0f) << "the wall at x = 1024 less the hull";
    EXPECT_GT(at(id).position.x, 1015.9f);
    EXPECT_GT(at(id).position.y, 740.0f) << "it kept going along the wall";
    EXPECT_EQ(at(id).velocity.x, 0.0f);
    EXPECT_NEAR(at(id).velocity.y, 100.0f * std::exp(-0.1f * 35 / 70), 0.1f) << "only the air's drag slowed it";
    EXPECT_NEAR(at(id).position.z, 100.0f, 0.01f);
}

TEST_F(PhysicsHall, AWalkerStepsUpEightUnitStairsOnlyWithAHighEnoughStep)
{
    struct Case {
        float step;
        bool climbs;
    };
    physics.set_physical_gravity(GRAVITY);
    for (const Case& c : {Case{10, true}, Case{6, false}}) {
        const int32_t id = body(Vector{16, 16, 28}, Vector{20, 640, 28.5f});
        physics.set_physical_bounce(id, 0);
        physics.set_physical_step(id, c.step, 0);
        physics.set_physical_thrust(id, Vector{150, 0, 0});
        ticks(150);
        if (c.climbs) {
            EXPECT_GT(at(id).position.x, 200.0f) << "on the landing";
            EXPECT_NEAR(at(id).position.z, 60.0f, 0.05f) << "the landing at 32 plus the hull";
        } else {
            EXPECT_NEAR(at(id).position.x, 48.0f, 0.05f) << "stopped at the first step";
            EXPECT_NEAR(at(id).position.z, 28.0f, 0.05f);
        }
        physics.destroy_entity(id);
    }
}

TEST_F(PhysicsHall, AnUnplacedEntityIsNeitherMovedNorCollided)
{
    const int32_t id = physics.create_entity(0, Vector{8, 8, 8}, -1, BODY);
    physics.set_physical_velocity(id, Vector{100, 0, 0});
    physics.set_physical_gravity(GRAVITY);
    ticks(3);
    EXPECT_EQ(at(id).position.x, 0.0f);
    EXPECT_EQ(at(id).velocity.z, 0.0f) << "no gravity reached it";
    EXPECT_TRUE(at(id).awake());
}

TEST_F(PhysicsHall, BounceNeedsBothTheBodyAndTheSurface)
{
    // A static box of material 220 (bounce 1.5) under a falling body.
    box(Vector{300, 300, 20}, Vector{30, 30, 20}, 0x2000 | 220);
    physics.set_physical_gravity(GRAVITY);
    struct Case {
        float bounce;
        bool rises;
    };
    for (const Case& c : {Case{0, false}, Case{1, true}}) {
        const int32_t id = body(Vector{8, 8, 8}, Vector{300, 300, 80});
        physics.set_physical_bounce(id, c.bounce);
        bool rose = false;
        for (int t = 0; t < 100 && !rose; ++t) {
            physics.tick();
            rose = at(id).velocity.z > 1.0f;
        }
        EXPECT_EQ(rose, c.rises) << c.bounce;
        EXPECT_GE(at(id).position.z, 48.0f) << "never into the box";
        physics.destroy_entity(id);
    }
}

TEST_F(PhysicsHall, BodiesWithBoxesStackAndStandOnEachOther)
{
    physics.set_physical_gravity(GRAVITY);
    const int32_t volume = physics.get_box_volume(STONE, Vector{0, 0, 0}, Vector{8, 8, 8});
    const int32_t lower = physics.create_entity(0, Vector{8, 8, 8}, volume, BODY | PHYS_VOLUME);
    const int32_t upper = physics.create_entity(0, Vector{8, 8, 8}, volume, BODY | PHYS_VOLUME);
    physics.set_physical_position(lower, Vector{800, 800, 40});
    physics.set_physical_position(upper, Vector{802, 800, 90});
    physics.set_physical_bounce(lower, 0);
    physics.set_physical_bounce(upper, 0);
    ticks(300);
    EXPECT_NEAR(at(lower).position.z, 8.0f, 0.1f);
    EXPECT_NEAR(at(upper).position.z, 24.0f, 0.2f) << "on the lower box: 8 + 16";
    EXPECT_TRUE(at(upper).awake()) << "standing on a carrier keeps it awake, to follow it";
}

TEST_F(PhysicsHall, NonFiniteValuesAreRefusedAndHugeOnesEndWithoutAHang)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const int32_t id = body(Vector{8, 8, 8}, Vector{800, 800, 100});
    physics.set_physical_position(id, Vector{nan, 0, 0});
    physics.set_physical_velocity(id, Vector{0, inf, 0});
    physics.set_physical_angles(id, nan, 0, 0);
    physics.set_physical_gravity(Vector{0, 0, nan});
    physics.set_physical_force(id, Vector{nan, 0, 0});
    EXPECT_EQ(at(id).position.x, 800.0f);
    EXPECT_EQ(at(id).velocity.y, 0.0f);
    EXPECT_EQ(at(id).heading, 0.0f);
    EXPECT_EQ(physics.gravity().z, 0.0f);
    EXPECT_TRUE(capture.contains("Physics: Non-finite"));
    EXPECT_EQ(physics.create_entity(0, Vector{nan, 1, 1}, -1, BODY), -1);

    physics.set_physical_force(id, Vector{3e38f, 3e38f, 0});
    physics.set_physical_velocity(id, Vector{3e38f, -3e38f, 3e38f});
    ticks(3);
    EXPECT_TRUE(std::isfinite(at(id).position.x) && std::isfinite(at(id).position.y) &&
                std::isfinite(at(id).position.z));
    EXPECT_TRUE(std::isfinite(at(id).velocity.x));
}

TEST_F(PhysicsHall, EveryEntityIsMovedOnceAPassWhileTheListStaysInDescendingHeight)
{
    int32_t ids[5];
    for (int i = 0; i < 5; ++i) {
        ids[i] = body(Vector{0, 0, 0}, Vector{100.0f + 50.0f * i, 900, 20.0f + 20.0f * i});
        physics.set_physical_velocity(ids[i], Vector{0, 0, 70});
    }
    physics.tick();
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(at(ids[i]).position.z, 21.0f + 20.0f * i, 0.01f) << "one tick's move, not two";
    }
}

TEST_F(PhysicsHall, ABodyPlacedExactlyOnTheFloorWalks)
{
    // On the floor's plane by the hull's height, a little above it, and falling onto it.
    physics.set_physical_gravity(GRAVITY);
    for (const float z : {28.0f, 28.001f, 30.0f}) {
        const int32_t id = body(Vector{16, 16, 28}, Vector{800, 640, z});
        EXPECT_GT(at(id).position.z, 28.0f) << z;
        EXPECT_LE(at(id).position.z, std::max(z, 28.01f)) << z;
        physics.set_physical_bounce(id, 0);
        physics.set_physical_thrust(id, Vector{150, 0, 0});
        ticks(70);
        EXPECT_GT(at(id).position.x, 830.0f) << z;
        EXPECT_NEAR(at(id).position.z, 28.0f, 0.05f) << z;
        EXPECT_GT(at(id).velocity.z, -20.0f) << z << ": held by the floor, not falling ever faster";
        physics.destroy_entity(id);
    }
}
