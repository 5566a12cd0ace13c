// bench_gl_world [frames]: the OpenGL program's world renderer on the demo
// level, on whatever OpenGL the host gives (llvmpipe headless). A closed
// camera path of 1000 poses through the hall, the side room, the gallery and
// the loft is drawn after one warm-up loop of it at 640 x 480 and 1024 x 768,
// textured and lit as the program draws, and in flat colours. Each frame ends
// with glFinish, so its time holds the GL work; the time to hand the frame
// to GL (traversal, culling, GL calls, lightmap rebuilds) is measured apart.
// Prints "name value unit" lines: median and 95th percentile of the frame,
// median of the hand-over, and per frame the polygons drawn, lightmaps drawn
// and lightmaps uploaded.
#include "bench/support/bench_video.h"
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
#include <memory>
#include <vector>

namespace {

constexpr int WARM_UP = 1000; // the whole path once: every room's lightmaps and textures met
constexpr int POSES = 1000;

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct Pose {
    Vector position;
    float yaw;
    float pitch;
};

// The rooms' middles at eye height, out from the hall and back to it, the
// camera looking along the path with a slow sway and nod.
std::vector<Pose> camera_path()
{
    const Vector hall{0.0f, 0.0f, -8.0f};
    const Vector stops[] = {hall, {512.0f, 64.0f, -8.0f},  hall, {0.0f, 448.0f, -8.0f},
                            hall, {-512.0f, 16.0f, 56.0f}, hall, {-160.0f, -160.0f, -8.0f}};
    const size_t n = std::size(stops);
    std::vector<Pose> path;
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

struct Session {
    ShareManager share;
    ClientWorld world;
    ScreenManager screen;
    ScreenProjection projection;
    BspRenderer renderer;
};

bool run(KVideoMode& mode, int32_t w, int32_t h, int frames)
{
    if (mode.init_mode(w, h) == 0 || GLSys::init() == 0) {
        std::fprintf(stderr, "bench_gl_world: no OpenGL mode of %dx%d\n", w, h);
        return false;
    }
    auto s = std::make_unique<Session>();
    s->share.register_type(MAP_SHARE_ID, SharedMap::create);
    s->share.register_type(VOLUME_SHARE_ID, VolumeSet::create);
    uint32_t identifier = 0;
    if (load_world(s->world, &s->share, "maps/demo", &identifier) == 0) {
        std::fprintf(stderr, "bench_gl_world: the demo level does not load\n");
        return false;
    }
    s->screen.v_mode = &mode;
    if (s->projection.init(&s->screen) == 0 || s->renderer.init(&s->projection) == 0) {
        std::fprintf(stderr, "bench_gl_world: the renderer does not start\n");
        return false;
    }
    s->world.attach_screen(&s->projection);
    s->renderer.set_world(&s->world);
    const std::vector<Pose> path = camera_path();
    for (const bool flat : {false, true}) {
        cvar_list->find("R_Flat")->set_bool(flat ? 1 : 0);
        std::vector<double> frame_ms;
        std::vector<double> submit_ms;
        double polygons = 0.0;
        double lightmaps = 0.0;
        double uploads = 0.0;
        for (int i = 0; i < WARM_UP + frames; ++i) {
            const Pose& pose = path[static_cast<size_t>(i) % path.size()];
            ViewFrame view;
            set_camera(view, pose.position, pose.yaw, pose.pitch);
            view.set_extents(1.0f, 0.75f);
            const Clock::time_point t0 = Clock::now();
            s->projection.set_time(i);
            s->projection.begin_frame(view);
            s->projection.clear_window();
            s->renderer.draw_world();
            const Clock::time_point t1 = Clock::now();
            glFinish();
            const Clock::time_point t2 = Clock::now();
            if (i < WARM_UP) {
                continue;
            }
            frame_ms.push_back(ms_between(t0, t2));
            submit_ms.push_back(ms_between(t0, t1));
            polygons += s->renderer.stats.rendered;
            lightmaps += s->renderer.stats.lightmaps_rendered;
            uploads += s->renderer.stats.lightmaps_updated;
        }
        const char* look = flat ? "flat" : "lit";
        std::printf("gl_%s_%dx%d_frame_median %.3f ms\n", look, w, h, percentile(frame_ms, 0.5));
        std::printf("gl_%s_%dx%d_frame_p95 %.3f ms\n", look, w, h, percentile(frame_ms, 0.95));
        std::printf("gl_%s_%dx%d_submit_median %.3f ms\n", look, w, h, percentile(submit_ms, 0.5));
        std::printf("gl_%s_%dx%d_polygons %.1f per_frame\n", look, w, h, polygons / frames);
        std::printf("gl_%s_%dx%d_lightmaps %.1f per_frame\n", look, w, h, lightmaps / frames);
        std::printf("gl_%s_%dx%d_lightmap_uploads %.2f per_frame\n", look, w, h, uploads / frames);
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

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : POSES;
    std::unique_ptr<KVideoMode> mode = start_bench_video(OSTREL_DEMO_BASE_DIR, GL_SYSTEM_NAME, "bench_gl_world");
    if (mode == nullptr) {
        return 1;
    }
    SineTable sine;
    bool ok = sine.init(4096) != 0;
    sine_table = &sine;
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1024, 768}}) {
        ok = ok && run(*mode, w, h, frames);
    }
    stop_bench_video(mode);
    return ok ? 0 : 1;
}
