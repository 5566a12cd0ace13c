#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/span_plan.h"
#include "soft/span_warp.h"

namespace {

int steps_in(const SpanPlan* plan)
{
    return static_cast<int>((reinterpret_cast<const char*>(span_plan_next(plan)) -
                             reinterpret_cast<const char*>(span_plan_steps(plan))) /
                            static_cast<long>(sizeof(SpanStep)));
}

} // namespace

TEST(SpanPlan, PiecesEndOnSixtyFourByteBoundaries)
{
    struct Case {
        const char* why;
        int x, count, lead, full, last;
    };
    const Case cases[] = {
        {"one pixel on a boundary is one piece of one pixel", 0, 1, 0, 0, 1},
        {"one pixel before a boundary", 15, 1, 1, 0, 0},
        {"17 from 3 before a boundary", 13, 17, 3, 0, 14},
        {"20 from 3 before a boundary", 13, 20, 3, 1, 1},
        {"4 from 5 before a boundary is a single piece", 11, 4, 4, 0, 0},
        {"5 from 5 before a boundary ends on it", 11, 5, 5, 0, 0},
        {"6 from 5 before a boundary", 11, 6, 5, 0, 1},
        {"16 on a boundary", 0, 16, 0, 0, 16},
        {"17 on a boundary", 0, 17, 0, 1, 1},
        {"33 on a boundary", 0, 33, 0, 2, 1},
        {"full row from an odd place", 7, 57, 9, 2, 16},
    };
    for (const Case& c : cases) {
        auto f = make_frame();
        const SpanPlan* plan = f->add_affine(c.x, 1, c.count, 0, 0, 0x10000, 0);
        EXPECT_EQ(span_plan_lead(plan), c.lead) << c.why;
        EXPECT_EQ(span_plan_full(plan), c.full) << c.why;
        EXPECT_EQ(span_plan_last(plan), c.last) << c.why;
        EXPECT_EQ(span_plan_pixels(plan), c.count) << c.why;
        EXPECT_EQ(steps_in(plan), 1 + c.full + (c.last != 0 ? 1 : 0)) << c.why;
        EXPECT_LE(static_cast<size_t>(reinterpret_cast<const char*>(span_plan_next(plan)) -
                                      reinterpret_cast<const char*>(plan)),
                  span_plan_max_bytes(c.count))
            << c.why;
    }
}

TEST(SpanPlan, PiecesInterpolateBetweenExactPerspectiveValues)
{
    auto f = make_frame();
    // u = U/W along the span, U and W linear in x.
    const double W0 = 0.5, dW = 0.01, U0 = 3.0 * 65536 * W0, dU = 0.7 * 65536 * W0;
    const double V0 = 100.0 * 65536 * W0, dV = -2.5 * 65536 * W0;
    const int count = 45;
    const SpanPlan* plan = f->plans();
    span_setup_persp(f->plans(), f->row(0) + 5, f->depth_row(0) + 5, count, 0, 0, static_cast<float>(U0),
                     static_cast<float>(V0), static_cast<float>(dU * W0 - dW * U0),
                     static_cast<float>(dV * W0 - dW * V0), static_cast<float>(W0), static_cast<float>(dW));
    auto exact_u = [&](int x) { return (U0 + dU * x) / (W0 + dW * x); };
    auto exact_v = [&](int x) { return (V0 + dV * x) / (W0 + dW * x); };
    EXPECT_NEAR(plan->u, exact_u(0), 1.0);
    EXPECT_NEAR(plan->v, exact_v(0), 1.0);

    // Each piece ends at the next piece's first pixel, the last at the span's last pixel.
    const SpanStep* steps = span_plan_steps(plan);
    double u = plan->u, v = plan->v;
    int x = 0, n = 0;
    auto check_piece = [&](int length, int measured, SpanStep s) {
        u += static_cast<double>(s.du) * measured;
        v += static_cast<double>(s.dv) * measured;
        x += measured;
        // Rounding of each step costs at most half a unit per pixel.
        EXPECT_NEAR(u, exact_u(x), 1.0 + 0.5 * x) << "piece " << n;
        EXPECT_NEAR(v, exact_v(x), 1.0 + 0.5 * x) << "piece " << n;
        x += length - measured;
        ++n;
    };
    ASSERT_EQ(span_plan_lead(plan), 11);
    check_piece(11, 11, steps[0]);
    for (int i = 0; i < span_plan_full(plan); ++i) {
        check_piece(16, 16, steps[1 + i]);
    }
    check_piece(span_plan_last(plan), span_plan_last(plan) - 1, steps[1 + span_plan_full(plan)]);
    EXPECT_EQ(x, count);
}

