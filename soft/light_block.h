#pragma once
// The light block of the surface being drawn, filled by the lighting code
// (light_surface) before the lit span drawers run.
//
// 32 rows of 32 light texels; a light texel is 32 bits with one light byte
// (0 to 127) in each pixel byte, so that each channel's light sits where that
// channel sits in a pixel. Texel (s, t) is entry s + 32 * t. One light texel
// covers 16 x 16 level-0 texture texels.
//
// The filtered drawers read, without wrapping, the right neighbour (entry
// i + 1), the one below (i + 32) and the one below-right (i + 33) of every
// entry i they sample. The block is therefore padded with a 33rd row and one
// more entry, which light_surface fills with the neighbours it wants there;
// reads never leave the block whatever it holds.
#include <cstdint>

constexpr int LIGHT_BLOCK_SIZE = 32;
constexpr int LIGHT_BLOCK_ENTRIES = LIGHT_BLOCK_SIZE * LIGHT_BLOCK_SIZE;
constexpr int LIGHT_BLOCK_PADDED = LIGHT_BLOCK_ENTRIES + LIGHT_BLOCK_SIZE + 1;

extern uint32_t surface_light_block[LIGHT_BLOCK_PADDED];
