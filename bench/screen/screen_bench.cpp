// bench_screen_<program> [frames]: the 2-D frame of one program's screen
// manager, built once over each program's renderer. A full console page of
// known text (as many rows as the open console shows, and its input row)
// and eight of the demo's marker icons over the backdrop, with no 3-D
// window, at 640 x 480 and 1024 x 768 in a window of the program's own video
// driver (headless: SDL's dummy driver for the software program, its
// offscreen driver and llvmpipe for OpenGL).
// A frame is the manager's begin_frame and present, and for OpenGL a
// glFinish, so that the time holds the GL work. Prints "name value unit"
// lines: median and 95th percentile of the frame in microseconds, and for
// OpenGL the images uploaded a frame after the warm-up (none: nothing
// changes).
#include "bench/support/bench_video.h"
#include "core/console.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"
#include "world/view/icon_table.h"

#ifdef OSTREL_PROGRAM_GL
#include "gl/gl_bind.h"
#include "gl/gl_video_mode.h"
#include "host/host_gl.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int WARM_UP = 100; // the font, the backdrop and the icon built and cached
constexpr int FRAMES = 2000;
constexpr int ICONS = 8;
// Rows the console keeps below its page (as the console leaves them).
constexpr int CONSOLE_MARGIN_ROWS = 6;

#ifdef OSTREL_PROGRAM_GL
constexpr const char* PROGRAM = "gl";
constexpr const char* SYSTEM_NAME = GL_SYSTEM_NAME;
#else
constexpr const char* PROGRAM = "soft";
constexpr const char* SYSTEM_NAME = "Ostrel";
#endif

using Clock = std::chrono::steady_clock;

int start_screen(ScreenManager& screen, KVideoMode* mode)
{
#ifdef OSTREL_PROGRAM_GL
    return GLSys::init() != 0 && screen.init(mode, "small.fnt", "backgrnd", "loading") != 0;
#else
    return screen.init(mode, "backgrnd", "loading", "small.fnt");
#endif
}

int32_t text_width(ScreenManager& screen, const char* text)
{
#ifdef OSTREL_PROGRAM_GL
    return screen.font().text_width(text);
#else
    return screen.font().measure(text);
#endif
}

void finish_frame()
{
#ifdef OSTREL_PROGRAM_GL
    glFinish();
#endif
}

uint64_t uploads()
{
#ifdef OSTREL_PROGRAM_GL
    return GLSys::uploads();
#else
    return 0;
#endif
}

// Console rows of known text, each as long as the screen holds: every glyph
// class of the font.
std::vector<std::string> page_text(ScreenManager& screen, int rows, int32_t xres)
{
    std::vector<std::string> lines;
    for (int r = 0; r < rows; ++r) {
        char head[8];
        std::snprintf(head, sizeof head, "%02d ", r);
        std::string line = head;
        while (line.size() < 400) {
            line += "The quick brown fox jumps over the lazy dog: 0123456789 ([{<!?>}]) +-*/=_&%$#@ ";
        }
        while (!line.empty() && text_width(screen, line.c_str()) > xres) {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

bool run(KVideoMode& mode, int32_t w, int32_t h, int frames)
{
    if (mode.init_mode(w, h) == 0) {
        std::fprintf(stderr, "bench_screen_%s: no mode of %dx%d\n", PROGRAM, w, h);
        return false;
    }
    auto screen = std::make_unique<ScreenManager>();
    if (start_screen(*screen, &mode) == 0) {
        std::fprintf(stderr, "bench_screen_%s: the screen does not start\n", PROGRAM);
        return false;
    }
    screen->set_window_size(0, 0);
    const int rows = std::clamp(screen->text_rows() - CONSOLE_MARGIN_ROWS, 0, CONSOLE_ROWS);
    std::vector<std::string> lines = page_text(*screen, rows, w);
    lines.push_back("] Set R_Gamma 1.0");
    for (int r = 0; r < rows; ++r) {
        screen->add_text(0, r, lines[static_cast<size_t>(r)].c_str());
    }
    screen->add_text(0, screen->text_rows() - 1, lines.back().c_str());
    IconTable icons;
    icons.create(ICONS);
    IconPicture* const marker = icons.get("marker", 1);
    // A row of icons along the bottom, each a tenth of the screen wide.
    for (int i = 0; i < ICONS; ++i) {
        const int id = icon_screen_add(*screen, 800 + i * 3100, 16000, 2560, 1920);
        icon_screen_set_picture(*screen, id, marker);
    }
    std::vector<double> frame_us;
    uint64_t counted_uploads = 0;
    for (int i = 0; i < WARM_UP + frames; ++i) {
        const uint64_t before = uploads();
        const Clock::time_point t0 = Clock::now();
        screen->begin_frame(0);
        screen->present(0);
        finish_frame();
        const Clock::time_point t1 = Clock::now();
        if (i >= WARM_UP) {
            frame_us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            counted_uploads += uploads() - before;
        }
    }
    std::printf("screen_%s_%dx%d_frame_median %.1f us\n", PROGRAM, w, h, percentile(frame_us, 0.5));
    std::printf("screen_%s_%dx%d_frame_p95 %.1f us\n", PROGRAM, w, h, percentile(frame_us, 0.95));
#ifdef OSTREL_PROGRAM_GL
    std::printf("screen_%s_%dx%d_uploads %.3f per_frame\n", PROGRAM, w, h,
                static_cast<double>(counted_uploads) / frames);
#endif
    icons.release_all();
    screen->shutdown();
    screen.reset();
    icons.destroy();
#ifdef OSTREL_PROGRAM_GL
    GLSys::close();
#endif
    mode.close_mode();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : FRAMES;
    char name[32];
    std::snprintf(name, sizeof name, "bench_screen_%s", PROGRAM);
    std::unique_ptr<KVideoMode> mode = start_bench_video(OSTREL_DEMO_BASE_DIR, SYSTEM_NAME, name);
    if (mode == nullptr) {
        return 1;
    }
    bool ok = true;
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1024, 768}}) {
        ok = ok && run(*mode, w, h, frames);
    }
    stop_bench_video(mode);
    return ok ? 0 : 1;
}
