#pragma once
// The portable C++ forms of the drawers that also have an SSE2 form. The
// public names (span_draw_lit, row_draw_icon_mmx, ...) run the SSE2 form where
// the target has SSE2 and these elsewhere; both give the same pixels, and the
// tests hold the SSE2 forms to these. Arguments as the public names.
#include <cstdint>

#include "soft/mesh_span.h"
#include "soft/span_plan.h"

void span_draw_lit_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                            int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T);
void span_draw_lit_blend_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette,
                                  int ulog, int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                                  const int32_t* T);
void span_draw_lit_filtered_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette,
                                     int ulog, int vsize, int level, int32_t light_s, int32_t light_t,
                                     const int32_t* S, const int32_t* T);
void span_draw_lit_mmx_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                                int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                                const int32_t* T);

void span_draw_ztest_portable(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                              int vsize, int level, const int32_t* S, const int32_t* T);
void span_draw_ztest_mmx_portable(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                                  int vsize, int level, const int32_t* S, const int32_t* T);

void row_draw_icon_portable(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette,
                            int32_t u, int32_t du);
void row_draw_icon_mmx_portable(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette,
                                int32_t u, int32_t du);
void row_draw_sprite_portable(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                              const uint32_t* palette, int32_t u, int32_t du, int32_t z);
void row_draw_sprite_mmx_portable(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                                  const uint32_t* palette, int32_t u, int32_t du, int32_t z);
void row_draw_blend_portable(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                             int32_t du);
void row_draw_blend_mmx_portable(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                                 int32_t du);

void blend_span_to_colour_portable(uint32_t* first, int width, int height, int pitch, uint32_t colour,
                                   uint32_t strengths);
void blend_span_to_colour_mmx_portable(uint32_t* first, int width, int height, int pitch, uint32_t colour,
                                       uint32_t strengths);

void span_draw_zlit_portable(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span);
void span_draw_zlit_mmx_portable(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span);
