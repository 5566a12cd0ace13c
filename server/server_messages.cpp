// Messages from the clients. Every message is read whole before anything of
// it is taken: one that ends early, or holds more than its fields, is dropped
// and counted.
#include "core/cons_cmd.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/line_limit.h"
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "server/game_protocol.h"
#include "server/server.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Axes of the three input groups.
constexpr int INPUT_GROUP_AXES[3] = {3, 2, 4};
constexpr float INPUT_SCALE = 1.0f / 8192.0f;

bool whole(const NetStreamIn& in) { return in.length() == 0; }

// A loading client may answer the map change with either as often as it likes.
LineLimit load_failed_lines("Server", "Client loadmap failed", P_WARNING);
LineLimit magic_lines("Server", "Client magic mismatch", P_ERROR);
// A client may send hundreds of commands a frame, each of which can warn
// ("Unknown command", a denied right, bad arguments).
LineLimit command_lines("Server", "Warnings and errors of clients' commands", P_WARNING);

bool client_command_gate(int stream, uintptr_t)
{
    return (stream != P_WARNING && stream != P_ERROR) || command_lines.admit(sys_time());
}

} // namespace

void Server::client_error(int c, int stream, const char* format, ...)
{
    ServerClient& sc = client[c];
    if (now < sc.error_time) {
        ++sc.errors_held;
        return;
    }
    if (sc.errors_held > 0) {
        print_format(stream, "Server: %d more errors of client %d (%s) were not shown", sc.errors_held, c, sc.name);
        sc.errors_held = 0;
    }
    sc.error_time = now + SERVER_ERROR_LINE_PERIOD;
    va_list args;
    va_start(args, format);
    print_vformat(stream, format, args);
    va_end(args);
}

void Server::read_client_sockets()
{
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        ServerClient& sc = client[c];
        if (sc.state == SCSTATE_FREE) {
            continue;
        }
        ++seen;
        K_ASSERT(sc.socket);
        // A client that floods the socket waits for the next frame with the rest.
        for (int n = 0; n < SERVER_MESSAGES_PER_FRAME && sc.socket != nullptr; ++n) {
            NetStreamIn in;
            int id = 0;
            const int r = sc.socket->read(&in, &id, nullptr);
            if (r == NET_NOTHING) {
                break;
            }
            if (r == NET_DAMAGED) {
                ++messages_dropped;
                client_error(c, P_ERROR, "Server: Corrupted message (client %d, %s)", c, sc.name);
                continue;
            }
            if (r != NET_OK) {
                print_format(P_ERROR, "Server: Error reading socket (client %d, %s)", c, sc.name);
                begin_logout(c);
                break;
            }
            dispatch_client_message(c, &in, id);
            in.detach();
        }
    }
}

int Server::dispatch_client_message(int c, NetStreamIn* msg, int id)
{
    switch (id) {
    case NETM_INPUT:
        read_client_input(c, msg);
        return 1;
    case NETM_IMPULSES:
        read_client_impulses(c, msg);
        return 1;
    case NETM_MAPLOADED:
        client_map_loaded(c, msg);
        return 1;
    case NETM_COMMAND:
        run_client_command(c, msg);
        return 1;
    case NETM_DUMMY:
        if (msg->read8() != 255 || !whole(*msg)) {
            client_error(c, P_ERROR, "Server: Damaged dummy message !");
        }
        return 0;
    default:
        ++messages_dropped;
        client_error(c, P_ERROR, "Server: Unknown client message id %d !", id);
        return 0;
    }
}

