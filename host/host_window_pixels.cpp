#include "host/host_window_pixels.h"

#include "host/host_window.h"

#include <SDL.h>

namespace host {

bool window_read_pixels(int x, int y, int width, int height, uint32_t* out)
{
    SDL_Window* const window = window_sdl();
    if (window == nullptr || out == nullptr || x < 0 || y < 0 || width < 0 || height < 0) {
        return false;
    }
    SDL_Surface* const surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || x + width > surface->w || y + height > surface->h) {
        return false;
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        return false;
    }
    const uint8_t* const pixels = static_cast<const uint8_t*>(surface->pixels);
    const int bytes = surface->format->BytesPerPixel;
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const uint8_t* const p = pixels + static_cast<size_t>(y + row) * static_cast<size_t>(surface->pitch) +
                                     static_cast<size_t>(x + col) * static_cast<size_t>(bytes);
            uint32_t value = 0;
            SDL_memcpy(&value, p, static_cast<size_t>(bytes > 4 ? 4 : bytes));
            uint8_t r = 0;
            uint8_t g = 0;
            uint8_t b = 0;
            SDL_GetRGB(value, surface->format, &r, &g, &b);
            out[static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(col)] =
                static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
        }
    }
    if (SDL_MUSTLOCK(surface)) {
        SDL_UnlockSurface(surface);
    }
    return true;
}

} // namespace host
