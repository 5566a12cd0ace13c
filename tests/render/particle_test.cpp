// Particle systems against worked examples: lives and deaths, restarts,
// fading, births spread along the emitter's motion within a step, colours,
// drawing, and the lists the renderers rebuild every frame.
#include "entity_fixture.h"
#include "renderer/particle_render.h"
#include "world/span_bucket.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class ParticleTest : public EntityTest {
protected:
    // Every random float the table gives is r.
    void fix_random(float r)
    {
        for (int32_t i = 0; i < random_.n; ++i) {
            random_.floats[i] = r;
        }
    }
    ParticleRender system_;
};

} // namespace

TEST_F(ParticleTest, AOneShotSystemDiesAfterItsLivesAndEndsWhenStopped)
{
    ASSERT_EQ(system_.allocate(5), 1);
    system_.start(5, 10, 15, 0, 0);
    const int32_t expected[5] = {14, 13, 12, 11, 10}; // k counts down from 4: 10 + k mod 5
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(system_.particles[i].life, expected[i]);
    }
    system_.start(5, 50, 50, 0, 0);
    EXPECT_EQ(system_.particles[0].life, 14) << "no restart while any particle lives";
    for (int tick = 0; tick < 20; ++tick) {
        system_.simulate(1);
    }
    EXPECT_EQ(system_.dead, 5);
    EXPECT_TRUE(system_.is_alive()) << "until stopped";
    system_.stop();
    EXPECT_FALSE(system_.is_alive());

    system_.allocate(3);
    system_.start(3, 10, 10, 0, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(system_.particles[i].life, 10) << "min = max: all lives the min";
    }
}

TEST_F(ParticleTest, WaitingParticlesOfAStoppedSystemDieAtOnce)
{
    ASSERT_EQ(system_.allocate(4), 1);
    system_.set_mode(PARTICLE_CONTINUOUS);
    system_.start(1, 100, 100, 5, 8);
    EXPECT_EQ(system_.particles[1].life, -7); // k = 2: 5 + 2 mod 3
    EXPECT_EQ(system_.particles[3].life, -5);
    system_.simulate(6);
    EXPECT_GT(system_.particles[3].life, 0) << "born after waiting";
    system_.stop();
    EXPECT_EQ(system_.dead, 1) << "the one still waiting";
    EXPECT_TRUE(system_.is_alive());
}

TEST_F(ParticleTest, AFadeOfOneHalfASecondHalvesIn70Ticks)
{
    ASSERT_EQ(system_.allocate(1), 1);
    system_.set_fade(1.0f, 0.0f, 0.5f);
    system_.start(1, 1000, 1000, 0, 0);
    system_.simulate(70);
    EXPECT_NEAR(system_.particles[0].intensity, 0.5f, 1e-4f);
    for (int i = 0; i < 6; ++i) {
        system_.simulate(70);
    }
    EXPECT_NEAR(system_.particles[0].intensity, 1.0f / 128.0f, 1e-5f);
    EXPECT_EQ(system_.particles[0].life, 0) << "below 0.01: dead";
    EXPECT_EQ(system_.dead, 1);

    for (const float fade : {0.0f, -1.0f, NAN}) {
        system_.set_fade(1.0f, 0.0f, fade);
        system_.start(1, 1000, 1000, 0, 0);
        system_.simulate(1);
        EXPECT_EQ(system_.dead, 1) << "a fade of " << fade << " ends at the first step";
    }
}

TEST_F(ParticleTest, AParticleEndingWithinAStepIsBornWhereTheEmitterWasThen)
{
    ASSERT_EQ(system_.allocate(1), 1);
    system_.set_mode(PARTICLE_CONTINUOUS);
    system_.setup_emitter({0, 0, 0}, {0, 0, 0}, {70, 0, 0}, {0, 0, 0}, 0); // one unit a tick
    system_.start(1, 3, 3, 0, 0);
    EXPECT_EQ(system_.particles[0].pos[0], 0.0f);
    mat_set_translation(system_.transform, {10, 0, 0});
    system_.simulate(5);
    // Ended 3 ticks into the step: born 3/5 of the way to x = 10, then 2 ticks on.
    EXPECT_NEAR(system_.particles[0].pos[0], 6.0f + 2.0f, 1e-5f);
    EXPECT_EQ(system_.particles[0].life, 98);
    EXPECT_EQ(system_.previous.m[3], 10.0f);
}

