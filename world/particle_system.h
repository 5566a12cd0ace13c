#pragma once
// A particle emitter as the client keeps it: a fixed pool of particles born
// at the emitter (its placement transform), flying with a velocity and a
// constant acceleration, fading, dying and, for continuous emitters, born
// again. Time is in ticks (70 a second); speeds are stored per tick and
// accelerations per tick squared. Random numbers come from random_table.
//
// A particle's life is the ticks it has left; 0 is dead, a negative life
// waits that many ticks to be born.
#include "core/particle.h"
#include "world/render_record.h"

#include <cstdint>

// Mode bits (the low four bits of flags).
constexpr uint16_t PARTICLE_CONTINUOUS = 0x001;   // dead particles are born again
constexpr uint16_t PARTICLE_WHEN_SEEN = 0x002;    // advance only after being drawn
constexpr uint16_t PARTICLE_BLEND = 0x004;        // handed to the drawer
constexpr uint16_t PARTICLE_EMITTER_SPACE = 0x008; // velocities turn with the emitter
constexpr uint16_t PARTICLE_MODE_BITS = 0x00F;
// State bits.
constexpr uint16_t PARTICLE_SPHERE = 0x100;
constexpr uint16_t PARTICLE_FADING = 0x200;
constexpr uint16_t PARTICLE_STOPPED = 0x400;

constexpr float PARTICLE_DEATH_INTENSITY = 0.01f;
constexpr float PARTICLE_RADIUS = 256.0f;

class ParticleSystem : public RenderRecord {
public:
    ParticleSystem();
    ~ParticleSystem() override;
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    int entity_type() const override { return ENTITY_TYPE_SPRITE; }

    // Every field to its default; the pool is freed.
    void reset();
    // n dead particles (n >= 0); 1, or 0 with no pool when memory runs out.
    int allocate(int32_t n);
    void free_particles();

    // Per second, in emitter space. Without sphere, a random r in [0, 1)
    // per component spreads around the values given; with it, r are the
    // components of random vectors of the unit ball.
    void setup_emitter(const Vector& origin, const Vector& spread, const Vector& velocity,
                       const Vector& velocity_spread, int sphere);
    void set_acceleration(const Vector& per_second_squared);
    // Colours with red in bits 0-7, packed by the layout.
    void set_colours(uint32_t base, uint32_t range, const uint8_t layout[4]);
    void set_colours_raw(uint32_t base, uint32_t range);
    // A fade of exactly 1 is none; a fade of 0 or less (or NaN) ends every
    // particle at its first step.
    void set_fade(float base, float range, float fade_per_second);
    void set_parameter(int32_t life) { respawn_life = life; }
    void set_mode(int32_t mode);

    void start(int32_t n, int32_t life_min, int32_t life_max, int32_t delay_min, int32_t delay_max);
    void stop();
    bool is_alive() const { return count > dead || (flags & PARTICLE_STOPPED) == 0; }
    int32_t pool_size() const { return count; }

    void simulate(int32_t ticks);

    uint16_t flags = 0;
    Particle* particles = nullptr;
    int32_t count = 0;
    int32_t dead = 0;
    int32_t last_stamp = -1;
    Vector origin = {};
    Vector spread = {};
    Vector velocity = {};
    Vector velocity_spread = {};
    Matrix previous = {};
    Vector acceleration = {};
    uint32_t colour_base = 0x80808080u;
    uint32_t colour_range = 0;
    float intensity_base = 1.0f;
    float intensity_range = 0.0f;
    float fade = 1.0f;
    int32_t respawn_life = 100;

private:
    void birth(Particle& p, float frac, int32_t life);
    // Moves a living particle on by t ticks; its life must exceed t.
    void advance(Particle& p, int32_t t, float fade_factor);
    void advance_new(Particle& p, int32_t t);
    void die(Particle& p);
};
