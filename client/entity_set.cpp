#include "client/entity_set.h"

#include "client/client_map.h"
#include "client/client_sound.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "renderer/screen_projection.h"

int EntitySet::create(UpdateDecoder& d, ClientMap& world, ClientSound* sound)
{
    created_ = true;
    SharedMap* const map = world.shared();
    if (models.create(map) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_BSP, &models);
    // The map's lamps are the world's, one a lamp of its "lightmap.bin".
    DynamicLight& lamps = world.world().map_lamps;
    if (map_lamps.create_over(lamps.count() > 0 ? lamps.lamp(0) : nullptr, lamps.count()) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_MAPLAMP, &map_lamps);
    if (dynamic_lamps.create(DYNAMIC_LAMPS, 1) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_DYNALAMP, &dynamic_lamps);
    if (lights.create(&map_lamps, &dynamic_lamps, map, DYNAMIC_LIGHTS) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_LIGHT, &lights);
    if (flares.create(&map_lamps, &dynamic_lamps, map, LENS_FLARES) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_FLARE, &flares);
    if (sprite_textures.create(SPRITE_TEXTURES) == 0 || sprites.create(&sprite_textures, map, SPRITES) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_SPRITE, &sprites);
    if (mesh_models.create(MESH_MODELS) == 0 || meshes.create(&mesh_models, map, MESH_OBJECTS) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_MESH, &meshes);
    if (emitters.create(map, PARTICLE_EMITTERS) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_PARTICLES, &emitters);
    K_ASSERT(sound);
    CObjManager* const sources = sound->create_sources(SOUND_SOURCES);
    if (sources == nullptr) {
        return 0;
    }
    d.register_class(OBJCLASS_SOUND, sources);
    if (camera.create(1) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_CAMERA, &camera);
    if (icons.create(ICONS, ICON_PICTURES) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_ICON, &icons);
    return 1;
}

void EntitySet::unregister(UpdateDecoder& d)
{
    for (int c = 1; c < OBJCLASS_COUNT; ++c) {
        d.register_class(c, nullptr);
    }
}

void EntitySet::start(ScreenProjection* projection, ScreenManager* screen)
{
    K_ASSERT(!started_);
    started_ = true;
    projection_ = projection;
    if (projection != nullptr) {
        map_lamps.start(projection);
        dynamic_lamps.start(projection);
        sprite_textures.convert_all(projection->rgb_layout);
        sprites.start(projection);
        mesh_models.start(projection);
        meshes.start(projection);
        emitters.start(projection);
    }
    if (screen != nullptr) {
        icons.start(screen);
    }
}

void EntitySet::stop()
{
    if (!started_) {
        return;
    }
    if (projection_ != nullptr) {
        map_lamps.stop();
        dynamic_lamps.stop();
        sprite_textures.convert_all(projection_->layout_inverse);
        sprites.stop();
        mesh_models.stop();
        emitters.stop();
    }
    if (icons.screen() != nullptr) {
        icons.stop();
    }
    projection_ = nullptr;
    started_ = false;
}

void EntitySet::simulate(int32_t ticks) { emitters.simulate(ticks); }

void EntitySet::destroy(ClientSound* sound)
{
    if (!created_) {
        return;
    }
    stop();
    icons.destroy();
    camera.destroy();
    if (sound != nullptr) {
        sound->destroy_sources();
    }
    emitters.destroy();
    meshes.destroy();
    mesh_models.destroy();
    sprites.destroy();
    sprite_textures.release();
    flares.destroy();
    lights.destroy();
    dynamic_lamps.destroy();
    map_lamps.destroy();
    models.destroy();
    created_ = false;
}
