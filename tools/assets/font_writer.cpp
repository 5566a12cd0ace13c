#include "tools/assets/font_writer.h"

namespace tools {

std::vector<uint8_t> font_bytes(const FontDesign& font)
{
    std::vector<uint8_t> out = {'G', 'D', '_', 'F', 'o', 'n', 't', 0};
    out.push_back(font.first);
    out.push_back(font.last);
    out.push_back(font.height_top);
    out.push_back(font.height_bottom);
    out.push_back(font.default_advance);
    for (const GlyphDesign& g : font.glyphs) {
        out.insert(out.end(), {g.x_offset, g.y_offset, g.width, g.height, g.spacing});
    }
    for (const GlyphDesign& g : font.glyphs) {
        out.insert(out.end(), g.pixels.begin(), g.pixels.end());
    }
    return out;
}

} // namespace tools
