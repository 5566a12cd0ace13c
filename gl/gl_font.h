#pragma once
// GD_Font of the OpenGL program: the font file's glyphs packed into one
// square power-of-two RGBA texture, drawn as textured quads in plain-draw
// mode (one unit a pixel). The texture lives in the texture cache and is
// built again whenever the cache dropped it.
// A pixel byte gives grey (low 5 bits x 8) and an alpha from its coverage
// class (bits 5-6: 255, 128, 64, 32), so that blending mixes it into the
// screen as the software font does; byte 0, or bit 7 set, is clear. A step
// of 0 in a class above 0 is black: the shadows of the font.
#include "gl/gl_texture_manager.h"
#include "world/font_file.h"

#include <cstdint>

// Largest atlas side (4 MB of texels): a font whose glyphs need more is
// refused.
constexpr int32_t FONT_TEXTURE_MAX = 1024;

struct FontPlace {
    float s0 = 0.0f;
    float s1 = 0.0f;
    float t0 = 0.0f;
    float t1 = 0.0f;
    int32_t x = 0; // texels of the glyph's top-left corner in the atlas
    int32_t y = 0;
};

class GD_Font {
public:
    GD_Font() = default;
    ~GD_Font() { free_data(); }
    GD_Font(const GD_Font&) = delete;
    GD_Font& operator=(const GD_Font&) = delete;

    // 1, or 0 holding nothing when the file can't be read (see FontFile) or
    // its glyphs do not fit the atlas: W = H = the smallest power of two
    // with (W - default advance) x H at least the glyphs' widths times the
    // line height, at most FONT_TEXTURE_MAX; rows from the top left, each
    // below the tallest glyph of the one before, none whose top + line height
    // passes the bottom. That refusal names the file and why.
    int load(const char* path);
    // Whether the last load failed for want of atlas room, and said so.
    bool atlas_refused() const { return atlas_refused_; }
    // Frees the glyphs and gives the texture back.
    void free_data();
    // The screen in pixels; columns and rows follow.
    void set_screen_size(int32_t width, int32_t height);
    int32_t text_width(const char* text) const { return file_.measure(text); }
    // 1 when the atlas is bound, building it when the cache dropped it.
    int make_texture();
    // Pen at pixel (x, y), in the current plain-draw projection.
    void draw_string(int32_t x, int32_t y, const char* text);

    bool loaded() const { return file_.loaded(); }
    int32_t default_advance() const { return file_.default_advance(); }
    int32_t line_height() const { return file_.line_height(); }
    int32_t columns() const { return columns_; }
    int32_t rows() const { return rows_; }
    const FontFile& file() const { return file_; }
    const FontPlace& place(int32_t code) const { return places_[code & 0xFF]; }

    GLTextureOwner owner;
    int32_t texture_width = 0;
    int32_t texture_height = 0;

private:
    // Places every glyph in rows on a W x W atlas; false when one doesn't fit.
    bool pack(int32_t side);
    int refuse_atlas();

    FontFile file_;
    int32_t screen_width_ = 0;
    int32_t screen_height_ = 0;
    int32_t columns_ = 0;
    int32_t rows_ = 0;
    bool atlas_refused_ = false;
    FontPlace places_[256];
};
