#include "render/gd_font.h"

#include "core/kassert.h"
#include "fsys/file_stream.h"
#include "fsys/fsys.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr char FONT_MAGIC[8] = {'G', 'D', '_', 'F', 'o', 'n', 't', '\0'};
constexpr int GLYPH_RECORD_BYTES = 5;

} // namespace

uint32_t font_mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, int s)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const uint32_t mixed = (((a >> (8 * k)) & 0xFF) * wa + ((b >> (8 * k)) & 0xFF) * wb) >> s;
        out |= (mixed & 0xFF) << (8 * k);
    }
    return out;
}

int GD_Font::load(const char* path)
{
    K_ASSERT(fsys);
    free();
    FileStream* const f = fsys->open(path, FSYS_BINARY);
    if (f == nullptr) {
        return 0;
    }
    uint8_t head[13];
    if (f->read(head, sizeof head, 1) != 1 || std::memcmp(head, FONT_MAGIC, sizeof FONT_MAGIC) != 0 ||
        head[9] < head[8] || head[10] + head[11] == 0) {
        f->close();
        return 0;
    }
    const int32_t first = head[8];
    const int32_t last = head[9];
    const int32_t count = last - first + 1;
    uint8_t records[256 * GLYPH_RECORD_BYTES];
    FontGlyph* const glyphs = new (std::nothrow) FontGlyph[static_cast<size_t>(count)];
    if (glyphs == nullptr || f->read(records, GLYPH_RECORD_BYTES, static_cast<size_t>(count)) !=
                                 static_cast<size_t>(count)) {
        delete[] glyphs;
        f->close();
        return 0;
    }
    size_t total = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* const r = records + GLYPH_RECORD_BYTES * i;
        FontGlyph& g = glyphs[i];
        g.x_offset = r[0];
        g.y_offset = r[1];
        g.width = r[2];
        g.height = r[3];
        g.advance = g.x_offset + g.width + r[4];
        g.pixels = nullptr;
        total += static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
    }
    // One byte more than needed so that an empty font still gets a block.
    uint8_t* const pixels = new (std::nothrow) uint8_t[total + 1];
    if (pixels == nullptr || (total > 0 && f->read(pixels, 1, total) != total)) {
        delete[] pixels;
        delete[] glyphs;
        f->close();
        return 0;
    }
    f->close();
    size_t at = 0;
    for (int32_t i = 0; i < count; ++i) {
        glyphs[i].pixels = pixels + at;
        at += static_cast<size_t>(glyphs[i].width) * static_cast<size_t>(glyphs[i].height);
    }
    first_ = first;
    last_ = last;
    line_height_ = head[10] + head[11];
    default_advance_ = head[12];
    glyphs_ = glyphs;
    pixels_ = pixels;
    return 1;
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
    if (glyphs_ == nullptr || line_offset_ == nullptr || static_cast<int64_t>(y) > bottom_limit_ - line_height_) {
        return;
    }
    int64_t px = x;
    int64_t pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const FontGlyph* const g = glyph(*p);
        if (g == nullptr) {
            pen += default_advance_;
            px += default_advance_;
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

int32_t GD_Font::measure(const char* text) const
{
    K_ASSERT(text);
    int64_t width = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const FontGlyph* const g = glyph(*p);
        width += g != nullptr ? g->advance : default_advance_;
    }
    return static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
}

void GD_Font::free()
{
    delete[] glyphs_;
    glyphs_ = nullptr;
    delete[] pixels_;
    pixels_ = nullptr;
}
