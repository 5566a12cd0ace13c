#pragma once
// KVideoMode: one video mode with its 32-bit frame buffer. Drawing code finds
// pixel (x, y) at framebuffer + line_offset[y] + x, reads framebuffer again
// after every begin_frame, and shifts colour bytes by rgb_layout.
#include <cstdint>

// The widest frame buffer the engine draws, in pixels: the drawers' line
// buffers are sized for it. Wider display modes are left out of the
// full-screen and DirectDraw lists (8192 holds every display up to 8K UHD).
constexpr int32_t VIDEO_MAX_WIDTH = 8192;

// One size a mode object can be set to.
struct VideoModeRecord {
    int32_t width;
    int32_t height;
    int32_t direct;
    int32_t pages;
};

// A rectangle of the frame buffer; x1 and y1 exclusive.
struct VideoRect {
    int32_t x0;
    int32_t x1;
    int32_t y0;
    int32_t y1;
};

class KVideoMode {
public:
    KVideoMode();
    virtual ~KVideoMode();
    KVideoMode(const KVideoMode&) = delete;
    KVideoMode& operator=(const KVideoMode&) = delete;

    // Sets up a frame buffer of about width x height (0 = the driver's
    // default); always closes the previous mode first. 1 on success.
    virtual int init_mode(int32_t width, int32_t height) = 0;
    virtual void close_mode() = 0;
    // Makes framebuffer valid for the frame; 1 when the whole screen must be presented.
    virtual int begin_frame() = 0;
    virtual void present(const VideoRect& rect) = 0;
    // Modes that keep no frame buffer between frames have nothing to do here.
    virtual void end_frame() {}

    // Writes 0 to the first xres pixels of every row.
    void clear();
    // line_offset[y] = y * line_width; 1 on success.
    int init_line_offsets();
    void free_line_offsets();
    // Frees line_offset and sets xres, yres, pages, line_width and framebuffer to 0.
    void reset_mode_fields();
    // line_width * yres pixels of the mode's own; 1 on success.
    int alloc_framebuffer();

    VideoModeRecord* modes = nullptr;
    int32_t mode_count = 0;
    int32_t mode_index = -1;
    int32_t xres = 0;
    int32_t yres = 0;
    int32_t direct = 0;
    int32_t pages = 0;
    int32_t line_width = 0; // in pixels
    int32_t* line_offset = nullptr;
    uint8_t rgb_layout[4] = {16, 8, 0, 24};
    uint32_t* framebuffer = nullptr;
};
