#include "soft/row_draw.h"

#include "soft/byte_blend.h"
#include "soft/drawer_portable.h"

namespace {

// Calls pixel(i, texel) for each pixel, the texel position kept as an index
// and a 16-bit fraction whose carry advances it.
template <typename Texel, typename PixelFn>
void walk_row(int count, const Texel* texels, int32_t u, int32_t du, PixelFn&& pixel)
{
    int64_t index = u >> 16;
    uint32_t fraction = static_cast<uint32_t>(u) & 0xFFFF;
    const int64_t step = du >> 16;
    const uint32_t step_fraction = static_cast<uint32_t>(du) & 0xFFFF;
    for (int i = 0; i < count; ++i) {
        pixel(i, texels[index]);
        fraction += step_fraction;
        index += step + (fraction >> 16);
        fraction &= 0xFFFF;
    }
}

// The wide blend toward the full colour: d + 2 * (((c - d) * 256 * g) >> 16), saturated.
uint32_t blend_wide_full(uint32_t d, uint32_t colour, int32_t g)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const int32_t dk = static_cast<int32_t>(byte_of(d, k));
        const int32_t diff = static_cast<int32_t>(byte_of(colour, k)) - dk;
        out |= saturate_byte(dk + 2 * ((diff * 256 * g) >> 16)) << (8 * k);
    }
    return out;
}

uint32_t grey_weight(uint32_t a) { return grey_weight_table[a & 0xFF] & 0xFF; }

} // namespace

void row_draw_background(uint32_t* destination, int count, const uint8_t* texels, const uint32_t* palette, int32_t u,
                         int32_t du)
{
    walk_row(count, texels, u, du, [&](int i, uint8_t texel) { destination[i] = palette[texel]; });
}

void row_draw_icon_portable(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette,
                            int32_t u, int32_t du)
{
    walk_row(count, texels, u, du, [&](int i, uint16_t texel) {
        destination[i] = blend_half(destination[i], palette[texel & 0xFF], texel >> 8);
    });
}

void row_draw_icon_mmx_portable(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette,
                                int32_t u, int32_t du)
{
    walk_row(count, texels, u, du, [&](int i, uint16_t texel) {
        destination[i] = blend_wide(destination[i], palette[texel & 0xFF], grey_weight(texel >> 8));
    });
}

void row_draw_sprite_portable(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                              const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    const uint32_t depth = static_cast<uint32_t>(z) >> 16;
    walk_row(count, texels, u, du, [&](int i, uint16_t texel) {
        if (depth >= depth_row[i]) {
            destination[i] = blend_half(destination[i], palette[texel & 0xFF], texel >> 8);
        }
    });
}

void row_draw_sprite_mmx_portable(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                                  const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    const uint32_t depth = static_cast<uint32_t>(z) >> 16;
    walk_row(count, texels, u, du, [&](int i, uint16_t texel) {
        if (depth >= depth_row[i]) {
            destination[i] = blend_wide(destination[i], palette[texel & 0xFF], grey_weight(texel >> 8));
        }
    });
}

void row_draw_blend_portable(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                             int32_t du)
{
    const uint32_t half = (colour >> 1) & 0x7F7F7F7F;
    walk_row(count, weights, u, du,
             [&](int i, uint8_t weight) { destination[i] = blend_half(destination[i], half, weight); });
}

void row_draw_blend_mmx_portable(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                                 int32_t du)
{
    walk_row(count, weights, u, du, [&](int i, uint8_t weight) {
        destination[i] = blend_wide_full(destination[i], colour, static_cast<int32_t>(grey_weight(weight)));
    });
}
