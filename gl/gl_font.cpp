#include "gl/gl_font.h"

#include "core/kassert.h"
#include "core/print.h"
#include "gl/gl_bind.h"
#include "gl/gl_rgba_image.h"
#include "host/host_gl.h"

#include <algorithm>

namespace {

constexpr uint8_t COVERAGE_ALPHA[4] = {255, 128, 64, 32};

uint32_t font_texel(uint8_t p)
{
    if (p == 0 || p >= 0x80) {
        return 0;
    }
    const uint32_t grey = static_cast<uint32_t>(p * 8) & 0xFF;
    return grey | grey << 8 | grey << 16 | static_cast<uint32_t>(COVERAGE_ALPHA[(p >> 5) & 3]) << 24;
}

} // namespace

int GD_Font::load(const char* path)
{
    free_data();
    atlas_refused_ = false;
    if (file_.load(path) == 0) {
        return 0;
    }
    int64_t area = 0;
    for (int32_t c = file_.first(); c <= file_.last(); ++c) {
        area += static_cast<int64_t>(file_.glyph(c)->width) * file_.line_height();
    }
    // The atlas leaves a default width free on each row of its guess.
    int32_t side = 1;
    while (static_cast<int64_t>(side - file_.default_advance()) * side < area) {
        if (side >= FONT_TEXTURE_MAX) {
            print_format(P_ERROR, "GD_Font: '%s' needs an atlas larger than %d x %d texels", path,
                         FONT_TEXTURE_MAX, FONT_TEXTURE_MAX);
            return refuse_atlas();
        }
        side *= 2;
    }
    if (!pack(side)) {
        print_format(P_ERROR, "GD_Font: the glyphs of '%s' do not fit its atlas of %d x %d texels", path, side,
                     side);
        return refuse_atlas();
    }
    texture_width = side;
    texture_height = side;
    owner.set_size(2 * side * side);
    set_screen_size(screen_width_, screen_height_);
    return 1;
}

int GD_Font::refuse_atlas()
{
    file_.free();
    atlas_refused_ = true;
    return 0;
}

bool GD_Font::pack(int32_t side)
{
    int32_t x = 0;
    int32_t y = 0;
    int32_t tallest = 0; // of the row so far
    const float inverse = 1.0f / static_cast<float>(side);
    for (int32_t c = file_.first(); c <= file_.last(); ++c) {
        const FontGlyph& g = *file_.glyph(c);
        if (x + g.width > side) {
            x = 0;
            y += tallest;
            tallest = 0;
        }
        // A row must hold a line; no glyph may reach past the atlas either.
        if (y + file_.line_height() > side || g.width > side || y + g.height > side) {
            return false;
        }
        FontPlace& p = places_[c];
        p.x = x;
        p.y = y;
        p.s0 = static_cast<float>(x) * inverse;
        p.s1 = static_cast<float>(x + g.width) * inverse;
        p.t0 = static_cast<float>(y) * inverse;
        p.t1 = static_cast<float>(y + g.height) * inverse;
        x += g.width;
        tallest = std::max(tallest, g.height);
    }
    return true;
}

void GD_Font::free_data()
{
    owner.release();
    file_.free();
    texture_width = 0;
    texture_height = 0;
}

void GD_Font::set_screen_size(int32_t width, int32_t height)
{
    screen_width_ = width;
    screen_height_ = height;
    columns_ = file_.default_advance() > 0 ? width / file_.default_advance() : 0;
    rows_ = file_.line_height() > 0 ? height / file_.line_height() : 0;
}

int GD_Font::make_texture()
{
    if (!file_.loaded()) {
        return 0;
    }
    return bind_rgba_image(owner, texture_width, texture_height, GLTEX_FONT, [this](uint32_t* image) {
        for (int32_t c = file_.first(); c <= file_.last(); ++c) {
            const FontGlyph& g = *file_.glyph(c);
            const FontPlace& p = places_[c];
            for (int32_t row = 0; row < g.height; ++row) {
                uint32_t* const to = image + static_cast<size_t>(p.y + row) * texture_width + p.x;
                const uint8_t* const from = g.pixels + static_cast<size_t>(row) * g.width;
                for (int32_t column = 0; column < g.width; ++column) {
                    to[column] = font_texel(from[column]);
                }
            }
        }
    });
}

void GD_Font::draw_string(int32_t x, int32_t y, const char* text)
{
    K_ASSERT(text);
    if (make_texture() == 0) {
        return;
    }
    GLSys::set_blending(1);
    glBegin(GL_QUADS);
    int64_t pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const FontGlyph* const g = file_.glyph(*p);
        if (g == nullptr) {
            pen += file_.default_advance();
            continue;
        }
        const FontPlace& place = places_[*p];
        const float x0 = static_cast<float>(pen + g->x_offset);
        const float y0 = static_cast<float>(static_cast<int64_t>(y) + g->y_offset);
        const float x1 = x0 + static_cast<float>(g->width);
        const float y1 = y0 + static_cast<float>(g->height);
        pen += g->advance;
        glTexCoord2f(place.s0, place.t0);
        glVertex2f(x0, y0);
        glTexCoord2f(place.s0, place.t1);
        glVertex2f(x0, y1);
        glTexCoord2f(place.s1, place.t1);
        glVertex2f(x1, y1);
        glTexCoord2f(place.s1, place.t0);
        glVertex2f(x1, y0);
    }
    glEnd();
    GLSys::report_errors("End from GD_Font::draw_string()");
}
