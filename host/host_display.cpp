#include "host/host_display.h"

#include "host/host_window.h"

#include <SDL.h>

namespace host {

namespace {

bool video_ready()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        return true;
    }
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

uint32_t bits_of(uint32_t format)
{
    switch (format) {
    case SDL_PIXELFORMAT_RGB555:
    case SDL_PIXELFORMAT_BGR555:
    case SDL_PIXELFORMAT_ARGB1555:
        return 15;
    case SDL_PIXELFORMAT_RGB565:
    case SDL_PIXELFORMAT_BGR565:
        return 16;
    case SDL_PIXELFORMAT_RGB24:
    case SDL_PIXELFORMAT_BGR24:
        return 24;
    default:
        // X servers report 32-bit visuals as 24 bits of colour in 4 bytes.
        return SDL_BYTESPERPIXEL(format) == 4 ? 32 : SDL_BITSPERPIXEL(format);
    }
}

// SDL's display 0; a mode change is a request that the window applies when it
// goes full screen.
class SdlDisplay final : public Display {
public:
    DesktopResult desktop_size(int32_t& width, int32_t& height) override
    {
        if (!video_ready() || SDL_GetNumVideoDisplays() < 1) {
            return DESKTOP_NO_WINDOW;
        }
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
            return DESKTOP_NO_RECT;
        }
        width = mode.w;
        height = mode.h;
        return DESKTOP_OK;
    }

    bool enum_mode(uint32_t n, DisplayMode& mode) override
    {
        if (!video_ready() || n > 0x7FFFFFFFu || static_cast<int>(n) >= SDL_GetNumDisplayModes(0)) {
            return false;
        }
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, static_cast<int>(n), &m) != 0) {
            return false;
        }
        mode = {bits_of(m.format), static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.h),
                static_cast<uint32_t>(m.refresh_rate)};
        return true;
    }

    int32_t change_mode(const DisplayMode* mode, uint32_t fields, uint32_t flags) override
    {
        (void)fields;
        (void)flags;
        if (mode == nullptr) {
            return DISP_CHANGE_SUCCESSFUL;
        }
        if (!video_ready()) {
            return DISP_CHANGE_BADMODE;
        }
        // SDL scales a window of any size up to the desktop, so every size
        // the desktop holds can be shown.
        int32_t w = 0;
        int32_t h = 0;
        if (desktop_size(w, h) != DESKTOP_OK || mode->width == 0 || mode->height == 0 ||
            mode->width > static_cast<uint32_t>(w) || mode->height > static_cast<uint32_t>(h)) {
            return DISP_CHANGE_BADMODE;
        }
        return DISP_CHANGE_SUCCESSFUL;
    }
};

SdlDisplay sdl_display;
Display* current = nullptr;

} // namespace

uint32_t Display::window_bits()
{
    SDL_Window* const w = window_sdl();
    return w != nullptr ? bits_of(SDL_GetWindowPixelFormat(w)) : 0;
}

Display& display() { return current != nullptr ? *current : sdl_display; }

Display* set_display(Display* d)
{
    Display* const previous = current;
    current = d;
    return previous;
}

DesktopResult FakeDisplay::desktop_size(int32_t& w, int32_t& h)
{
    if (desktop_result == DESKTOP_OK) {
        w = width;
        h = height;
    }
    return desktop_result;
}

bool FakeDisplay::enum_mode(uint32_t n, DisplayMode& mode)
{
    if (n >= static_cast<uint32_t>(mode_count)) {
        return false;
    }
    mode = modes[n];
    return true;
}

int32_t FakeDisplay::change_mode(const DisplayMode* mode, uint32_t fields, uint32_t flags)
{
    if (mode == nullptr) {
        current = {};
        current_fields = 0;
        ++restores;
        return DISP_CHANGE_SUCCESSFUL;
    }
    bool ok = false;
    for (int i = 0; i < mode_count && !ok; ++i) {
        ok = modes[i].width == mode->width && modes[i].height == mode->height &&
             modes[i].bits_per_pixel == mode->bits_per_pixel;
    }
    for (int i = 0; i < accepted_count && !ok; ++i) {
        ok = accepted[i].width == mode->width && accepted[i].height == mode->height &&
             accepted[i].bits_per_pixel == mode->bits_per_pixel;
    }
    if (!ok || refuse_all) {
        return DISP_CHANGE_BADMODE;
    }
    if ((flags & CDS_TEST) == 0) {
        current = *mode;
        current_fields = fields;
        ++changes;
    }
    return DISP_CHANGE_SUCCESSFUL;
}

void FakeDisplay::add_mode(uint32_t bits, uint32_t w, uint32_t h, uint32_t frequency)
{
    if (mode_count < MAX_MODES) {
        modes[mode_count++] = {bits, w, h, frequency};
    }
}

void FakeDisplay::accept_size(uint32_t bits, uint32_t w, uint32_t h)
{
    if (accepted_count < MAX_MODES) {
        accepted[accepted_count++] = {bits, w, h, 0};
    }
}

} // namespace host
