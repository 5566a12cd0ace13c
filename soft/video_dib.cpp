#include "soft/video_dib.h"

#include "host/host_window.h"
#include "platform/video_platform.h"

#include <cstddef>
#include <new>

static_assert(sizeof(BitmapInfoHeader) == 40 && sizeof(BitmapInfo) == 44);

namespace {

constexpr std::align_val_t DIB_ALIGNMENT{64};

} // namespace

VideoDIB::VideoDIB(int32_t x, int32_t y) : xscale(x), yscale(y) {}

VideoDIB::~VideoDIB() { release_dib(); }

int VideoDIB::create_dib()
{
    bitmap_info = new (std::nothrow) BitmapInfo{};
    if (bitmap_info == nullptr) {
        video_show_error("VideoDIB::create_dib()", "Allocation failed");
        return 0;
    }
    BitmapInfoHeader& h = bitmap_info->header;
    h.size = 40;
    h.width = xres;
    h.height = -yres;
    h.planes = 1;
    h.bit_count = 32;
    h.compression = 0;
    h.size_image = 0;
    h.x_pels_per_meter = 100;
    h.y_pels_per_meter = 100;
    h.clr_used = 0;
    h.clr_important = 0;
    if (xres > 0 && yres > 0) {
        const size_t pixels = static_cast<size_t>(xres) * static_cast<size_t>(yres);
        dib_section = new (DIB_ALIGNMENT, std::nothrow) uint32_t[pixels];
    }
    if (dib_section == nullptr) {
        video_show_error("VideoDIB::create_dib()", "CreateDIBSection() failed");
        return 0;
    }
    framebuffer = dib_section;
    line_width = xres;
    return init_line_offsets();
}

int VideoDIB::show_in_window(int fullscreen)
{
    if (video_set_window_mode(xres * xscale, yres * yscale, fullscreen) != 0) {
        return 0;
    }
    clear();
    return 1;
}

void VideoDIB::release_dib()
{
    if (dib_section != nullptr) {
        ::operator delete[](dib_section, DIB_ALIGNMENT);
        dib_section = nullptr;
    }
    delete bitmap_info;
    bitmap_info = nullptr;
}

int VideoDIB::begin_frame() { return video_take_repaint(); }

void VideoDIB::present(const VideoRect& r)
{
    if (dib_section == nullptr) {
        return;
    }
    (void)stretch_dib_bits(xscale * r.x0, yscale * r.y0, xscale * (r.x1 - r.x0), yscale * (r.y1 - r.y0), r.x0,
                           yres - r.y1, r.x1 - r.x0, r.y1 - r.y0, framebuffer, bitmap_info);
}

void VideoDIB::end_frame() {}

void VideoDIB::close_mode()
{
    if (mode_index != -1) {
        video_show_cursor();
        release_dib();
        reset_mode_fields();
    }
    mode_index = -1;
}

bool stretch_dib_bits(int32_t dest_x, int32_t dest_y, int32_t dest_width, int32_t dest_height, int32_t src_x,
                      int32_t src_y, int32_t src_width, int32_t src_height, const uint32_t* bits,
                      const BitmapInfo* info)
{
    if (bits == nullptr || info == nullptr || src_width <= 0 || src_height <= 0 || dest_width <= 0 ||
        dest_height <= 0 || info->header.bit_count != 32 || info->header.height >= 0) {
        return false;
    }
    const int32_t width = info->header.width;
    const int32_t height = -info->header.height;
    // Source y counts from the bottom row, which a top-down bitmap stores last.
    const int32_t top = height - src_y - src_height;
    if (src_x < 0 || src_x + src_width > width || top < 0 || top + src_height > height) {
        return false;
    }
    const int32_t xscale = dest_width / src_width;
    const int32_t yscale = dest_height / src_height;
    if (xscale < 1 || yscale < 1 || dest_x != src_x * xscale || dest_y != top * yscale) {
        // The window shows whole-number stretches of the bitmap in place only.
        return false;
    }
    return host::window_present(bits, width, src_x, src_x + src_width, top, top + src_height, xscale, yscale);
}
