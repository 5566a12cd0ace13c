#include "soft/span_warp.h"

#include "core/kassert.h"
#include "core/numerics.h"

void build_warp_table(int32_t* table, const float* sine, int sine_count)
{
    K_ASSERT(sine_count >= WARP_PERIOD && (sine_count & (sine_count - 1)) == 0);
    const int stride = sine_count / WARP_PERIOD;
    for (int k = 0; k < WARP_TABLE_ENTRIES; ++k) {
        table[k] = float_to_int_round(131072.0 * sine[(k * stride) & (sine_count - 1)]);
    }
}

namespace {

struct WarpPoint {
    int32_t u;
    int32_t v;
};

WarpPoint displace(WarpPoint p, const int32_t* S, const int32_t* T)
{
    return WarpPoint{wrap_add(p.u, S[(p.v >> 12) & (WARP_PERIOD - 1)]),
                     wrap_add(p.v, T[(p.u >> 12) & (WARP_PERIOD - 1)])};
}

WarpPoint advance(WarpPoint p, SpanStep step, int pixels)
{
    return WarpPoint{wrap_add(p.u, wrap_mul(step.du, pixels)), wrap_add(p.v, wrap_mul(step.dv, pixels))};
}

// Steps over a piece of `pixels` (1 to 16) by the reciprocal table, with a
// 64-bit product and an arithmetic shift.
SpanStep reciprocal_steps(WarpPoint from, WarpPoint to, int pixels)
{
    const int64_t r = span_reciprocals[pixels];
    return SpanStep{static_cast<int32_t>((static_cast<int64_t>(wrap_sub(to.u, from.u)) * r) >> 16),
                    static_cast<int32_t>((static_cast<int64_t>(wrap_sub(to.v, from.v)) * r) >> 16)};
}

} // namespace

void span_warp(SpanPlan* plan, const int32_t* S, const int32_t* T)
{
    SpanStep* steps = span_plan_steps(plan);
    const int lead = span_plan_lead(plan);
    const int full = span_plan_full(plan);
    const int last = span_plan_last(plan);

    WarpPoint end{plan->u, plan->v};
    WarpPoint end_displaced = displace(end, S, T);
    plan->u = end_displaced.u;
    plan->v = end_displaced.v;
    if (lead > 0) {
        const WarpPoint next = advance(end, steps[0], lead);
        const WarpPoint next_displaced = displace(next, S, T);
        steps[0] = reciprocal_steps(end_displaced, next_displaced, lead);
        end = next;
        end_displaced = next_displaced;
    }
    for (int i = 1; i <= full; ++i) {
        const WarpPoint next = advance(end, steps[i], SPAN_PIECE);
        const WarpPoint next_displaced = displace(next, S, T);
        steps[i] = SpanStep{wrap_sub(next_displaced.u, end_displaced.u) >> 4,
                            wrap_sub(next_displaced.v, end_displaced.v) >> 4};
        end = next;
        end_displaced = next_displaced;
    }
    if (last > 0) {
        const WarpPoint next = advance(end, steps[full + 1], last);
        steps[full + 1] = reciprocal_steps(end_displaced, displace(next, S, T), last);
    }
}