TEST(SpanPlan, OnePixelTakesTheDerivativeAtThatPixel)
{
    auto f = make_frame();
    const float W = 2.0f, U = 6.0f * 65536, Cu = 4.0f * 65536, Cv = -8.0f * 65536;
    const SpanPlan* plan = f->plans();
    span_setup_persp(f->plans(), f->row(0), f->depth_row(0), 1, 0, 0, U, 0.0f, Cu, Cv, W, 0.5f);
    EXPECT_EQ(plan->u, 3 * 65536);
    EXPECT_EQ(span_plan_steps(plan)[1].du, 65536);  // Cu / W^2
    EXPECT_EQ(span_plan_steps(plan)[1].dv, -131072);
}

TEST(SpanPlan, LeadOfNoPixelsStillStoresItsSteps)
{
    auto f = make_frame();
    const SpanPlan* plan = f->add_affine(16, 0, 20, 0, 0, 0x18000, 0x4000);
    EXPECT_EQ(span_plan_lead(plan), 0);
    EXPECT_EQ(span_plan_steps(plan)[0].du, 0x18000);
    EXPECT_EQ(span_plan_steps(plan)[0].dv, 0x4000);
}

TEST(SpanPlan, DepthLayingWritesEveryPixelWithWrappingSteps)
{
    auto f = make_frame();
    f->fill_depth(0x1234);
    span_setup_persp_z(f->plans(), f->row(2) + 3, f->depth_row(2) + 3, 4, static_cast<int32_t>(0xFFFE8000), 0x10000,
                       0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    const uint16_t expected[] = {0x1234, 0x1234, 0x1234, 0xFFFE, 0xFFFF, 0x0000, 0x0001, 0x1234};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(f->depth_row(2)[i], expected[i]) << i;
    }
    // The plain builder leaves depth alone.
    span_setup_persp(f->plans(), f->row(3), f->depth_row(3), 8, 0x7FFF0000, 0, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(f->depth_row(3)[0], 0x1234);
}

TEST(SpanWarp, LinearDisplacementGivesLinearSteps)
{
    auto f = make_frame();
    // T grows by 1/16 texel per table step, i.e. v' = v + u / 16.
    std::vector<int32_t> S(WARP_TABLE_ENTRIES, 0x20000), T(WARP_TABLE_ENTRIES);
    for (int k = 0; k < WARP_TABLE_ENTRIES; ++k) {
        T[k] = k * 256;
    }
    SpanPlan* plan = f->add_affine(12, 0, 40, 0, 0, 0x10000, 0);
    ASSERT_EQ(span_plan_lead(plan), 4);
    span_warp(plan, S.data(), T.data());
    EXPECT_EQ(plan->u, 0x20000);
    EXPECT_EQ(plan->v, 0);
    const SpanStep* steps = span_plan_steps(plan);
    for (int i = 0; i < span_plan_step_count(plan); ++i) {
        EXPECT_EQ(steps[i].du, 0x10000) << i;
        EXPECT_EQ(steps[i].dv, 0x1000) << i;
    }
}

TEST(SpanWarp, UsesCoordinatesBeforeDisplacementForBothLookUps)
{
    auto f = make_frame();
    std::vector<int32_t> S(WARP_TABLE_ENTRIES, 0), T(WARP_TABLE_ENTRIES, 0);
    S[5] = 0x30000; // chosen by v = 5 * 4096
    T[0] = 0x7000;  // chosen by u = 0, not by the displaced u
    SpanPlan* plan = f->add_affine(15, 0, 1, 0, 5 * 4096, 0, 0);
    span_warp(plan, S.data(), T.data());
    EXPECT_EQ(plan->u, 0x30000);
    EXPECT_EQ(plan->v, 5 * 4096 + 0x7000);
}
