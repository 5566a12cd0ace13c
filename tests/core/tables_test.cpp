#include "core/placement.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "core/view_frame.h"

#include "sine_table_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

TEST(EngineRand, ReproducesTheFifteenBitGenerator)
{
    engine_srand(1);
    // x = x * 214013 + 2531011, (x >> 16) & 0x7FFF, from seed 1.
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int32_t e : expected) {
        EXPECT_EQ(engine_rand(), e);
    }
    engine_srand(1);
    EXPECT_EQ(engine_rand(), 41);
}

TEST(SineTable, EntriesAndScale)
{
    SineTable t;
    ASSERT_EQ(t.init(4096), 1);
    EXPECT_EQ(t.n, 4096);
    EXPECT_FLOAT_EQ(t.scale, 4096.0f / (2.0f * std::numbers::pi_v<float>));
    EXPECT_EQ(t.values[0], 0.0f);
    EXPECT_FLOAT_EQ(t.values[1024], 1.0f);
    EXPECT_NEAR(t.values[2048], 0.0f, 1e-6f);
    EXPECT_NEAR(t.values[3072], -1.0f, 1e-6f);
    // Every entry is the float nearest its sine, give or take: no drift along the table.
    double worst = 0.0;
    for (int i = 0; i < 4096; ++i) {
        worst = std::max(worst, std::abs(t.values[i] - std::sin(i * 2.0 * std::numbers::pi / 4096)));
    }
    EXPECT_LT(worst, 1e-6);
    // Indices wrap through the mask, negative ones too.
    EXPECT_EQ(t.sine_at(-1024), t.values[3072]);
    EXPECT_EQ(t.cosine_at(0), t.values[1024]);
    t.release();
    EXPECT_EQ(t.values, nullptr);
}

TEST(RandomTable, DeterministicAndInRange)
{
    engine_srand(1);
    RandomTable a;
    ASSERT_EQ(a.init(1024), 1);
    engine_srand(1);
    RandomTable b;
    ASSERT_EQ(b.init(1024), 1);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(a.floats[i], b.floats[i]);
        ASSERT_EQ(a.vectors[i].x, b.vectors[i].x);
        ASSERT_GE(a.floats[i], 0.0f);
        ASSERT_LE(a.floats[i], 1.0f);
        const Vector& v = a.vectors[i];
        ASSERT_LE(vec_dot(v, v), 1.0f);
        ASSERT_GE(v.x, -1.0f);
        ASSERT_LE(v.z, 1.0f);
    }
    EXPECT_FLOAT_EQ(a.floats[0], 41.0f / 32767.0f);
    // Each entry draws its float, then its vector: 18467, 6334, 26500 lie inside the ball.
    const float to_signed = 2.0f / 32767.0f;
    EXPECT_FLOAT_EQ(a.vectors[0].x, 18467 * to_signed - 1.0f);
    EXPECT_FLOAT_EQ(a.vectors[0].y, 6334 * to_signed - 1.0f);
    EXPECT_FLOAT_EQ(a.vectors[0].z, 26500 * to_signed - 1.0f);
    EXPECT_FLOAT_EQ(a.floats[1], 19169.0f / 32767.0f);
}

TEST(RandomTable, CursorsWrapAfterN)
{
    RandomTable t;
    ASSERT_EQ(t.init(3), 1);
    const float first = t.next_float();
    t.next_float();
    t.next_float();
    EXPECT_EQ(t.next_float(), first);
    const Vector* v0 = &t.next_vector();
    t.next_vector();
    t.next_vector();
    EXPECT_EQ(&t.next_vector(), v0);
    EXPECT_EQ(t.float_cursor, 1);
}

namespace {

class Holder : public Placement {
public:
    int entity_type() const override { return 4; }
};


} // namespace

TEST_F(WithSineTable, PlacementComposesBothPoses)
{
    Holder h;
    EXPECT_EQ(h.transform.m[0], 1.0f);
    EXPECT_EQ(h.radius, 0.0f);
    const float half_pi = std::numbers::pi_v<float> / 2;
    const AnglePose poses[2] = {{{10, 0, 0}, half_pi, 0, 0}, {{1, 0, 0}, 0, 0, 0}};
    h.compose_transform(poses);
    // M1 M2: the second pose's offset is turned by the first pose's angle.
    EXPECT_NEAR(h.position.x, 10.0f, 1e-5f);
    EXPECT_NEAR(h.position.y, 1.0f, 1e-5f);

    h.linked_radius = 7.0f;
    h.centre_lists = &h;
    h.linked_leaves = 3;
    h.reset_transform();
    EXPECT_EQ(h.centre_lists, nullptr);
    EXPECT_EQ(h.linked_leaves, 0);
    EXPECT_EQ(h.linked_radius, 7.0f); // the holder's field stays
    EXPECT_NEAR(h.transform.m[3], 10.0f, 1e-5f);
    h.reset();
    EXPECT_EQ(h.transform.m[3], 0.0f);
}

TEST_F(WithSineTable, ViewFrameDefaultsAndInverse)
{
    ViewFrame v;
    EXPECT_EQ(v.param, 0.0f);
    EXPECT_EQ(v.half_x, 0.5f);
    EXPECT_EQ(v.half_y, 0.375f);
    v.set_param(1.25f);
    v.set_extents(1.0f, 0.75f);
    EXPECT_EQ(v.param, 1.25f);
    EXPECT_EQ(v.half_y, 0.75f);

    const AnglePose poses[2] = {{{5, 6, 7}, 0.4f, 0.2f, -0.3f}, {{0, 0, 0}, 0, 0, 0}};
    v.set_from_placement(poses);
    // With the second pose at rest the view takes the camera's position to the origin.
    Vector p;
    mat_rotate_vector(p, v.view, Vector{5, 6, 7});
    EXPECT_NEAR(vec_length(p), 0.0f, 1e-5f);
    v.reset();
    EXPECT_EQ(v.param, 0.0f);
    EXPECT_EQ(v.view.m[0], 1.0f);
}
