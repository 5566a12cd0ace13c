#pragma once
// The depth-tested drawers of translucent surfaces. Texels are 16 bits: low
// byte palette index, high byte opacity (0 transparent, 255 almost opaque).
// A pixel is drawn where the plan's depth is not below the stored one; the
// depth buffer is not written. Other arguments as span_draw_texture.
#include <cstdint>

#include "soft/span_plan.h"

// Each byte d becomes 2 * ((d/2 + F[a][P - d/2]) mod 256): toward 2P by a/256
// at 7-bit precision.
void span_draw_ztest(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog, int vsize,
                     int level, const int32_t* S, const int32_t* T);
// d + ((2P - d) * g) / 128 with g = grey_weight_table[a], saturated; the depth
// test compares stored * 65536 with the depth as signed 32-bit numbers.
void span_draw_ztest_mmx(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, const int32_t* S, const int32_t* T);
