#include "soft/windowed_dib.h"

#include "platform/video_platform.h"
#include "platform/video_registry.h"

namespace {

constexpr int32_t WINDOWED_SIZE_TABLE[WINDOWED_SIZES][2] = {
    {160, 120}, {320, 240}, {400, 300}, {512, 384}, {640, 480}, {720, 540}, {800, 600}, {1024, 768},
};

constexpr uint32_t MAX_WIDTH = 1024;

} // namespace

WindowedDIB::WindowedDIB(int32_t x, int32_t y) : VideoDIB(x, y), default_width(320 / x), default_height(240 / y)
{
    modes = mode_table;
    for (const auto& size : WINDOWED_SIZE_TABLE) {
        if (size[0] > desktop_width || size[1] > desktop_height) {
            break;
        }
        mode_table[mode_count++] = {size[0] / xscale, size[1] / yscale, 0, 1};
    }
}

WindowedDIB::~WindowedDIB()
{
    close_mode();
    modes = nullptr;
}

int WindowedDIB::init_mode(int32_t width, int32_t height)
{
    close_mode();
    uint32_t w = static_cast<uint32_t>(width);
    uint32_t h = static_cast<uint32_t>(height);
    const uint32_t xs = static_cast<uint32_t>(xscale);
    const uint32_t ys = static_cast<uint32_t>(yscale);
    if (w > MAX_WIDTH) {
        w = MAX_WIDTH;
    }
    if (w == 0 && h == 0) {
        w = static_cast<uint32_t>(default_width);
        h = static_cast<uint32_t>(default_height);
    } else if (w == 0) {
        w = (4u * ys * h) / (3u * xs);
    } else if (h == 0) {
        h = (3u * xs * w) / (4u * ys);
    }
    w = (w + 7u) & ~7u;
    h = (h + 3u) & ~3u;
    if (w == 0) {
        w = 8;
    }
    if (h == 0) {
        h = 4;
    }
    const uint32_t dw = desktop_width > 0 ? static_cast<uint32_t>(desktop_width) : 0u;
    const uint32_t dh = desktop_height > 0 ? static_cast<uint32_t>(desktop_height) : 0u;
    xres = static_cast<int32_t>(w < dw ? w : dw);
    yres = static_cast<int32_t>(h < dh ? h : dh);
    if (xres == 0 || yres == 0) {
        xres = 0;
        yres = 0;
        return 0;
    }
    pages = 1;
    mode_index = 0;
    if (create_dib() == 0) {
        close_mode();
        return 0;
    }
    return show_in_window(0);
}
