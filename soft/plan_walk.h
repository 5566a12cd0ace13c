#pragma once
// How the plan drawers step through a plan: texel addressing at a mip level
// and the walk over the plan's pieces. Used by the span drawers only.
#include <cstdint>

#include "core/kassert.h"
#include "soft/span_plan.h"
#include "soft/span_warp.h"

// Masks and shifts of the mip level being drawn: number `level`, rows of
// 1 << ulog texels, vsize rows (both powers of two). Level-0 coordinates become
// uL = u >> level and vL = v << (ulog - level), which puts the row at bit
// 16 + ulog; the texel of (uL, vL) is ((uL AND umask) OR (vL AND vmask)) >> 16,
// wrapping in both directions. A level smaller than its number (1 x 1 at
// level 4 of a 16-texel texture) shifts v right instead.
struct TexelAddress {
    uint32_t umask;
    uint32_t vmask;
    int level;
    int vshift;
    int ulog;

    TexelAddress(int ulog_, int vsize, int level_)
    {
        K_ASSERT(ulog_ >= 0 && ulog_ < 16 && level_ >= 0 && level_ < 16);
        K_ASSERT(vsize >= 1 && (vsize & (vsize - 1)) == 0 && (static_cast<int64_t>(vsize) << ulog_) <= 65536);
        umask = ((1u << ulog_) - 1) << 16;
        vmask = static_cast<uint32_t>(static_cast<uint64_t>(vsize - 1) << (ulog_ + 16));
        level = level_;
        vshift = ulog_ - level_;
        ulog = ulog_;
    }
    uint32_t scale_u(int32_t u) const { return static_cast<uint32_t>(u >> level); }
    uint32_t scale_v(int32_t v) const
    {
        return vshift >= 0 ? static_cast<uint32_t>(v) << vshift : static_cast<uint32_t>(v >> -vshift);
    }
    uint32_t index(uint32_t ul, uint32_t vl) const { return ((ul & umask) | (vl & vmask)) >> 16; }
};

// Calls piece(length, step) for the plan's pieces in order; a lead piece of
// no pixels is skipped.
template <typename PieceFn>
inline void for_each_piece(const SpanPlan* plan, PieceFn&& piece)
{
    const SpanStep* steps = span_plan_steps(plan);
    const int lead = span_plan_lead(plan);
    const int full = span_plan_full(plan);
    const int last = span_plan_last(plan);
    if (lead != 0) {
        piece(lead, steps[0]);
    }
    for (int i = 0; i < full; ++i) {
        piece(SPAN_PIECE, steps[1 + i]);
    }
    if (last != 0) {
        piece(last, steps[1 + full]);
    }
}

// Calls pixel(i, u, v) for every pixel i of the plan from (u, v), adding the
// steps that step(SpanStep) gives for each piece once per pixel from the
// plan's start, never re-anchored. Hot callers capture by value, so that
// their state stays in registers.
template <typename StepFn, typename PixelFn>
inline void walk_pieces(const SpanPlan* plan, uint32_t u, uint32_t v, StepFn step, PixelFn& pixel)
{
    int i = 0;
    for_each_piece(plan, [&](int length, SpanStep piece) {
        const SpanStep d = step(piece);
        const uint32_t du = static_cast<uint32_t>(d.du);
        const uint32_t dv = static_cast<uint32_t>(d.dv);
        for (const int end = i + length; i < end; ++i) {
            pixel(i, u, v);
            u += du;
            v += dv;
        }
    });
}

// The same with the coordinates and steps at the level of `ta`.
template <typename PixelFn>
inline void walk_plan(const SpanPlan* plan, const TexelAddress ta, PixelFn pixel)
{
    walk_pieces(
        plan, ta.scale_u(plan->u), ta.scale_v(plan->v),
        [ta](SpanStep s) {
            return SpanStep{static_cast<int32_t>(ta.scale_u(s.du)), static_cast<int32_t>(ta.scale_v(s.dv))};
        },
        pixel);
}

// Calls draw(plan) for each of the `count` plans in order, after
// before_warp(plan); the plan is warped in between when S is not null. The
// warp rewrites the plan, so a plan buffer is drawn once.
template <typename BeforeFn, typename DrawFn>
inline void for_each_plan(SpanPlan* plans, int count, const int32_t* S, const int32_t* T, BeforeFn&& before_warp,
                          DrawFn&& draw)
{
    SpanPlan* plan = plans;
    for (int p = 0; p < count; ++p, plan = span_plan_next(plan)) {
        before_warp(plan);
        if (S != nullptr) {
            span_warp(plan, S, T);
        }
        draw(plan);
    }
}

template <typename DrawFn>
inline void for_each_plan(SpanPlan* plans, int count, const int32_t* S, const int32_t* T, DrawFn&& draw)
{
    for_each_plan(plans, count, S, T, [](const SpanPlan*) {}, draw);
}

// Plans that are never warped.
template <typename DrawFn>
inline void for_each_plan(const SpanPlan* plans, int count, DrawFn&& draw)
{
    const SpanPlan* plan = plans;
    for (int p = 0; p < count; ++p, plan = span_plan_next(plan)) {
        draw(plan);
    }
}
