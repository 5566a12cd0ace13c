#include "client/entity_set.h"

#include "client/client_map.h"
#include "client/client_sound.h"
#include "client/update_decoder.h"
#include "core/kassert.h"

int EntitySet::create(UpdateDecoder& d, ClientMap& world, ClientSound* sound)
{
    if (models.create(world.shared()) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_BSP, &models);
    if (map_lamps.create(MAP_LAMP_SLOTS, 0) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_MAPLAMP, &map_lamps);
    if (dynamic_lamps.create(32, 1) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_DYNALAMP, &dynamic_lamps);
    if (lights.create(64) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_LIGHT, &lights);
    if (flares.create(256) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_FLARE, &flares);
    if (sprites.create(256) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_SPRITE, &sprites);
    if (meshes.create(256) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_MESH, &meshes);
    if (emitters.create(256) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_PARTICLES, &emitters);
    K_ASSERT(sound);
    CObjManager* const sources = sound->create_sources(256);
    if (sources == nullptr) {
        return 0;
    }
    d.register_class(OBJCLASS_SOUND, sources);
    if (camera.create(1) == 0) {
        return 0;
    }
    d.register_class(OBJCLASS_CAMERA, &camera);
    if (icons.create(64) == 0) {
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

void EntitySet::destroy(ClientSound* sound)
{
    icons.destroy();
    camera.destroy();
    if (sound != nullptr) {
        sound->destroy_sources();
    }
    emitters.destroy();
    meshes.destroy();
    sprites.destroy();
    flares.destroy();
    dynamic_lamps.destroy();
    lights.destroy();
    map_lamps.destroy();
    models.destroy();
    started_ = false;
}
