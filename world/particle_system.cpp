#include "world/particle_system.h"

#include "core/numerics.h"
#include "core/random_table.h"
#include "world/light_source.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr float TICKS_PER_SECOND = 70.0f;

// R p without the translation.
Vector rotate(const Matrix& m, const Vector& p)
{
    const float* r = m.m;
    return {r[0] * p.x + r[1] * p.y + r[2] * p.z, r[4] * p.x + r[5] * p.y + r[6] * p.z,
            r[8] * p.x + r[9] * p.y + r[10] * p.z};
}

// a + frac (b - a) written as the two weights the births use.
Vector blend(const Vector& now, const Vector& before, float frac)
{
    return {frac * now.x + (1.0f - frac) * before.x, frac * now.y + (1.0f - frac) * before.y,
            frac * now.z + (1.0f - frac) * before.z};
}

// A lifetime from a range of at least one tick: min below 1 becomes 1, a max
// not above min becomes min + 1.
struct LifeRange {
    int32_t min;
    int64_t span;
    LifeRange(int32_t lo, int32_t hi) : min(std::max(lo, 1)), span(std::max<int64_t>(int64_t{hi} - min, 1)) {}
    int32_t pick(int64_t k) const { return static_cast<int32_t>(std::min<int64_t>(min + k % span, INT32_MAX)); }
};

} // namespace

ParticleSystem::ParticleSystem()
{
    render_object_init(*this);
    reset();
}

ParticleSystem::~ParticleSystem() { free_particles(); }

void ParticleSystem::reset()
{
    free_particles();
    flags = 0;
    last_stamp = -1;
    origin = spread = velocity = velocity_spread = acceleration = Vector{};
    mat_identity(previous);
    colour_base = 0x80808080u;
    colour_range = 0;
    intensity_base = 1.0f;
    intensity_range = 0.0f;
    fade = 1.0f;
    respawn_life = 100;
}

int ParticleSystem::allocate(int32_t n)
{
    free_particles();
    if (n < 0) {
        return 0;
    }
    particles = new (std::nothrow) Particle[static_cast<size_t>(n)]();
    if (particles == nullptr) {
        return 0;
    }
    count = dead = n;
    return 1;
}

void ParticleSystem::free_particles()
{
    delete[] particles;
    particles = nullptr;
    count = dead = 0;
}

void ParticleSystem::setup_emitter(const Vector& o, const Vector& s, const Vector& v, const Vector& vs, int sphere)
{
    origin = o;
    spread = s;
    const float per_tick = 1.0f / TICKS_PER_SECOND;
    velocity = {v.x * per_tick, v.y * per_tick, v.z * per_tick};
    velocity_spread = {vs.x * per_tick, vs.y * per_tick, vs.z * per_tick};
    radius = PARTICLE_RADIUS;
    if (sphere == 0) {
        flags &= static_cast<uint16_t>(~PARTICLE_SPHERE);
        vec_add_scaled(origin, spread, -0.5f);
        vec_add_scaled(velocity, velocity_spread, -0.5f);
    } else {
        flags |= PARTICLE_SPHERE;
    }
}

void ParticleSystem::set_acceleration(const Vector& a)
{
    const float per_tick2 = 1.0f / (TICKS_PER_SECOND * TICKS_PER_SECOND);
    acceleration = {a.x * per_tick2, a.y * per_tick2, a.z * per_tick2};
}

void ParticleSystem::set_colours(uint32_t base, uint32_t range, const uint8_t layout[4])
{
    set_colours_raw(pack_colour(base, layout), pack_colour(range, layout));
}

void ParticleSystem::set_colours_raw(uint32_t base, uint32_t range)
{
    colour_base = base;
    colour_range = range;
}

void ParticleSystem::set_fade(float base, float range, float fade_per_second)
{
    intensity_base = base;
    intensity_range = range;
    if (fade_per_second == 1.0f) {
        flags &= static_cast<uint16_t>(~PARTICLE_FADING);
        fade = 1.0f;
        return;
    }
    fade = fade_per_second > 0.0f ? std::pow(fade_per_second, 1.0f / TICKS_PER_SECOND) : 0.0f;
    flags |= PARTICLE_FADING;
}

void ParticleSystem::set_mode(int32_t mode)
{
    flags = static_cast<uint16_t>((flags & ~PARTICLE_MODE_BITS) | (static_cast<uint32_t>(mode) & PARTICLE_MODE_BITS));
}

