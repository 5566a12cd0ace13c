#include "platform/video_registry.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "host/host_display.h"
#include "platform/video_mode.h"
#include "platform/video_platform.h"

#include <new>

int32_t desktop_width = 0;
int32_t desktop_height = 0;

namespace {

VideoDriverEntry drivers[VIDEO_MAX_DRIVERS] = {};
int driver_count = 0;

} // namespace

int video_register_driver(const char* name, const char* description, uint32_t bits_per_pixel, VideoFactory factory)
{
    if (video_find_driver(name) >= 0) {
        return 1;
    }
    if (driver_count >= VIDEO_MAX_DRIVERS) {
        return 0;
    }
    drivers[driver_count] = {name, description, bits_per_pixel, factory};
    ++driver_count;
    return 1;
}

int video_find_driver(const char* name)
{
    for (int i = 0; i < driver_count; ++i) {
        if (compare_nocase(drivers[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

KVideoMode* video_create_mode(int index)
{
    if (index < 0 || index >= driver_count) {
        return nullptr;
    }
    KVideoMode* const mode = drivers[index].factory();
    if (mode == nullptr) {
        return nullptr;
    }
    if (mode->mode_count == 0) {
        delete mode;
        return nullptr;
    }
    return mode;
}

void video_destroy_mode(KVideoMode* v_mode)
{
    K_ASSERT(v_mode);
    delete v_mode;
}

int video_driver_count() { return driver_count; }

const VideoDriverEntry* video_driver(int index)
{
    if (index < 0 || index >= driver_count) {
        return nullptr;
    }
    return &drivers[index];
}

void video_clear_registry()
{
    for (VideoDriverEntry& row : drivers) {
        row = {};
    }
    driver_count = 0;
}

int measure_desktop()
{
    int32_t width = 0;
    int32_t height = 0;
    const host::DesktopResult r = host::desktop_size(width, height);
    if (r == host::DESKTOP_NO_WINDOW) {
        video_show_error("GetDesktopWindow()", "Where's the desktop window?");
        return 0;
    }
    if (r == host::DESKTOP_NO_RECT) {
        video_show_error("measure_desktop()", "Can't measure desktop size, guessing for 640x480");
        width = 640;
        height = 480;
    }
    desktop_width = width;
    desktop_height = height;
    return 1;
}
