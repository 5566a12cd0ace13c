// What the builtins learn of the clients. Records handed to scripts by
// address are copied into the export region, where scripts can read them.
#include "core/kassert.h"
#include "core/print.h"
#include "script/ksave.h"
#include "script/kio.h"
#include "server/builtin_call.h"
#include "server/script_glue.h"
#include "server/server.h"

#include <cstring>

int32_t get_client_camera(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    return s.client[c].camera_id;
}

uint32_t get_input_info(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = s.client[c];
    BUILTIN_CHECK(s.k_context, sc.state == SCSTATE_SPAWNED || sc.state == SCSTATE_LOGGINGOUT);
    const uint32_t block = s.k_exports.inputs + static_cast<uint32_t>(c) * SCRIPT_INPUT_BYTES;
    uint8_t* const out = s.k_context->arena.at(block, SCRIPT_INPUT_BYTES);
    std::memcpy(out, sc.analog, sizeof sc.analog);
    std::memcpy(out + sizeof sc.analog, &sc.accumulated_state, 4);
    std::memcpy(out + sizeof sc.analog + 4, &sc.current_state, 4);
    sc.input_latch = 1;
    return block;
}

int32_t get_input_type(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    BUILTIN_CHECK(s.k_context, (s.world_flags & SWF_READY) == SWF_READY);
    ServerClient& sc = s.client[c];
    if (sc.state == SCSTATE_SPAWNED) {
        return sc.impulse_count > 0 ? 3 : 0;
    }
    if (sc.state == SCSTATE_LOGGINGOUT) {
        s.remove_script_client(c);
        // Logging out again from a connected slot drops it.
        s.begin_logout(c);
        return 2;
    }
    return 0;
}

int32_t get_input_impulse(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = s.client[c];
    if (sc.state != SCSTATE_SPAWNED) {
        print_string(P_ERROR, "Server: Client not spawned in get_input_impulse()");
        return 0;
    }
    if (sc.impulse_count == 0) {
        print_string(P_WARNING, "Server: get_input_impulse() with no impulses called !");
        return 0;
    }
    const int32_t impulse = sc.impulses[0];
    --sc.impulse_count;
    std::memmove(sc.impulses, sc.impulses + 1, static_cast<size_t>(sc.impulse_count));
    return impulse;
}

uint32_t get_client_name(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    static_assert(SERVER_CLIENT_NAME <= SCRIPT_NAME_BYTES, "a name fits its export slot");
    const uint32_t name = s.k_exports.names + static_cast<uint32_t>(c) * SCRIPT_NAME_BYTES;
    char* const out = reinterpret_cast<char*>(s.k_context->arena.at(name, SCRIPT_NAME_BYTES));
    std::memset(out, 0, SCRIPT_NAME_BYTES);
    std::memcpy(out, s.client[c].name, strnlen(s.client[c].name, SCRIPT_NAME_BYTES - 1));
    return name;
}

int32_t is_cheater(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    return (s.client[c].flags & SCFLAG_CHEATER) != 0 ? 1 : 0;
}

int32_t is_administrator(Server& s, int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    return (s.client[c].flags & SCFLAG_ADMINISTRATOR) != 0 ? 1 : 0;
}

void set_client_group(Server& s, int c, int32_t group)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    s.client[c].group = group;
}

// A mesh object's box is its collision box, raised to stand on the hull nearest to its size.
int32_t get_object_volume(Server& s, int32_t id, uint32_t contents)
{
    if (id < 0) {
        return -1;
    }
    const uint32_t object = static_cast<uint32_t>(id);
    if (object_class_of(object) == OBJCLASS_BSP) {
        return s.physics.map_model_volume(object_index_of(object));
    }
    const Vector half = s.mesh_objects.collision_size_of(object);
    const int32_t hull = nearest_hull(s.mesh_physics, s.mesh_objects.size_of(object));
    const float hull_z = hull >= 0 ? s.mesh_physics.hull_size(hull).z : 0.0f;
    return s.physics.get_box_volume(static_cast<int32_t>(contents), Vector{0.0f, 0.0f, half.z - hull_z}, half);
}

void dump(Server& s, uint32_t object)
{
    K_ASSERT(s.k_context);
    if (save_object(s.k_context, object, KFD_STDERR) == 0) {
        print_format(P_WARNING, "Server: Can't dump object 0x%08x", object);
    }
}
