// bench_gl_world: the OpenGL program's world renderer on whatever OpenGL the
// host gives (llvmpipe headless), on one of two maps:
//   demo   the demo level, a closed path of 1000 poses through the hall, the
//          side room, the gallery and the loft, after one warm-up loop of it,
//          a 90-degree view;
//   bench  the software renderer's benchmark map and path (bench/bench_map,
//          the rbench frames: 100 warm-up poses, the same ticks and view).
// Each frame is textured and lit as the program draws, and optionally in
// flat colours, at 640 x 480 and 1024 x 768 (or the sizes given). Each frame
// ends with glFinish, so its time holds the GL work; the time to hand the
// frame to GL (traversal, culling, lightmap rebuilds, GL calls) is measured
// apart from the wait in glFinish.
//
// Prints "name value unit" lines, named gl_<map>_<look>_<w>x<h>_<figure>:
// median and 95th percentile of the frame, median and mean of the hand-over,
// mean of the glFinish wait, and per frame the polygons offered (rbench's
// polygons_offered on the same frames) and drawn, lightmaps drawn, built (lit
// again) and uploaded, and images handed to GL.
// Preloaded with the GL call tracer (libostrel_gl_trace.so) it adds per frame
// the GL calls, the time inside GL during the hand-over and the engine's
// time (the rest of it), both less the tracer's clock reads, and the entry
// points that took most time. Under perf record with its control FIFOs named
// (bench/support/perf_control.h), sampling is on for the measured frames.
//
// Usage: bench_gl_world [--map demo|bench] [--frames N] [--warm-up N]
//                       [--size WxH]... [--look lit|flat|both] [--scratch DIR]
#include "bench/bench_map/bench_map.h"
#include "bench/gl/gl_trace.h"
#include "bench/support/bench_video.h"
#include "bench/support/perf_control.h"
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/video_drivers.h"
#include "core/view_frame.h"
#include "fsys/fsys.h"
#include "gl/gl_bind.h"
#include "gl/gl_video_mode.h"
#include "host/host_gl.h"
#include "platform/os.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"
#include "renderer/poly_renderer.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "tools/viewer/camera_pose.h"
#include "world/shared_map.h"
#include "world/view/bsp_renderer.h"
#include "world/view/client_world.h"
#include "world/volume_set.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int POSES = 1000;
constexpr int DEMO_WARM_UP = 1000; // the whole path once: every room's lightmaps and textures met
constexpr int BENCH_WARM_UP = 100; // as rbench
constexpr int TOP_CALLS = 5;

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The rooms' middles at eye height, out from the hall and back to it, the
// camera looking along the path with a slow sway and nod.
std::vector<BenchPose> demo_path()
{
    const Vector hall{0.0f, 0.0f, -8.0f};
    const Vector stops[] = {hall, {512.0f, 64.0f, -8.0f},  hall, {0.0f, 448.0f, -8.0f},
                            hall, {-512.0f, 16.0f, 56.0f}, hall, {-160.0f, -160.0f, -8.0f}};
    const size_t n = std::size(stops);
    std::vector<BenchPose> path;
    for (int p = 0; p < POSES; ++p) {
        const float s = static_cast<float>(p) * static_cast<float>(n) / POSES;
        const size_t a = static_cast<size_t>(s) % n;
        const size_t b = (a + 1) % n;
        const float f = s - std::floor(s);
        Vector at = stops[a];
        Vector d = stops[b];
        vec_sub(d, stops[a]);
        vec_add_scaled(at, d, f);
        const float yaw = std::atan2(d.y, d.x) + 0.6f * std::sin(0.05f * static_cast<float>(p));
        const float pitch = 0.25f * std::sin(0.031f * static_cast<float>(p));
        path.push_back({at, yaw, pitch});
    }
    return path;
}

