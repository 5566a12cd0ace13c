#include "host/host_window.h"

#include "host/host_display.h"
#include "host/host_events.h"

#include <SDL.h>


namespace host {
namespace {

SDL_Window* window = nullptr;
bool video_started = false;
bool repaint = false;
bool quit_requested = false;
// Windows are made OpenGL windows once the OpenGL program asked for a pixel format.
bool opengl_windows = false;

Uint32 window_flags()
{
    return static_cast<Uint32>(SDL_WINDOW_SHOWN) | (opengl_windows ? static_cast<Uint32>(SDL_WINDOW_OPENGL) : 0u);
}

int clamp_to(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

} // namespace

bool window_open(const char* title, int width, int height, bool& init_failed)
{
    init_failed = false;
    if (window != nullptr) {
        return true;
    }
    if (!video_started) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            init_failed = true;
            return false;
        }
        video_started = true;
    }
    stamp_input_on_arrival();
    // A click that comes just after the window gained focus reaches the engine
    // like any other: SDL would drop it as the click that focused the window.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                              window_flags());
    if (window == nullptr) {
        return false;
    }
    repaint = false;
    quit_requested = false;
    return true;
}

void window_close()
{
    if (window != nullptr) {
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    if (video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_started = false;
    }
}

bool window_exists() { return window != nullptr; }

bool window_recreate_opengl()
{
    opengl_windows = true;
    if (window == nullptr) {
        return false;
    }
    // A GL window takes its pixel format when it is created: the old window
    // gives way to one of the same title, place and size.
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    const Uint32 kept = SDL_GetWindowFlags(window) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP);
    char title[256];
    SDL_strlcpy(title, SDL_GetWindowTitle(window), sizeof title);
    SDL_DestroyWindow(window);
    window = SDL_CreateWindow(title, x, y, w, h, window_flags() | kept);
    repaint = true;
    if (window == nullptr) {
        // A video driver without OpenGL: the engine keeps a plain window.
        opengl_windows = false;
        window = SDL_CreateWindow(title, x, y, w, h, window_flags() | kept);
        return false;
    }
    return true;
}

SDL_Window* window_sdl() { return window; }

bool window_set_shape(int width, int height, bool full_screen)
{
    if (window == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    // The display can't be switched to the mode's size: a full-screen OpenGL
    // window covers the desktop instead and shows the mode's picture scaled
    // over it (host_gl.h).
    int32_t desktop_width = 0;
    int32_t desktop_height = 0;
    if (full_screen && opengl_windows && desktop_size(desktop_width, desktop_height) == DESKTOP_OK &&
        desktop_width > 0 && desktop_height > 0) {
        width = desktop_width;
        height = desktop_height;
    }
    SDL_SetWindowBordered(window, full_screen ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowAlwaysOnTop(window, full_screen ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowPosition(window, 0, 0);
    int old_width = 0;
    int old_height = 0;
    SDL_GetWindowSize(window, &old_width, &old_height);
    SDL_SetWindowSize(window, width, height);
    repaint = true;
    // An OpenGL window's drawing surface may keep the size it was made with
    // (an offscreen one does), so that a larger mode would draw into the old
    // corner only: the window is made again at its new size.
    if (opengl_windows && (old_width != width || old_height != height)) {
        return window_recreate_opengl();
    }
    return true;
}

bool window_client_rect(int& x, int& y, int& width, int& height)
{
    if (window == nullptr) {
        return false;
    }
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &width, &height);
    return true;
}

bool window_present(const uint32_t* framebuffer, int line_width, int x0, int x1, int y0, int y1, int xscale,
                    int yscale)
{
    if (window == nullptr || framebuffer == nullptr || xscale < 1 || yscale < 1 || x1 <= x0 || y1 <= y0 ||
        x0 < 0 || y0 < 0 || x1 > line_width) {
        return false;
    }
    SDL_Surface* const surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || surface->format->BytesPerPixel != 4) {
        return false;
    }
    const int dx0 = clamp_to(x0 * xscale, 0, surface->w);
    const int dx1 = clamp_to(x1 * xscale, 0, surface->w);
    const int dy0 = clamp_to(y0 * yscale, 0, surface->h);
    const int dy1 = clamp_to(y1 * yscale, 0, surface->h);
    if (dx1 <= dx0 || dy1 <= dy0) {
        return true;
    }
    const bool native = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                        surface->format->format == SDL_PIXELFORMAT_ARGB8888;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        return false;
    }
    uint8_t* const pixels = static_cast<uint8_t*>(surface->pixels);
    for (int dy = dy0; dy < dy1; ++dy) {
        const uint32_t* const src = framebuffer + static_cast<size_t>(dy / yscale) * static_cast<size_t>(line_width);
        uint32_t* const dst = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(dy) * surface->pitch);
        for (int dx = dx0; dx < dx1; ++dx) {
            const uint32_t p = src[dx / xscale];
            dst[dx] = native ? p
                             : SDL_MapRGB(surface->format, static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                          static_cast<uint8_t>(p));
        }
    }
    if (SDL_MUSTLOCK(surface)) {
        SDL_UnlockSurface(surface);
    }
    const SDL_Rect rect{dx0, dy0, dx1 - dx0, dy1 - dy0};
    return SDL_UpdateWindowSurfaceRects(window, &rect, 1) == 0;
}

void window_set_repaint() { repaint = true; }

bool window_take_repaint()
{
    const bool was = repaint;
    repaint = false;
    return was;
}

VideoKeeper::VideoKeeper() : held_(SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {}

VideoKeeper::~VideoKeeper()
{
    if (held_) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

void request_quit() { quit_requested = true; }

bool take_quit_request()
{
    const bool was = quit_requested;
    quit_requested = false;
    return was;
}

} // namespace host
