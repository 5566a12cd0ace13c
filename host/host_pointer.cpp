#include "host/host_pointer.h"

#include "host/host_window.h"

#include <SDL.h>

namespace host {
namespace {

constexpr int POSITION_LIMIT = 1 << 24;

int clamp(int v) { return v < -POSITION_LIMIT ? -POSITION_LIMIT : (v > POSITION_LIMIT ? POSITION_LIMIT : v); }

class SdlPointer final : public Pointer {
public:
    void position(int& px, int& py) override
    {
        px = x_;
        py = y_;
    }
    void set_position(int px, int py) override
    {
        x_ = px;
        y_ = py;
    }
    int show(bool visible) override
    {
        counter_ += visible ? 1 : -1;
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
            const bool hidden = counter_ < 0;
            // Relative mode hides the cursor and keeps the desktop pointer in place.
            SDL_SetRelativeMouseMode(hidden ? SDL_TRUE : SDL_FALSE);
        }
        return counter_;
    }
    void clip(const ClipRect* rect) override
    {
        if (SDL_Window* const w = window_sdl(); w != nullptr) {
            SDL_SetWindowGrab(w, rect != nullptr ? SDL_TRUE : SDL_FALSE);
        }
    }
    void motion(int dx, int dy)
    {
        // Kept far inside int range however long the pointer moves uncaptured.
        x_ = clamp(x_ + clamp(dx));
        y_ = clamp(y_ + clamp(dy));
    }

private:
    int x_ = 0;
    int y_ = 0;
    int counter_ = 0;
};

SdlPointer sdl_pointer;
Pointer* current = &sdl_pointer;

} // namespace

Pointer& pointer() { return *current; }

Pointer* set_pointer(Pointer* p)
{
    Pointer* const previous = current == &sdl_pointer ? nullptr : current;
    current = p != nullptr ? p : &sdl_pointer;
    return previous;
}

void pointer_motion(int dx, int dy) { sdl_pointer.motion(dx, dy); }

} // namespace host
