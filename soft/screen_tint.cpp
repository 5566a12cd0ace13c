#include "soft/screen_tint.h"

#include "soft/byte_blend.h"
#include "soft/drawer_portable.h"

namespace {

template <typename PixelFn>
void tint_rectangle(uint32_t* first, int width, int height, int pitch, PixelFn&& pixel)
{
    uint32_t* row = first;
    for (int y = 0; y < height; ++y, row += pitch) {
        for (int x = 0; x < width; ++x) {
            row[x] = pixel(row[x]);
        }
    }
}

} // namespace

void blend_span_to_colour_portable(uint32_t* first, int width, int height, int pitch, uint32_t colour,
                                   uint32_t strengths)
{
    const uint32_t half = (colour & 0xF8F8F8F8) >> 1;
    tint_rectangle(first, width, height, pitch, [&](uint32_t d) { return blend_half_bytes(d, half, strengths); });
}

void blend_span_to_colour_mmx_portable(uint32_t* first, int width, int height, int pitch, uint32_t colour,
                                       uint32_t strengths)
{
    int32_t keep[4];
    for (int k = 0; k < 4; ++k) {
        keep[k] = (255 - static_cast<int32_t>(byte_of(strengths, k))) * 128;
    }
    tint_rectangle(first, width, height, pitch, [&](uint32_t d) {
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            const int32_t ck = static_cast<int32_t>(byte_of(colour, k));
            const int32_t diff = static_cast<int32_t>(byte_of(d, k)) - ck;
            out |= saturate_byte(ck + ((diff * 2 * keep[k]) >> 16)) << (8 * k);
        }
        return out;
    });
}
