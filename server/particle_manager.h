#pragma once
// Particle objects (class 8): the description of a particle system that the
// client runs: counts in units of 16, times in units of 8 ticks, colours of
// 12 bits, sizes, the spawn box or sphere with velocities, the acceleration
// and a burst. A new object's whole description travels as one 650-bit block
// through a binary block cache, so a client receives each distinct
// description once and afterwards only its index.
#include "net/net_scache.h"
#include "server/filtered_manager.h"

constexpr int32_t PARTICLE_OBJECT_MAX = 256;
constexpr int32_t PARTICLE_BLOCKS = 64;
constexpr int32_t PARTICLE_BLOCK_BYTES = 82;
constexpr int PARTICLE_INDEX_BITS = 6;
constexpr int32_t NETM_PARTALL_BITS = 650;
constexpr int PROPERTY_PARTICLE_CREATE = 0x800;
constexpr int PROPERTY_PARTICLE_COLOR = 0x801;
constexpr int PROPERTY_PARTICLE_SIZE = 0x802;
constexpr int PROPERTY_PARTICLE_SHRINK = 0x803;
constexpr int PROPERTY_PARTICLE_LIFETIME = 0x804;
constexpr int PROPERTY_PARTICLE_FLAGS = 0x805;
constexpr int PROPERTY_PARTICLE_ACCELERATION = 0x806;
constexpr int PROPERTY_PARTICLE_SPAWN_BOX = 0x807;
constexpr int PROPERTY_PARTICLE_SPAWN_SPHERE = 0x808;
constexpr int PROPERTY_PARTICLE_START = 0x809;
constexpr uint32_t PARTICLE_PART_FLAGS = 0x10000;
constexpr uint32_t PARTICLE_PART_SIZE = 0x20000;
constexpr uint32_t PARTICLE_PART_SPAWN = 0x40000;
constexpr uint32_t PARTICLE_PART_COLOUR = 0x80000;
constexpr uint32_t PARTICLE_PART_TIMING = 0x100000;
constexpr uint32_t PARTICLE_PARTS = 0x1F0000;
constexpr uint32_t PARTICLE_FLAG_BITS = 0x7;

struct SParticles {
    uint8_t count;       // units of 16
    uint8_t burst_count; // units of 16
    uint8_t lifetime;    // units of 8 ticks, 0..63
    uint8_t burst[4];    // units of 8 ticks, 0..63
    uint8_t flags;       // 3 bits
    uint16_t colour;     // 12 bits
    uint16_t colour_spread;
    float size[2];
    float shrink;
    int32_t shape;       // 0 box, 1 sphere
    float spawn[12];     // position centre, extent, velocity centre, extent
    float acceleration[3];
    int32_t flags_stamp;
    int32_t size_stamp;
    int32_t spawn_stamp;
    int32_t colour_stamp;
    int32_t timing_stamp;
};

class SParticleManager final : public FilteredObjectManager {
public:
    ~SParticleManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(SharedMap* map, int32_t n, int32_t clients);
    void stop();

    const SParticles& particles(int32_t index) const { return particles_[index]; }

private:
    SParticles* particles_ = nullptr;
    NetSCache blocks_;
};
