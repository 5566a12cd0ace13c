#include "soft/lit_span.h"

#include <algorithm>

#include "core/numerics.h"
#include "soft/byte_blend.h"
#include "soft/drawer_portable.h"
#include "soft/light_block.h"
#include "soft/lit_light.h"
#include "soft/plan_walk.h"

LightLine light_line;

namespace {

uint32_t light_bilinear(uint32_t s, uint32_t t)
{
    const uint32_t* block = surface_light_block + light_index(s, t);
    const uint32_t fs = (s >> 8) & 255;
    const uint32_t top = lerp_bytes(block[0], block[1], fs);
    const uint32_t bottom = lerp_bytes(block[32], block[33], fs);
    return lerp_bytes(top, bottom, (t >> 8) & 255);
}

// The same bilinear light with 15-bit weights in 16-bit lanes, each light byte
// widened to byte * 256; stored halved.
void light_sample_wide(uint32_t s, uint32_t t, uint16_t* out)
{
    const uint32_t* block = surface_light_block + light_index(s, t);
    const int32_t ws = static_cast<int32_t>((s & 0xFFFF) >> 1);
    const int32_t wt = static_cast<int32_t>((t & 0xFFFF) >> 1);
    for (int k = 0; k < 4; ++k) {
        const int32_t a = static_cast<int32_t>(byte_of(block[0], k) << 8);
        const int32_t b = static_cast<int32_t>(byte_of(block[1], k) << 8);
        const int32_t c = static_cast<int32_t>(byte_of(block[32], k) << 8);
        const int32_t d = static_cast<int32_t>(byte_of(block[33], k) << 8);
        const int32_t top = a + 2 * (((b - a) * ws) >> 16);
        const int32_t bottom = c + 2 * (((d - c) * ws) >> 16);
        const int32_t light = top + 2 * (((bottom - top) * wt) >> 16);
        out[k] = static_cast<uint16_t>(std::max(light, 0) >> 1);
    }
}

void fill_light_filtered(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    walk_light(plan, light_start(plan, light_s, light_t, 0),
               [](int i, uint32_t s, uint32_t t) { light_line.pixels[i] = light_bilinear(s, t); });
}

// a + floor(k * (b - a) / 2^shift) in each byte, for k up to 8 and shift up
// to 3, in 16-bit lanes: b - a is lifted by 256 to stay positive, and the
// lift, 256k / 2^shift exactly, is taken off again.
uint32_t lerp_light(uint32_t a, uint32_t b, int k, int shift)
{
    const uint64_t al = spread_bytes(a);
    const uint64_t lifted = (spread_bytes(b) | (LANE_ONES << 8)) - al;
    const uint64_t lane_mask = (0xFFFFu >> shift) * LANE_ONES;
    const uint64_t step = ((lifted * static_cast<uint64_t>(k)) >> shift) & lane_mask;
    return pack_lanes(al + step - static_cast<uint64_t>((256 * k) >> shift) * LANE_ONES);
}

// The portable pass 1 of span_draw_lit_blend.
struct PortableBlend {
    static uint32_t bilinear(uint32_t s, uint32_t t) { return light_bilinear(s, t); }
    static void part(uint32_t* out, uint32_t a, uint32_t b, int length, int shift)
    {
        for (int k = 1; k < length; ++k) {
            out[k - 1] = lerp_light(a, b, k, shift);
        }
        out[length - 1] = b;
    }
};

void fill_light_blend(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    fill_light_blend_with<PortableBlend>(plan, light_s, light_t);
}

// Pass 1 of span_draw_lit_mmx: the samples of WideLayout in pixel order.
void fill_light_wide(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    const WideLayout layout(plan);
    const int tail = layout.tail_start();
    LightPoint p = light_start(plan, light_s, light_t, 0);
    int i = 0;
    int n = 0;
    for_each_piece(plan, [&](int length, SpanStep step) {
        const LightPoint d = light_step(step);
        for (const int end = i + length; i < end; ++i) {
            if (i < layout.head || i >= tail || ((i - layout.head) & 3) == 0) {
                light_sample_wide(p.s, p.t, light_line.samples[n++]);
            }
            p.s += d.s;
            p.t += d.t;
        }
    });
}

// The lights of the four pixels of a group between samples a and b:
// a, (a + m)/2, m, (m + b)/2 with m = (a + b)/2, lane by lane.
void group_lights(int sample, uint16_t lights[4][4])
{
    for (int k = 0; k < 4; ++k) {
        const uint32_t a = light_line.samples[sample][k];
        const uint32_t b = light_line.samples[sample + 1][k];
        const uint32_t m = (a + b) >> 1;
        lights[0][k] = static_cast<uint16_t>(a);
        lights[1][k] = static_cast<uint16_t>((a + m) >> 1);
        lights[2][k] = static_cast<uint16_t>(m);
        lights[3][k] = static_cast<uint16_t>((m + b) >> 1);
    }
}

// Pass 2 of the integer drawers with one texel per pixel.
void draw_lit_texture(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                      int level, const int32_t* S, const int32_t* T, void (*fill_light)(const SpanPlan*, int32_t,
                                                                                       int32_t),
                      int32_t light_s, int32_t light_t)
{
    const TexelAddress ta(ulog, vsize, level);
    draw_lit_plans(
        plans, count, S, T,
        [&](const SpanPlan* plan) {
            fill_light(plan, light_s, light_t);
            return 0;
        },
        [&](const SpanPlan* plan, int) {
            uint32_t* const dst = plan->destination;
            walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) {
                dst[i] = light_bytes(light_line.pixels[i], palette[texels[ta.index(u, v)]]);
            });
        });
}

} // namespace

