#include "host/host_gl.h"

#include "host/host_window.h"

#include <SDL.h>

#include <cstring>

namespace host {
namespace {

// The picture the engine draws into: a framebuffer object with a colour and
// a depth renderbuffer.
struct Picture {
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC gen_renderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bind_renderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blit_framebuffer = nullptr;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};
    int width = 0;
    int height = 0;
};

Picture picture;

bool has_extension(const char* name)
{
    const char* const list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const size_t length = std::strlen(name);
    for (const char* p = list; p != nullptr && (p = std::strstr(p, name)) != nullptr; p += length) {
        if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) {
            return true;
        }
    }
    return false;
}

template <typename F> bool load(F& f, const char* name)
{
    f = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return f != nullptr;
}

bool load_picture_calls()
{
    return has_extension("GL_ARB_framebuffer_object") && load(picture.gen_framebuffers, "glGenFramebuffers") &&
           load(picture.delete_framebuffers, "glDeleteFramebuffers") &&
           load(picture.bind_framebuffer, "glBindFramebuffer") &&
           load(picture.gen_renderbuffers, "glGenRenderbuffers") &&
           load(picture.delete_renderbuffers, "glDeleteRenderbuffers") &&
           load(picture.bind_renderbuffer, "glBindRenderbuffer") &&
           load(picture.renderbuffer_storage, "glRenderbufferStorage") &&
           load(picture.framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
           load(picture.check_framebuffer_status, "glCheckFramebufferStatus") &&
           load(picture.blit_framebuffer, "glBlitFramebuffer");
}

// The formats of the window's own buffers, so that drawing into the picture
// gives what drawing into the window gave.
GLenum colour_format()
{
    GLint red = 0;
    GLint green = 0;
    GLint alpha = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    if (red == 5 && green == 6) {
        return GL_RGB565;
    }
    return alpha > 0 ? GL_RGBA8 : GL_RGB8;
}

GLenum depth_format()
{
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    return depth > 24 ? GL_DEPTH_COMPONENT32 : (depth > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16);
}

} // namespace

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

PictureFit fit_picture(int width, int height, int window_width, int window_height)
{
    if (width <= 0 || height <= 0 || window_width <= 0 || window_height <= 0) {
        return {0, 0, 0, 0};
    }
    int64_t w = window_width;
    int64_t h = window_height;
    if (static_cast<int64_t>(window_width) * height <= static_cast<int64_t>(window_height) * width) {
        h = static_cast<int64_t>(height) * window_width / width;
    } else {
        w = static_cast<int64_t>(width) * window_height / height;
    }
    return {static_cast<int>((window_width - w) / 2), static_cast<int>((window_height - h) / 2), static_cast<int>(w),
            static_cast<int>(h)};
}

bool gl_start_picture(int width, int height)
{
    gl_end_picture();
    if (width <= 0 || height <= 0 || !load_picture_calls()) {
        return false;
    }
    const GLenum colour = colour_format();
    const GLenum depth = depth_format();
    picture.gen_framebuffers(1, &picture.framebuffer);
    picture.gen_renderbuffers(2, picture.renderbuffers);
    picture.bind_renderbuffer(GL_RENDERBUFFER, picture.renderbuffers[0]);
    picture.renderbuffer_storage(GL_RENDERBUFFER, colour, width, height);
    picture.bind_renderbuffer(GL_RENDERBUFFER, picture.renderbuffers[1]);
    picture.renderbuffer_storage(GL_RENDERBUFFER, depth, width, height);
    picture.bind_renderbuffer(GL_RENDERBUFFER, 0);
    picture.bind_framebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    picture.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, picture.renderbuffers[0]);
    picture.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, picture.renderbuffers[1]);
    if (picture.check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        gl_end_picture();
        (void)glGetError();
        return false;
    }
    picture.width = width;
    picture.height = height;
    glViewport(0, 0, width, height);
    return true;
}

void gl_end_picture()
{
    if (picture.framebuffer == 0) {
        return;
    }
    picture.bind_framebuffer(GL_FRAMEBUFFER, 0);
    picture.delete_framebuffers(1, &picture.framebuffer);
    picture.delete_renderbuffers(2, picture.renderbuffers);
    picture.framebuffer = 0;
    picture.renderbuffers[0] = picture.renderbuffers[1] = 0;
    picture.width = picture.height = 0;
}

void gl_swap_window()
{
    SDL_Window* const window = window_sdl();
    if (window == nullptr) {
        return;
    }
    if (picture.framebuffer == 0) {
        SDL_GL_SwapWindow(window);
        return;
    }
    int window_width = 0;
    int window_height = 0;
    SDL_GL_GetDrawableSize(window, &window_width, &window_height);
    const PictureFit fit = fit_picture(picture.width, picture.height, window_width, window_height);
    // The engine's state is left as it was; the scissor test would cut the
    // copy, the colour mask and clear colour the black around it.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    picture.bind_framebuffer(GL_READ_FRAMEBUFFER, picture.framebuffer);
    picture.bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
    if (fit.width != window_width || fit.height != window_height) {
        GLfloat clear[4] = {};
        GLboolean mask[4] = {};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
        glColorMask(mask[0], mask[1], mask[2], mask[3]);
    }
    const bool same_size = fit.width == picture.width && fit.height == picture.height;
    picture.blit_framebuffer(0, 0, picture.width, picture.height, fit.x, fit.y, fit.x + fit.width,
                             fit.y + fit.height, GL_COLOR_BUFFER_BIT, same_size ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(window);
    picture.bind_framebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    if (scissor == GL_TRUE) {
        glEnable(GL_SCISSOR_TEST);
    }
}

void* gl_proc_address(const char* name) { return SDL_GL_GetProcAddress(name); }

const char* gl_error_text() { return SDL_GetError(); }

} // namespace host
