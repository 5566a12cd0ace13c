// A busy hall (boxes and bodies walking into one another, the walls, the
// pillars, the water and up the stairs) run for a few hundred ticks, and the
// exact state of every entity checked against a record of it. The physics
// is quick by leaving out work that cannot change an answer: anything that
// changes an answer, by a single bit, shows here.
#include "physics_fixture.h"
#include "tools/mapgen/room_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr float HALF = 8.0f;
constexpr float WALK = 150.0f;
constexpr float TURN_PER_TICK = 0.02f;

struct Walker {
    int32_t id;
    float heading;
    bool turns; // else it walks one way (into the stairs, a wall)
};

uint32_t bits_of(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// FNV-1a over the exact bits of every entity's pose, velocity and state.
class Digest {
public:
    void add(uint32_t word)
    {
        for (int i = 0; i < 4; ++i) {
            value_ = (value_ ^ ((word >> (8 * i)) & 0xFFu)) * 0x100000001B3ull;
        }
    }
    void add(const Vector& v)
    {
        add(bits_of(v.x));
        add(bits_of(v.y));
        add(bits_of(v.z));
    }
    uint64_t value() const { return value_; }

private:
    uint64_t value_ = 0xCBF29CE484222325ull;
};

} // namespace

class BusyHall : public PhysicsHall {
protected:
    // Boxes on a grid over the hall, clear of the solid blocks (the water is
    // no obstacle), every third one a plain body; and a row walking straight
    // into the stairs.
    void populate()
    {
        mapgen::RoomModel model;
        std::string error;
        ASSERT_TRUE(mapgen::parse_room_model(physics_source("tools/mapgen/maps/physics_hall.rooms"), model, error))
            << error;
        physics.set_physical_gravity(Vector{0, 0, -800});
        const int32_t volume = physics.get_box_volume(STONE, Vector{0, 0, 0}, Vector{HALF, HALF, HALF});
        ASSERT_GE(volume, 0);
        const auto add = [&](float x, float y, float z, float heading, bool turns, bool carries) {
            const uint32_t flags = carries ? BODY | PHYS_VOLUME : BODY;
            const int32_t id = physics.create_entity(0, Vector{HALF, HALF, HALF}, carries ? volume : -1, flags);
            ASSERT_GE(id, 0);
            physics.set_physical_position(id, Vector{x, y, z});
            physics.set_physical_bounce(id, walkers.size() % 7 == 3 ? 0.5f : 0.0f);
            physics.set_physical_step(id, 10.0f, 0.0f);
            walkers.push_back(Walker{id, heading, turns});
        };
        for (int row = 0; row < 4; ++row) {
            add(30.0f, 540.0f + 60.0f * static_cast<float>(row), 20.0f, 0.0f, false, row % 2 == 0);
        }
        int k = 0;
        for (float y = 30.0f; y < 1000.0f; y += 52.0f) {
            for (float x = 90.0f; x < 1000.0f; x += 52.0f) {
                bool clear = true;
                for (const mapgen::Block& b : model.blocks) {
                    clear = clear && (b.contents <= PHYS_DEFAULT_PENETRABLE || x + HALF + 4 < b.box.lo[0] ||
                                      x - HALF - 4 > b.box.hi[0] || y + HALF + 4 < b.box.lo[1] ||
                                      y - HALF - 4 > b.box.hi[1]);
                }
                if (clear && walkers.size() < 250) {
                    add(x, y, 20.0f + 10.0f * static_cast<float>(k % 3), 0.37f * static_cast<float>(k), true,
                        k % 3 != 2);
                    ++k;
                }
            }
        }
    }

    void step(int tick)
    {
        for (const Walker& w : walkers) {
            const float a = w.turns ? w.heading + TURN_PER_TICK * static_cast<float>(tick) : w.heading;
            physics.set_physical_thrust(w.id, Vector{WALK * std::cos(a), WALK * std::sin(a), 0});
        }
        physics.tick();
    }

    uint64_t digest()
    {
        Digest d;
        for (const Walker& w : walkers) {
            const PhysicalEntity& e = at(w.id);
            d.add(e.position);
            d.add(e.velocity);
            d.add(e.flags);
            d.add(bits_of(e.time_left));
            d.add(static_cast<uint32_t>(physics.physical_ground_material(w.id)));
            d.add(static_cast<uint32_t>(physics.physical_entity_material(w.id)));
        }
        return d.value();
    }

    std::vector<Walker> walkers;
};

