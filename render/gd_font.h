#pragma once
// GD_Font: the software font. Glyphs are small 8-bit images whose bytes are
// coverage codes: the low 5 bits pick a step of a 32-step colour ramp, the
// range picks how the step is mixed into the frame-buffer pixel (opaque,
// half, quarter, eighth); 0 and 128-255 draw nothing.
// The file is read by FontFile (world/font_file.h).
#include "world/font_file.h"

#include <cstdint>

constexpr int FONT_RAMP_STEPS = 32;
constexpr int FONT_RAMP_ENTRIES = 128;

class GD_Font {
public:
    GD_Font() = default;
    ~GD_Font() = default;
    GD_Font(const GD_Font&) = delete;
    GD_Font& operator=(const GD_Font&) = delete;

    // 1, or 0 when the file is missing, is not a font, is cut short, holds a
    // last character below the first or a line height of 0, or no memory.
    int load(const char* path) { return file_.load(path); }
    // The frame: width and height in pixels, the line offsets (pixels from
    // the buffer's start to each line) and the ramp's colour (step 16).
    void set_target(int32_t width, int32_t height, const int32_t* line_offset, uint32_t colour);
    // Pen starts at pixel (x, y); no pixel outside the frame is written.
    void draw_string(uint32_t* frame, int32_t x, int32_t y, const char* text) const;
    // The width draw_string moves the pen across the text.
    int32_t measure(const char* text) const { return file_.measure(text); }
    void free() { file_.free(); }

    bool loaded() const { return file_.loaded(); }
    int32_t first() const { return file_.first(); }
    int32_t last() const { return file_.last(); }
    int32_t default_advance() const { return file_.default_advance(); }
    int32_t line_height() const { return file_.line_height(); }
    const FontGlyph* glyph(int32_t code) const { return file_.glyph(code); }
    uint32_t ramp(int v) const { return ramp_[v & (FONT_RAMP_ENTRIES - 1)]; }

private:
    void draw_glyph(uint32_t* frame, const FontGlyph& g, int64_t pen_x, int64_t pen_y) const;

    FontFile file_;
    int32_t right_limit_ = 0;
    int32_t bottom_limit_ = 0;
    const int32_t* line_offset_ = nullptr;
    uint32_t ramp_[FONT_RAMP_ENTRIES] = {};
};

// Per byte k: (a_k x wa + b_k x wb) >> s.
uint32_t font_mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, int s);
