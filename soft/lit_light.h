#pragma once
// The light line and the light-block sampling shared by the portable and the
// SSE2 lit drawers (used by them only).
#include <cstdint>

#include "core/kassert.h"
#include "core/numerics.h"
#include "soft/lit_span.h"
#include "soft/plan_walk.h"
#include "soft/span_plan.h"

// One 32-bit light per pixel for the integer drawers, or samples of four
// 16-bit lanes for the MMX drawer; one lit drawer runs at a time.
union alignas(16) LightLine {
    uint32_t pixels[LIGHT_LINE_PIXELS];
    uint16_t samples[LIGHT_LINE_BYTES / 8][4];
};
extern LightLine light_line;

// The entry of surface_light_block under 16.16 light coordinates, wrapped.
inline uint32_t light_index(uint32_t s, uint32_t t) { return ((s >> 16) & 31) + 32 * ((t >> 16) & 31); }

struct LightPoint {
    uint32_t s;
    uint32_t t;
};

// The light coordinates of the plan's first pixel, 16.16 light texels.
inline LightPoint light_start(const SpanPlan* plan, int32_t light_s, int32_t light_t, uint32_t bias)
{
    return LightPoint{static_cast<uint32_t>(wrap_add(plan->u, light_s) >> 4) + bias,
                      static_cast<uint32_t>(wrap_add(plan->v, light_t) >> 4) + bias};
}

inline LightPoint light_step(SpanStep step)
{
    return LightPoint{static_cast<uint32_t>(step.du >> 4), static_cast<uint32_t>(step.dv >> 4)};
}

// Draws every plan in two passes: fill_light(plan) before its warp, which
// returns what texture_pass(plan, that) needs after it.
template <typename LightFill, typename TexturePass>
inline void draw_lit_plans(SpanPlan* plans, int count, const int32_t* S, const int32_t* T, LightFill&& fill_light,
                           TexturePass&& texture_pass)
{
    int light = 0;
    for_each_plan(
        plans, count, S, T,
        [&](const SpanPlan* plan) {
            K_ASSERT(span_plan_pixels(plan) <= LIGHT_LINE_PIXELS);
            light = fill_light(plan);
        },
        [&](const SpanPlan* plan) { texture_pass(plan, light); });
}

// Calls light(i, s, t) for every pixel of the plan from p.
template <typename LightFn>
inline void walk_light(const SpanPlan* plan, LightPoint p, LightFn light)
{
    walk_pieces(
        plan, p.s, p.t,
        [](SpanStep step) {
            const LightPoint d = light_step(step);
            return SpanStep{static_cast<int32_t>(d.s), static_cast<int32_t>(d.t)};
        },
        light);
}

// span_draw_lit_filtered with its light pass fill(plan, light s, light t),
// which leaves one light per pixel in light_line.pixels, and the pixel
// mix(light, p0, p1, p2, p3, fu, fv) of the palette colours of the four
// texels it mixes: p0 at (uL, vL), which are lowered by half a texel, p1 one
// texel to the right (wrapped), p2 and p3 one row below them (not wrapped);
// fu and fv are their weights across and down.
template <typename FillFn, typename MixFn>
inline void draw_lit_filtered(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                              int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                              const int32_t* T, FillFn fill, MixFn mix)
{
    const TexelAddress ta(ulog, vsize, level);
    const uint32_t row = 1u << ulog;
    // Sample between texel centres: u lowered by half a texel at the level, v
    // by half a level-0 texel before scaling.
    const uint32_t v_bias = ta.scale_v(0x8000);
    draw_lit_plans(
        plans, count, S, T,
        [&](const SpanPlan* plan) {
            fill(plan, light_s, light_t);
            return 0;
        },
        [&](const SpanPlan* plan, int) {
            uint32_t* const dst = plan->destination;
            walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) {
                const uint32_t ul = u - 0x8000;
                const uint32_t vl = v - v_bias;
                const uint32_t i0 = ta.index(ul, vl);
                const uint32_t i1 = ta.index(ul + 0x10000, vl);
                dst[i] = mix(light_line.pixels[i], palette[texels[i0]], palette[texels[i1]],
                             palette[texels[i0 + row]], palette[texels[i1 + row]], (ul >> 8) & 255,
                             (vl >> (ta.ulog + 8)) & 255);
            });
        });
}

// Pass 1 of span_draw_lit and span_draw_lit_blend in portable C++: one light
// per pixel of the plan into light_line.pixels.
void fill_light_nearest(const SpanPlan* plan, int32_t light_s, int32_t light_t);
void fill_light_blend(const SpanPlan* plan, int32_t light_s, int32_t light_t);
