#include "core/video_drivers.h"

#include "platform/video_platform.h"
#include "platform/video_registry.h"
#include "soft/ddraw_mode.h"
#include "soft/fullscreen_dib.h"
#include "soft/windowed_dib.h"

#include <chrono>
#include <thread>

int video_init()
{
    if (windowed_dib_install() == 0 || measure_desktop() == 0 || fullscreen_dib_install() == 0 ||
        VideoDDraw::initialize() == 0) {
        return 0;
    }
    video_debug_end();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return 1;
}

void video_done()
{
    VideoDDraw::shutdown();
    fullscreen_dib_uninstall();
}
