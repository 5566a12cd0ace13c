#pragma once
// VideoDIB: the frame buffer is the pixel memory of a device-independent
// bitmap, and each changed rectangle is stretched into the window, doubling
// pixels when the mode asks for it.
#include "platform/video_mode.h"

// The bitmap description: a top-down 32-bit bitmap when height is negative.
struct BitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bit_count;
    uint32_t compression;
    uint32_t size_image;
    int32_t x_pels_per_meter;
    int32_t y_pels_per_meter;
    uint32_t clr_used;
    uint32_t clr_important;
};

struct BitmapInfo {
    BitmapInfoHeader header;
    uint32_t colors[1];
};

class VideoDIB : public KVideoMode {
public:
    VideoDIB(int32_t xscale, int32_t yscale);
    ~VideoDIB() override;

    int begin_frame() override;
    void present(const VideoRect& rect) override;
    void end_frame() override;
    void close_mode() override;

    // A bitmap of xres x yres as the frame buffer; 1 on success.
    int create_dib();
    // Shapes the window for the scaled frame buffer and clears it; 1 on success.
    int show_in_window(int fullscreen);
    void release_dib();

    uint32_t* dib_section = nullptr; // the bitmap's pixel memory, 64-byte aligned
    BitmapInfo* bitmap_info = nullptr;
    int32_t xscale;
    int32_t yscale;
};

// Copies a source rectangle of a top-down bitmap to the window at a destination
// rectangle; source y counts from the bitmap's bottom row. False when
// nothing could be shown.
bool stretch_dib_bits(int32_t dest_x, int32_t dest_y, int32_t dest_width, int32_t dest_height, int32_t src_x,
                      int32_t src_y, int32_t src_width, int32_t src_height, const uint32_t* bits,
                      const BitmapInfo* info);
