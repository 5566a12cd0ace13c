#pragma once
// Writes "GD_Font" files: the magic, five header bytes (first, last, two
// line-height parts, default advance), five bytes a glyph (x offset, y
// offset, width, height, spacing) and every glyph's pixel codes.
#include <cstdint>
#include <vector>

namespace tools {

struct GlyphDesign {
    uint8_t x_offset = 0;
    uint8_t y_offset = 0;
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t spacing = 0;
    std::vector<uint8_t> pixels; // width x height codes, rows top first
};

struct FontDesign {
    uint8_t first = 0;
    uint8_t last = 0;
    uint8_t height_top = 0;
    uint8_t height_bottom = 0;
    uint8_t default_advance = 0;
    std::vector<GlyphDesign> glyphs; // first..last
};

// The file's bytes; glyphs are written as given, even when their count or
// pixels disagree with the header (for damaged fonts in tests).
std::vector<uint8_t> font_bytes(const FontDesign& font);

} // namespace tools
