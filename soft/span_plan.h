#pragma once
// Span plans: the perspective mapper turns each visible span of a surface into
// a plan of 16.16 texture coordinates and steps, cut into pieces at the
// 64-byte boundaries of the frame buffer, and hands all plans of the surface
// to one span drawer.
#include <cstddef>
#include <cstdint>

constexpr int SPAN_PIECE = 16; // pixels of a full piece: one aligned run of 64 bytes

// Steps of one piece, 16.16 level-0 texels per pixel.
struct SpanStep {
    int32_t du;
    int32_t dv;
};

// A plan is this header followed directly by its steps: the lead piece's, one
// per full piece, then the last piece's when there is one. The next plan
// follows the last step. A plan buffer needs the alignment of SpanPlan.
struct SpanPlan {
    uint32_t* destination; // the span's first pixel
    uint16_t* depth_row;   // the span's first depth value
    uint32_t pieces;       // bits 0-7 lead length, 8-15 last length (0: none), 16-31 full pieces
    int32_t depth;         // 16.16; the integer part is the 16-bit depth value
    int32_t depth_step;    // per pixel
    int32_t u;             // 16.16 level-0 texels at the first pixel
    int32_t v;
};

inline int span_plan_lead(const SpanPlan* plan) { return static_cast<int>(plan->pieces & 0xFF); }
inline int span_plan_last(const SpanPlan* plan) { return static_cast<int>((plan->pieces >> 8) & 0xFF); }
inline int span_plan_full(const SpanPlan* plan) { return static_cast<int>(plan->pieces >> 16); }
inline int span_plan_pixels(const SpanPlan* plan)
{
    return span_plan_lead(plan) + SPAN_PIECE * span_plan_full(plan) + span_plan_last(plan);
}
inline int span_plan_step_count(const SpanPlan* plan)
{
    return 1 + span_plan_full(plan) + (span_plan_last(plan) != 0 ? 1 : 0);
}
inline SpanStep* span_plan_steps(SpanPlan* plan) { return reinterpret_cast<SpanStep*>(plan + 1); }
inline const SpanStep* span_plan_steps(const SpanPlan* plan) { return reinterpret_cast<const SpanStep*>(plan + 1); }
inline SpanPlan* span_plan_next(SpanPlan* plan)
{
    return reinterpret_cast<SpanPlan*>(span_plan_steps(plan) + span_plan_step_count(plan));
}
inline const SpanPlan* span_plan_next(const SpanPlan* plan)
{
    return reinterpret_cast<const SpanPlan*>(span_plan_steps(plan) + span_plan_step_count(plan));
}
// Bytes that the plan of a span of `count` pixels takes at most.
constexpr size_t span_plan_max_bytes(int count)
{
    return sizeof(SpanPlan) + sizeof(SpanStep) * static_cast<size_t>(2 + count / SPAN_PIECE);
}

// Entry n = round(65536 / n), entry 0 = 0.
extern const uint32_t span_reciprocals[17];

// Builds the plan of one span of `count` (at least 1) pixels and returns the
// place behind it. U, V, W are u*W, v*W and the reciprocal depth at the first
// pixel (U/W and V/W in 16.16 texels), dW the step of W per pixel, and
// Cu = dU*W - dW*U, Cv likewise, the same at every pixel of the span. Depth,
// depth step and depth row are stored for the drawers.
SpanPlan* span_setup_persp(SpanPlan* plan, uint32_t* destination, uint16_t* depth_row, int count, int32_t depth,
                           int32_t depth_step, float U, float V, float Cu, float Cv, float W, float dW);
// The same, and writes the depth of every pixel of the span, without a test:
// opaque surfaces lay down the depth that later drawers test against.
SpanPlan* span_setup_persp_z(SpanPlan* plan, uint32_t* destination, uint16_t* depth_row, int count, int32_t depth,
                             int32_t depth_step, float U, float V, float Cu, float Cv, float W, float dW);

// Called once per frame by the polygon renderer; the drawers keep no state
// from one call to the next, so there is nothing to reset.
void span_reset();
