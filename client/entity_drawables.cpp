#include "client/entity_drawables.h"

#include "world/light_source.h"

#include <algorithm>
#include <cstdio>
#include <new>

void FlareRender::reset()
{
    init();
    scale = 1.0f;
    set_fade(0.0f, 0.0f);
    set_rays(0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    set_streak(0.0f, 0.0f);
    set_ghosts(0.0f, 0.0f);
    colour = 0xFFFFFF;
    size = 0.0f;
    lamp = nullptr;
}

void FlareRender::set_fade(float x, float y)
{
    fade[0] = x;
    fade[1] = y;
}

void FlareRender::set_rays(float x, float y1, float k1, float y2, float k2)
{
    const float v[5] = {x, y1, k1, y2, k2};
    std::copy(v, v + 5, rays);
}

void FlareRender::set_streak(float x, float y)
{
    streak[0] = x;
    streak[1] = y;
}

void FlareRender::set_ghosts(float x, float y)
{
    ghosts[0] = x;
    ghosts[1] = y;
}

void MeshModelRow::set_name(const char* d, const char* n)
{
    std::snprintf(directory, sizeof directory, "%s", d);
    std::snprintf(name, sizeof name, "%s", n);
}

void MeshModelRow::select_skin(const uint8_t layout[4]) { std::copy(layout, layout + 4, skin_layout); }

void MeshRender::init()
{
    Placement::init();
    model = nullptr;
    pose = MeshPoseRecord{};
    skin = 0;
    strength = sharpness = transparency = 0.0f;
}

void MeshRender::attach(MeshModelRow* row, ScreenProjection*) { model = row; }

void MeshRender::set_pose(int group, int32_t frame1, int32_t frame2, float blend)
{
    if (group == 0) {
        pose = MeshPoseRecord{frame1, frame2, blend};
    }
}

void MeshRender::set_lighting(float s, float h)
{
    strength = s;
    sharpness = h;
}

void SpriteRender::set_texture(TextureSlot* slot, ScreenProjection*) { texture = slot; }

void ParticleRecord::reset()
{
    init();
    free_particles();
    mode = 0;
    stopped = false;
    std::fill(fade, fade + 3, 0.0f);
    std::fill(emitter, emitter + 4, Vector{0.0f, 0.0f, 0.0f});
    emitter_flag = 0;
    acceleration = Vector{0.0f, 0.0f, 0.0f};
    colours_raw[0] = colours_raw[1] = 0;
    colours[0] = colours[1] = 0;
    respawn_life = 0;
    std::fill(spawn_values, spawn_values + 4, 0);
}

int ParticleRecord::allocate(int32_t n)
{
    free_particles();
    if (n <= 0) {
        return 1;
    }
    life.reset(new (std::nothrow) int32_t[static_cast<size_t>(n)]());
    if (life == nullptr) {
        return 0;
    }
    count = n;
    return 1;
}

void ParticleRecord::free_particles()
{
    life.reset();
    count = 0;
}

int32_t ParticleRecord::live_count() const
{
    return static_cast<int32_t>(std::count_if(life.get(), life.get() + count, [](int32_t l) { return l > 0; }));
}

void ParticleRecord::set_fade(float a, float b, float c)
{
    fade[0] = a;
    fade[1] = b;
    fade[2] = c;
}

void ParticleRecord::setup_emitter(const Vector& v0, const Vector& v1, const Vector& v2, const Vector& v3, int flag)
{
    emitter[0] = v0;
    emitter[1] = v1;
    emitter[2] = v2;
    emitter[3] = v3;
    emitter_flag = flag;
}

void ParticleRecord::set_colours_raw(uint32_t start, uint32_t end)
{
    colours_raw[0] = colours[0] = start;
    colours_raw[1] = colours[1] = end;
}

void ParticleRecord::set_colours(const uint8_t layout[4])
{
    colours[0] = pack_colour(colours_raw[0], layout);
    colours[1] = pack_colour(colours_raw[1], layout);
}

void ParticleRecord::spawn(int32_t n, int32_t life_min, int32_t life_max, int32_t delay_min, int32_t delay_max)
{
    const int32_t values[4] = {life_min, life_max, delay_min, delay_max};
    std::copy(values, values + 4, spawn_values);
    const int32_t born_life = std::max({life_min, life_max, 1});
    for (int32_t i = 0; i < count && n > 0; ++i) {
        if (life[i] <= 0) {
            life[i] = born_life;
            --n;
        }
    }
}

void ParticleRecord::simulate(int32_t ticks)
{
    const bool reborn = !stopped && (mode & PARTICLE_MODE_CONTINUOUS) != 0;
    for (int32_t i = 0; i < count; ++i) {
        if (life[i] > 0) {
            life[i] = std::max(life[i] - std::max(ticks, 0), 0);
        }
        if (life[i] == 0 && reborn) {
            life[i] = std::max(respawn_life, 1);
        }
    }
}
