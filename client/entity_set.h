#pragma once
// The client's managers of the eleven replicated object classes, created at
// map load in a fixed order and registered with the update decoder under
// their class numbers, bound to the renderer while one runs, and destroyed
// at unload.
#include "client/camera.h"
#include "client/icon.h"
#include "client/lamp.h"
#include "client/lamp_sprite.h"
#include "client/lamp_table.h"
#include "client/mesh.h"
#include "client/particle_emitter.h"
#include "client/sprite_object.h"
#include "client/world_model_manager.h"
#include "world/view/texture_manager.h"

class ClientMap;
class ClientSound;
class ScreenManager;
class ScreenProjection;
class UpdateDecoder;

constexpr int OBJCLASS_MAPLAMP = 1;
constexpr int OBJCLASS_DYNALAMP = 2;
constexpr int OBJCLASS_LIGHT = 3;
constexpr int OBJCLASS_FLARE = 4;
constexpr int OBJCLASS_MESH = 5;
constexpr int OBJCLASS_SPRITE = 6;
constexpr int OBJCLASS_BSP = 7;
constexpr int OBJCLASS_PARTICLES = 8;
constexpr int OBJCLASS_SOUND = 9;
constexpr int OBJCLASS_ICON = 11;
constexpr int OBJCLASS_COUNT = 12; // 1 ... 11

constexpr int DYNAMIC_LAMPS = 32;
constexpr int DYNAMIC_LIGHTS = 64;
constexpr int LENS_FLARES = 256;
constexpr int MESH_OBJECTS = 256;
constexpr int SPRITES = 256;
constexpr int PARTICLE_EMITTERS = 256;
constexpr int SOUND_SOURCES = 256;
constexpr int ICONS = 64;
constexpr int ICON_PICTURES = 256;

class EntitySet {
public:
    EntitySet() = default;
    ~EntitySet() { destroy(nullptr); }
    EntitySet(const EntitySet&) = delete;
    EntitySet& operator=(const EntitySet&) = delete;

    // 1, or 0 when a manager cannot be created (the classes made so far stay registered).
    int create(UpdateDecoder& decoder, ClientMap& world, ClientSound* sound);
    void unregister(UpdateDecoder& decoder);
    void destroy(ClientSound* sound);
    // Binds the classes to a renderer: those that keep colours or draw to
    // its projection (when it has one), the icons to its screen manager
    // (when it has one). stop undoes it.
    void start(ScreenProjection* projection, ScreenManager* screen);
    void stop();
    bool started() const { return started_; }
    // Advances the particle emitters by that many ticks; emitters whose
    // particles have all died since their removal are freed.
    void simulate(int32_t ticks);

    WorldModelManager models;
    LampTable map_lamps;
    LampTable dynamic_lamps;
    Lamp lights;
    LampSprite flares;
    TextureManager sprite_textures;
    SpriteObject sprites;
    MeshOwner mesh_models;
    Mesh meshes;
    ParticleEmitter emitters;
    Camera camera;
    Icon icons;

private:
    bool created_ = false;
    bool started_ = false;
    ScreenProjection* projection_ = nullptr;
};
