#include "server/server.h"

#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/timer.h"
#include "net/hive.h"
#include "script/kcontext.h"
#include "script/krun.h"
#include "server/script_glue.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <new>

Server::Server() = default;

Server::~Server() { shutdown(); }

int Server::create_cvars()
{
    K_ASSERT(cvar_list);
    S_FrameTicks = cvar_list->link(CVTYPE_INT, 0x230, "S_FrameTicks", "0", 0);
    S_TickUpdate = cvar_list->link(CVTYPE_BOOL, 0x210, "S_TickUpdate", "False", 0);
    S_Profile = cvar_list->link(CVTYPE_BOOL, 0x210, "S_Profile", "False", 0);
    S_AllowCheaters = cvar_list->link(CVTYPE_BOOL, 0x210, "S_AllowCheaters", "True", 0);
    S_AllowAdministrators = cvar_list->link(CVTYPE_BOOL, 0x210, "S_AllowAdministrators", "True", 0);
    S_PVS = cvar_list->link(CVTYPE_BOOL, 0x210, "S_PVS", "True", 0);
    S_MaxClientsPerAddress = cvar_list->link(CVTYPE_INT, 0x210, "S_MaxClientsPerAddress", "4", 0);
    if (S_FrameTicks == nullptr || S_TickUpdate == nullptr || S_Profile == nullptr || S_AllowCheaters == nullptr ||
        S_AllowAdministrators == nullptr || S_PVS == nullptr || S_MaxClientsPerAddress == nullptr) {
        return 0;
    }
    S_FrameTicks->set_saved_int(0);
    return 1;
}

void Server::release_cvars()
{
    release_variable(S_FrameTicks);
    release_variable(S_TickUpdate);
    release_variable(S_Profile);
    release_variable(S_AllowCheaters);
    release_variable(S_AllowAdministrators);
    release_variable(S_PVS);
    release_variable(S_MaxClientsPerAddress);
}

int Server::init(Hive* h, ShareManager* s)
{
    shutdown();
    mirror.reset();
    if (create_cvars() == 0) {
        print_string(P_ERROR, "Server: Can't create cvars");
        return 0;
    }
    if (register_map_commands() == 0) {
        print_string(P_ERROR, "Server: Can't register console commands");
        return 0;
    }
    K_ASSERT(s);
    share = s;
    share->register_type(MAP_SHARE_ID, SharedMap::create);
    share->register_type(VOLUME_SHARE_ID, VolumeSet::create);
    K_ASSERT(h);
    hive = h;
    K_ASSERT(!client);
    client = new (std::nothrow) ServerClient[SERVER_MAXCLIENTS];
    if (client == nullptr) {
        print_string(P_ERROR, "Server: Can't allocate client structures");
        return 0;
    }
    if (script_context_create(*this) == 0) {
        print_string(P_ERROR, "Server: Can't allocate K context");
        return 0;
    }
    return 1;
}

void Server::shutdown()
{
    unload_map();
    if (client != nullptr) {
        logout_all_clients();
        drop_all_clients();
        K_ASSERT(clients == 0);
        delete[] client;
        client = nullptr;
    }
    current_client = CLIENTID_NONE;
    clients = 0;
    if (k_context != nullptr) {
        script_context_free(*this);
    }
    unregister_map_commands();
    release_cvars();
    frame_time = 0.0;
    script_time = 0.0;
    physics_time = 0.0;
    net_time = 0.0;
    hive = nullptr;
    share = nullptr;
}

