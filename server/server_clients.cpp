#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/hive.h"
#include "net/net_socket.h"
#include "script/kcontext.h"
#include "script/krun.h"
#include "server/builtin_table.h"
#include "server/server.h"

#include <algorithm>
#include <span>

double Server::rate_clock() const
{
    return S_FrameTicks != nullptr && S_FrameTicks->int_value() > 0 ? time_world : sys_time();
}

void Server::measure_rate(int c)
{
    ServerClient& sc = client[c];
    const double t = rate_clock();
    const double dt = t - sc.rate_time;
    if (!(dt > 0.0)) {
        // A clock that went back (a map started again, the other clock taken) starts the measure anew.
        sc.rate_time = std::min(sc.rate_time, t);
        return;
    }
    sc.rate_time = t;
    int64_t sum = 0;
    for (NetTraffic& counter : sc.socket->traffic) {
        sum += counter.bytes;
        counter.bytes = 0;
    }
    const double rate = sc.rate * 0.9 + static_cast<double>(sum) * 0.1 / dt;
    sc.rate = rate < 2147483647.0 ? static_cast<int32_t>(rate) : INT32_MAX;
}

// A spawned client that leaves every update unacknowledged would hold
// destroyed objects for ever; a logout the scripts never take would hold
// the slot.
void Server::check_timeouts(int c)
{
    ServerClient& sc = client[c];
    if (sc.state == SCSTATE_SPAWNED && now - sc.ack_time > SERVER_ACK_TIMEOUT) {
        print_format(P_WARNING, "Server: Client %s (%d) acknowledges no updates - disconnecting", sc.name, c);
        begin_logout(c);
    }
    if (sc.state == SCSTATE_LOGGINGOUT && now - sc.logout_time > SERVER_LOGOUT_TIMEOUT) {
        print_format(P_WARNING, "Server: Client %s (%d) did not log out - forcing it out", sc.name, c);
        sc.state = SCSTATE_CONNECTED;
        mirror.remove_client(c);
        begin_logout(c);
    }
}

int Server::check_disconnects()
{
    int active = 0;
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        ServerClient& sc = client[c];
        if (sc.state == SCSTATE_FREE) {
            continue;
        }
        ++seen;
        K_ASSERT(sc.socket);
        if (sc.state == SCSTATE_DROP) {
            drop_client(c);
            // The slot no longer counts among those in use.
            --seen;
            continue;
        }
        bool rate_due = true;
        if (sc.socket->state != NET_SOCKET_USABLE) {
            print_string(P_WARNING, "Server: Connection lost");
            print_format(P_MESSAGE, "Server: Disconnecting %s (%d)", sc.name, c);
            begin_logout(c);
        } else if ((sc.flags & SCFLAG_CHEATER) != 0 && !S_AllowCheaters->is_true()) {
            print_format(P_MESSAGE, "Server: Disconnecting cheater %s (%d)", sc.name, c);
            begin_logout(c);
        } else if (sc.state == SCSTATE_CONNECTED && (sc.flags & SCFLAG_PLAYER) != 0 &&
                   (world_flags & SWF_READY) == SWF_READY) {
            if (send_load_map(c) != 0) {
                sc.state = SCSTATE_LOADING;
            } else {
                rate_due = false;
            }
        }
        check_timeouts(c);
        if (sc.state == SCSTATE_SPAWNED || sc.state == SCSTATE_LOGGINGOUT) {
            active = 1;
        }
        if (rate_due) {
            measure_rate(c);
        }
    }
    return active;
}

int Server::spawn_client(int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = client[c];
    K_ASSERT(sc.state != SCSTATE_FREE);
    sc.reset();
    const int32_t camera = mirror.create(OBJCLASS_CAMERA, c, false);
    if (camera < 0) {
        print_format(P_ERROR, "Server: Can't create %s's camera object", sc.name);
        return 0;
    }
    sc.camera_id = camera;
    const char* failure = nullptr;
    if (sc.objects.allocate(OBJECT_LIST_CAPACITY) == 0) {
        failure = "Server: Can't allocate object list for %s";
    } else {
        const uint32_t function = k_context != nullptr ? k_context->required[REQUIRED_SPAWNCLIENT].address : 0;
        const uint32_t argument = static_cast<uint32_t>(c);
        if (function == 0 || !call_address(k_context, function, std::span<const uint32_t>(&argument, 1)) ||
            k_context->result[0] == 0) {
            failure = "Server: Can't spawn K client %s";
        }
    }
    if (failure != nullptr) {
        print_format(P_ERROR, failure, sc.name);
        // No client was told of the camera yet: it goes at once, and the next try makes its own.
        cameras.release(static_cast<uint32_t>(camera) & OBJID_STOREDMASK);
        sc.camera_id = -1;
        return 0;
    }
    sc.state = SCSTATE_SPAWNED;
    sc.ack_time = now;
    return 1;
}

void Server::remove_script_client(int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    K_ASSERT(world_flags & SWF_RUNNING);
    ServerClient& sc = client[c];
    print_format(P_DEBUG, "Server: Removing K client %s", sc.name);
    sc.state = SCSTATE_CONNECTED;
    mirror.remove_client(c);
}

void Server::begin_logout(int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = client[c];
    K_ASSERT(sc.state != SCSTATE_FREE);
    if (sc.state == SCSTATE_SPAWNED) {
        sc.state = SCSTATE_LOGGINGOUT;
        sc.logout_time = now;
    } else if (sc.state != SCSTATE_LOGGINGOUT) {
        sc.state = SCSTATE_DROP;
    }
}

void Server::drop_client(int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = client[c];
    K_ASSERT(sc.state != SCSTATE_FREE);
    K_ASSERT(hive);
    hive->close_socket(sc.socket);
    sc.socket = nullptr;
    if (sc.camera_id != -1) {
        if ((world_flags & SWF_MAP) != 0) {
            mirror.destroy(sc.camera_id);
        }
        sc.camera_id = -1;
    }
    sc.clear();
    --clients;
}

void Server::logout_all_clients()
{
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        if (client[c].state != SCSTATE_FREE) {
            ++seen;
            begin_logout(c);
        }
    }
}

void Server::drop_all_clients()
{
    for (int c = 0; c < SERVER_MAXCLIENTS && clients > 0; ++c) {
        if (client[c].state != SCSTATE_FREE) {
            drop_client(c);
        }
    }
}
