// Feeds arbitrary datagrams to the datagram layer: to a connected socket (the
// sequenced and reliable paths and reassembly), to a server's listening socket
// (connection requests) and to a connecting client (accepts and rejects).
// Input: a series of u16 lengths, each followed by that many bytes.
#include "core/byte_order.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "tools/relay/memory_transport.h"

#include <cstdint>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

constexpr uint16_t SERVER_PORT = 1;
constexpr uint16_t STRANGER_PORT = 7;

void drain(NetSocket* s)
{
    for (int guard = 0; guard < 100000; ++guard) {
        NetStreamIn in;
        int id = -1;
        int32_t bits = -1;
        const int r = s->read(&in, &id, &bits);
        if (r == NET_DAMAGED) {
            continue;
        }
        if (r != NET_OK) {
            return;
        }
        if (id < 0 || id > 255 || bits < 0 || bits > 65535) {
            __builtin_trap();
        }
        while (in.length() >= 32) {
            in.read32();
        }
        if (in.length() > 0) {
            in.read_bits(in.length());
        }
        in.detach();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool started = false;
    if (!started) {
        print_init();
        set_stream_handler(quiet, 0);
        started = true;
    }
    MemoryNetwork network;
    MemoryProtocol server(&network, SERVER_PORT);
    MemoryProtocol client(&network, 0);
    server.open_listening(true);
    auto* const a = static_cast<MemorySocket*>(client.create_socket(false));
    auto* const b = static_cast<MemorySocket*>(client.create_socket(false));
    const NetAddress to_a = memory_address(a->port);
    const NetAddress to_b = memory_address(b->port);
    a->connect(&to_b, false);
    b->connect(&to_a, false);
    NetSocket* connecting = nullptr;
    const uint8_t request[2] = {'f', 'z'};
    client.connect(&connecting, "mem:1", request, sizeof request);
    const uint16_t connecting_port = static_cast<const MemorySocket*>(client.first_link()->socket)->port;

    size_t at = 0;
    for (int n = 0; at + 2 <= size; ++n) {
        const size_t length = read_le16(data + at);
        at += 2;
        const size_t take = length < size - at ? length : size - at;
        const std::vector<uint8_t> datagram(data + at, data + at + take);
        at += take;
        switch (n % 3) {
        case 0:
            network.inject(b->port, a->port, datagram);
            drain(b);
            b->message_send();
            break;
        case 1: {
            network.inject(SERVER_PORT, STRANGER_PORT, datagram);
            uint8_t got[64];
            int32_t got_length = sizeof got;
            if (NetSocket* s = server.accept(got, &got_length)) {
                drain(s);
            }
            break;
        }
        default:
            network.inject(connecting_port, SERVER_PORT, datagram);
            if (client.connect(&connecting, "mem:1", request, sizeof request) == NET_CONNECTED) {
                drain(connecting);
            }
            break;
        }
    }
    for (MemorySocket* s : {a, b}) {
        s->protocol = nullptr;
        delete s;
    }
    return 0;
}
