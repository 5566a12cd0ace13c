#include "core/video_drivers.h"

#include "gl/gl_display_modes.h"
#include "gl/gl_video_mode.h"
#include "gl/ws_mouse.h"
#include "platform/video_platform.h"
#include "platform/video_registry.h"

#include <chrono>
#include <new>
#include <thread>

namespace {

// The registry's bits-per-pixel column holds this for both drivers.
constexpr uint32_t GL_DRIVER_FLAGS = 16;

KVideoMode* create_win() { return new (std::nothrow) KVideoMode_Win; }
KVideoMode* create_fs() { return new (std::nothrow) KVideoMode_FS; }

} // namespace

int video_init()
{
    // A failure shows again when a mode is set, and fails that mode.
    KavrinVideo::set_pixel_format(16, 16);
    if (video_enumerate_modes() == 0) {
        return 0;
    }
    // The windowed DIB rows of the software program draw no OpenGL.
    video_clear_registry();
    video_register_driver("WIN", "Windowed OpenGL", GL_DRIVER_FLAGS, create_win);
    video_register_driver("FS", "Full-screen OpenGL", GL_DRIVER_FLAGS, create_fs);
    // Without its variable the mouse reports raw motion, as in the software program.
    gl_mouse_init();
    video_debug_end();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return 1;
}

void video_done()
{
    gl_mouse_done();
    video_free_mode_infos();
}