TEST_F(ParticleTest, BirthsDrawTheirRandomsInOrder)
{
    ASSERT_EQ(system_.allocate(1), 1);
    for (int32_t i = 0; i < random_.n; ++i) {
        random_.floats[i] = static_cast<float>(i % 10) / 10.0f;
    }
    random_.float_cursor = 0;
    system_.setup_emitter({0, 0, 0}, {10, 20, 30}, {0, 0, 0}, {70, 140, 210}, 0);
    system_.set_colours_raw(0x00000080u, 0x00000040u);
    system_.set_fade(2.0f, 10.0f, 1.0f);
    system_.start(1, 5, 5, 0, 0);
    const Particle& p = system_.particles[0];
    // r1..r6 = 0.0 .. 0.5: position x r3, y r2, z r1; velocity x r6, y r5, z r4.
    EXPECT_NEAR(p.pos[0], -5 + 10 * 0.2f, 1e-5f);
    EXPECT_NEAR(p.pos[1], -10 + 20 * 0.1f, 1e-5f);
    EXPECT_NEAR(p.pos[2], -15 + 30 * 0.0f, 1e-5f);
    EXPECT_NEAR(p.vel[0], -0.5f + 1 * 0.5f, 1e-5f);
    EXPECT_NEAR(p.vel[1], -1.0f + 2 * 0.4f, 1e-5f);
    EXPECT_NEAR(p.vel[2], -1.5f + 3 * 0.3f, 1e-5f);
    EXPECT_EQ(p.colour, 0x80u + 38u) << "r7 = 0.6: 0x40 x 0.6 rounds to 38";
    EXPECT_NEAR(p.intensity, 2.0f + 0.7f * 10.0f, 1e-5f);
    EXPECT_EQ(p.phase, std::lrint(0.8 * 32768.0));

    fix_random(1.0f);
    system_.set_colours_raw(0x000000F0u, 0x00000040u);
    system_.allocate(1);
    system_.start(1, 5, 5, 0, 0);
    EXPECT_EQ(system_.particles[0].colour, 0xFFu) << "0xF0 + 0x40 stops at 255";
}

TEST_F(ParticleTest, OnlyLiveParticlesAreDrawnInFrontOfTheCamera)
{
    start(64, 48);
    look({0, 0, 0}, {1, 0, 0});
    ASSERT_EQ(system_.allocate(2), 1);
    system_.set_colours_raw(0x00FF8040u, 0);
    system_.start(2, 10, 10, 0, 0);
    for (int i = 0; i < 2; ++i) {
        system_.particles[i].pos[0] = 20.0f;
        system_.particles[i].pos[1] = i == 0 ? 0.0f : -5.0f;
        system_.particles[i].pos[2] = 0.0f;
        system_.particles[i].intensity = 4.0f;
        system_.particles[i].phase = 0;
    }
    system_.particles[1].life = 0;
    system_.draw(projection_);
    const int32_t live = drawn_pixels();
    EXPECT_GT(live, 0);
    EXPECT_EQ(projection_.depth_rows[24][32], 0) << "depth is not written";
    system_.particles[1].life = 1;
    system_.draw(projection_);
    EXPECT_GT(drawn_pixels(), live) << "the other one, alive now";
}

TEST_F(ParticleTest, SystemsMarkedWhenSeenAdvanceOnlyAfterBeingDrawn)
{
    ASSERT_EQ(system_.allocate(1), 1);
    system_.set_mode(PARTICLE_WHEN_SEEN);
    system_.setup_emitter({0, 0, 0}, {0, 0, 0}, {70, 0, 0}, {0, 0, 0}, 0);
    system_.start(1, 50, 50, 0, 0);
    system_.simulate(1);
    EXPECT_EQ(system_.particles[0].pos[0], 0.0f) << "never drawn";
    system_.stamp_frame(7);
    system_.simulate(1);
    system_.simulate(1);
    EXPECT_NEAR(system_.particles[0].pos[0], 1.0f, 1e-6f) << "once per drawing";
}

TEST(SpanBucket, ANewStampForgetsTheItemsOfTheLastFrame)
{
    BucketList list;
    BucketItem a{nullptr, "a"};
    BucketItem b{nullptr, "b"};
    BucketItem c{nullptr, "c"};
    EXPECT_EQ(span_bucket_insert(&list, nullptr, 1), nullptr);
    EXPECT_EQ(span_bucket_insert(&list, &a, 1), &list) << "a new frame answers the list";
    EXPECT_EQ(span_bucket_insert(&list, &b, 1), nullptr);
    EXPECT_EQ(list.chain, &b);
    EXPECT_EQ(b.next, &a);
    EXPECT_EQ(span_bucket_insert(&list, &c, 2), &list);
    EXPECT_EQ(list.chain, &c);
    EXPECT_EQ(c.next, nullptr);
    EXPECT_STREQ(static_cast<const char*>(list.key), "c");
}
