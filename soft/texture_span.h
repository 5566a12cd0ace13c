#pragma once
// The span drawers that use no light: flat colour, plain texture and the
// two-layer texture. Each draws `count` plans in order from `plans`.
//
// Textures as these drawers see them: one mip level of one-byte texels, rows
// of 1 << ulog texels, vsize rows, and a palette of 256 half-intensity
// colours in pixel layout. `level` scales the plans' level-0 coordinates down
// to that level. S and T are the warp pointers, both null for an unwarped
// surface.
#include <cstdint>

#include "soft/span_plan.h"

// Each pixel is colour XOR ((u XOR v) AND 0x100000): squares of 16 x 16
// level-0 texels alternate between the colour and the colour with bit 20 flipped.
void span_fill_flat(const SpanPlan* plans, int count, uint32_t colour);

// Each pixel is 2 * palette[texel].
void span_draw_texture(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                       int vsize, int level, const int32_t* S, const int32_t* T);

// Two layers of the same size at level 0, the second moved by (offset u,
// offset v): each pixel is paletteA[A(u, v)] + paletteB[B(u + ou, v + ov)],
// a plain sum (the palettes must not carry between bytes).
void span_draw_texture_alt(const SpanPlan* plans, int count, const uint8_t* texels_a, const uint32_t* palette_a,
                           const uint8_t* texels_b, const uint32_t* palette_b, int ulog, int vsize, int32_t offset_u,
                           int32_t offset_v);