// Nearest sampling rounds to the nearest light texel.
void fill_light_nearest(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    walk_light(plan, light_start(plan, light_s, light_t, 0x8000),
               [](int i, uint32_t s, uint32_t t) { light_line.pixels[i] = surface_light_block[light_index(s, t)]; });
}

void span_draw_lit_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                            int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                            const int32_t* T)
{
    draw_lit_texture(plans, count, texels, palette, ulog, vsize, level, S, T, fill_light_nearest, light_s, light_t);
}

void span_draw_lit_blend_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                                  int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                                  const int32_t* T)
{
    draw_lit_texture(plans, count, texels, palette, ulog, vsize, level, S, T, fill_light_blend, light_s, light_t);
}

void span_draw_lit_filtered_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette,
                                     int ulog, int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                                     const int32_t* T)
{
    draw_lit_filtered(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T, fill_light_filtered,
                      [](uint32_t light, uint32_t p0, uint32_t p1, uint32_t p2, uint32_t p3, uint32_t fu, uint32_t fv) {
                          return light_bytes(light, lerp_bytes(lerp_bytes(p0, p1, fu), lerp_bytes(p2, p3, fu), fv));
                      });
}

void span_draw_lit_mmx_portable(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette,
                                int ulog, int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                                const int32_t* T)
{
    const TexelAddress ta(ulog, vsize, level);
    draw_lit_plans(
        plans, count, S, T,
        [&](const SpanPlan* plan) {
            fill_light_wide(plan, light_s, light_t);
            return 0;
        },
        [&](const SpanPlan* plan, int) {
            uint32_t* const dst = plan->destination;
            const WideLayout layout(plan);
            const int tail = layout.tail_start();
            uint16_t group[4][4] = {};
            walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) mutable {
                const uint16_t* light;
                if (i < layout.head || i >= tail) {
                    light = light_line.samples[layout.single_sample(i)];
                } else {
                    const int k = (i - layout.head) & 3;
                    if (k == 0) {
                        group_lights(layout.head + ((i - layout.head) >> 2), group);
                    }
                    light = group[k];
                }
                const uint32_t p = palette[texels[ta.index(u, v)]];
                uint32_t out = 0;
                for (int k = 0; k < 4; ++k) {
                    out |= saturate_byte(static_cast<int32_t>((byte_of(p, k) * light[k]) >> 12)) << (8 * k);
                }
                dst[i] = out;
            });
        });
}
