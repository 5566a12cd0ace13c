#include "soft/span_plan.h"

#include "core/kassert.h"
#include "core/numerics.h"

const uint32_t span_reciprocals[17] = {0,    65536, 32768, 21845, 16384, 13107, 10923, 9362, 8192,
                                       7282, 6554,  5958,  5461,  5041,  4681,  4369,  4096};

namespace {

// Steps of a piece from W at its start to W at its end: one reciprocal per piece.
SpanStep piece_steps(double cu, double cv, double w_start, double w_end)
{
    const double r = 1.0 / (w_start * w_end);
    return SpanStep{float_to_int_round(cu * r), float_to_int_round(cv * r)};
}

} // namespace

SpanPlan* span_setup_persp(SpanPlan* plan, uint32_t* destination, uint16_t* depth_row, int count, int32_t depth,
                           int32_t depth_step, float U, float V, float Cu, float Cv, float W, float dW)
{
    K_ASSERT(count >= 1);
    plan->destination = destination;
    plan->depth_row = depth_row;
    plan->depth = depth;
    plan->depth_step = depth_step;

    const int lead = static_cast<int>((SPAN_PIECE - (reinterpret_cast<uintptr_t>(destination) / 4) % SPAN_PIECE) %
                                      SPAN_PIECE);
    const double w0 = W;
    const double dw = dW;
    SpanStep* steps = span_plan_steps(plan);
    int full = 0;
    int last = 0;
    int lead_pixels;
    int lead_span; // pixels over which the lead steps are measured
    if (count - 1 < lead) {
        lead_pixels = count;
        lead_span = count - 1;
    } else {
        lead_pixels = lead;
        lead_span = lead;
        full = (count - 1 - lead) / SPAN_PIECE;
        last = (count - 1 - lead) % SPAN_PIECE + 1;
    }
    plan->pieces = static_cast<uint32_t>(lead_pixels) | static_cast<uint32_t>(last) << 8 |
                   static_cast<uint32_t>(full) << 16;

    double w_end = w0 + lead_span * dw;
    const double r = 1.0 / (w0 * w_end);
    plan->u = float_to_int_round(static_cast<double>(U) * r * w_end);
    plan->v = float_to_int_round(static_cast<double>(V) * r * w_end);
    steps[0] = SpanStep{float_to_int_round(Cu * r), float_to_int_round(Cv * r)};
    int n = 1;
    for (int i = 0; i < full; ++i) {
        const double w_start = w_end;
        w_end = w_start + SPAN_PIECE * dw;
        steps[n++] = piece_steps(Cu, Cv, w_start, w_end);
    }
    if (last != 0) {
        const double w_start = w_end;
        w_end = w_start + (last - 1) * dw;
        steps[n++] = piece_steps(Cu, Cv, w_start, w_end);
    }
    return reinterpret_cast<SpanPlan*>(steps + n);
}

SpanPlan* span_setup_persp_z(SpanPlan* plan, uint32_t* destination, uint16_t* depth_row, int count, int32_t depth,
                             int32_t depth_step, float U, float V, float Cu, float Cv, float W, float dW)
{
    SpanPlan* next =
        span_setup_persp(plan, destination, depth_row, count, depth, depth_step, U, V, Cu, Cv, W, dW);
    uint32_t z = static_cast<uint32_t>(depth);
    for (int i = 0; i < count; ++i) {
        depth_row[i] = static_cast<uint16_t>(z >> 16);
        z += static_cast<uint32_t>(depth_step);
    }
    return next;
}

void span_reset() {}
