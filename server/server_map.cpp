#include "core/kassert.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "server/server.h"
#include "world/shared_map.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int32_t DYNAMIC_LAMPS = 32;
constexpr int32_t DYNAMIC_LIGHTS = 64;
constexpr int32_t LENS_FLARES = 256;
constexpr int32_t MESH_OBJECTS = 256;
constexpr int32_t SPRITES = 256;
constexpr int32_t PARTICLE_OBJECTS = 256;
constexpr int32_t SOUND_SOURCES = 256;
constexpr int32_t ICONS = 512;

} // namespace

// The lamps of lightmap.bin come with their class; until then a map has none.
int32_t Server::read_map_lamps() { return 0; }

int32_t Server::load_map(const char* name, const char* save)
{
    K_ASSERT(name);
    unload_map();
    if (std::strlen(name) >= SERVER_MAPNAME_SIZE) {
        return -1;
    }
    std::strcpy(map_name, name);
    char directory[SERVER_MAPNAME_SIZE + 8];
    std::snprintf(directory, sizeof directory, "maps/%s", name);
    uint32_t identifier = 0;
    map = static_cast<SharedMap*>(share->acquire(MAP_SHARE_ID, static_cast<const char*>(directory), 1, &identifier));
    if (map == nullptr) {
        return -1;
    }
    char volume_path[SERVER_MAPNAME_SIZE + 24];
    std::snprintf(volume_path, sizeof volume_path, "%s%s/volume.txt", "maps/", name);
    if (physics.init(share, volume_path, k_context, identifier) == 0) {
        print_string(P_ERROR, "Server: Physics server init error!");
        return -1;
    }
    mirror.set_physics(&physics);
    if (route.load(directory, identifier) == 0) {
        print_string(P_ERROR, "Server: MapRoute init error!");
        return -1;
    }
    const int32_t lamps = read_map_lamps();
    if (lamps < 0) {
        print_string(P_ERROR, "Server: Can't read lightmap.bin !");
        return -1;
    }
    // Each manager is started only after the one before it started.
    struct Step {
        int object_class;
        int (*start)(Server& s, int32_t lamps);
        const char* failure;
    };
    static const Step steps[] = {
        {OBJCLASS_MAPLAMP, [](Server& s, int32_t n) { return s.map_lamps.start(n); },
         "Server: Can't init map lamp manager!"},
        {OBJCLASS_DYNALAMP, [](Server& s, int32_t) { return s.dynamic_lamps.start(DYNAMIC_LAMPS); },
         "Server: Can't init dynamic lamp manager!"},
        {OBJCLASS_DYNLIGHT, [](Server& s, int32_t) { return s.dynamic_lights.start(s.map, DYNAMIC_LIGHTS); },
         "Server: Can't init dynamic light manager!"},
        {OBJCLASS_LENSFLARE, [](Server& s, int32_t) { return s.lens_flares.start(s.map, LENS_FLARES); },
         "Server: Can't init lensflare manager!"},
        {OBJCLASS_MESH, [](Server& s, int32_t) { return s.mesh_objects.start(s.map, MESH_OBJECTS); },
         "Server: Can't init mesh object manager!"},
        {OBJCLASS_SPRITE, [](Server& s, int32_t) { return s.sprites.start(s.map, SPRITES); },
         "Server: Can't init sprite object manager!"},
        {OBJCLASS_BSP,
         [](Server& s, int32_t) { return s.bsp_objects.start(s.map, s.physics.model_count()); },
         "Server: Can't init BSP object manager!"},
        {OBJCLASS_PARTICLE, [](Server& s, int32_t) { return s.particles.start(s.map, PARTICLE_OBJECTS); },
         "Server: Can't init particle object manager!"},
        {OBJCLASS_SOUND, [](Server& s, int32_t) { return s.sound_sources.start(SOUND_SOURCES); },
         "Server: Can't init sound source manager!"},
        {OBJCLASS_CAMERA, [](Server& s, int32_t) { return s.cameras.start(CAMERA_MAX); },
         "Server: Can't init camera manager!"},
        {OBJCLASS_ICON, [](Server& s, int32_t) { return s.icons.start(ICONS); },
         "Server: Can't init icon manager!"},
    };
    SObjManager* const managers[] = {&map_lamps,    &dynamic_lamps, &dynamic_lights, &lens_flares,
                                     &mesh_objects, &sprites,       &bsp_objects,    &particles,
                                     &sound_sources, &cameras,      &icons};
    for (size_t i = 0; i < std::size(steps); ++i) {
        if (steps[i].start(*this, lamps) == 0) {
            print_string(P_ERROR, steps[i].failure);
            return -1;
        }
        mirror.set_manager(steps[i].object_class, managers[i]);
    }
    world_flags |= SWF_MAP;
    if (script_world_init(save) == 0) {
        return -1;
    }
    return static_cast<int32_t>(identifier);
}

void Server::unload_map()
{
    script_world_done();
    if (client != nullptr) {
        for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
            ServerClient& sc = client[c];
            if (sc.state == SCSTATE_FREE) {
                continue;
            }
            ++seen;
            if (sc.state == SCSTATE_LOADING || sc.state == SCSTATE_SPAWNED) {
                send_map_change(c);
                sc.reset();
                sc.state = SCSTATE_CONNECTED;
            }
        }
    }
    icons.stop();
    cameras.stop();
    sound_sources.stop();
    particles.stop();
    bsp_objects.stop();
    sprites.stop();
    mesh_objects.stop();
    lens_flares.stop();
    dynamic_lights.stop();
    dynamic_lamps.stop();
    map_lamps.stop();
    mirror.reset();
    route.free();
    physics.done();
    world_flags &= ~SWF_MAP;
    if (map != nullptr) {
        share->release(map);
        map = nullptr;
    }
    map_name[0] = '\0';
    map_id = 0;
    K_ASSERT(!(world_flags & SWF_READY));
}

void Server::set_world_time(double t)
{
    time_offset = 0.0;
    time_world = t;
    tick = static_cast<uint32_t>(t * SERVER_TICKS_PER_SECOND);
    world_flags &= ~SWF_RUNNING;
}

int Server::start_map(const char* name, const char* save)
{
    print_format(P_IMPORTANT, "Server: Loading map '%s'", name);
    const int32_t id = load_map(name, save);
    map_id = static_cast<uint32_t>(id);
    if (id == -1) {
        unload_map();
        return 0;
    }
    set_world_time(0.0);
    mirror.set_current_stamp(0);
    world_tick(nullptr, nullptr);
    return 1;
}
