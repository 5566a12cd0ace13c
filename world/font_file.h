#pragma once
// "GD_Font" files as both programs read them: "GD_Font\0", then bytes:
// first, last, two line-height parts, default advance; five bytes a glyph
// (x offset, y offset, width, height, spacing); then every glyph's pixels,
// rows top first. A pixel byte is a coverage code: the low 5 bits a step of
// brightness, bits 5-6 how much of it covers the pixel underneath.
#include <cstdint>

struct FontGlyph {
    int32_t x_offset; // of the top-left pixel from the pen
    int32_t y_offset;
    int32_t width;
    int32_t height;
    int32_t advance;  // x offset + width + spacing
    const uint8_t* pixels;
};

class FontFile {
public:
    FontFile() = default;
    ~FontFile() { free(); }
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;

    // 1, or 0 holding nothing when the file is missing, is not a font, is cut
    // short, holds a last character below the first or a line height of 0,
    // or no memory.
    int load(const char* path);
    void free();

    bool loaded() const { return glyphs_ != nullptr; }
    const FontGlyph* glyph(int32_t code) const
    {
        return glyphs_ != nullptr && code >= first_ && code <= last_ ? &glyphs_[code - first_] : nullptr;
    }
    // The width the pen moves across the text: glyph advances, the default
    // advance for bytes without a glyph.
    int32_t measure(const char* text) const;

    int32_t first() const { return first_; }
    int32_t last() const { return last_; }
    int32_t default_advance() const { return default_advance_; }
    int32_t line_height() const { return line_height_; }

private:
    int32_t first_ = 0;
    int32_t last_ = 0;
    int32_t default_advance_ = 0;
    int32_t line_height_ = 0;
    FontGlyph* glyphs_ = nullptr;
    uint8_t* pixels_ = nullptr;
};
