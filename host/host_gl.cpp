#include "host/host_gl.h"

#include "host/host_window.h"

#include <SDL.h>

namespace host {

bool gl_set_pixel_format(int colour_bits, int depth_bits)
{
    if (!window_exists()) {
        SDL_SetError("no window");
        return false;
    }
    const int channel = colour_bits <= 16 ? 5 : 8;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour_bits <= 16 ? 6 : 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The renderer draws with the fixed-function calls of OpenGL 1.1.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    return window_recreate_opengl();
}

GLContext gl_create_context()
{
    SDL_Window* const window = window_sdl();
    if (window == nullptr) {
        SDL_SetError("no window");
        return nullptr;
    }
    return SDL_GL_CreateContext(window);
}

bool gl_make_current(GLContext context)
{
    return SDL_GL_MakeCurrent(context != nullptr ? window_sdl() : nullptr, context) == 0;
}

void gl_delete_context(GLContext context)
{
    if (context != nullptr) {
        SDL_GL_DeleteContext(context);
    }
}

void gl_swap_window()
{
    SDL_Window* const window = window_sdl();
    if (window != nullptr) {
        SDL_GL_SwapWindow(window);
    }
}

void* gl_proc_address(const char* name) { return SDL_GL_GetProcAddress(name); }

const char* gl_error_text() { return SDL_GetError(); }

} // namespace host
