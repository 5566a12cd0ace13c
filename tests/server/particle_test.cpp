// Particle objects: the quantities of their properties, and their
// description, which travels whole as one 650-bit block through a block
// cache, so that equal descriptions reach a client once.
#include "class_fixture.h"
#include "server/object_id.h"

namespace {

class Particles : public ClassFixture {
protected:
    const SParticles& of(int32_t id) const { return server.particles.particles(object_index_of(static_cast<uint32_t>(id))); }

    // A fountain: the same calls for every object.
    int32_t fountain()
    {
        const int32_t id = create(OBJCLASS_PARTICLE);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_CREATE, {int_arg(200)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_COLOR, {int_arg(0x00F0A050), int_arg(0x00102030)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_SIZE, {real(2.0), real(0.5)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_SPAWN_SPHERE,
                      {real(1), real(2), real(3), real(4), real(5), real(6), real(7), real(8)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_START, {int_arg(64), real(0.5), real(1.0), real(0), real(2.0)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_LIFETIME, {real(3.0)}), 1);
        EXPECT_EQ(set(id, PROPERTY_PARTICLE_FLAGS, {int_arg(5)}), 1);
        return id;
    }
};

TEST_F(Particles, CountsAndTimesInTheirUnits)
{
    const int32_t id = create(OBJCLASS_PARTICLE);
    struct Case {
        const char* name;
        int property;
        std::vector<SObjArg> args;
        int value; // count, lifetime or burst count
        const char* warning;
    };
    const Case cases[] = {
        {"4095 particles", PROPERTY_PARTICLE_CREATE, {int_arg(4095)}, 255, nullptr},
        {"4096 particles", PROPERTY_PARTICLE_CREATE, {int_arg(4096)}, 255,
         "Server: Can't create more than 4096 particles"},
        {"15 particles", PROPERTY_PARTICLE_CREATE, {int_arg(15)}, 0, nullptr},
        {"a negative count", PROPERTY_PARTICLE_CREATE, {int_arg(-100)}, 0, nullptr},
        {"7.25 s is 507 ticks", PROPERTY_PARTICLE_LIFETIME, {real(7.25)}, 63, nullptr},
        {"7.4 s is 518 ticks", PROPERTY_PARTICLE_LIFETIME, {real(7.4)}, 63,
         "Server: Particle lifetime too long (max 512 ticks)"},
        {"a negative lifetime", PROPERTY_PARTICLE_LIFETIME, {real(-1.0)}, 0, nullptr},
        {"one second", PROPERTY_PARTICLE_LIFETIME, {real(1.0)}, 8, nullptr},
        {"a burst", PROPERTY_PARTICLE_START, {int_arg(160), real(0.5), real(-1), real(100), real(0.1)}, 10,
         "Server: Particle lifetime too long"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        ASSERT_EQ(set(id, k.property, k.args), 1);
        const SParticles& p = of(id);
        const int value = k.property == PROPERTY_PARTICLE_CREATE     ? p.count
                          : k.property == PROPERTY_PARTICLE_LIFETIME ? p.lifetime
                                                                     : p.burst_count;
        EXPECT_EQ(value, k.value);
        if (k.warning != nullptr) {
            EXPECT_TRUE(capture.contains(k.warning)) << k.warning;
        } else {
            EXPECT_EQ(capture.count("Server: "), 0);
        }
    }
    EXPECT_EQ(of(id).burst[0], 4);
    EXPECT_EQ(of(id).burst[1], 0) << "a negative time";
    EXPECT_EQ(of(id).burst[2], 63);
    EXPECT_EQ(of(id).burst[3], 0);
    capture.clear();
    ASSERT_EQ(set(id, PROPERTY_PARTICLE_FLAGS, {int_arg(0x1F)}), 1);
    EXPECT_TRUE(capture.contains("Server: Unsupported particle flags set"));
    EXPECT_EQ(of(id).flags, 7);
    EXPECT_EQ(set(id, PROPERTY_PARTICLE_SPAWN_BOX, {real(1)}), 0) << "missing arguments";
}

TEST_F(Particles, EqualDescriptionsShareOneBlock)
{
    const int32_t a = fountain();
    sync();
    // Created once the client holds the first one's block.
    const int32_t b = fountain();
    const int32_t other = fountain();
    ASSERT_EQ(set(other, PROPERTY_PARTICLE_SHRINK, {real(0.25)}), 1);
    const std::vector<UpdateRecord> first = records(a);
    sync();
    ASSERT_FALSE(first.empty());
    const UpdateRecord& ra = first.front();
    const std::optional<UpdateRecord> rb = record(b);
    const std::optional<UpdateRecord> ro = record(other);
    ASSERT_TRUE(rb && ro);
    ASSERT_TRUE(ra.particle_block && rb->particle_block && ro->particle_block);
    EXPECT_TRUE(ra.particle_block->data);
    EXPECT_EQ(ra.particle_block->block.size() * 8, 656u) << "650 bits";
    EXPECT_FALSE(rb->particle_block->data) << "the second names the block alone";
    EXPECT_EQ(rb->particle_block->index, ra.particle_block->index);
    EXPECT_LE(rb->bits + 650, ra.bits);
    EXPECT_TRUE(ro->particle_block->data);
    EXPECT_NE(ro->particle_block->index, ra.particle_block->index);
    // Both hold the whole description.
    for (const int32_t id : {a, b}) {
        const fake_client::ParticleParts& p = view(id)->state.particle;
        ASSERT_TRUE(p.count && p.flags && p.size && p.spawn && p.colour && p.timing);
        EXPECT_EQ(*p.count, 12u);
        EXPECT_EQ(*p.flags, 5u);
        EXPECT_EQ(*p.size, (std::array<float, 3>{2.0f, 0.5f, 0.0f}));
        EXPECT_TRUE(p.spawn->sphere);
        EXPECT_EQ(p.spawn->spawn, (std::array<float, 12>{1, 2, 3, 4, 4, 4, 5, 6, 7, 8, 8, 8}));
        EXPECT_EQ(*p.colour, (std::array<uint32_t, 2>{0xFA5, 0x123}));
        EXPECT_EQ(*p.timing, (std::array<uint32_t, 6>{4, 26, 4, 8, 0, 17}));
    }
    EXPECT_EQ(view(other)->state.particle.size, (std::array<float, 3>{2.0f, 0.5f, 0.25f}));
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

TEST_F(Particles, LaterChangesTravelPartByPart)
{
    const int32_t id = fountain();
    sync();
    // The same size again still goes out; an unchanged colour does not.
    ASSERT_EQ(set(id, PROPERTY_PARTICLE_SIZE, {real(2.0), real(0.5)}), 1);
    ASSERT_EQ(set(id, PROPERTY_PARTICLE_COLOR, {int_arg(0x00F0A050), int_arg(0x00102030)}), 1);
    ASSERT_EQ(set(id, PROPERTY_PARTICLE_ACCELERATION, {real(0), real(0), real(-9.5)}), 1);
    sync();
    std::optional<UpdateRecord> r = record(id);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->create());
    EXPECT_FALSE(r->particle_block);
    EXPECT_TRUE(r->particle.size);
    EXPECT_FALSE(r->particle.colour);
    EXPECT_FALSE(r->particle.flags);
    EXPECT_FALSE(r->particle.timing);
    ASSERT_TRUE(r->particle.spawn);
    EXPECT_EQ(r->particle.spawn->acceleration[2], -9.5f);
    // The flags part needs no second group.
    ASSERT_EQ(set(id, PROPERTY_PARTICLE_FLAGS, {int_arg(2)}), 1);
    sync();
    r = record(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->particle.flags, 2u);
    EXPECT_FALSE(r->particle.size);
    EXPECT_EQ(view(id)->state.particle.flags, 2u);
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

} // namespace
