#include "core/kassert.h"
#include "core/print.h"
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_out.h"
#include "server/game_protocol.h"
#include "server/server.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int TEXT_FORMAT_MAX = 128;
constexpr int TEXT_BUFFER = 1024;

// Begins a reliable message of the id on the client's socket: 1 when begun.
bool begin_reliable(NetSocket* socket, NetStreamOut& out, int id)
{
    K_ASSERT(socket);
    return socket->message_begin(&out, id, NET_STREAM_RELIABLE) == NET_OK;
}

} // namespace

int Server::send_map_change(int c)
{
    NetStreamOut out;
    if (!begin_reliable(client[c].socket, out, NETM_MAPCHANGE)) {
        return 0;
    }
    return client[c].socket->message_end(&out) == NET_OK ? 1 : 0;
}

int Server::send_load_map(int c)
{
    NetStreamOut out;
    if (!begin_reliable(client[c].socket, out, NETM_LOADMAP)) {
        return 0;
    }
    out.write_string(map_name);
    out.write32(map_id);
    return client[c].socket->message_end(&out) == NET_OK ? 1 : 0;
}

bool Server::text_audience_admits(int32_t audience, int c) const
{
    if (audience == TEXT_EVERYONE) {
        return true;
    }
    if (audience == TEXT_NOBODY) {
        return false;
    }
    const uint32_t a = static_cast<uint32_t>(audience);
    const int target = static_cast<int>(a & 0xFFFFu);
    const uint32_t mode = a & 0xFF0000u;
    if ((mode & 0x10000u) != 0) {
        return c != target;
    }
    if ((mode & 0x20000u) != 0) {
        return client[c].group == target;
    }
    return mode == 0 && c == target;
}

void Server::send_text(int32_t audience, int stream, const char* text)
{
    K_ASSERT(text);
    if (std::strlen(text) > NETM_TEXT_MAX) {
        return;
    }
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        ServerClient& sc = client[c];
        if (sc.state == SCSTATE_FREE) {
            continue;
        }
        ++seen;
        if (!text_audience_admits(audience, c)) {
            continue;
        }
        NetStreamOut out;
        if (!begin_reliable(sc.socket, out, NETM_TEXT)) {
            continue;
        }
        out.write8(static_cast<uint32_t>(stream) & 0xFFu);
        out.write_string(text);
        sc.socket->message_end(&out);
    }
}

void Server::send_textv(int32_t audience, int stream, const char* format, va_list args)
{
    K_ASSERT(format);
    if (std::strlen(format) > TEXT_FORMAT_MAX) {
        return;
    }
    char text[TEXT_BUFFER];
    std::vsnprintf(text, sizeof text, format, args);
    send_text(audience, stream, text);
}

void Server::send_textf(int32_t audience, int stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    send_textv(audience, stream, format, args);
    va_end(args);
}

void Server::flush_client_sockets()
{
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        ServerClient& sc = client[c];
        if (sc.state == SCSTATE_FREE) {
            continue;
        }
        ++seen;
        K_ASSERT(sc.socket);
        sc.socket->message_send();
    }
}
