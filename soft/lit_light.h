#pragma once
// The light line and the light-block sampling shared by the portable and the
// SSE2 lit drawers (used by them only).
#include <cstdint>
#include <cstdlib>

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

// Where span_draw_lit_mmx samples a plan: pixels [0, head) one by one, then
// `groups` groups of four from head with a sample at each group's first
// pixel, then the pixels from head + 4 * groups to the end one by one. The
// sample after a group is the first pixel of the next group or of the tail,
// so every sample lies on a pixel of the plan and its last pixel is one: a
// sample behind the plan would read light beyond the polygon's edge. A plan
// of one piece is sampled whole.
struct WideLayout {
    int head;
    int groups;

    explicit WideLayout(const SpanPlan* plan)
    {
        const int count = span_plan_pixels(plan);
        if (span_plan_full(plan) == 0 && span_plan_last(plan) == 0) {
            head = count;
            groups = 0;
        } else {
            head = span_plan_lead(plan) % 4;
            groups = (count - head - 1) / 4;
        }
    }
    int tail_start() const { return head + 4 * groups; }
    // The sample of a pixel sampled one by one.
    int single_sample(int i) const { return i < head ? i : i - 3 * groups; }
};

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

// Bilinear light Mix::bilinear(s, t) at the last pixel of each part of 1, 2,
// 4 or 8 pixels, and the pixels before it interpolated from the previous
// sample by Mix::part(pixels, a, b, length, log2 length): pixel k of the part
// (from 1) gets a + floor(k * (b - a) / length) in each byte. The first part
// starts from a sample one pixel before the plan.
template <typename Mix>
class BlendSampler {
public:
    BlendSampler(const SpanPlan* plan, int32_t light_s, int32_t light_t)
        : p_(light_start(plan, light_s, light_t, 0))
    {
        const SpanStep* steps = span_plan_steps(plan);
        const int first = span_plan_lead(plan) != 0 ? 0 : 1;
        const LightPoint d = light_step(steps[first]);
        a_ = Mix::bilinear(p_.s - d.s, p_.t - d.t);
    }

    void part(int length, int shift, LightPoint d)
    {
        const uint32_t s_last = p_.s + static_cast<uint32_t>(length - 1) * d.s;
        const uint32_t t_last = p_.t + static_cast<uint32_t>(length - 1) * d.t;
        const uint32_t b = Mix::bilinear(s_last, t_last);
        Mix::part(light_line.pixels + i_, a_, b, length, shift);
        i_ += length;
        a_ = b;
        p_ = LightPoint{s_last + d.s, t_last + d.t};
    }

private:
    LightPoint p_;
    uint32_t a_;
    int i_ = 0;
};

// Pass 1 of span_draw_lit_blend: every fourth pixel sampled, or every eighth
// in a full piece where the light moves less than a quarter texel a pixel.
template <typename Mix>
inline void fill_light_blend_with(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    BlendSampler<Mix> sampler(plan, light_s, light_t);
    const SpanStep* steps = span_plan_steps(plan);
    const int lead = span_plan_lead(plan);
    const int full = span_plan_full(plan);
    const int last = span_plan_last(plan);

    const LightPoint lead_step = light_step(steps[0]);
    if ((lead & 1) != 0) {
        sampler.part(1, 0, lead_step);
    }
    if ((lead & 2) != 0) {
        sampler.part(2, 1, lead_step);
    }
    for (int i = 0; i < lead >> 2; ++i) {
        sampler.part(4, 2, lead_step);
    }
    for (int f = 1; f <= full; ++f) {
        const LightPoint d = light_step(steps[f]);
        const int64_t change = std::abs(static_cast<int64_t>(static_cast<int32_t>(d.s))) +
                               std::abs(static_cast<int64_t>(static_cast<int32_t>(d.t)));
        if (change < 0x4000) {
            sampler.part(8, 3, d);
            sampler.part(8, 3, d);
        } else {
            for (int i = 0; i < 4; ++i) {
                sampler.part(4, 2, d);
            }
        }
    }
    if (last != 0) {
        const LightPoint d = light_step(steps[full + 1]);
        for (int i = 0; i < last >> 2; ++i) {
            sampler.part(4, 2, d);
        }
        if ((last & 2) != 0) {
            sampler.part(2, 1, d);
        }
        if ((last & 1) != 0) {
            sampler.part(1, 0, d);
        }
    }
}

// Pass 1 of span_draw_lit: the nearest light texel of every pixel into
// light_line.pixels.
void fill_light_nearest(const SpanPlan* plan, int32_t light_s, int32_t light_t);
