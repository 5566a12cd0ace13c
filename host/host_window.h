#pragma once
// The one application window.
//
// Shape of this interface (kept stable for the video drivers):
//   window_open / window_close / window_exists  - life of the window;
//   window_sdl()                                - the SDL window, for GL contexts (null when closed);
//   window_recreate_opengl()                    - from now on windows are OpenGL windows (host_gl.h);
//   window_set_shape(w, h, full_screen)         - client area w x h at (0, 0); full screen: borderless, top-most
//                                                 (an OpenGL window then covers the desktop);
//   window_client_rect(x, y, w, h)              - client area in screen pixels;
//   window_present(...)                         - copies a rectangle of a 32-bit frame buffer (0x00RRGGBB)
//                                                 into the window, each pixel xscale x yscale screen pixels;
//   window_set_repaint / window_take_repaint    - the repaint-request flag (set when the window is exposed,
//                                                 read and cleared by the video modes' begin_frame);
//   request_quit / take_quit_request            - closing the window asks the engine to quit.
// Win32Sys::set_window_mode (platform/win32_sys.h) is the engine-level call the video modes use.
#include <cstdint>

struct SDL_Window;

namespace host {

// Opens the window, shown, at the default position. False (window left closed)
// when the video subsystem cannot start (init_failed set) or the window cannot be created.
bool window_open(const char* title, int width, int height, bool& init_failed);
void window_close();
bool window_exists();
SDL_Window* window_sdl();
// Makes this and every later window an OpenGL window, taking the GL
// attributes set so far; the open window is replaced by a new one of the same
// title, place and size. False when there is no window or the video driver
// can't make an OpenGL one (a plain window then takes the old one's place).
bool window_recreate_opengl();

// False when a window call fails or there is no window. A full-screen OpenGL
// window takes the desktop's size, whatever size is asked for: the display
// keeps its mode, and the OpenGL picture is scaled over the window. An OpenGL
// window that changes size is made again (see window_recreate_opengl), so that its
// drawing surface has the new size.
bool window_set_shape(int width, int height, bool full_screen);
bool window_client_rect(int& x, int& y, int& width, int& height);

// Rectangle [x0, x1) x [y0, y1) in frame-buffer pixels; line_width is the
// pixels from one frame-buffer line to the next. Parts outside the window are cut.
bool window_present(const uint32_t* framebuffer, int line_width, int x0, int x1, int y0, int y1, int xscale,
                    int yscale);

void window_set_repaint();
// Returns whether the flag was set, and clears it.
bool window_take_repaint();

// Keeps the video system started while it lives, so that closing the window
// and opening a new one does not restart it (and reconnect to the display).
class VideoKeeper {
public:
    VideoKeeper();
    ~VideoKeeper();
    VideoKeeper(const VideoKeeper&) = delete;
    VideoKeeper& operator=(const VideoKeeper&) = delete;

private:
    bool held_ = false;
};

void request_quit();
// Returns whether a quit was asked for since the last call, and clears it.
bool take_quit_request();

} // namespace host
