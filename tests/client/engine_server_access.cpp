#include "engine_server_access.h"

#include "core/timer.h"
#include "engine/engine.h"
#include "server/server.h"

#include <vector>

bool start_server_map(Engine& engine, const char* name) { return engine.server()->start_map(name, nullptr) == 1; }

ServerSlot spawned_slot(Engine& engine)
{
    const Server& s = *engine.server();
    for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
        const ServerClient& sc = s.client[c];
        if (sc.state == SCSTATE_SPAWNED) {
            return {true, sc.analog[0], sc.input_stamp, sc.camera_id};
        }
    }
    return {};
}

int32_t server_create(Engine& engine, int object_class)
{
    return engine.server()->mirror.create(object_class, AUDIENCE_EVERYONE, false);
}

int32_t server_object_at(Engine& engine, int object_class, int32_t index)
{
    return engine.server()->mirror.id_at(object_class, index);
}

int server_set(Engine& engine, int32_t id, int property, std::initializer_list<ServerArg> args)
{
    std::vector<SObjArg> v;
    for (const ServerArg& a : args) {
        v.push_back(SObjArg{a.i, a.d, a.s});
    }
    return engine.server()->mirror.set_special(id, property, v);
}

void server_place(Engine& engine, int32_t id, float x, float y, float z)
{
    (void)engine.server()->mirror.set_position(id, Vector{x, y, z});
}

void server_destroy(Engine& engine, int32_t id) { engine.server()->mirror.destroy(id); }

void server_turn(Engine& engine, int32_t id, float a, float b, float c)
{
    (void)engine.server()->mirror.set_angles(id, a, b, c);
}

void server_frame(Engine& engine) { (void)engine.server()->frame(sys_time(), 0); }

float server_animate(Engine& engine, int32_t id, int32_t cycle, float speed)
{
    return engine.server()->mesh_objects.set_animation(static_cast<uint32_t>(id), cycle, speed, 0);
}