double mean(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

struct Options {
    std::string map = "demo";
    int frames = POSES;
    int warm_up = -1; // the map's own
    std::vector<std::pair<int32_t, int32_t>> sizes;
    bool lit = true;
    bool flat = true;
    std::string scratch;
};

// The GL call tracer when it is preloaded.
struct Tracer {
    GLTraceEntriesFn entries = nullptr;
    double clock_ns = 0.0;

    bool on() const { return entries != nullptr; }
    // Calls and ns of every entry point, in the tracer's order.
    void read(std::vector<GLTraceEntry>& out) const
    {
        const GLTraceEntry* e = nullptr;
        const int n = entries(&e);
        out.assign(e, e + n);
    }
    void totals(uint64_t& calls, uint64_t& ns) const
    {
        const GLTraceEntry* e = nullptr;
        const int n = entries(&e);
        calls = 0;
        ns = 0;
        for (int i = 0; i < n; ++i) {
            calls += e[i].calls;
            ns += e[i].ns;
        }
    }
};

Tracer find_tracer()
{
    Tracer t;
    t.entries = reinterpret_cast<GLTraceEntriesFn>(dlsym(RTLD_DEFAULT, GL_TRACE_ENTRIES));
    const auto clock = reinterpret_cast<GLTraceClockFn>(dlsym(RTLD_DEFAULT, GL_TRACE_CLOCK));
    if (t.entries != nullptr && clock != nullptr) {
        t.clock_ns = clock();
    } else {
        t.entries = nullptr;
    }
    return t;
}

struct Session {
    ShareManager share;
    ClientWorld world;
    ScreenManager screen;
    ScreenProjection projection;
    BspRenderer renderer;
};

class Figures {
public:
    Figures(const std::string& map, const char* look, int32_t w, int32_t h)
        : prefix_("gl_" + map + "_" + look + "_" + std::to_string(w) + "x" + std::to_string(h) + "_")
    {
    }
    void line(const char* figure, double value, const char* unit) const
    {
        std::printf("%s%s %.4f %s\n", prefix_.c_str(), figure, value, unit);
    }

private:
    const std::string prefix_;
};

// Per frame the GL time of each entry point over the measured frames, the
// largest first.
void print_top_calls(const Figures& figures, const std::vector<GLTraceEntry>& before,
                     const std::vector<GLTraceEntry>& after, double clock_ns, int frames)
{
    std::vector<size_t> order(after.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto ns = [&](size_t i) {
        const double calls = static_cast<double>(after[i].calls - before[i].calls);
        return static_cast<double>(after[i].ns - before[i].ns) - calls * clock_ns;
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ns(a) > ns(b); });
    for (int k = 0; k < TOP_CALLS && k < static_cast<int>(order.size()); ++k) {
        const size_t i = order[static_cast<size_t>(k)];
        const double calls = static_cast<double>(after[i].calls - before[i].calls) / frames;
        const std::string name = std::string("top") + std::to_string(k + 1) + "_" + after[i].name;
        figures.line((name + "_ms").c_str(), ns(i) / 1e6 / frames, "ms/frame");
        figures.line((name + "_calls").c_str(), calls, "calls/frame");
    }
}

bool run(KVideoMode& mode, const Options& options, int32_t w, int32_t h, const Tracer& tracer, const PerfControl& perf)
{
    if (mode.init_mode(w, h) == 0 || GLSys::init() == 0) {
        std::fprintf(stderr, "bench_gl_world: no OpenGL mode of %dx%d\n", w, h);
        return false;
    }
    const bool bench_map = options.map == "bench";
    auto s = std::make_unique<Session>();
    s->share.register_type(MAP_SHARE_ID, SharedMap::create);
    s->share.register_type(VOLUME_SHARE_ID, VolumeSet::create);
    uint32_t identifier = 0;
    if (load_world(s->world, &s->share, ("maps/" + options.map).c_str(), &identifier) == 0) {
        std::fprintf(stderr, "bench_gl_world: maps/%s does not load\n", options.map.c_str());
        return false;
    }
    s->screen.v_mode = &mode;
    if (s->projection.init(&s->screen) == 0 || s->renderer.init(&s->projection) == 0) {
        std::fprintf(stderr, "bench_gl_world: the renderer does not start\n");
        return false;
    }
    s->world.attach_screen(&s->projection);
    s->renderer.set_world(&s->world);
    const std::vector<BenchPose> path = bench_map ? bench_map_path() : demo_path();
    const int warm_up = options.warm_up >= 0 ? options.warm_up : (bench_map ? BENCH_WARM_UP : DEMO_WARM_UP);
    std::vector<std::pair<bool, const char*>> looks;
    if (options.lit) {
        looks.push_back({false, "lit"});
    }
    if (options.flat) {
        looks.push_back({true, "flat"});
    }
    for (const auto& [flat, look] : looks) {
        cvar_list->find("R_Flat")->set_bool(flat ? 1 : 0);
        std::vector<double> frame_ms;
        std::vector<double> handover_ms;
        std::vector<double> finish_ms;
        std::vector<double> in_gl_ms;
        double offered = 0.0;
        double polygons = 0.0;
        double lightmaps = 0.0;
        double built = 0.0;
        double updated = 0.0;
        double uploads = 0.0;
        double calls = 0.0;
        double handed_calls = 0.0;
        std::vector<GLTraceEntry> trace_before;
        for (int i = 0; i < warm_up + options.frames; ++i) {
            if (i == warm_up) {
                if (tracer.on()) {
                    tracer.read(trace_before);
                }
                perf.send("enable");
            }
            // The warm-up walks the path from its start, and so do the measured
            // frames after it, at the ticks counting on.
            const int along = i < warm_up ? i : i - warm_up;
            const BenchPose& pose = path[static_cast<size_t>(along) % path.size()];
            ViewFrame view;
            set_camera(view, pose.position, pose.yaw, pose.pitch);
            if (!bench_map) {
                view.set_extents(1.0f, 0.75f);
            }
            const uint64_t uploads_before = GLSys::uploads();
            uint64_t calls_before = 0;
            uint64_t ns_before = 0;
            uint64_t calls_handed = 0;
            uint64_t ns_handed = 0;
            if (tracer.on()) {
                tracer.totals(calls_before, ns_before);
            }
            const Clock::time_point t0 = Clock::now();
            s->projection.set_time(i);
            s->projection.begin_frame(view);
            s->projection.clear_window();
            s->renderer.draw_world();
            const Clock::time_point t1 = Clock::now();
            if (tracer.on()) {
                tracer.totals(calls_handed, ns_handed);
            }
            glFinish();
            const Clock::time_point t2 = Clock::now();
            if (i < warm_up) {
                continue;
            }
            frame_ms.push_back(ms_between(t0, t2));
            handover_ms.push_back(ms_between(t0, t1));
            finish_ms.push_back(ms_between(t1, t2));
            offered += s->renderer.stats.total;
            polygons += s->renderer.stats.rendered;
            lightmaps += s->renderer.stats.lightmaps_rendered;
            built += s->renderer.stats.lightmaps_built;
            updated += s->renderer.stats.lightmaps_updated;
            uploads += static_cast<double>(GLSys::uploads() - uploads_before);
            if (tracer.on()) {
                const double n = static_cast<double>(calls_handed - calls_before);
                in_gl_ms.push_back((static_cast<double>(ns_handed - ns_before) - n * tracer.clock_ns) / 1e6);
                handed_calls += n;
                calls += n + 1.0; // and glFinish
            }
        }
        perf.send("disable");
        const double n = options.frames;
        const Figures figures(options.map, look, w, h);
        figures.line("frame_median", percentile(frame_ms, 0.5), "ms");
        figures.line("frame_p95", percentile(frame_ms, 0.95), "ms");
        figures.line("fps", 1000.0 / percentile(frame_ms, 0.5), "frames/s");
        figures.line("handover_median", percentile(handover_ms, 0.5), "ms");
        figures.line("handover_mean", mean(handover_ms), "ms");
        figures.line("finish_mean", mean(finish_ms), "ms");
        figures.line("polygons_offered", offered / n, "per_frame");
        figures.line("polygons", polygons / n, "per_frame");
        figures.line("lightmaps", lightmaps / n, "per_frame");
        figures.line("lightmaps_built", built / n, "per_frame");
        figures.line("lightmap_uploads", updated / n, "per_frame");
        figures.line("uploads", uploads / n, "images/frame");
        if (tracer.on()) {
            std::vector<GLTraceEntry> trace_after;
            tracer.read(trace_after);
            figures.line("gl_calls", calls / n, "per_frame");
            figures.line("in_gl_mean", mean(in_gl_ms), "ms");
            // The tracer's clock read outside each call's span is no engine time.
            figures.line("engine_mean", mean(handover_ms) - mean(in_gl_ms) - handed_calls / n * tracer.clock_ns / 1e6,
                         "ms");
            figures.line("tracer_clock", tracer.clock_ns, "ns/call");
            print_top_calls(figures, trace_before, trace_after, tracer.clock_ns, options.frames);
        }
        std::fflush(stdout);
    }
    s->renderer.clear_world();
    s->world.detach_screen();
    s->world.close_map();
    s->renderer.close();
    s->projection.close();
    s.reset();
    GLSys::close();
    mode.close_mode();
    return true;
}

bool parse_size(const char* text, std::pair<int32_t, int32_t>& size)
{
    int w = 0;
    int h = 0;
    char end = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &end) != 2 || w <= 0 || h <= 0) {
        return false;
    }
    size = {w, h};
    return true;
}