void ParticleSystem::birth(Particle& p, float frac, int32_t life)
{
    Vector local_pos;
    Vector local_vel;
    if ((flags & PARTICLE_SPHERE) == 0) {
        float r[6];
        for (float& x : r) {
            x = random_table->next_float();
        }
        local_pos = {origin.x + spread.x * r[2], origin.y + spread.y * r[1], origin.z + spread.z * r[0]};
        local_vel = {velocity.x + velocity_spread.x * r[5], velocity.y + velocity_spread.y * r[4],
                     velocity.z + velocity_spread.z * r[3]};
    } else {
        const Vector a = random_table->next_vector();
        const Vector b = random_table->next_vector();
        local_pos = {origin.x + spread.x * a.x, origin.y + spread.y * a.y, origin.z + spread.z * a.z};
        local_vel = {velocity.x + velocity_spread.x * b.x, velocity.y + velocity_spread.y * b.y,
                     velocity.z + velocity_spread.z * b.z};
    }
    Vector now;
    Vector before;
    mat_rotate_vector(now, transform, local_pos);
    mat_rotate_vector(before, previous, local_pos);
    const Vector pos = blend(now, before, frac);
    const Vector vel = (flags & PARTICLE_EMITTER_SPACE) != 0
                           ? blend(rotate(transform, local_vel), rotate(previous, local_vel), frac)
                           : local_vel;
    p.pos[0] = pos.x;
    p.pos[1] = pos.y;
    p.pos[2] = pos.z;
    p.vel[0] = vel.x;
    p.vel[1] = vel.y;
    p.vel[2] = vel.z;

    const float r = random_table->next_float();
    uint32_t colour = 0;
    for (int k = 0; k < 4; ++k) {
        const int32_t base = static_cast<int32_t>((colour_base >> (8 * k)) & 0xFFu);
        const int32_t range = static_cast<int32_t>((colour_range >> (8 * k)) & 0xFFu);
        const int32_t byte = std::min(base + float_to_int_round(static_cast<double>(range) * r), 255);
        colour |= static_cast<uint32_t>(byte) << (8 * k);
    }
    p.colour = colour;
    p.intensity = intensity_base + random_table->next_float() * intensity_range;
    p.phase = float_to_int_round(static_cast<double>(random_table->next_float()) * 32768.0);
    p.life = life;
}

void ParticleSystem::die(Particle& p)
{
    p.life = 0;
    ++dead;
}

void ParticleSystem::advance(Particle& p, int32_t t, float fade_factor)
{
    const float ft = static_cast<float>(t);
    for (int k = 0; k < 3; ++k) {
        p.pos[k] += p.vel[k] * ft;
    }
    p.vel[0] += acceleration.x * ft;
    p.vel[1] += acceleration.y * ft;
    p.vel[2] += acceleration.z * ft;
    p.life -= t;
    if ((flags & PARTICLE_FADING) == 0) {
        return;
    }
    p.intensity *= fade_factor;
    if (p.intensity < PARTICLE_DEATH_INTENSITY) {
        if ((flags & PARTICLE_CONTINUOUS) != 0) {
            p.life = -p.life; // waits out the rest of its life
        } else {
            die(p);
        }
    }
}

// A newborn particle moved on by the rest of the step; a life shorter than
// the rest is carried to its last tick, to end in the next step.
void ParticleSystem::advance_new(Particle& p, int32_t t)
{
    t = std::min(t, p.life - 1);
    if (t > 0) {
        advance(p, t, std::pow(fade, static_cast<float>(t)));
    }
}

void ParticleSystem::start(int32_t n, int32_t life_min, int32_t life_max, int32_t delay_min, int32_t delay_max)
{
    if (particles == nullptr || count > dead) {
        return;
    }
    n = std::clamp(n, 0, count);
    const LifeRange lives(life_min, life_max);
    const LifeRange delays(delay_min, delay_max);
    mat_copy(previous, transform);
    for (int32_t i = 0; i < n; ++i) {
        birth(particles[i], 0.0f, lives.pick(n - 1 - i));
    }
    const int32_t waiting = count - n;
    for (int32_t i = 0; i < waiting; ++i) {
        particles[n + i].life = -delays.pick(waiting - 1 - i);
    }
    dead = 0;
}

void ParticleSystem::stop()
{
    flags = static_cast<uint16_t>((flags | PARTICLE_STOPPED) & ~PARTICLE_CONTINUOUS);
    for (int32_t i = 0; i < count; ++i) {
        if (particles[i].life < 0) {
            die(particles[i]);
        }
    }
}

void ParticleSystem::simulate(int32_t ticks)
{
    const bool unseen = (flags & PARTICLE_WHEN_SEEN) != 0 && frame_stamp == last_stamp;
    if (ticks > 0 && count > dead && !unseen) {
        const bool continuous = (flags & PARTICLE_CONTINUOUS) != 0;
        const float f = (flags & PARTICLE_FADING) != 0 ? std::pow(fade, static_cast<float>(ticks)) : 1.0f;
        const float inv_ticks = 1.0f / static_cast<float>(ticks);
        for (int32_t i = 0; i < count; ++i) {
            Particle& p = particles[i];
            if (p.life > ticks) {
                advance(p, ticks, f);
            } else if (p.life >= 1) {
                if (!continuous) {
                    die(p);
                    continue;
                }
                const int32_t ended = p.life;
                birth(p, static_cast<float>(ended) * inv_ticks, std::max(respawn_life, 1));
                advance_new(p, ticks - ended);
            } else if (p.life < 0 && continuous) {
                p.life += ticks;
                if (p.life >= 0) {
                    const int32_t rest = p.life;
                    birth(p, static_cast<float>(ticks - rest) * inv_ticks, std::max(respawn_life, 1));
                    advance_new(p, rest);
                }
            }
        }
        last_stamp = frame_stamp;
    }
    mat_copy(previous, transform);
}
