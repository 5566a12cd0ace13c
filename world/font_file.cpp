#include "world/font_file.h"

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

int FontFile::load(const char* path)
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

int32_t FontFile::measure(const char* text) const
{
    K_ASSERT(text);
    int64_t width = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const FontGlyph* const g = glyph(*p);
        width += g != nullptr ? g->advance : default_advance_;
    }
    return static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
}

void FontFile::free()
{
    delete[] glyphs_;
    glyphs_ = nullptr;
    delete[] pixels_;
    pixels_ = nullptr;
}
