#include "render/gd_font.h"

#include "core/kassert.h"

#include <algorithm>

uint32_t font_mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, int s)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const uint32_t mixed = (((a >> (8 * k)) & 0xFF) * wa + ((b >> (8 * k)) & 0xFF) * wb) >> s;
        out |= (mixed & 0xFF) << (8 * k);
    }
    return out;
}

void GD_Font::set_target(int32_t width, int32_t height, const int32_t* line_offset, uint32_t colour)
{
    right_limit_ = width;
    bottom_limit_ = height;
    line_offset_ = line_offset;
    for (int i = 0; i < FONT_RAMP_STEPS; ++i) {
        uint32_t entry = 0;
        for (int k = 0; k < 4; ++k) {
            const uint32_t c = (colour >> (8 * k)) & 0xFF;
            entry |= std::min<uint32_t>(255, c * static_cast<uint32_t>(i) / 16) << (8 * k);
        }
        for (int copy = 0; copy < FONT_RAMP_ENTRIES; copy += FONT_RAMP_STEPS) {
            ramp_[i + copy] = entry;
        }
    }
}

void GD_Font::draw_glyph(uint32_t* frame, const FontGlyph& g, int64_t pen_x, int64_t pen_y) const
{
    const uint8_t* src = g.pixels;
    for (int32_t row = 0; row < g.height; ++row, src += g.width) {
        const int64_t y = pen_y + g.y_offset + row;
        if (y < 0 || y >= bottom_limit_) {
            continue;
        }
        uint32_t* const line = frame + line_offset_[y];
        for (int32_t column = 0; column < g.width; ++column) {
            const int64_t x = pen_x + g.x_offset + column;
            const uint8_t v = src[column];
            if (v == 0 || v >= 128 || x < 0 || x >= right_limit_) {
                continue;
            }
            uint32_t& d = line[x];
            const uint32_t r = ramp_[v];
            switch (v >> 5) {
            case 0:
                d = r;
                break;
            case 1:
                d = font_mix(d, r, 1, 1, 1);
                break;
            case 2:
                d = font_mix(d, r, 3, 1, 2);
                break;
            default:
                d = font_mix(d, r, 7, 1, 3);
                break;
            }
        }
    }
}

void GD_Font::draw_string(uint32_t* frame, int32_t x, int32_t y, const char* text) const
{
    K_ASSERT(text);
    if (!file_.loaded() || line_offset_ == nullptr || static_cast<int64_t>(y) > bottom_limit_ - line_height()) {
        return;
    }
    int64_t px = x;
    int64_t pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const FontGlyph* const g = glyph(*p);
        if (g == nullptr) {
            pen += default_advance();
            px += default_advance();
            continue;
        }
        px += g->advance;
        if (px > right_limit_) {
            return;
        }
        draw_glyph(frame, *g, pen, y);
        pen += g->advance;
    }
}
