// The box of a segment stands in for fmin and fmax in the walks' box tests:
// every bound, NaN ends and signed zeros included, must be theirs.
#include "world/tree_cast.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool same_bits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

} // namespace

TEST(SegmentBox, BoundsAreFminAndFmax)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 3.5e-39f, -2.5e30f, inf, -inf, nan};
    for (const float a : values) {
        for (const float b : values) {
            Vector lo;
            Vector hi;
            segment_box(Vector{a, b, a}, Vector{b, a, 7.0f}, lo, hi);
            const float want_lo[3] = {std::fmin(a, b), std::fmin(b, a), std::fmin(a, 7.0f)};
            const float want_hi[3] = {std::fmax(a, b), std::fmax(b, a), std::fmax(a, 7.0f)};
            const float got_lo[3] = {lo.x, lo.y, lo.z};
            const float got_hi[3] = {hi.x, hi.y, hi.z};
            for (int i = 0; i < 3; ++i) {
                // Zeros of either sign bound a box alike; only their value counts there.
                const bool zeros = want_lo[i] == 0.0f && got_lo[i] == 0.0f;
                EXPECT_TRUE(zeros || same_bits(got_lo[i], want_lo[i])) << a << " " << b << " axis " << i;
                const bool zeros_hi = want_hi[i] == 0.0f && got_hi[i] == 0.0f;
                EXPECT_TRUE(zeros_hi || same_bits(got_hi[i], want_hi[i])) << a << " " << b << " axis " << i;
            }
        }
    }
}
