// bench_e2e [frames]: on a copy of the demo base,
// - the server's frame with 8 fake clients over the loopback, each holding
//   Forward: median and 95th percentile of the frame's wall time;
// - a walk through the level recorded with Record (the injected clock makes
//   it the same each run), replayed at 640x480 in the software client with
//   TimeDemo set: the TimeDemo report, and the median and 95th percentile
//   of the replay's frames.
// Prints one "name value unit" line per figure.
#include "client/client.h"
#include "client/engine_server_access.h"
#include "core/cons_cmd.h"
#include "e2e/demo_base.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "net/udp_protocol.h"
#include "server/server.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double TICK = 1.0 / 70.0;
constexpr uint32_t SCAN_W = 0x11;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[at];
}

void report(const std::string& name, const std::vector<double>& frame_ms)
{
    std::printf("%s_frames %zu frames\n", name.c_str(), frame_ms.size());
    std::printf("%s_median %.3f ms\n", name.c_str(), percentile(frame_ms, 0.5));
    std::printf("%s_p95 %.3f ms\n", name.c_str(), percentile(frame_ms, 0.95));
}

std::unique_ptr<Engine> start_engine(std::initializer_list<const char*> options)
{
    auto engine = std::make_unique<Engine>();
    std::vector<const char*> argv = {"bench_e2e"};
    argv.insert(argv.end(), options);
    if (engine->init(static_cast<int>(argv.size()), argv.data()) == 0) {
        return nullptr;
    }
    return engine;
}

bool server_with_fake_clients(int frames)
{
    host::ManualClock clock;
    host::ScopedClock guard(&clock);
    clock.set_micros(1000000);
    std::unique_ptr<Engine> engine = start_engine({});
    if (engine == nullptr || !start_server_map(*engine, "demo")) {
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

bool timedemo(int frames)
{
    std::unique_ptr<Engine> engine;
    {
        // The walk, recorded on the injected clock.
        host::ManualClock clock;
        host::ScopedClock guard(&clock);
        host::QueueEventSource events;
        host::ScopedEventSource events_guard(&events);
        clock.set_micros(1000000);
        engine = start_engine({"-width", "640", "-height", "480"});
        if (engine == nullptr) {
            return false;
        }
        Client& client = *engine->client();
        client.cons_cmd()->add_text("Set Client_Administrator True\nRecord walk\nKeyDef W Forward\nConnect local\n"
                                    "Wait 5\nMap demo");
        for (int i = 0; i < 300 && client.camera() == nullptr; ++i) {
            clock.advance_seconds(TICK);
            engine->frame();
        }
        if (client.camera() == nullptr) {
            std::fprintf(stderr, "bench_e2e: no camera on the demo level\n");
            return false;
        }
        events.push(host::WM_KEYDOWN, 'W', host::key_lparam(SCAN_W, false, false, false), clock.milliseconds() + 1);
        const int32_t lamp = server_create(*engine, 2);
        for (int i = 0; i < frames; ++i) {
            const float a = static_cast<float>(i) * 0.03f;
            if (lamp >= 0) {
                server_place(*engine, lamp, 150.0f * std::cos(a), 150.0f * std::sin(a), 64.0f);
            }
            clock.advance_seconds(TICK);
            engine->frame();
        }
        client.cons_cmd()->add_text("Disconnect");
        clock.advance_seconds(TICK);
        engine->frame();
    }
    // The replay, on the system's clock.
    PrintCapture capture;
    Client& client = *engine->client();
    client.cons_cmd()->add_text("Set TimeDemo 1\nConnect vcr.walk");
    std::vector<double> times;
    bool started = false;
    for (int i = 0; i < frames * 4; ++i) {
        const Clock::time_point start = Clock::now();
        engine->frame();
        const double ms = ms_since(start);
        if (client.map_active()) {
            started = true;
            times.push_back(ms);
        } else if (started) {
            break;
        }
    }
    for (const PrintCapture::Line& line : capture.lines()) {
        int count = 0;
        double seconds = 0.0;
        double fps = 0.0;
        if (std::sscanf(line.text.c_str(), "TimeDemo: %d frames in %lf seconds (%lf FPS)", &count, &seconds, &fps) ==
            3) {
            std::printf("timedemo_frames %d frames\n", count);
            std::printf("timedemo_seconds %.2f s\n", seconds);
            std::printf("timedemo_fps %.2f fps\n", fps);
        }
    }
    report("replay_640x480", times);
    return !times.empty();
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 700;
    if (std::getenv("OSTREL_DEMO_BASE") == nullptr) {
        setenv("OSTREL_DEMO_BASE", OSTREL_DEMO_BASE_DIR, 1);
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::random_device seed;
    const fs::path folder = fs::temp_directory_path() / ("ostrel_bench_e2e_" + std::to_string(seed()));
    std::string error;
    if (!e2e::copy_demo_base(folder / "kavrin", error)) {
        std::fprintf(stderr, "bench_e2e: %s\n", error.c_str());
        return 1;
    }
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    udp_set_server_port(0);
    bool ok;
    {
        // The engine's own output would drown the figures.
        PrintCapture quiet;
        ok = server_with_fake_clients(frames);
    }
    {
        PrintCapture quiet;
        ok = timedemo(frames) && ok;
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
