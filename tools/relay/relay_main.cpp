// Bridges the frames of two network interfaces, impairing the IPv4 ones:
//   ostrel_relay IF_A IF_B [--loss P] [--duplicate P] [--reorder P]
//                [--delay S] [--jitter S] [--reorder-delay S] [--seed N] [--seconds S]
// Run it in a network namespace that holds one end of two veth pairs.
#include "host/host_socket.h"
#include "tools/relay/impairment.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t FRAME_BYTES = 65536;
constexpr int ETHERTYPE_OFFSET = 12;

volatile std::sig_atomic_t stop = 0;

void on_signal(int)
{
    stop = 1;
}

double now_seconds()
{
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool is_ipv4(const uint8_t* frame, int32_t length)
{
    return length > ETHERTYPE_OFFSET + 1 && frame[ETHERTYPE_OFFSET] == 0x08 && frame[ETHERTYPE_OFFSET + 1] == 0x00;
}

// A veth leaves the UDP checksum of a frame it sends to be filled in later;
// a frame taken off it raw and sent on would arrive with a wrong one. For
// IPv4, a zero checksum means none.
void clear_udp_checksum(uint8_t* frame, int32_t length)
{
    const int32_t ip = ETHERTYPE_OFFSET + 2;
    if (length < ip + 20 || frame[ip + 9] != 17) {
        return;
    }
    const int fragment_offset = (frame[ip + 6] & 0x1F) << 8 | frame[ip + 7];
    const int32_t header = (frame[ip] & 0x0F) * 4;
    if (fragment_offset != 0 || length < ip + header + 8) {
        return;
    }
    frame[ip + header + 6] = 0;
    frame[ip + header + 7] = 0;
}

int usage()
{
    std::fprintf(stderr, "usage: ostrel_relay IF_A IF_B [--loss P] [--duplicate P] [--reorder P] [--delay S] "
                         "[--jitter S] [--reorder-delay S] [--seed N] [--seconds S]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return usage();
    }
    ImpairmentSettings settings;
    double seconds = 60.0;
    for (int i = 3; i + 1 < argc; i += 2) {
        const char* const name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (std::strcmp(name, "--loss") == 0) {
            settings.loss = value;
        } else if (std::strcmp(name, "--duplicate") == 0) {
            settings.duplicate = value;
        } else if (std::strcmp(name, "--reorder") == 0) {
            settings.reorder = value;
        } else if (std::strcmp(name, "--delay") == 0) {
            settings.delay = value;
        } else if (std::strcmp(name, "--jitter") == 0) {
            settings.jitter = value;
        } else if (std::strcmp(name, "--reorder-delay") == 0) {
            settings.reorder_delay = value;
        } else if (std::strcmp(name, "--seed") == 0) {
            settings.seed = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(name, "--seconds") == 0) {
            seconds = value;
        } else {
            return usage();
        }
    }
    const int fds[2] = {host::frame_open(argv[1]), host::frame_open(argv[2])};
    if (fds[0] < 0 || fds[1] < 0) {
        std::fprintf(stderr, "relay: can't open %s and %s (error %d)\n", argv[1], argv[2], host::socket_error());
        return 1;
    }
    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    Impairment impairment(settings);
    std::vector<uint8_t> frame(FRAME_BYTES);
    int64_t passed = 0;
    while (stop == 0 && now_seconds() < seconds) {
        double wait = 0.05;
        const double next = impairment.next_time();
        if (next >= 0.0) {
            wait = next - now_seconds();
            wait = wait < 0.0 ? 0.0 : (wait > 0.05 ? 0.05 : wait);
        }
        bool ready[2] = {false, false};
        if (host::wait_readable(fds, 2, static_cast<int>(wait * 1000.0 + 0.999), ready) < 0) {
            break;
        }
        for (int side = 0; side < 2; ++side) {
            // Bounded so that one busy side cannot starve the other.
            for (int n = 0; ready[side] && n < 256; ++n) {
                const int32_t length = host::frame_receive(fds[side], frame.data(), FRAME_BYTES);
                if (length < 0) {
                    break;
                }
                if (length == 0) {
                    continue;
                }
                if (is_ipv4(frame.data(), length)) {
                    clear_udp_checksum(frame.data(), length);
                    impairment.send(frame.data(), length, now_seconds(), 1 - side);
                } else {
                    host::frame_send(fds[1 - side], frame.data(), length);
                }
            }
        }
        Impairment::Delivery d;
        while (impairment.take(now_seconds(), &d)) {
            host::frame_send(fds[d.tag], d.bytes.data(), static_cast<int32_t>(d.bytes.size()));
            ++passed;
        }
    }
    std::printf("relay frames %lld\nrelay lost %lld\nrelay duplicated %lld\nrelay reordered %lld\nrelay passed %lld\n",
                static_cast<long long>(impairment.sent), static_cast<long long>(impairment.lost),
                static_cast<long long>(impairment.duplicated), static_cast<long long>(impairment.reordered),
                static_cast<long long>(passed));
    host::frame_close(fds[0]);
    host::frame_close(fds[1]);
    return 0;
}
