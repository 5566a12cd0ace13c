#pragma once
// Textures as the renderer keeps them and the drawers read them. The texture
// manager fills these records; the drawers only read them.
#include <cstdint>

constexpr int TEXTURE_LEVELS = 5;
constexpr uint32_t TEXTURE_TRANSPARENT = 1; // texel maps of two-byte texels

// One mip level. `texels` holds height + 1 rows of width texels: the extra
// last row repeats row 0, so that the filtered drawers, which read the row
// below every row they sample, stay inside the map. Texels are one byte (a
// palette index), or two bytes (index, then opacity) with TEXTURE_TRANSPARENT.
struct TexelMap {
    uint8_t* texels;
    int32_t width;
    int32_t height;
    int32_t bounds[4]; // left, right, top, bottom of the texels that are not transparent
    uint32_t flags;
};

// Level i has (usize >> i) x (vsize >> i) texels; usize = 1 << ulog, and
// vsize is a power of two. Palette entries are in pixel layout with every byte
// at half intensity (at most 127), which leaves the light headroom up to twice
// the stored colour.
struct Texture {
    TexelMap levels[TEXTURE_LEVELS];
    uint32_t* palette;
    int32_t mipmaps;
    int32_t ulog;
    int32_t usize;
    int32_t vsize;
    uint32_t flags;
    uint32_t flat_colour; // drawn in place of the texels when R_Flat is set
};
