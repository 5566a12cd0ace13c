#include "soft/ddraw_mode.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "platform/video_platform.h"
#include "soft/ddraw_devices.h"
#include "soft/ddraw_errors.h"

#include <new>

using namespace host::ddraw;

namespace {

ConfigVariable* mmx_variable = nullptr;

ConfigVariable* link_mmx()
{
    if (mmx_variable == nullptr && cvar_list != nullptr) {
        mmx_variable = cvar_list->link(CVTYPE_BOOL, 0x100, "MMX", "True", 0);
    }
    return mmx_variable;
}

int32_t bytes_per_pixel(int depth_index) { return depth_index == 1 ? 3 : depth_index == 0 ? 4 : 2; }

} // namespace

void release_mmx_variable()
{
    if (mmx_variable != nullptr && cvar_list != nullptr) {
        cvar_list->release(mmx_variable);
    }
    mmx_variable = nullptr;
}

VideoDDraw::VideoDDraw(int device_number, int depth, int laced_flag)
    : device(device_number), depth_index(depth), laced(laced_flag)
{
    if (device < 0 || device >= ddraw_device_count || depth < 0 || depth >= DDRAW_DEPTHS ||
        ddraw_devices[device].ddraw == nullptr) {
        return; // no sizes: the registry deletes the object
    }
    // Linked only while the devices are installed, so that the shutdown's
    // release leaves no link behind.
    ConfigVariable* const mmxVariable = link_mmx();
    K_ASSERT(mmxVariable);
    const DDrawDevice& d = ddraw_devices[device];
    ddraw_ = d.ddraw;
    modes = XModeInfo::convert_to_array(d.modes[depth]);
    if (modes == nullptr) {
        return;
    }
    mode_count = XModeInfo::count(d.modes[depth]);
    if (laced != 0) {
        for (int32_t i = 0; i < mode_count; ++i) {
            modes[i].height /= 2;
        }
    }
    const Result r = ddraw_->set_cooperative_level(video_window_handle(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    if (r != DD_OK) {
        video_show_error("DirectDraw::SetCooperativeLevel()", ddraw_error_text(r));
    }
}

VideoDDraw::~VideoDDraw()
{
    close_mode();
    if (ddraw_ != nullptr && mode_count != 0) {
        (void)ddraw_->restore_display_mode();
        (void)ddraw_->set_cooperative_level(video_window_handle(), DDSCL_NORMAL);
    }
    delete[] modes;
    modes = nullptr;
}

int VideoDDraw::init_mode(int32_t width, int32_t height)
{
    close_mode();
    if (ddraw_ == nullptr) {
        return 0;
    }
    const uint32_t lines = static_cast<uint32_t>(laced) + 1u;
    const XModeInfo* const record = XModeInfo::find_best(ddraw_devices[device].modes[depth_index],
                                                         static_cast<uint32_t>(width),
                                                         static_cast<uint32_t>(height) * lines);
    if (record == nullptr) {
        return 0;
    }
    xres = static_cast<int32_t>(record->width);
    yres = static_cast<int32_t>(record->height / lines);
    if (xres <= 0 || yres <= 0) {
        // A mode too small to hold one frame-buffer row.
        xres = 0;
        yres = 0;
        return 0;
    }
    return depth_index == 0 ? direct_setup(*record) : converting_setup(*record);
}

int VideoDDraw::fail(const char* title, Result r)
{
    video_show_error(title, ddraw_error_text(r));
    close_mode();
    return 0;
}

int VideoDDraw::set_display(const XModeInfo& record)
{
    const uint32_t refresh = static_cast<const DDrawModeInfo&>(record).refresh;
    Result r = ddraw_->set_display_mode(record.width, record.height, DEPTH_BITS[depth_index], refresh, 0);
    if (r != DD_OK) {
        return fail("DirectDraw::SetDisplayMode()", r);
    }
    SurfaceDesc desc = {};
    desc.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.back_buffer_count = 1;
    desc.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    r = ddraw_->create_surface(&desc, &primary_surface, nullptr);
    if (r != DD_OK) {
        primary_surface = nullptr;
        return fail("DirectDraw::CreateSurface()", r);
    }
    r = primary_surface->get_attached_surface(DDSCAPS_BACKBUFFER, &back_surface);
    if (r != DD_OK) {
        back_surface = nullptr;
        return fail("DirectDrawSurface::GetAttachedSurface()", r);
    }
    return 1;
}

int VideoDDraw::direct_setup(const XModeInfo& record)
{
    pages = record.pages;
    direct = record.direct;
    mode_index = 0;
    if (set_display(record) == 0) {
        return 0;
    }
    rgb_layout[0] = 16;
    rgb_layout[1] = 8;
    rgb_layout[2] = 0;
    rgb_layout[3] = 24;
    line_width = xres * (laced + 1);
    scratch_row_ = new (std::nothrow) uint32_t[static_cast<size_t>(xres)];
    if (scratch_row_ == nullptr) {
        return fail("VideoDDraw::init_mode()", DDERR_OUTOFMEMORY);
    }
    if (init_line_offsets() == 0) {
        close_mode();
        return 0;
    }
    framebuffer = scratch_row_;
    return video_set_window_mode(static_cast<int>(record.width), static_cast<int>(record.height), 1) == 0 ? 1 : 0;
}

int VideoDDraw::converting_setup(const XModeInfo& record)
{
    pages = 2;
    direct = 0;
    mode_index = 0;
    if (set_display(record) == 0) {
        return 0;
    }
    shadow_buffer = new (std::nothrow) uint32_t[static_cast<size_t>(xres) * static_cast<size_t>(yres)];
    if (shadow_buffer == nullptr) {
        return fail("VideoDDraw::init_mode()", DDERR_OUTOFMEMORY);
    }
    PixelFormat format = {};
    const Result r = primary_surface->get_pixel_format(&format);
    if (r != DD_OK) {
        return fail("DirectDrawSurface::GetPixelFormat()", r);
    }
    analyse_channels(format.red_mask, format.green_mask, format.blue_mask, bytes_per_pixel(depth_index), rgb_layout);
    converters_ = converter_pair;
    line_width = xres;
    if (init_line_offsets() == 0) {
        close_mode();
        return 0;
    }
    framebuffer = shadow_buffer;
    return video_set_window_mode(static_cast<int>(record.width), static_cast<int>(record.height), 1) == 0 ? 1 : 0;
}

int VideoDDraw::begin_frame()
{
    if (mode_index == -1) {
        return 0;
    }
    if (depth_index != 0) {
        framebuffer = shadow_buffer;
        return 0;
    }
    SurfaceDesc desc = {};
    const Result r = locked_ ? DDERR_SURFACEBUSY : back_surface->lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    locked_ = locked_ || r == DD_OK;
    const int64_t pitch_pixels = static_cast<int64_t>(laced + 1) * desc.pitch / 4;
    if (r != DD_OK || desc.surface == nullptr || pitch_pixels < xres ||
        static_cast<int64_t>(desc.height) < static_cast<int64_t>(yres) * (laced + 1)) {
        // Drawn but never shown.
        framebuffer = scratch_row_;
        line_width = 0;
    } else {
        framebuffer = static_cast<uint32_t*>(desc.surface);
        line_width = static_cast<int32_t>(pitch_pixels);
    }
    if (yres > 1 && line_offset[1] != line_width) {
        for (int32_t y = 0; y < yres; ++y) {
            line_offset[y] = y * line_width;
        }
    }
    return 0;
}

void VideoDDraw::present(const VideoRect&) {}

void VideoDDraw::convert_frame()
{
    SurfaceDesc desc = {};
    if (back_surface->lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) {
        return;
    }
    const int64_t row_bytes = static_cast<int64_t>(xres) * bytes_per_pixel(depth_index);
    const int64_t step = static_cast<int64_t>(laced + 1) * desc.pitch;
    if (desc.surface != nullptr && desc.pitch > 0 && step >= row_bytes &&
        static_cast<int64_t>(desc.height) >= static_cast<int64_t>(yres) * (laced + 1)) {
        ConfigVariable* const mmx = link_mmx();
        const PixelConverter convert = mmx != nullptr && mmx->is_true() ? converters_.mmx : converters_.plain;
        convert(shadow_buffer, static_cast<uint8_t*>(desc.surface), xres, yres, static_cast<int32_t>(step - row_bytes),
                0, 0);
    }
    (void)back_surface->unlock(nullptr);
}

void VideoDDraw::end_frame()
{
    if (mode_index == -1) {
        return;
    }
    if (depth_index == 0) {
        if (locked_) {
            (void)back_surface->unlock(nullptr);
            locked_ = false;
        }
    } else {
        convert_frame();
    }
    (void)primary_surface->flip(nullptr, DDFLIP_WAIT);
}

void VideoDDraw::close_mode()
{
    if (mode_index != -1) {
        video_show_cursor();
        if (locked_ && back_surface != nullptr) {
            (void)back_surface->unlock(nullptr);
        }
        locked_ = false;
        if (primary_surface != nullptr) {
            (void)primary_surface->release();
        }
        primary_surface = nullptr;
        back_surface = nullptr;
        delete[] shadow_buffer;
        shadow_buffer = nullptr;
        delete[] scratch_row_;
        scratch_row_ = nullptr;
        reset_mode_fields();
    }
    mode_index = -1;
}
