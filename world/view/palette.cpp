#include "world/view/palette.h"

#include "fsys/file_stream.h"

void palette_fill_grey(uint32_t* palette)
{
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = PALETTE_GREY;
    }
}

int palette_read(uint32_t* palette, FileStream* stream, int shift)
{
    uint8_t rgb[PALETTE_ENTRIES * 3];
    if (stream->read(rgb, 1, sizeof rgb) != sizeof rgb) {
        return 0;
    }
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        const uint32_t r = static_cast<uint32_t>(rgb[3 * i] << shift) & 0xFF;
        const uint32_t g = static_cast<uint32_t>(rgb[3 * i + 1] << shift) & 0xFF;
        const uint32_t b = static_cast<uint32_t>(rgb[3 * i + 2] << shift) & 0xFF;
        palette[i] = r | g << 8 | b << 16 | g << 24;
    }
    return 1;
}

uint32_t colour_convert(uint32_t entry, const uint8_t layout[4])
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        out |= (entry >> (8 * k) & 0xFF) << (layout[k] & 31);
    }
    return out;
}

void palette_convert(uint32_t* palette, const uint8_t layout[4])
{
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = colour_convert(palette[i], layout);
    }
}

void palette_halve(uint32_t* palette)
{
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = palette[i] >> 1 & 0x7F7F7F7F;
    }
}

void palette_rearrange(uint32_t* palette, const uint8_t from[4], const uint8_t to[4])
{
    if (layout_equal(from, to)) {
        return;
    }
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        const uint32_t e = palette[i];
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            out |= (e >> (from[k] & 31) & 0xFF) << (to[k] & 31);
        }
        palette[i] = out;
    }
}

void layout_compose(uint8_t out[4], const uint8_t have[4], const uint8_t applied[4])
{
    uint8_t result[4];
    for (int k = 0; k < 4; ++k) {
        result[k] = applied[(have[k] >> 3) & 3];
    }
    for (int k = 0; k < 4; ++k) {
        out[k] = result[k];
    }
}

bool layout_equal(const uint8_t a[4], const uint8_t b[4])
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}