int Server::frame(double frame_now, int shutting_down)
{
    now = frame_now;
    const double start = sys_time();
    double script_acc = 0.0;
    double physics_acc = 0.0;
    double net_acc = 0.0;
    const bool profiling = S_Profile != nullptr && S_Profile->is_true();
    const auto net_step = [&](auto&& step) {
        const double t0 = profiling ? sys_time() : 0.0;
        step();
        if (profiling) {
            net_acc += sys_time() - t0;
        }
    };

    net_step([&] {
        if (shutting_down != 0) {
            logout_all_clients();
        } else {
            accept_new_client();
        }
    });
    if (clients == 0) {
        return shutting_down != 0 ? 0 : 1;
    }
    int active = 0;
    net_step([&] {
        read_client_sockets();
        active = check_disconnects();
    });
    int ticks = 0;
    if (active == 0) {
        world_flags &= ~SWF_RUNNING;
    } else {
        K_ASSERT(time_world >= 0.0);
        K_ASSERT((world_flags & SWF_READY) == SWF_READY);
        if ((world_flags & SWF_RUNNING) == 0) {
            time_offset = now - time_world - SERVER_TICK;
            world_flags |= SWF_RUNNING;
        }
        double target;
        const int32_t fixed = S_FrameTicks->int_value();
        if (fixed != 0) {
            // A negative count would run the world backwards: it runs none.
            target = fixed > 0 ? time_world + fixed * SERVER_TICK + SERVER_FRAME_TICK_SLACK : time_world;
        } else {
            if (S_FrameTicks->check_changed()) {
                time_offset = now - time_world - SERVER_TICK;
            }
            if (now - time_offset - time_world > SERVER_LAG_CAP) {
                time_offset = now - time_world - SERVER_LAG_CAP;
            }
            target = now - time_offset;
        }
        // The last tick may have run a rounding ahead of its target.
        if (target < time_world && target + SERVER_TICK_ROUNDING >= time_world) {
            target = time_world;
        }
        K_ASSERT(target >= time_world);
        while (time_world + SERVER_TICK <= target + SERVER_TICK_ROUNDING) {
            time_world = time_world + SERVER_TICK;
            ++tick;
            ++ticks;
            mirror.set_current_stamp(static_cast<int32_t>(tick));
            world_tick(&script_acc, &physics_acc);
            if (S_TickUpdate->is_true()) {
                net_step([&] { send_client_updates(); });
            }
        }
        K_ASSERT(cmd);
        K_ASSERT(current_client == CLIENTID_NONE);
        cmd->exec_buffer();
        // A command of the buffer (a script's "@exit") may have closed the map: nothing is left to send.
        if (ticks > 0 && !S_TickUpdate->is_true() && (world_flags & SWF_MAP) != 0) {
            net_step([&] { send_client_updates(); });
        }
    }
    net_step([&] { flush_client_sockets(); });

    const double elapsed = sys_time() - start;
    frame_time = 0.8 * frame_time + 0.2 * elapsed;
    script_time = 0.8 * script_time + 0.2 * script_acc;
    physics_time = 0.8 * physics_time + 0.2 * physics_acc;
    net_time = 0.8 * net_time + 0.2 * net_acc;
    if (profiling) {
        print_tagged(make_tag("SvPr"), "Server: %.1f ms (K %.1f, physics %.1f, net %.1f)", frame_time * 1000.0,
                     script_time * 1000.0, physics_time * 1000.0, net_time * 1000.0);
    }
    return 1;
}

void Server::world_tick(double* script_acc, double* physics_acc)
{
    const bool timing = script_acc != nullptr && physics_acc != nullptr;
    const double t0 = timing ? sys_time() : 0.0;
    if ((world_flags & SWF_READY) == SWF_READY) {
        K_ASSERT(k_context);
        run_tick(k_context);
        for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
            ServerClient& sc = client[c];
            if (sc.state == SCSTATE_FREE) {
                continue;
            }
            ++seen;
            if (sc.input_latch != 0) {
                sc.accumulated_state = sc.current_state;
                sc.input_latch = 0;
            }
        }
    }
    const double t1 = timing ? sys_time() : 0.0;
    if (timing) {
        *script_acc += t1 - t0;
    }
    if ((world_flags & SWF_READY) == SWF_READY) {
        physics.tick();
    }
    if (timing) {
        *physics_acc += sys_time() - t1;
    }
    mesh_objects.animate(mirror.change_stamp());
}
