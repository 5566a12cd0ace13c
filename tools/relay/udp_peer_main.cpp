// One end of the exchange of numbered messages over UDP, for the end-to-end
// test between two network namespaces:
//   ostrel_udp_peer server PORT MESSAGES SECONDS
//   ostrel_udp_peer client ADDRESS PORT MESSAGES SECONDS
// Exits with 0 when every message arrived once, whole and in order.
#include "core/poll.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/datagram_socket.h"
#include "net/net_defs.h"
#include "net/udp_protocol.h"
#include "tools/relay/datagram_exchange.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Seconds to go on after the end, for the last acknowledgements: the client stays to acknowledge
// a resent end message; the server stays until its end message is acknowledged, within a bound.
constexpr double LINGER = 2.0;
constexpr double LINGER_BOUND = 10.0;

int unacknowledged(const NetSocket* socket)
{
    const auto* const s = static_cast<const DatagramSocket*>(socket);
    return s != nullptr ? s->unacknowledged() : 0;
}

void pause_frame()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The socket's counters of recovery: lost sequenced datagrams, reliable ones sent again.
struct Recovery {
    int32_t lost = 0;
    int32_t resent = 0;
};

Recovery recovery_of(const NetSocket* socket)
{
    Recovery r;
    if (const auto* const s = static_cast<const DatagramSocket*>(socket)) {
        r.lost = s->lost;
        r.resent = s->resent;
    }
    return r;
}

void report(const char* role, const ExchangeResult& r, const Recovery& recovery)
{
    std::printf("%s connected %d\n%s delivered %d messages\n%s seconds %.3f s\n%s goodput %.0f bytes/s\n", role,
                r.connected ? 1 : 0, role, r.delivered, role, r.seconds, role,
                r.seconds > 0.0 ? static_cast<double>(r.payload_bytes) / r.seconds : 0.0);
    std::printf("%s lost %d\n%s resent %d\n", role, recovery.lost, role, recovery.resent);
    std::fflush(stdout);
}

int serve(uint16_t port, const ExchangeSettings& settings)
{
    UDPProtocol protocol(port);
    if (protocol.setup() != NET_OK || protocol.listening_socket() == nullptr) {
        return 1;
    }
    ExchangeResult result;
    Recovery recovery;
    {
        ExchangeServer server(&protocol, settings);
        const double start = sys_time();
        double finished = -1.0;
        while (sys_time() - start < settings.time_limit) {
            server.step(&result, nullptr);
            poll_all();
            if (server.complete() && finished < 0.0) {
                finished = sys_time();
            }
            const double lingered = finished >= 0.0 ? sys_time() - finished : -1.0;
            if ((lingered > LINGER && unacknowledged(server.socket()) == 0) || lingered > LINGER_BOUND ||
                !result.server_usable) {
                break;
            }
            pause_frame();
        }
        result.connected = server.socket() != nullptr;
        recovery = recovery_of(server.socket());
    }
    report("server", result, recovery);
    return result.delivered == settings.messages && result.in_order ? 0 : 1;
}

int send_all(const char* address, uint16_t port, const ExchangeSettings& settings)
{
    UDPProtocol protocol(port);
    if (protocol.setup() != NET_OK) {
        return 1;
    }
    ExchangeResult result;
    Recovery recovery;
    {
        ExchangeClient client(&protocol, address, settings);
        const double start = sys_time();
        double done = -1.0;
        while (sys_time() - start < settings.time_limit && !client.failed() && result.client_usable) {
            client.step(&result);
            poll_all();
            if (result.done_received && done < 0.0) {
                done = sys_time();
            }
            if (done >= 0.0 && sys_time() - done > LINGER) {
                break;
            }
            pause_frame();
        }
        recovery = recovery_of(client.socket());
    }
    report("client", result, recovery);
    return result.done_received ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    print_init();
    ExchangeSettings settings;
    settings.per_frame = 50;
    if (argc == 5 && std::strcmp(argv[1], "server") == 0) {
        settings.messages = std::atoi(argv[3]);
        settings.time_limit = std::atof(argv[4]);
        return serve(static_cast<uint16_t>(std::atoi(argv[2])), settings);
    }
    if (argc == 6 && std::strcmp(argv[1], "client") == 0) {
        settings.messages = std::atoi(argv[4]);
        settings.time_limit = std::atof(argv[5]);
        return send_all(argv[2], static_cast<uint16_t>(std::atoi(argv[3])), settings);
    }
    std::fprintf(stderr, "usage: ostrel_udp_peer server PORT MESSAGES SECONDS\n"
                         "       ostrel_udp_peer client ADDRESS PORT MESSAGES SECONDS\n");
    return 2;
}
