// rbench: the BSP renderer over the generated map "bench" (6 x 6 rooms, some
// 2,600 polygons, 30 lights, two warping floors), headless on a memory video
// mode with no presentation. A closed camera path of 1000 poses through the
// rooms is drawn after 100 warm-up frames at 320 x 240, 640 x 480 and
// 1024 x 768. Prints "name value unit" lines: median and 95th percentile of
// the frame time, the time of the frame's span drawing alone (lighting and
// drawers, measured by drawing the frame's surfaces again), pixels drawn and
// opaque overdraw per frame, polygons and spans, and memset of the same frame.
//
// Usage: rbench [<scratch directory>]
#include "bench/bench_map/bench_map.h"
#include "core/print.h"
#include "tools/viewer/map_viewer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr int WARM_UP = 100;
constexpr int POSES = BENCH_PATH_POSES;

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

struct FrameCount {
    int64_t pixels = 0;
    int64_t spans = 0;
};

FrameCount count_spans(const EdgeList& edges)
{
    FrameCount c;
    for (int32_t i = 0; i < edges.active_surfaces; ++i) {
        for (const Span* s = edges.surfaces()[i].spans; s != nullptr; s = s->next) {
            c.pixels += s->count;
            ++c.spans;
        }
    }
    return c;
}

void line(const char* name, int32_t w, int32_t h, double value, const char* unit)
{
    std::printf("%s_%dx%d %.4f %s\n", name, w, h, value, unit);
}

void run(const std::string& base, int32_t w, int32_t h)
{
    MapViewer viewer;
    std::string error;
    if (!viewer.open(base, "bench", w, h, error)) {
        std::fprintf(stderr, "rbench: %s\n", error.c_str());
        return;
    }
    const std::vector<BenchPose> path = bench_map_path();
    BspRenderer& renderer = viewer.renderer();
    for (int i = 0; i < WARM_UP; ++i) {
        const BenchPose& p = path[static_cast<size_t>(i) % path.size()];
        viewer.draw(p.position, p.yaw, p.pitch, i, false);
    }
    std::vector<double> frame_ms;
    std::vector<double> span_ms;
    double pixels = 0.0;
    double overdraw = 0.0;
    double spans = 0.0;
    double offered = 0.0;
    double drawn = 0.0;
    for (int i = 0; i < POSES; ++i) {
        const BenchPose& p = path[static_cast<size_t>(i)];
        const Clock::time_point start = Clock::now();
        viewer.draw(p.position, p.yaw, p.pitch, WARM_UP + i, false);
        frame_ms.push_back(ms_since(start));
        const FrameCount c = count_spans(renderer.edges);
        pixels += static_cast<double>(c.pixels);
        overdraw += static_cast<double>(c.pixels - static_cast<int64_t>(w) * h);
        spans += static_cast<double>(c.spans);
        offered += renderer.stats.offered;
        drawn += renderer.stats.drawn;
        // The same surfaces drawn again: the span work of the frame alone.
        const Clock::time_point again = Clock::now();
        for (int32_t s = 0; s < renderer.edges.active_surfaces; ++s) {
            renderer.draw_surface(&renderer.edges.surfaces()[s]);
        }
        span_ms.push_back(ms_since(again));
    }
    std::vector<uint32_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h));
    std::vector<double> memset_ms;
    for (int i = 0; i < POSES; ++i) {
        const Clock::time_point start = Clock::now();
        std::memset(frame.data(), i & 0xFF, frame.size() * sizeof(uint32_t));
        memset_ms.push_back(ms_since(start));
    }
    const double n = POSES;
    line("frame_median", w, h, percentile(frame_ms, 0.5), "ms");
    line("frame_p95", w, h, percentile(frame_ms, 0.95), "ms");
    line("spans_median", w, h, percentile(span_ms, 0.5), "ms");
    line("non_span_median", w, h, percentile(frame_ms, 0.5) - percentile(span_ms, 0.5), "ms");
    line("pixels_drawn", w, h, pixels / n, "pixels/frame");
    line("opaque_overdraw", w, h, overdraw / n, "pixels/frame");
    line("polygons_offered", w, h, offered / n, "polygons/frame");
    line("surfaces_drawn", w, h, drawn / n, "surfaces/frame");
    line("spans", w, h, spans / n, "spans/frame");
    line("memset_median", w, h, percentile(memset_ms, 0.5), "ms");
}

void quiet(int, const char*, uintptr_t) {}

} // namespace

int main(int argc, char** argv)
{
    const std::string base = argc > 1 ? std::string(argv[1])
                                      : (std::filesystem::temp_directory_path() / "ostrel-rbench").string();
    std::string error;
    if (!write_bench_map(base, error)) {
        std::fprintf(stderr, "rbench: %s\n", error.c_str());
        return 1;
    }
    print_init();
    set_stream_handler(quiet, 0);
    for (const auto& [w, h] : {std::pair{320, 240}, std::pair{640, 480}, std::pair{1024, 768}}) {
        run(base, w, h);
    }
    return 0;
}
