// The server's half of the end-to-end benchmark, in a file of its own: the
// server's and the client's headers name the wire alike and never meet.
#include "bench_figures.h"

#include "engine/engine.h"
#include "host/host_clock.h"
#include "server/server.h"
#include "tools/fake_client/fake_client.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace e2e_bench {

bool server_with_fake_clients(int frames)
{
    host::ManualClock clock;
    host::ScopedClock guard(&clock);
    clock.set_micros(1000000);
    std::unique_ptr<Engine> engine = start_engine({});
    if (engine == nullptr || engine->server()->start_map("demo", nullptr) != 1) {
        std::fprintf(stderr, "bench_e2e: the demo level does not start\n");
        return false;
    }
    Server& server = *engine->server();
    std::vector<std::unique_ptr<fake_client::FakeClient>> clients;
    for (int i = 0; i < 8; ++i) {
        fake_client::Options o;
        o.name = "bench" + std::to_string(i);
        clients.push_back(std::make_unique<fake_client::FakeClient>(engine->hive(), "local", o));
    }
    const auto step = [&] {
        for (auto& c : clients) {
            if (c->connect()) {
                c->receive();
                c->send_input({1.0f});
                c->flush();
            }
        }
        clock.advance_seconds(TICK);
        const Clock::time_point start = Clock::now();
        server.frame(static_cast<double>(clock.micros()) / 1e6, 0);
        return ms_since(start);
    };
    for (int i = 0; i < 300 && server.clients < 8; ++i) {
        step();
    }
    for (int i = 0; i < 70; ++i) {
        step();
    }
    int spawned = 0;
    for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
        spawned += server.client[c].state == SCSTATE_SPAWNED ? 1 : 0;
    }
    std::vector<double> times;
    const uint32_t first_tick = server.tick;
    for (int i = 0; i < frames; ++i) {
        times.push_back(step());
    }
    std::printf("server_spawned_clients %d clients\n", spawned);
    std::printf("server_ticks_per_frame %.2f ticks\n", static_cast<double>(server.tick - first_tick) / frames);
    report("server_8_clients", times);
    int64_t bits = 0;
    for (const auto& c : clients) {
        bits += c->update_bits;
    }
    std::printf("server_8_clients_update_bytes %.0f bytes/frame/client\n",
                static_cast<double>(bits) / 8.0 / 8.0 / static_cast<double>(frames + 370));
    clients.clear();
    return true;
}

} // namespace e2e_bench
