#include "soft/translucent_span.h"

#include "soft/byte_blend.h"
#include "soft/drawer_portable.h"
#include "soft/plan_walk.h"

namespace {

template <typename PixelFn>
void draw_translucent(SpanPlan* plans, int count, const uint16_t* texels, int ulog, int vsize, int level,
                      const int32_t* S, const int32_t* T, PixelFn&& pixel)
{
    const TexelAddress ta(ulog, vsize, level);
    for_each_plan(plans, count, S, T, [&](const SpanPlan* plan) {
        uint32_t* const dst = plan->destination;
        const uint16_t* const depth = plan->depth_row;
        const uint32_t z = static_cast<uint32_t>(plan->depth);
        const uint32_t dz = static_cast<uint32_t>(plan->depth_step);
        walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) {
            pixel(dst + i, depth[i], z + static_cast<uint32_t>(i) * dz, texels[ta.index(u, v)]);
        });
    });
}

} // namespace

void span_draw_ztest_portable(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                              int vsize, int level, const int32_t* S, const int32_t* T)
{
    draw_translucent(plans, count, texels, ulog, vsize, level, S, T,
                     [&](uint32_t* dst, uint16_t stored, uint32_t z, uint16_t texel) {
                         if ((z >> 16) >= stored) {
                             *dst = blend_half(*dst, palette[texel & 0xFF], texel >> 8);
                         }
                     });
}

void span_draw_ztest_mmx_portable(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette,
                                  int ulog, int vsize, int level, const int32_t* S, const int32_t* T)
{
    draw_translucent(plans, count, texels, ulog, vsize, level, S, T,
                     [&](uint32_t* dst, uint16_t stored, uint32_t z, uint16_t texel) {
                         if (static_cast<int32_t>(static_cast<uint32_t>(stored) << 16) <= static_cast<int32_t>(z)) {
                             *dst = blend_wide(*dst, palette[texel & 0xFF], grey_weight_table[texel >> 8] & 0xFF);
                         }
                     });
}
