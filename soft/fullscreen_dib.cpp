#include "soft/fullscreen_dib.h"

#include "host/host_display.h"
#include "platform/video_platform.h"
#include "soft/video_depth.h"

FullScreenDIB::FullScreenDIB(int32_t depth, int32_t x, int32_t y) : VideoDIB(x, y), depth_index(depth)
{
    const XModeInfo* const list = fullscreen_mode_list(depth);
    modes = XModeInfo::convert_to_array(list);
    if (modes == nullptr) {
        return;
    }
    mode_count = XModeInfo::count(list);
    for (int32_t i = 0; i < mode_count; ++i) {
        modes[i].width /= xscale;
        modes[i].height /= yscale;
    }
}

FullScreenDIB::~FullScreenDIB()
{
    if (mode_count != 0) {
        (void)host::change_display_settings(nullptr, 0, 0);
    }
    close_mode();
    delete[] modes;
    modes = nullptr;
}

int FullScreenDIB::init_mode(int32_t width, int32_t height)
{
    close_mode();
    const uint32_t xs = static_cast<uint32_t>(xscale);
    const uint32_t ys = static_cast<uint32_t>(yscale);
    const XModeInfo* const best = XModeInfo::find_best(fullscreen_mode_list(depth_index),
                                                       static_cast<uint32_t>(width) * xs,
                                                       static_cast<uint32_t>(height) * ys);
    if (best == nullptr) {
        return 0;
    }
    const FullScreenModeInfo& record = *static_cast<const FullScreenModeInfo*>(best);
    xres = static_cast<int32_t>(record.width / xs);
    yres = static_cast<int32_t>(record.height / ys);
    if (xres <= 0 || yres <= 0) {
        xres = 0;
        yres = 0;
        return 0;
    }
    pages = record.pages;
    direct = record.direct;
    mode_index = 0;
    if (create_dib() == 0) {
        close_mode();
        return 0;
    }
    host::DisplayMode mode = {};
    uint32_t fields = 0;
    if (record.enum_index >= 0) {
        if (!host::enum_display_settings(static_cast<uint32_t>(record.enum_index), mode)) {
            video_show_error("FullScreenDIB::init_mode()", "EnumDisplaySettings() failed");
            close_mode();
            return 0;
        }
        fields = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT | host::DM_DISPLAYFLAGS |
                 host::DM_DISPLAYFREQUENCY;
    } else {
        mode.width = record.width;
        mode.height = record.height;
        mode.bits_per_pixel = DEPTH_BITS[depth_index];
        fields = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT;
    }
    if (host::change_display_settings(&mode, fields, host::CDS_FULLSCREEN) != host::DISP_CHANGE_SUCCESSFUL) {
        video_show_error("FullScreenDIB::init_mode()", "ChangeDisplaySettings() failed");
        close_mode();
        return 0;
    }
    return show_in_window(1);
}