void Server::read_client_input(int c, NetStreamIn* msg)
{
    ServerClient& sc = client[c];
    const int32_t stamp = static_cast<int32_t>(msg->read32());
    float analog[SERVER_ANALOG_INPUTS] = {};
    int axis = 0;
    for (const int axes : INPUT_GROUP_AXES) {
        const bool present = msg->read_bits(1) == 1;
        for (int k = 0; k < axes; ++k, ++axis) {
            if (present && msg->read_bits(1) == 1) {
                analog[axis] = (static_cast<float>(msg->read16()) - 32768.0f) * INPUT_SCALE;
            }
        }
    }
    const bool has_state = msg->read_bits(1) == 1;
    const uint32_t state = has_state ? msg->read32() : 0;
    if (!whole(*msg)) {
        ++messages_dropped;
        client_error(c, P_ERROR, "Server: Damaged input message (client %d, %s)", c, sc.name);
        return;
    }
    // Only a stamp the client was sent can be acknowledged.
    const int32_t acked = std::clamp(stamp, -1, std::max(sc.objects.newest_sent, -1));
    if (acked > sc.input_stamp) {
        sc.ack_time = now;
    }
    sc.input_stamp = acked;
    std::memcpy(sc.analog, analog, sizeof analog);
    sc.current_state = state;
    sc.accumulated_state |= state;
}

int Server::read_client_impulses(int c, NetStreamIn* msg)
{
    ServerClient& sc = client[c];
    const uint32_t n = msg->read8();
    uint8_t codes[255];
    for (uint32_t i = 0; i < n && i < sizeof codes; ++i) {
        codes[i] = static_cast<uint8_t>(msg->read8());
    }
    if (!whole(*msg)) {
        ++messages_dropped;
        client_error(c, P_ERROR, "Server: Damaged impulse message (client %d, %s)", c, sc.name);
        return 1;
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (sc.impulse_count == SERVER_IMPULSES) {
            client_error(c, P_WARNING, "Server: Impulse buffer overflow !");
            return 0;
        }
        sc.impulses[sc.impulse_count++] = codes[i];
    }
    return 1;
}

void Server::client_map_loaded(int c, NetStreamIn* msg)
{
    ServerClient& sc = client[c];
    if (sc.state != SCSTATE_LOADING) {
        return;
    }
    char name[NETM_MAPNAME_CHARS + 1];
    const int s = msg->read_string(name, sizeof name);
    const int32_t identifier = static_cast<int32_t>(msg->read32());
    if (s == 2 || !whole(*msg)) {
        ++messages_dropped;
        client_error(c, P_ERROR, "Server: Damaged map-loaded message (client %d, %s)", c, sc.name);
        return;
    }
    // A name cut to fit is not the name the client loaded.
    if (s != 0 || std::strcmp(name, map_name) != 0) {
        print_format(P_DEBUG, "Server: Client loaded map %s, expected %s", name, map_name);
        return;
    }
    if (identifier == -1) {
        load_failed_lines.print("Server: Client loadmap failed");
        return;
    }
    if (static_cast<uint32_t>(identifier) != map_id) {
        magic_lines.print("Server: Client magic mismatch");
        send_map_change(c);
        return;
    }
    spawn_client(c);
}

void Server::run_client_command(int c, NetStreamIn* msg)
{
    ServerClient& sc = client[c];
    char text[NETM_COMMAND_CHARS];
    const int s = msg->read_string(text, sizeof text);
    if (s == 2 || !whole(*msg)) {
        ++messages_dropped;
        return;
    }
    if (s == 1) {
        client_error(c, P_WARNING, "Server: Command of client %d (%s) is too long", c, sc.name);
        return;
    }
    K_ASSERT(cmd);
    const uint32_t base = (sc.flags & SCFLAG_CHEATER) != 0 ? 0x40 : 0x60;
    if ((sc.flags & SCFLAG_ADMINISTRATOR) != 0) {
        cmd->set_permissions(0, 0x200, 0x200, 0x200, base | 0x200);
    } else {
        cmd->set_permissions(CONSCMD_DENY_CALL | CONSCMD_DENY_DEFINE | CONSCMD_DENY_WAIT | CONSCMD_DENY_LS, 0x200,
                             0x200, 0x200, base | 0x210);
    }
    current_client = c;
    // The client's text runs alone, with its rights: never with text queued
    // by the server's own console, and what it leaves unrun is dropped.
    {
        const ScopedPrintGate gate(client_command_gate, 0);
        cmd->exec_isolated(text);
    }
    current_client = CLIENTID_NONE;
    set_server_permissions();
}
