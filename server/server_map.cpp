#include "core/kassert.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "server/server.h"
#include "world/shared_map.h"

#include <cstdio>
#include <cstring>

int32_t Server::read_map_lamps(const char* name, uint32_t identifier)
{
    char path[SERVER_MAPNAME_SIZE + 24];
    std::snprintf(path, sizeof path, "%s%s/lightmap.bin", "maps/", name);
    return count_map_lamps(path, identifier);
}

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
    const int32_t lamps = read_map_lamps(name, identifier);
    if (lamps < 0) {
        print_string(P_ERROR, "Server: Can't read lightmap.bin !");
        return -1;
    }
    // Each manager is started only after the one before it started; the
    // mesh registry has no class.
    struct Step {
        int object_class;
        int (*start)(Server& s, int32_t lamps);
        const char* failure;
        SObjManager* (*manager)(Server& s);
    };
    static const Step steps[] = {
        {OBJCLASS_MAPLAMP, [](Server& s, int32_t n) { return s.map_lamps.start(n, true); },
         "Server: Can't init map lamp manager!", [](Server& s) -> SObjManager* { return &s.map_lamps; }},
        {OBJCLASS_DYNALAMP, [](Server& s, int32_t) { return s.dynamic_lamps.start(DYNAMIC_LAMP_MAX, false); },
         "Server: Can't init dynamic lamp manager!", [](Server& s) -> SObjManager* { return &s.dynamic_lamps; }},
        {OBJCLASS_DYNLIGHT, [](Server& s, int32_t) { return s.dynamic_lights.start(s.map, DYNAMIC_LIGHT_MAX); },
         "Server: Can't init dynamic light manager!", [](Server& s) -> SObjManager* { return &s.dynamic_lights; }},
        {OBJCLASS_LENSFLARE, [](Server& s, int32_t) { return s.lens_flares.start(s.map, LENS_FLARE_MAX); },
         "Server: Can't init lensflare manager!", [](Server& s) -> SObjManager* { return &s.lens_flares; }},
        {-1, [](Server& s, int32_t) { return s.meshes.start(MESH_MODEL_MAX); }, "Server: Can't init mesh manager!",
         [](Server&) -> SObjManager* { return nullptr; }},
        {OBJCLASS_MESH,
         [](Server& s, int32_t) {
             return s.mesh_objects.start(&s.meshes, &s.mesh_physics, s.map, MESH_OBJECT_MAX, SERVER_MAXCLIENTS);
         },
         "Server: Can't init mesh object manager!", [](Server& s) -> SObjManager* { return &s.mesh_objects; }},
        {OBJCLASS_SPRITE, [](Server& s, int32_t) { return s.sprites.start(s.map, SPRITE_MAX, SERVER_MAXCLIENTS); },
         "Server: Can't init sprite object manager!", [](Server& s) -> SObjManager* { return &s.sprites; }},
        {OBJCLASS_BSP, [](Server& s, int32_t) { return s.bsp_objects.start(s.map, s.physics.model_count()); },
         "Server: Can't init BSP object manager!", [](Server& s) -> SObjManager* { return &s.bsp_objects; }},
        {OBJCLASS_PARTICLE,
         [](Server& s, int32_t) { return s.particles.start(s.map, PARTICLE_OBJECT_MAX, SERVER_MAXCLIENTS); },
         "Server: Can't init particle object manager!", [](Server& s) -> SObjManager* { return &s.particles; }},
        {OBJCLASS_SOUND, [](Server& s, int32_t) { return s.sound_sources.start(SOUND_SOURCE_MAX, SERVER_MAXCLIENTS); },
         "Server: Can't init sound source manager!", [](Server& s) -> SObjManager* { return &s.sound_sources; }},
        {OBJCLASS_CAMERA, [](Server& s, int32_t) { return s.cameras.start(CAMERA_MAX); },
         "Server: Can't init camera manager!", [](Server& s) -> SObjManager* { return &s.cameras; }},
        {OBJCLASS_ICON, [](Server& s, int32_t) { return s.icons.start(ICON_MAX, SERVER_MAXCLIENTS); },
         "Server: Can't init icon manager!", [](Server& s) -> SObjManager* { return &s.icons; }},
    };
    for (const Step& step : steps) {
        if (step.start(*this, lamps) == 0) {
            print_string(P_ERROR, step.failure);
            return -1;
        }
        if (step.object_class >= 0) {
            mirror.set_manager(step.object_class, step.manager(*this));
        }
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
            } else if (sc.state == SCSTATE_LOGGINGOUT) {
                // The scripts that were to see it leave are gone: it leaves now,
                // and the next map's scripts never meet it half gone. Its camera
                // went with the world.
                sc.reset();
                sc.state = SCSTATE_DROP;
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
    meshes.stop();
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
