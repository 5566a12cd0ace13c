#include "render/palette_convert.h"

#include "core/kassert.h"

uint32_t colour_convert(uint32_t entry, const uint8_t layout[4])
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        out |= ((entry >> (8 * k)) & 0xFFu) << (layout[k] & 31);
    }
    return out;
}

void palette_convert(uint32_t* palette, const uint8_t layout[4])
{
    K_ASSERT(layout);
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = colour_convert(palette[i], layout);
    }
}
