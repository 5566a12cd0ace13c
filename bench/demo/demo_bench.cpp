// One benchmark source, built over each program's engine and client
// (bench_demo_soft, bench_demo_gl): the whole demo walk recorded and timed
// in playback.
//
//   bench_demo_<program> [--replays N] [--times FILE] [--set VARIABLE VALUE]...
//
// On a copy of the demo base, the demo's own start-up script (main.cfg: the
// keys, the connection, the map, the tune and the scripted walk up to the
// gallery's door) runs with "Record demo_walk" put before its connection, on
// the injected clock at one world tick a frame, so the recording is the same
// each run. The server's map is then closed, so that playback frames hold the
// client's work alone. The recording is played N times (3 by default) with
// TimeDemo set, one update a frame, the injected clock still moving one tick
// a frame (both programs animate the same frames); each engine frame is timed
// on the wall clock, except the ones that load and unload the map. (The
// engine's own TimeDemo report reads the injected clock here, so the figures
// are the benchmark's.)
// --times: each timed frame's milliseconds appended to FILE, one a line (for
// figures pooled over runs).
// --set: console variables set before the playback (e.g. GL_Finish 1).
// Under perf record with its control FIFOs named (bench/support/perf_control.h)
// the profile is switched on only for the timed frames.
// Prints "name value unit" lines named after the program.
#include "bench/e2e/bench_figures.h"
#include "bench/support/perf_control.h"
#include "client/client.h"
#include "client/cobj_manager.h"
#include "core/cons_cmd.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "net/udp_protocol.h"
#include "tests/e2e/demo_base.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace e2e_bench;

#ifdef OSTREL_PROGRAM_GL
constexpr const char* PROGRAM = "ostrel_gl";
constexpr const char* SYSTEM_NAME = "OpenGL / Win32";
constexpr const char* HEADLESS_VIDEO = "offscreen";
#else
constexpr const char* PROGRAM = "ostrel";
constexpr const char* SYSTEM_NAME = "Win32";
constexpr const char* HEADLESS_VIDEO = "dummy";
#endif

constexpr const char* RECORDING = "demo_walk";
// Bounds of the loops: the demo's walk is some 250 frames.
constexpr int RECORD_FRAME_LIMIT = 3000;
constexpr int PLAYBACK_FRAME_LIMIT = 3000;

// The demo's start-up script with the recording started before it connects,
// and the server's map closed and the client disconnected after the walk.
bool recording_script(const fs::path& main_cfg, std::string& script)
{
    std::ifstream in(main_cfg);
    if (!in) {
        return false;
    }
    std::ostringstream out;
    bool recorded = false;
    for (std::string line; std::getline(in, line);) {
        if (!recorded && line.rfind("Connect", 0) == 0) {
            out << "Record " << RECORDING << "\n";
            recorded = true;
        }
        out << line << "\n";
    }
    out << "Wait 2\nCloseMap\nWait 2\nDisconnect\n";
    script = out.str();
    return recorded;
}

struct Session {
    host::ManualClock clock;
    host::QueueEventSource events;
    Engine engine{SYSTEM_NAME};

    int frame()
    {
        clock.advance_seconds(TICK);
        return engine.frame();
    }
    Client& client() { return *engine.client(); }
    bool run(const std::string& text) { return client().cons_cmd()->add_text(text.c_str()) == 1; }
};

// Runs the demo's script until the walk is recorded and the client is back
// out of the game; the frames it took, 0 on failure.
int record_walk(Session& s, const std::string& script)
{
    if (!s.run(script)) {
        return 0;
    }
    bool entered = false;
    for (int i = 1; i <= RECORD_FRAME_LIMIT; ++i) {
        if (s.frame() == 0) {
            return 0;
        }
        entered = entered || s.client().map_active();
        if (entered && !s.client().map_active() && s.client().net_state() == CSTATE_DISCONNECTED) {
            return fs::exists(std::string(RECORDING) + ".vcr") ? i : 0;
        }
    }
    return 0;
}

