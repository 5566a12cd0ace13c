#pragma once
// The lit span drawers of world surfaces: each plan is drawn in two passes,
// first its light from surface_light_block into the light line (with the
// plan's coordinates before any warp, so light is never displaced), then the
// texture, warped when S is not null, combined with that light byte by byte.
//
// Arguments as span_draw_texture; the light offsets are 16.16 level-0 texel
// offsets from the texture origin to the light block's origin. A plan of a lit
// drawer is at most LIGHT_LINE_PIXELS long, the width of the widest mode.
#include <cstdint>

#include "platform/video_mode.h"
#include "soft/span_plan.h"

constexpr int LIGHT_LINE_PIXELS = VIDEO_MAX_WIDTH;
constexpr int LIGHT_LINE_BYTES = 4 * LIGHT_LINE_PIXELS;

// Nearest light texel, light_mul_table[L][P] per byte.
void span_draw_lit(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                   int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T);
// Bilinear light sampled every fourth pixel (every eighth where it changes
// slowly) and interpolated between the samples.
void span_draw_lit_blend(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T);
// Bilinear light and bilinear texture at every pixel. The texture level must
// have the row below its last row (TexelMap's repeated row).
void span_draw_lit_filtered(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                            int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                            const int32_t* T);
// Bilinear light in 16-bit lanes, sampled every fourth pixel and interpolated
// by halving; the product saturates.
void span_draw_lit_mmx(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                       int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T);
