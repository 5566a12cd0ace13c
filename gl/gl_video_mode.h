#pragma once
// The OpenGL program's video modes: the application window with an OpenGL
// context current on it, windowed ("WIN") or full screen ("FS"). Colours
// are laid out red in the lowest byte, as the uploads pass them to GL.
#include "gl/gl_display_modes.h"
#include "host/host_gl.h"
#include "platform/video_mode.h"

// The window title of the OpenGL program.
constexpr const char* GL_SYSTEM_NAME = "OpenGL / Win32";

namespace KavrinVideo {

// An RGBA double-buffered pixel format for the window; 1, or 0 after a message.
int set_pixel_format(int colour_bits, int depth_bits);

} // namespace KavrinVideo

class KVideoMode_Win : public KVideoMode {
public:
    KVideoMode_Win();
    ~KVideoMode_Win() override;

    // 0 x 0 gives 640 x 480, a height of 0 the 4:3 height; any size is taken.
    int init_mode(int32_t width, int32_t height) override;
    void close_mode() override;
    // The whole screen is drawn and presented every frame.
    int begin_frame() override { return 1; }
    // Swaps the buffers; the rectangle is always the whole screen.
    void present(const VideoRect& rect) override;

    // The listed size that covers width x height with the least area (the
    // later of equal ones), copied into the mode; its index, or -1.
    int select_mode(int32_t width, int32_t height);

    host::GLContext context = nullptr;

protected:
    // A mode-info table of count sizes, direct and double-buffered; the
    // count stays 0 (after a message) when it can't be allocated.
    KVideoMode_Win(int32_t count, const char* site);
    // Creates the context and makes it current; 1, or 0 after a message.
    int start_context(const char* site);
};

class KVideoMode_FS final : public KVideoMode_Win {
public:
    // The sizes of the display mode list.
    KVideoMode_FS();
    // Gives the desktop its own display mode back.
    ~KVideoMode_FS() override;

    // The smallest listed size that covers the request (0 x 0: 640 x 480),
    // in a new window with the display switched to it.
    int init_mode(int32_t width, int32_t height) override;

private:
    // The display modes behind the sizes, copied at creation.
    GLDisplayMode* displays_ = nullptr;
};
