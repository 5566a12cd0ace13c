// bench_e2e [frames]: on a copy of the demo base,
// - the server's frame with 8 fake clients over the loopback, each holding
//   Forward: median and 95th percentile of the frame's wall time;
// - a walk through the level (the hall, the side room and back) recorded
//   with Record (the injected clock makes it the same each run), replayed at
//   640x480 in the software client with TimeDemo set: the TimeDemo report,
//   and the median and 95th percentile of the replay's frames.
// Prints one "name value unit" line per figure.
#include "bench_figures.h"

#include "client/client.h"
#include "client/cobj_manager.h"
#include "core/cons_cmd.h"
#include "e2e/demo_base.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "net/udp_protocol.h"
#include "support/print_capture.h"

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
using namespace e2e_bench;

constexpr uint32_t SCAN_W = 0x11;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t SCAN_RIGHT = 0x4D;

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
        client.cons_cmd()->add_text("Set Client_Administrator True\nRecord walk\nKeyDef W Forward\n"
                                    "KeyDef Right HeadingRight\nConnect local\nWait 5\nMap demo");
        for (int i = 0; i < 300 && client.camera() == nullptr; ++i) {
            clock.advance_seconds(TICK);
            engine->frame();
        }
        if (client.camera() == nullptr) {
            std::fprintf(stderr, "bench_e2e: no camera on the demo level\n");
            return false;
        }
        // North to the middle of the hall, east through the door into the
        // side room, round, and back west across the hall; again and again.
        struct Step {
            int frame;
            uint32_t key;
            uint32_t scan;
            bool extended;
            bool down;
        };
        static constexpr Step tour[] = {
            {0, 'W', SCAN_W, false, true},          {70, 'W', SCAN_W, false, false},
            {70, VK_RIGHT, SCAN_RIGHT, true, true}, {105, VK_RIGHT, SCAN_RIGHT, true, false},
            {105, 'W', SCAN_W, false, true},        {300, 'W', SCAN_W, false, false},
            {300, VK_RIGHT, SCAN_RIGHT, true, true}, {370, VK_RIGHT, SCAN_RIGHT, true, false},
            {370, 'W', SCAN_W, false, true},        {640, 'W', SCAN_W, false, false},
            {640, VK_RIGHT, SCAN_RIGHT, true, true}, {675, VK_RIGHT, SCAN_RIGHT, true, false},
        };
        constexpr int TOUR_FRAMES = 700;
        for (int i = 0; i < frames; ++i) {
            for (const Step& s : tour) {
                if (s.frame == i % TOUR_FRAMES) {
                    events.push(s.down ? host::WM_KEYDOWN : host::WM_KEYUP, s.key,
                                host::key_lparam(s.scan, s.extended, !s.down, !s.down), clock.milliseconds() + 1);
                }
            }
            clock.advance_seconds(TICK);
            engine->frame();
        }
        const CObjCommon* const camera = client.camera();
        if (camera != nullptr) {
            std::printf("walk_end_x %.1f units\nwalk_end_y %.1f units\n", camera->pose[0].position.x,
                        camera->pose[0].position.y);
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
