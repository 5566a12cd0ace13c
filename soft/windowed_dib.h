#pragma once
// WindowedDIB: the frame buffer shown in the application window, at sizes
// that fit the desktop.
#include "soft/video_dib.h"

constexpr int WINDOWED_SIZES = 8;

class WindowedDIB final : public VideoDIB {
public:
    WindowedDIB(int32_t xscale, int32_t yscale);
    ~WindowedDIB() override;

    // Sizes in frame-buffer pixels; 0 x 0 gives the default size, one 0 the
    // other side for a 4:3 window.
    int init_mode(int32_t width, int32_t height) override;

    int32_t default_width;
    int32_t default_height;
    VideoModeRecord mode_table[WINDOWED_SIZES] = {};
};

// The three windowed rows ("WIN", "WIN_V", "WIN_D"), which the software
// program's registry lists first; 1, or 0 when the registry is full.
int windowed_dib_install();
// The registry back to the three windowed rows alone; for a fresh start.
void video_reset_registry();
