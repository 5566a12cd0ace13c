#pragma once
// Row drawers of screen-aligned images (backgrounds, icons, sprites, glows):
// pixel i of a row reads texel floor(u + i * du) of the texel row, u and du in
// 16.16 texels. `count` is the number of pixels (none drawn below 1).
//
// Icon and sprite texels are 16 bits (low byte palette index, high byte
// opacity) with half-intensity palettes; background palettes are full
// intensity; glow rows hold 8-bit weights.
#include <cstdint>

void row_draw_background(uint32_t* destination, int count, const uint8_t* texels, const uint32_t* palette, int32_t u,
                         int32_t du);

// Moves each destination byte toward 2P by opacity/256 (see blend_half), no depth.
void row_draw_icon(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                   int32_t du);
void row_draw_icon_mmx(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                       int32_t du);

// The icon blend where (z >> 16) is not below the depth row's value; z is the
// row's 16.16 depth. The depth row is not written.
void row_draw_sprite(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                     const uint32_t* palette, int32_t u, int32_t du, int32_t z);
void row_draw_sprite_mmx(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                         const uint32_t* palette, int32_t u, int32_t du, int32_t z);

// Moves each destination byte toward the colour by weight/256.
void row_draw_blend(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u, int32_t du);
void row_draw_blend_mmx(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                        int32_t du);
