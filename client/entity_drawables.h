#pragma once
// The drawable records of lens flares, mesh objects, sprites and particle
// emitters as the client's entity classes keep them: placed and linked into
// the world's cells under their entity types, holding what the renderer
// draws them with. The operations are those the renderer's records take.
#include "core/placement.h"

#include <cstdint>
#include <memory>

class LampData;
class ScreenProjection;
class TextureSlot;

constexpr int ENTITY_TYPE_SPRITE_RECORD = 1; // sprites and particle systems
constexpr int ENTITY_TYPE_MESH_RECORD = 4;
constexpr int ENTITY_TYPE_FLARE_RECORD = 5;

// A lens flare: a glow in the colour of its lamp (or its own), with the
// flare parts that only the OpenGL program draws.
class FlareRender final : public Placement {
public:
    FlareRender() { reset(); }
    int entity_type() const override { return ENTITY_TYPE_FLARE_RECORD; }

    void reset();
    void set_scale(float s) { scale = s; }
    void set_fade(float x, float y);
    void set_rays(float x, float y1, float k1, float y2, float k2);
    void set_streak(float x, float y);
    void set_ghosts(float x, float y);
    void set_colour(uint32_t c) { colour = c; }
    void set_size(float s) { size = s; }
    void set_mode(const LampData* l) { lamp = l; }

    float scale = 1.0f;
    float fade[2] = {};
    float rays[5] = {};
    float streak[2] = {};
    float ghosts[2] = {};
    uint32_t colour = 0xFFFFFF;
    float size = 0.0f;
    const LampData* lamp = nullptr;
};

constexpr int MESH_NAME_SIZE = 32;

// A row of the model table: a model named by directory (may be empty) and name.
class MeshModelRow {
public:
    void set_name(const char* directory, const char* name);
    // Brings the skins of a loaded model to the layout; nothing without data.
    void select_skin(const uint8_t layout[4]);

    char directory[MESH_NAME_SIZE] = {};
    char name[MESH_NAME_SIZE] = {};
    uint8_t skin_layout[4] = {0, 8, 16, 24}; // the arrangement the skins are in
};

struct MeshPoseRecord {
    int32_t frame1 = 0;
    int32_t frame2 = 0;
    float blend = 0.0f;
};

// A mesh object: a model of the table drawn in a pose.
class MeshRender final : public Placement {
public:
    MeshRender() { init(); }
    int entity_type() const override { return ENTITY_TYPE_MESH_RECORD; }

    void init();
    void attach(MeshModelRow* row, ScreenProjection* renderer);
    void set_pose(int group, int32_t frame1, int32_t frame2, float blend);
    void set_skin(uint32_t colour) { skin = colour; }
    void set_lighting(float s, float h);
    void set_transparency(float t) { transparency = t; }

    MeshModelRow* model = nullptr;
    MeshPoseRecord pose;
    uint32_t skin = 0;
    float strength = 0.0f;
    float sharpness = 0.0f;
    float transparency = 0.0f;
};

// A sprite: a texture of the sprites' texture manager facing the camera.
class SpriteRender final : public Placement {
public:
    SpriteRender() { reset(); }
    int entity_type() const override { return ENTITY_TYPE_SPRITE_RECORD; }

    void reset() { init(); texture = nullptr; }
    void set_texture(TextureSlot* slot, ScreenProjection* renderer);

    TextureSlot* texture = nullptr;
};

// Mode bits of a particle system.
constexpr int32_t PARTICLE_MODE_CONTINUOUS = 1; // dead particles are born again

// A particle emitter: a pool of particles born with a life in ticks, flying
// until it runs out; a continuous emitter gives the dead ones new life until
// it is stopped.
class ParticleRecord final : public Placement {
public:
    ParticleRecord() { reset(); }
    int entity_type() const override { return ENTITY_TYPE_SPRITE_RECORD; }

    void reset();
    // n dead particles; 1, or 0 (no pool) when memory runs out.
    int allocate(int32_t n);
    void free_particles();
    int32_t live_count() const;
    void set_mode(int32_t m) { mode = m; }
    void set_fade(float a, float b, float c);
    void setup_emitter(const Vector& v0, const Vector& v1, const Vector& v2, const Vector& v3, int flag);
    void set_acceleration(const Vector& a) { acceleration = a; }
    void set_colours_raw(uint32_t start, uint32_t end);
    // Packs the raw colours into the layout's byte positions.
    void set_colours(const uint8_t layout[4]);
    void set_parameter(int32_t life) { respawn_life = life; }
    // Gives up to n dead particles a life of the larger of the two lifetimes.
    void spawn(int32_t n, int32_t life_min, int32_t life_max, int32_t delay_min, int32_t delay_max);
    // Ends the emission: living particles fly on, no new ones are born.
    void restart() { stopped = true; }
    bool is_alive() const { return !stopped || live_count() > 0; }
    void simulate(int32_t ticks);

    int32_t count = 0;
    std::unique_ptr<int32_t[]> life; // ticks left a particle; 0 is dead
    int32_t mode = 0;
    bool stopped = false;
    float fade[3] = {};
    Vector emitter[4] = {};
    int emitter_flag = 0;
    Vector acceleration = {};
    uint32_t colours_raw[2] = {};
    uint32_t colours[2] = {};
    int32_t respawn_life = 0;
    int32_t spawn_values[4] = {};
};