bool parse_options(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* const value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a.rfind("--", 0) != 0) {
            options.frames = std::max(1, std::atoi(argv[i])); // the old form: bench_gl_world [frames]
            continue;
        }
        if (value == nullptr) {
            return false;
        }
        ++i;
        std::pair<int32_t, int32_t> size;
        if (a == "--map" && (std::strcmp(value, "demo") == 0 || std::strcmp(value, "bench") == 0)) {
            options.map = value;
        } else if (a == "--frames") {
            options.frames = std::max(1, std::atoi(value));
        } else if (a == "--warm-up") {
            options.warm_up = std::max(0, std::atoi(value));
        } else if (a == "--size" && parse_size(value, size)) {
            options.sizes.push_back(size);
        } else if (a == "--look" && (std::strcmp(value, "lit") == 0 || std::strcmp(value, "flat") == 0 ||
                                     std::strcmp(value, "both") == 0)) {
            options.lit = std::strcmp(value, "flat") != 0;
            options.flat = std::strcmp(value, "lit") != 0;
        } else if (a == "--scratch") {
            options.scratch = value;
        } else {
            return false;
        }
    }
    if (options.sizes.empty()) {
        options.sizes = {{640, 480}, {1024, 768}};
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_gl_world [--map demo|bench] [--frames N] [--warm-up N] [--size WxH]... "
                             "[--look lit|flat|both] [--scratch DIR]\n");
        return 2;
    }
    std::string base = OSTREL_DEMO_BASE_DIR;
    if (options.map == "bench") {
        base = !options.scratch.empty() ? options.scratch
                                        : (std::filesystem::temp_directory_path() / "ostrel-gl-bench").string();
        std::string error;
        if (!write_bench_map(base, error)) {
            std::fprintf(stderr, "bench_gl_world: %s\n", error.c_str());
            return 1;
        }
    }
    std::unique_ptr<KVideoMode> mode = start_bench_video(base.c_str(), GL_SYSTEM_NAME, "bench_gl_world");
    if (mode == nullptr) {
        return 1;
    }
    SineTable sine;
    bool ok = sine.init(4096) != 0;
    sine_table = &sine;
    const Tracer tracer = find_tracer();
    const PerfControl perf;
    for (const auto& [w, h] : options.sizes) {
        ok = ok && run(*mode, options, w, h, tracer, perf);
    }
    stop_bench_video(mode);
    return ok ? 0 : 1;
}
