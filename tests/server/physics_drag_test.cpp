// Speeds and turn rates that bodies settle at, worked out from the material
// rows and not from the code: a body pushed by thrust T on ground settles at
// T times the blended traction, and its heading velocity at the turn rate
// times the same traction; the blend weighs the ground by 1 - b and the
// medium by the buoyancy b.
#include "physics_fixture.h"
#include "server/ph_material.h"

#include <cmath>

namespace {

const Vector GRAVITY = {0, 0, -800};
constexpr int32_t AIR = 1;
constexpr int32_t FLOOR = STONE & 0xFF;
constexpr int32_t WATER = 60;

// The rows of the floor and the air with a traction and density of the test's own.
void set_floor(float ground_traction) { material_set(FLOOR, 0, 0.5f, 0, 0, 20, 100, 1.0f, ground_traction); }
void set_air(float density, float traction) { material_set(AIR, density, 0, 0.1f, 5, 0, 0, traction, 0); }

} // namespace

TEST_F(PhysicsHall, WalkingSpeedFollowsTheTractionOfGroundAndMedium)
{
    struct Case {
        const char* name;
        float ground_traction, air_density, air_traction;
        float speed; // of a thrust of 100
    };
    const Case cases[] = {
        {"half traction on the ground", 0.5f, 0, 1.0f, 50},
        {"double traction on the ground", 2.0f, 0, 1.0f, 200},
        {"without buoyancy the medium's traction is not used", 0.5f, 0, 3.0f, 50},
        {"a quarter buoyancy: 0.75 of the ground, 0.25 of the medium", 0.5f, 0.25f, 1.0f, 62.5f},
        {"a quarter buoyancy, other weights", 2.0f, 0.25f, 0.4f, 160},
    };
    physics.set_physical_gravity(GRAVITY);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_floor(c.ground_traction);
        set_air(c.air_density, c.air_traction);
        const int32_t id = body(Vector{8, 8, 8}, Vector{300, 850, 8.5f});
        physics.set_physical_bounce(id, 0);
        ticks(20);
        ASSERT_EQ(physics.physical_ground_material(id), STONE);
        physics.set_physical_thrust(id, Vector{100, 0, 0});
        ticks(100);
        EXPECT_EQ(physics.physical_ground_material(id), STONE);
        EXPECT_NEAR(at(id).velocity.x, c.speed, c.speed * 0.002f);
        EXPECT_NEAR(at(id).velocity.y, 0.0f, 0.01f);
        physics.destroy_entity(id);
    }
}

TEST_F(PhysicsHall, SpinSettlesAtTheTurnRateTimesTheTraction)
{
    struct Case {
        const char* name;
        bool on_ground;
        float turn, heading_speed; // heading velocity settled at
    };
    const Case cases[] = {
        {"on ground of double traction", true, 0.5f, 1.0f},
        {"on ground, turning the other way", true, -0.25f, -0.5f},
        {"in the air of half traction", false, 0.5f, 0.25f},
    };
    set_floor(2.0f);
    set_air(0, 0.5f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        physics.set_physical_gravity(c.on_ground ? GRAVITY : Vector{0, 0, 0});
        const int32_t id = body(Vector{8, 8, 8}, Vector{800, 850, c.on_ground ? 8.5f : 100.0f});
        physics.set_physical_bounce(id, 0);
        ticks(20);
        ASSERT_EQ(physics.physical_ground_material(id) != 0, c.on_ground);
        physics.set_physical_turn(id, c.turn, 0, 0);
        // The air's turn drag is slow (1 - exp(-5/70) a tick): 280 ticks leave 1e-9 of the difference.
        ticks(c.on_ground ? 70 : 280);
        EXPECT_NEAR(at(id).spin.x, c.heading_speed, std::fabs(c.heading_speed) * 0.001f);
        EXPECT_EQ(at(id).spin.y, 0.0f);
        EXPECT_EQ(at(id).spin.z, 0.0f);
        const float before = at(id).heading;
        ticks(35);
        EXPECT_NEAR(at(id).heading - before, c.heading_speed * 0.5f, std::fabs(c.heading_speed) * 0.002f)
            << "half a second at the settled rate";
        EXPECT_EQ(at(id).pitch, 0.0f);
        EXPECT_EQ(at(id).bank, 0.0f);
        physics.destroy_entity(id);
    }
}

