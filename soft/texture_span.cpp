#include "soft/texture_span.h"

#include "soft/plan_walk.h"

void span_fill_flat(const SpanPlan* plans, int count, uint32_t colour)
{
    const TexelAddress level0(0, 1, 0);
    for_each_plan(plans, count, [&](const SpanPlan* plan) {
        uint32_t* const dst = plan->destination;
        walk_plan(plan, level0, [=](int i, uint32_t u, uint32_t v) { dst[i] = colour ^ ((u ^ v) & 0x100000u); });
    });
}

void span_draw_texture(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                       int vsize, int level, const int32_t* S, const int32_t* T)
{
    const TexelAddress ta(ulog, vsize, level);
    for_each_plan(plans, count, S, T, [&](const SpanPlan* plan) {
        uint32_t* const dst = plan->destination;
        walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) { dst[i] = 2 * palette[texels[ta.index(u, v)]]; });
    });
}

void span_draw_texture_alt(const SpanPlan* plans, int count, const uint8_t* texels_a, const uint32_t* palette_a,
                           const uint8_t* texels_b, const uint32_t* palette_b, int ulog, int vsize, int32_t offset_u,
                           int32_t offset_v)
{
    const TexelAddress ta(ulog, vsize, 0);
    const uint32_t ou = ta.scale_u(offset_u);
    const uint32_t ov = ta.scale_v(offset_v);
    for_each_plan(plans, count, [&](const SpanPlan* plan) {
        uint32_t* const dst = plan->destination;
        walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) {
            dst[i] = palette_a[texels_a[ta.index(u, v)]] + palette_b[texels_b[ta.index(u + ou, v + ov)]];
        });
    });
}
