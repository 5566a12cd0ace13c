#pragma once
// Display modes too wide to draw: the mode installers leave out every mode
// wider than VIDEO_MAX_WIDTH and say so once for each size and depth.
#include <cstdint>

#include "soft/video_depth.h"
#include "soft/xmode_info.h"

class WideModeFilter {
public:
    // `title` heads the messages, as in the installer's list of modes.
    explicit WideModeFilter(const char* title) : title_(title) {}
    ~WideModeFilter();
    WideModeFilter(const WideModeFilter&) = delete;
    WideModeFilter& operator=(const WideModeFilter&) = delete;

    // True when the mode is too wide; the first time for its size and depth
    // shows "<title>: <w>x<h>x<bits>bpp skipped, wider than 8192 pixels".
    bool skip(uint32_t width, uint32_t height, int depth_index);

private:
    const char* title_;
    XModeInfo* reported_[VIDEO_DEPTHS] = {};
};
