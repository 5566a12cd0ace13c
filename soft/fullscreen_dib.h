#pragma once
// FullScreenDIB: switches the display to a full-screen mode of one pixel
// depth and shows the frame buffer in the borderless window. The installer
// lists the display's modes by depth and registers the twelve drivers.
#include "soft/video_dib.h"
#include "soft/xmode_info.h"

class FullScreenDIB final : public VideoDIB {
public:
    FullScreenDIB(int32_t depth_index, int32_t xscale, int32_t yscale);
    // Returns the display to the desktop's mode.
    ~FullScreenDIB() override;

    int init_mode(int32_t width, int32_t height) override;

    int32_t depth_index;
};

// Lists the full-screen modes and registers the drivers of each depth that
// has some; 0 when memory runs out.
int fullscreen_dib_install();
void fullscreen_dib_uninstall();
// The modes of a depth index (0..3 for 32, 24, 16, 15 bits): FullScreenModeInfo records.
const XModeInfo* fullscreen_mode_list(int depth_index);