// Walking east over the floor into the pool: in air the floor's traction
// (1.0) holds, in water of density 1 the blend with buoyancy b = density x
// volume / mass. A body of volume 1 floats (b = 1): only the water's traction
// 0.4 and drag count. One of volume 0.25 stays on the pool's floor:
// 0.75 x 1.0 + 0.25 x 0.4.
TEST_F(PhysicsHall, ABodyWalkingIntoWaterTakesTheWatersTractionByItsBuoyancy)
{
    struct Case {
        float volume;
        float water_speed; // of a thrust of 100
        bool on_ground_in_water;
    };
    physics.set_physical_gravity(GRAVITY);
    for (const Case& c : {Case{1.0f, 40.0f, false}, Case{0.25f, 85.0f, true}}) {
        SCOPED_TRACE(c.volume);
        const int32_t id = body(Vector{8, 8, 8}, Vector{450, 180, 8.5f});
        physics.set_physical_bounce(id, 0);
        physics.set_physical_volume(id, c.volume);
        physics.set_physical_thrust(id, Vector{100, 0, 0});
        for (int t = 0; t < 300 && at(id).position.x < 580.0f; ++t) {
            physics.tick();
        }
        ASSERT_GE(at(id).position.x, 580.0f);
        EXPECT_EQ(physics.physical_entity_material(id), AIR);
        EXPECT_NEAR(at(id).velocity.x, 100.0f, 0.2f) << "on the floor in air";
        for (int t = 0; t < 300 && at(id).position.x < 610.0f; ++t) {
            physics.tick();
        }
        ASSERT_EQ(physics.physical_entity_material(id), WATER);
        // The water's drag, 1 - exp(-5/70) a tick, leaves 1e-3 of the difference after 100 ticks.
        ticks(100);
        EXPECT_EQ(physics.physical_entity_material(id), WATER);
        EXPECT_NEAR(at(id).velocity.x, c.water_speed, 0.1f);
        EXPECT_EQ(physics.physical_ground_material(id) != 0, c.on_ground_in_water);
        EXPECT_LT(at(id).position.x, 900.0f - 8.0f) << "still in the pool";
        physics.destroy_entity(id);
    }
}

// Heading, pitch and bank follow one rule each: a turn rate on one axis
// settles that axis's angular velocity at the rate times the traction and
// leaves the other two at rest. The carrier's spin adds to the heading only,
// and no carrier is involved here.
TEST_F(PhysicsHall, SpinOnEachAxisSettlesAtItsTurnRateTimesTheTraction)
{
    struct Axis {
        const char* name;
        int index; // 0 heading, 1 pitch, 2 bank
    };
    const Axis axes[] = {{"heading", 0}, {"pitch", 1}, {"bank", 2}};
    const auto component = [](const Vector& v, int i) { return i == 0 ? v.x : i == 1 ? v.y : v.z; };
    const auto angle = [](const PhysicalEntity& e, int i) { return i == 0 ? e.heading : i == 1 ? e.pitch : e.bank; };
    set_floor(2.0f);
    set_air(0, 0.5f);
    physics.set_physical_gravity(Vector{0, 0, 0});
    for (const Axis& a : axes) {
        for (const float turn : {0.5f, -1.0f}) {
            SCOPED_TRACE(testing::Message() << a.name << " turning at " << turn);
            const int32_t id = body(Vector{8, 8, 8}, Vector{800, 850, 100.0f});
            physics.set_physical_bounce(id, 0);
            ticks(20);
            ASSERT_EQ(physics.physical_ground_material(id), 0);
            physics.set_physical_turn(id, a.index == 0 ? turn : 0, a.index == 1 ? turn : 0, a.index == 2 ? turn : 0);
            physics.tick();
            // The first tick closes the air's turn drag, 1 - exp(-5/70), of the way
            // from rest; a first step below 0.01 would be zeroed at the end of the tick.
            const float first = turn * 0.5f * (1.0f - std::exp(-5.0f / 70.0f));
            EXPECT_NEAR(component(at(id).spin, a.index), first, std::fabs(first) * 0.01f) << "after one tick";
            ticks(279);
            const float settled = turn * 0.5f;
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(component(at(id).spin, i), i == a.index ? settled : 0.0f, std::fabs(settled) * 0.001f)
                    << "axis " << i;
            }
            const float before = angle(at(id), a.index);
            ticks(35);
            EXPECT_NEAR(angle(at(id), a.index) - before, settled * 0.5f, std::fabs(settled) * 0.002f)
                << "half a second at the settled rate";
            for (int i = 0; i < 3; ++i) {
                if (i != a.index) {
                    EXPECT_EQ(angle(at(id), i), 0.0f) << "axis " << i;
                }
            }
            physics.destroy_entity(id);
        }
    }
}
