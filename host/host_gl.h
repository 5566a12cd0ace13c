#pragma once
// OpenGL for the OpenGL program: the GL 1.1 declarations its renderer calls,
// and the rendering context on the application window (SDL's GL attributes
// and contexts stand in for pixel formats and WGL).
#include <GL/gl.h>

namespace host {

using GLContext = void*;

// Asks for an RGBA, double-buffered format of about colour_bits (16: 5-6-5,
// more: 8 bits a channel) with depth_bits of depth, and makes the window an
// OpenGL window with it. False (SDL's reason in gl_error_text) when there is
// no window or it can't be made.
bool gl_set_pixel_format(int colour_bits, int depth_bits);
// A new context on the window, or null.
GLContext gl_create_context();
// Makes the context current on the window; null leaves none current.
bool gl_make_current(GLContext context);
void gl_delete_context(GLContext context);
// Gives the current context a picture of width x height to draw into, with
// the window's colour and depth bits, that gl_swap_window shows over the whole
// window: scaled to fit, centred, the rest black. So the picture and what is
// read back from it keep the mode's size whatever size the window has. False
// where the driver has no framebuffer objects: drawing then goes to the window.
bool gl_start_picture(int width, int height);
// Frees the picture; call while its context is still current.
void gl_end_picture();
// Shows the picture (when there is one) and swaps the window's buffers.
void gl_swap_window();

// Where a picture of width x height lies when scaled to fit a window of
// window_width x window_height and centred; x and y from the lower left.
struct PictureFit {
    int x;
    int y;
    int width;
    int height;
};
PictureFit fit_picture(int width, int height, int window_width, int window_height);
// Null when the driver lacks the function.
void* gl_proc_address(const char* name);
// Why the last call above failed.
const char* gl_error_text();

} // namespace host
