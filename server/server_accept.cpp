#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/hive.h"
#include "net/line_limit.h"
#include "net/net_defs.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "server/game_protocol.h"
#include "server/server.h"

#include <cstring>

namespace {

// Every request from a new address reaches it, also those refused a moment later.
LineLimit weird_cps_lines("Server", "weird cps", P_WARNING);

// The request's fields after the version and the magic.
struct Request {
    char name[SERVER_CLIENT_NAME];
    int32_t cps;
    uint32_t flags;
};

// false when the request is cut short or its name does not fit its field.
bool read_request_rest(NetStreamIn& in, Request& r, const char** reason)
{
    const int s = in.read_string(r.name, SERVER_CLIENT_NAME);
    r.cps = static_cast<int32_t>(in.read32());
    r.flags = in.read_bits(1) * SCFLAG_PLAYER;
    r.flags |= in.read_bits(1) * SCFLAG_CHEATER;
    r.flags |= in.read_bits(1) * SCFLAG_ADMINISTRATOR;
    if (s == 2 || in.length() < 0) {
        *reason = "connection request damaged";
        return false;
    }
    if (s == 1) {
        *reason = "player name too long";
        return false;
    }
    return true;
}

} // namespace

bool Server::address_full(const NetSocket* socket) const
{
    NetAddress host{};
    if (!socket->peer_host(&host)) {
        return false;
    }
    int count = 0;
    for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
        NetAddress other{};
        const NetSocket* const s = client[c].socket;
        if (client[c].state != SCSTATE_FREE && s != nullptr && s->peer_host(&other) &&
            std::memcmp(&host, &other, sizeof host) == 0) {
            ++count;
        }
    }
    return count >= S_MaxClientsPerAddress->int_value();
}

void Server::accept_new_client()
{
    K_ASSERT(hive);
    for (int taken = 0; taken < SERVER_ACCEPTS_PER_FRAME; ++taken) {
        uint8_t request[NETM_REQUEST_BYTES];
        int32_t length = sizeof request;
        NetSocket* const socket = hive->accept(request, &length);
        if (socket == nullptr) {
            return;
        }
        print_string(P_MESSAGE, "Server: New client");
        // A request that did not fit the buffer is damaged as well.
        if (length <= 0) {
            send_reject(socket, "connection request damaged");
            continue;
        }
        NetStreamIn in;
        in.attach(request, length * 8);
        const uint32_t version = in.read32();
        const uint32_t magic = in.read32();
        Request r{};
        const char* reason = nullptr;
        int c = -1;
        if (version != NET_PROTOCOL_VERSION) {
            reason = "protocol version mismatch";
        } else if (magic != NET_GAME_MAGIC) {
            reason = "game magic mismatch";
        } else if (clients >= SERVER_MAXCLIENTS) {
            reason = "client limit exceeded";
        } else if (address_full(socket)) {
            reason = "too many connections from this address";
        } else if (read_request_rest(in, r, &reason)) {
            for (c = 0; client[c].state != SCSTATE_FREE; ++c) {
            }
            ServerClient& sc = client[c];
            std::memcpy(sc.name, r.name, sizeof sc.name);
            sc.flags = r.flags;
            sc.cps = r.cps;
            if (sc.cps < SERVER_MIN_CPS) {
                weird_cps_lines.print("Server: Client %s - weird cps %d", sc.name, sc.cps);
                sc.cps = SERVER_MIN_CPS;
            }
            if ((sc.flags & SCFLAG_CHEATER) != 0 && !S_AllowCheaters->is_true()) {
                reason = "no cheaters allowed";
            } else if ((sc.flags & SCFLAG_ADMINISTRATOR) != 0 && !S_AllowAdministrators->is_true()) {
                reason = "no more administrators allowed";
            }
            if (reason != nullptr) {
                sc.clear();
            }
        }
        in.detach();
        if (reason != nullptr) {
            send_reject(socket, reason);
            continue;
        }
        ServerClient& sc = client[c];
        sc.socket = socket;
        sc.state = SCSTATE_CONNECTED;
        sc.rate = 0;
        sc.update_interval = 0.0;
        sc.rate_time = rate_clock();
        if (send_accept(c) == 0) {
            sc.socket = nullptr;
            sc.clear();
            send_reject(socket, "can't send accept message");
            continue;
        }
        ++clients;
        print_string(P_MESSAGE, "Server: Client accepted");
    }
}

int Server::send_accept(int c)
{
    K_ASSERT(c >= 0 && c < SERVER_MAXCLIENTS);
    ServerClient& sc = client[c];
    K_ASSERT(sc.socket);
    NetStreamOut out;
    if (sc.socket->message_begin(&out, NETM_ACCEPT, NET_STREAM_RELIABLE) != NET_OK) {
        return 0;
    }
    const ConfigVariable* const base = cvar_list != nullptr ? cvar_list->find("Base") : nullptr;
    out.write32(NET_PROTOCOL_VERSION);
    out.write32(NET_GAME_MAGIC);
    out.write_string(base != nullptr ? base->string() : "");
    out.write_string(NETM_GAME_TITLE);
    out.write_string(NETM_SERVER_COMMANDS);
    return sc.socket->message_end(&out) == NET_OK ? 1 : 0;
}

int Server::send_reject(NetSocket* socket, const char* reason)
{
    K_ASSERT(socket);
    K_ASSERT(hive);
    NetStreamOut out;
    int sent = 0;
    if (socket->message_begin(&out, NETM_REJECT, NET_STREAM_UNRELIABLE) == NET_OK) {
        out.write_string(reason);
        socket->message_end(&out);
        // Sent before the close, which would drop what is still queued.
        socket->message_send();
        sent = 1;
    }
    // A socket that cannot even carry the reason is closed all the same.
    hive->close_socket(socket);
    print_format(P_MESSAGE, "Server: Client rejected (%s)", reason);
    return sent;
}