// One playback; the wall time of each frame that neither loads nor unloads
// the map, appended to `frame_ms`, and how far the camera went from its first
// to its last place. False when the playback did not end.
bool play_back(Session& s, const PerfControl& perf, std::vector<double>& frame_ms, double& walked)
{
    Vector first{};
    Vector last{};
    bool placed = false;
    s.run(std::string("Connect vcr.") + RECORDING + "\n");
    bool started = false;
    for (int i = 0; i < PLAYBACK_FRAME_LIMIT; ++i) {
        const bool was_active = s.client().map_active();
        if (was_active && !started) {
            started = true;
            perf.send("enable");
        }
        s.clock.advance_seconds(TICK);
        const Clock::time_point start = Clock::now();
        if (s.engine.frame() == 0) {
            break;
        }
        const double ms = ms_since(start);
        if (was_active && s.client().map_active()) {
            frame_ms.push_back(ms);
            if (const CObjCommon* camera = s.client().camera(); camera != nullptr) {
                last = camera->pose[0].position;
                if (!placed) {
                    first = last;
                    placed = true;
                }
            }
        } else if (started) {
            perf.send("disable");
            walked = std::hypot(last.x - first.x, last.y - first.y, last.z - first.z);
            return true;
        }
    }
    perf.send("disable");
    return false;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_demo [--replays N] [--times FILE] [--set VARIABLE VALUE]... "
                         "\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int replays = 3;
    fs::path times;
    std::string variables;
    const PerfControl perf;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--replays" && i + 1 < argc) {
            replays = std::atoi(argv[++i]);
        } else if (a == "--times" && i + 1 < argc) {
            times = fs::absolute(argv[++i]);
        } else if (a == "--set" && i + 2 < argc) {
            variables += std::string("Set ") + argv[i + 1] + " " + argv[i + 2] + "\n";
            i += 2;
        } else {
            return usage();
        }
    }
    if (replays < 1) {
        return usage();
    }
    setenv("OSTREL_DEMO_BASE", OSTREL_DEMO_BASE_DIR, 0);
    setenv("SDL_VIDEODRIVER", HEADLESS_VIDEO, 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string script;
    if (!recording_script(e2e::demo_base() / "main.cfg", script)) {
        std::fprintf(stderr, "bench_demo: no connection in %s\n", (e2e::demo_base() / "main.cfg").c_str());
        return 1;
    }
    const fs::path folder = fs::temp_directory_path() / ("ostrel_bench_demo_" + std::to_string(::getpid()));
    std::string error;
    if (!e2e::copy_demo_base(folder / "kavrin", error)) {
        std::fprintf(stderr, "bench_demo: %s\n", error.c_str());
        return 1;
    }
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    udp_set_server_port(0);
    int status = 0;
    {
        std::vector<double> frame_ms;
        int recorded = 0;
        double walked = 0.0;
        {
            Session s;
            s.clock.set_micros(1000000);
            host::ScopedClock clock_guard(&s.clock);
            host::ScopedEventSource events_guard(&s.events);
            const char* const args[] = {PROGRAM, "-width", "640", "-height", "480"};
            // The engine's messages go to its console, which the frames
            // draw; they are not captured here.
            if (s.engine.init(5, args) == 1) {
                recorded = record_walk(s, script);
            }
            if (recorded > 0) {
                s.run(variables + "Set TimeDemo 1\n");
                for (int r = 0; r < replays && status == 0; ++r) {
                    status = play_back(s, perf, frame_ms, walked) ? 0 : 1;
                }
            }
        }
        if (recorded == 0) {
            std::fprintf(stderr, "bench_demo: the demo's walk was not recorded\n");
            status = 1;
        } else if (status != 0 || frame_ms.empty()) {
            std::fprintf(stderr, "bench_demo: the playback did not end\n");
            status = 1;
        } else {
            const double total = std::accumulate(frame_ms.begin(), frame_ms.end(), 0.0);
            std::printf("%s_recorded %d frames\n", PROGRAM, recorded);
            std::printf("%s_replays %d runs\n", PROGRAM, replays);
            std::printf("%s_walked %.1f units\n", PROGRAM, walked);
            std::printf("%s_fps %.2f fps\n", PROGRAM, 1000.0 * static_cast<double>(frame_ms.size()) / total);
            report(PROGRAM, frame_ms);
            if (!times.empty()) {
                std::ofstream out(times, std::ios::app);
                for (const double ms : frame_ms) {
                    out << ms << "\n";
                }
            }
        }
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
