// Reliable transfer over the datagram layer. Prints one "name value unit"
// line per figure:
// - in virtual time on the in-memory transport (10 ms frames, 10 ms one-way
//   delay with 5 ms jitter) at 0, 1, 5 and 20% loss: goodput and the 50th and
//   99th percentile delivery latency of reliable messages;
// - in real time over loopback UDP: goodput;
// - connection requests from ever new addresses on the in-memory transport
//   (frames of 10 ms of virtual time), the server taking and closing every
//   connection it is offered: requests handled per second of real time,
//   and the longest frame;
// - the same flood at 10,000 requests a second through real UDP sockets on
//   loopback, from a new port of 127.0.0.2 each, the server taking at most
//   20 connections a frame as the game server does: the server's mean and
//   longest frame beside a quiet one's.
#include "core/print.h"
#include "host/host_clock.h"
#include "host/host_socket.h"
#include "net/net_defs.h"
#include "net/udp_protocol.h"
#include "net/datagram_wire.h"
#include "tools/relay/datagram_exchange.h"
#include "tools/relay/memory_transport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void virtual_time(int loss_percent)
{
    host::ManualClock clock;
    host::ScopedClock guard(&clock);
    ExchangeSettings settings;
    settings.messages = 20000;
    settings.network.loss = loss_percent / 100.0;
    settings.network.delay = 0.01;
    settings.network.jitter = 0.005;
    settings.network.seed = 11;
    const ExchangeResult r = run_exchange(settings, &clock);
    const double goodput = r.seconds > 0.0 ? static_cast<double>(r.payload_bytes) / r.seconds : 0.0;
    std::printf("virtual_loss%d_delivered %d messages\n", loss_percent, r.delivered);
    std::printf("virtual_loss%d_goodput %.0f bytes/s\n", loss_percent, goodput);
    std::printf("virtual_loss%d_latency_p50 %.1f ms\n", loss_percent, 1000.0 * percentile(r.latencies, 0.50));
    std::printf("virtual_loss%d_latency_p99 %.1f ms\n", loss_percent, 1000.0 * percentile(r.latencies, 0.99));
}

void loopback_udp()
{
    UDPProtocol server(0);
    if (server.setup() != NET_OK || server.listening_socket() == nullptr) {
        std::printf("udp_loopback_goodput 0 bytes/s\n");
        return;
    }
    UDPProtocol client(server.listening_port());
    client.setup();
    ExchangeSettings settings;
    settings.messages = 100000;
    settings.per_frame = 200;
    ExchangeResult r;
    const auto start = std::chrono::steady_clock::now();
    {
        ExchangeClient c(&client, "127.0.0.1", settings);
        ExchangeServer s(&server, settings);
        while (!r.done_received && !c.failed() &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
            c.step(&r);
            s.step(&r, nullptr);
        }
    }
    const double goodput = r.seconds > 0.0 ? static_cast<double>(r.payload_bytes) / r.seconds : 0.0;
    std::printf("udp_loopback_delivered %d messages\n", r.delivered);
    std::printf("udp_loopback_goodput %.0f bytes/s\n", goodput);
}

void request_flood(int per_frame, int frames)
{
    host::ManualClock clock;
    host::ScopedClock guard(&clock);
    MemoryNetwork network;
    MemoryProtocol server(&network, 1);
    server.open_listening(true);
    // A request of protocol version 2 with a 4-byte block.
    uint8_t datagram[8 + 4 + 8] = {0, 0, 0, 0x80, 12, 0, 0, 0, NET_DGM_CONTROL, NET_DGC_REQUEST, 64, 0, 2, 0, 0, 0, 1, 2, 3, 4};
    uint16_t port = 20000;
    double busiest = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < frames; ++frame) {
        const auto frame_start = std::chrono::steady_clock::now();
        for (int i = 0; i < per_frame; ++i) {
            network.send(port, 1, datagram, sizeof datagram);
            port = port + 1 < 60000 ? port + 1 : 20000;
        }
        uint8_t request[16];
        int32_t length = sizeof request;
        while (NetSocket* const s = server.accept(request, &length)) {
            server.close_socket(s);
            length = sizeof request;
        }
        busiest = std::max(busiest, std::chrono::duration<double>(std::chrono::steady_clock::now() - frame_start).count());
        clock.advance_seconds(0.01);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double requests = static_cast<double>(per_frame) * frames;
    std::printf("connection_requests_%d_per_frame_handled %.0f requests/s\n", per_frame, requests / seconds);
    std::printf("connection_requests_%d_per_frame_longest_frame %.2f ms\n", per_frame, 1000.0 * busiest);
}

// The server's part of one frame: takes at most 20 connections (as the game
// server does) and closes them. Seconds it took.
double serve_frame(UDPProtocol& server)
{
    constexpr int ACCEPTS_PER_FRAME = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int taken = 0; taken < ACCEPTS_PER_FRAME; ++taken) {
        uint8_t request[16];
        int32_t length = sizeof request;
        NetSocket* const s = server.accept(request, &length);
        if (s == nullptr) {
            break;
        }
        server.close_socket(s);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void request_flood_udp(int per_frame, int frames)
{
    UDPProtocol server(0);
    if (server.setup() != NET_OK || server.listening_socket() == nullptr) {
        std::printf("udp_connection_requests_%d_per_frame_mean_frame 0 ms\n", per_frame);
        return;
    }
    const uint16_t port = server.listening_port();
    constexpr uint32_t LOOPBACK_2 = 0x0200007Fu;
    uint8_t datagram[8 + 4 + 8] = {0, 0, 0, 0x80, 12, 0, 0, 0, NET_DGM_CONTROL, NET_DGC_REQUEST, 64, 0, 2, 0, 0, 0, 1, 2, 3, 4};
    double quiet = 0.0;
    double flooded = 0.0;
    double busiest = 0.0;
    for (int frame = 0; frame < 2 * frames; ++frame) {
        const bool flooding = frame >= frames;
        for (int i = 0; flooding && i < per_frame; ++i) {
            const int fd = host::udp_socket();
            if (fd >= 0 && host::udp_bind_to(fd, {LOOPBACK_2, 0}) == 0) {
                host::udp_send_to(fd, datagram, sizeof datagram, {host::IPV4_LOOPBACK, port});
            }
            host::udp_close(fd);
        }
        const double t = serve_frame(server);
        (flooding ? flooded : quiet) += t;
        busiest = flooding ? std::max(busiest, t) : busiest;
    }
    std::printf("udp_quiet_mean_frame %.3f ms\n", 1000.0 * quiet / frames);
    std::printf("udp_connection_requests_%d_per_frame_mean_frame %.3f ms\n", per_frame, 1000.0 * flooded / frames);
    std::printf("udp_connection_requests_%d_per_frame_longest_frame %.3f ms\n", per_frame, 1000.0 * busiest);
}

} // namespace

int main()
{
    print_init();
    set_stream_handler(quiet, 0);
    for (const int loss : {0, 1, 5, 20}) {
        virtual_time(loss);
    }
    loopback_udp();
    request_flood(100, 2000);
    request_flood(1000, 1000);
    request_flood_udp(100, 500);
    return 0;
}
