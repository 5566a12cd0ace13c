#include "platform/video_platform.h"

#include "host/host_window.h"
#include "platform/mouse.h"
#include "platform/win32_sys.h"

void video_show_error(const char* title, const char* text) { Win32Sys::show_error(title, text); }

int video_set_window_mode(int width, int height, int fullscreen)
{
    if (win32sys == nullptr) {
        return 1;
    }
    return win32sys->set_window_mode(width, height, fullscreen != 0 ? WINDOW_FULL_SCREEN : 0);
}

void video_show_cursor() { show_cursor(); }

int video_take_repaint() { return host::window_take_repaint() ? 1 : 0; }

void video_debug_end()
{
    if (win32sys != nullptr) {
        win32sys->debug_end();
    }
}

void* video_window_handle() { return host::window_sdl(); }