TEST_F(BusyHall, MotionMatchesTheRecordBitForBit)
{
    populate();
    ASSERT_GE(walkers.size(), 200u);
    // The digest after each checkpoint (the first change is found between
    // two of them), and where a few stand at the end: two that walked up the
    // stairs, one in the water, others from over the hall.
    struct Checkpoint {
        int tick;
        uint64_t digest;
    };
    const Checkpoint checkpoints[] = {
        {50, 0x07e06cf20944f1ecull}, {150, 0xea8d63fa87b5b47aull}, {300, 0x23d035042dfac6a9ull}};
    struct Place {
        size_t walker;
        uint32_t x, y, z;
    };
    const Place places[] = {
        {0, 0x44061aad, 0x4408af75, 0x4100014c},   {1, 0x44177f87, 0x441a001c, 0x41002377},
        {10, 0x43de1675, 0x43124981, 0x41007291},  {57, 0x445a2e6a, 0x437544b3, 0x41002378},
        {100, 0x43f88b61, 0x438303a3, 0x41002378}, {200, 0x443e0092, 0x440e6723, 0x410000bd},
        {249, 0x43deba71, 0x446a6b01, 0x41002378}};
    float highest_stair_walker = 0.0f;
    int tick = 0;
    for (const Checkpoint& c : checkpoints) {
        for (; tick < c.tick; ++tick) {
            step(tick);
            for (size_t i = 0; i < 4; ++i) {
                highest_stair_walker = std::max(highest_stair_walker, at(walkers[i].id).position.z);
            }
        }
        const uint64_t d = digest();
        char text[32];
        std::snprintf(text, sizeof text, "0x%016llxull", static_cast<unsigned long long>(d));
        EXPECT_EQ(d, c.digest) << "after " << c.tick << " ticks: " << text;
    }
    for (const Place& p : places) {
        const Vector& v = at(walkers[p.walker].id).position;
        char text[96];
        std::snprintf(text, sizeof text, "{%zu, 0x%08x, 0x%08x, 0x%08x} (%g, %g, %g)", p.walker, bits_of(v.x),
                      bits_of(v.y), bits_of(v.z), v.x, v.y, v.z);
        EXPECT_TRUE(bits_of(v.x) == p.x && bits_of(v.y) == p.y && bits_of(v.z) == p.z) << text;
    }
    EXPECT_GT(highest_stair_walker, 39.0f) << "the stair walkers stepped up to the landing";
    int in_water = 0;
    for (const Walker& w : walkers) {
        in_water += physics.physical_entity_material(w.id) == 60 ? 1 : 0;
    }
    EXPECT_GT(in_water, 10);
}

// Far volumes are passed over in world space when they do not turn: a ray
// that grazes an upright box's edge must meet it as a walk in its frame does,
// near the origin and far out, where rounding is coarse.
TEST_F(PhysicsHall, RaysGrazingAnUprightBoxMeetItAsItsWalkDoes)
{
    struct Case {
        float off; // of the ray from the box's side
        int hits;
    };
    for (const float x : {300.0f, 30000.0f, -250000.0f}) {
        const int32_t id = box(Vector{x, 320, 50}, Vector{10, 10, 10}, 0x2200, PHYS_VOLUME, 0x99);
        ASSERT_TRUE(at(id).upright);
        for (const Case& c : {Case{-0.01f, 1}, Case{0.0f, 1}, Case{0.05f, 0}, Case{2.0f, 0}}) {
            RayHit hit;
            const Vector start = {x - 60, 330 + c.off, 50};
            EXPECT_EQ(physics.cast_ray(hit, start, Vector{1, 0, 0}, 100, 0x2000, Vector{0, 0, 0}, -1), c.hits)
                << x << " " << c.off;
            if (c.hits != 0) {
                EXPECT_EQ(hit.entity, physics.entity(id));
                EXPECT_NEAR(hit.fraction, 50.0f, 0.05f) << x;
            }
            const Vector up = {x, 330 + c.off, 0};
            EXPECT_EQ(physics.cast_ray(hit, up, Vector{0, 0, 1}, 100, 0x2000, Vector{0, 0, 0}, -1), c.hits)
                << x << " " << c.off << " up";
        }
        physics.set_physical_angles(id, 0.5f, 0, 0);
        EXPECT_FALSE(at(id).upright);
        physics.set_physical_angles(id, 0, 0, 0);
        EXPECT_TRUE(at(id).upright) << "its turn undone";
        physics.destroy_entity(id);
    }
}
