// The software mixer: channels, serials and choice, sample data with its
// guard samples as a cache owner, positions and loops, and bad input.
#include "sound_fixture.h"

#include "core/config_variable.h"
#include "core/kheap.h"
#include "support/print_capture.h"

#include <limits>

namespace {

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { capture_.show_all(); }

    // A channel playing `t` at the frequency; 0 when something failed.
    int32_t play(TestSample& t, int32_t hz, float volume = 1.0f)
    {
        const int32_t h = mixer_.channel_choose(50.0f);
        if (h == 0 || !mixer_.device_sample_create(&t.desc) || mixer_.channel_start(h, &t.desc, 10.0f, 1.0f) != 1) {
            return 0;
        }
        mixer_.channel_set_frequency(h, hz);
        mixer_.channel_set_volume(h, volume);
        mixer_.channel_set_pan(h, SD_UNPANNED);
        return h;
    }
    const MixChannel& ch(int32_t h) { return mixer_.channel(h & 0xFF); }

    PrintCapture capture_;
    TestMixer mixer_;
};

TEST_F(MixerTest, IncrementIsFrequencyInElevenBitFixedPointOverTheRate)
{
    struct Case {
        const char* why;
        int32_t rate;
        int32_t hz;
        int32_t increment;
    };
    const Case cases[] = {
        {"same rate steps one sample", 44100, 44100, 2048},
        {"8363 Hz in 22,050 Hz", 22050, 8363, 776},
        {"octave up", 22050, 44100, 4096},
        {"frequency past the fixed point is held at 2^21-1", 44100, 3000000, static_cast<int32_t>((uint32_t{2097151} << 11) / 44100)},
        {"largest int frequency is held too", 11025, std::numeric_limits<int32_t>::max(), static_cast<int32_t>((uint32_t{2097151} << 11) / 11025)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(mixer_.start(c.rate));
        TestSample t;
        TestSample::fill8(t, std::vector<int8_t>(100000, 1));
        const int32_t h = play(t, c.hz);
        ASSERT_NE(h, 0) << c.why;
        mixer_.frames(1);
        EXPECT_EQ(ch(h).increment, c.increment) << c.why;
        mixer_.sample_remove(&t.desc);
    }
}

TEST_F(MixerTest, NegativeOrZeroFrequencySkipsTheChannel)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(1000, 100));
    const int32_t h = play(t, -5000);
    ASSERT_NE(h, 0);
    EXPECT_EQ(ch(h).frequency, 0);
    const std::vector<int16_t> w = mixer_.words(10);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(ch(h).pos, 0);
    EXPECT_NE(ch(h).flags & MIXCF_PLAYING, 0u);
    mixer_.sample_remove(&t.desc);
}

TEST_F(MixerTest, PanSetsTheLevelsOfBothSides)
{
    struct Case {
        const char* why;
        float pan;
        float volume;
        int32_t pos;
        int32_t left;
        int32_t right;
    };
    const Case cases[] = {
        {"centre: 64 x 127/255 and 64 x 128/255", 0.0f, 1.0f, 128, 31, 32},
        {"unpanned plays full on both sides", SD_UNPANNED, 1.0f, 256, 64, 64},
        {"hard left", -1.0f, 1.0f, 0, 64, 0},
        {"hard right", 1.0f, 1.0f, 255, 0, 64},
        {"beyond right is clamped", 2.0f, 1.0f, 255, 0, 64},
        {"beyond left is clamped", -3.0f, 1.0f, 0, 64, 0},
        {"half left", -0.5f, 1.0f, 64, 47, 16},
        {"quarter right", 0.25f, 1.0f, 160, 23, 40},
        {"half right at half volume", 0.5f, 0.5f, 192, 7, 24},
        {"unpanned half volume", SD_UNPANNED, 0.5f, 256, 32, 32},
        {"NaN pans to the centre", std::numeric_limits<float>::quiet_NaN(), 1.0f, 128, 31, 32},
        {"volume above 1 is held at 1", SD_UNPANNED, 7.0f, 256, 64, 64},
        {"negative volume is silence", SD_UNPANNED, -1.0f, 256, 0, 0},
    };
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(100000, 0));
    const int32_t h = play(t, 22050);
    for (const Case& c : cases) {
        mixer_.channel_set_pan(h, c.pan);
        mixer_.channel_set_volume(h, c.volume);
        mixer_.frames(1);
        EXPECT_EQ(ch(h).pan_pos, c.pos) << c.why;
        EXPECT_EQ(ch(h).left, c.left) << c.why;
        EXPECT_EQ(ch(h).right, c.right) << c.why;
    }
    mixer_.sample_remove(&t.desc);
}

TEST_F(MixerTest, MonoOutputIgnoresThePan)
{
    ASSERT_TRUE(mixer_.start(22050, false, SDF_16BIT));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(1000, 0));
    const int32_t h = play(t, 22050, 0.5f);
    mixer_.channel_set_pan(h, -1.0f);
    mixer_.frames(1);
    EXPECT_EQ(ch(h).left, 32);
    EXPECT_EQ(ch(h).right, 32);
    mixer_.sample_remove(&t.desc);
}

TEST_F(MixerTest, ChoiceTakesTheLowestScoreAboveThePriority)
{
    ASSERT_TRUE(mixer_.start(22050, false, SDF_STEREO | SDF_16BIT, 3));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(100000, 0));
    ASSERT_TRUE(mixer_.device_sample_create(&t.desc));
    int32_t h[3];
    const float priorities[3] = {60.0f, 55.0f, 70.0f};
    for (int i = 0; i < 3; ++i) {
        h[i] = mixer_.channel_choose(90.0f);
        ASSERT_EQ(h[i] & 0xFF, i) << "idle channels are taken in index order";
        ASSERT_EQ(mixer_.channel_start(h[i], &t.desc, priorities[i], 20.0f), 1);
        mixer_.channel_set_volume(h[i], 0.5f);
        mixer_.channel_set_frequency(h[i], 22050);
        mixer_.channel_hold(h[i], 0);
    }
    // Scores: 20 x 0.5 + priority = 70, 65, 80.
    EXPECT_EQ(mixer_.channel_choose(50.0f), 0) << "every score is above 50";
    EXPECT_EQ(mixer_.channel_choose(64.9f), 0);
    EXPECT_TRUE(mixer_.channel_valid(h[1]));
    const int32_t taken = mixer_.channel_choose(65.0f);
    EXPECT_EQ(taken & 0xFF, 1) << "the lowest score wins when the priority reaches it";
    EXPECT_FALSE(mixer_.channel_valid(h[1])) << "the old handle is stale";
    EXPECT_EQ(mixer_.channel_finished(h[1]), 1);
    EXPECT_EQ(mixer_.channel_set_volume(h[1], 1.0f), 0) << "stale handles change nothing";
    EXPECT_EQ(ch(taken).flags & MIXCF_PLAYING, 0u);
    EXPECT_EQ(ch(taken).hold, 1);
    EXPECT_EQ(mixer_.channel_finished(taken), 0) << "a fresh channel is held until started";
    EXPECT_EQ(mixer_.channel_choose(1000.0f) & 0xFF, 0) << "the held one scores 100; 70 wins";

    mixer_.channel_stop(h[2]);
    mixer_.channel_hold(h[2], 0);
    EXPECT_EQ(mixer_.channel_choose(0.0f) & 0xFF, 2) << "an idle channel scores 0";
    for (int i = 0; i < 3; ++i) {
        mixer_.channel_hold((ch(h[0]).serial << 8) | i, -1);
    }
    EXPECT_EQ(mixer_.channel_choose(1e9f), 0) << "held channels are never taken";
    mixer_.sample_remove(&t.desc);
}

TEST_F(MixerTest, HoldsCountDownOncePerPass)
{
    ASSERT_TRUE(mixer_.start(22050, false, SDF_STEREO | SDF_16BIT, 1));
    const int32_t h = mixer_.channel_choose(1.0f);
    mixer_.channel_hold(h, 3);
    mixer_.frames(4096 * 2 + 1); // three passes
    EXPECT_EQ(ch(h).hold, 0);
    EXPECT_EQ(mixer_.channel_finished(h), 1);
}

TEST_F(MixerTest, SerialWrapsToOneAndOnlyRecurringSerialsRevive)
{
    ASSERT_TRUE(mixer_.start(22050, false, SDF_STEREO | SDF_16BIT, 1));
    const int32_t first = mixer_.channel_choose(1.0f);
    EXPECT_EQ(first, (1 << 8) | 0);
    int32_t last = first;
    for (int i = 1; i < MIX_MAX_SERIAL; ++i) {
        mixer_.channel_hold(last, 0);
        last = mixer_.channel_choose(1.0f);
    }
    EXPECT_EQ(last, MIX_MAX_SERIAL << 8);
    EXPECT_FALSE(mixer_.channel_valid(first));
    mixer_.channel_hold(last, 0);
    const int32_t wrapped = mixer_.channel_choose(1.0f);
    EXPECT_EQ(wrapped, 1 << 8);
    EXPECT_FALSE(mixer_.channel_valid(last));
    EXPECT_TRUE(mixer_.channel_valid(first)) << "serial 1 has come round again";
    EXPECT_FALSE(mixer_.channel_valid(0)) << "handle 0 names no channel";
    EXPECT_FALSE(mixer_.channel_valid((1 << 8) | 1)) << "index beyond the channel count";
}

TEST_F(MixerTest, NoHandleIsValidBeforeItsChannelWasChosen)
{
    ASSERT_TRUE(mixer_.start(22050));
    for (int i = 0; i < 32; ++i) {
        EXPECT_FALSE(mixer_.channel_valid(i));
    }
}

struct GuardCase {
    const char* why;
    bool wide;
    std::vector<int> data;     // signed sample values
    uint8_t flags;             // SDSF_* loop bits
    int32_t loop_start;
    int32_t loop_end;
    std::vector<int> guard;    // signed values expected from the first guard slot on
    int32_t grown_length;      // the descriptor's length afterwards
};

TEST_F(MixerTest, GuardSamplesFollowTheData)
{
    const GuardCase cases[] = {
        {"16-bit without loop repeats the last sample 4 times", true, {1, 2, 3, 4, 5}, 0, 0, 5, {5, 5, 5, 5}, 9},
        {"8-bit without loop repeats the last sample 8 times", false, {1, 2, 3}, 0, 0, 3, {3, 3, 3, 3, 3, 3, 3, 3}, 11},
        {"16-bit loop ending at the end copies from the loop start", true, {10, 11, 12, 13, 14, 15}, SDSF_LOOPED, 2, 6,
         {12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15}, 22},
        {"16-bit loop ending 2 short of the end cuts the data there", true, {10, 11, 12, 13, 14, 15, 16, 17},
         SDSF_LOOPED, 1, 6, {11, 12, 13, 14, 15, 11, 12, 13, 14, 15, 11, 12, 13, 14, 15, 11}, 22},
        {"16-bit loop ending 3 short of the end keeps the data", true, {10, 11, 12, 13, 14, 15, 16, 17, 18},
         SDSF_LOOPED, 1, 6, {18, 18, 18, 18}, 13},
        {"8-bit loop within 4 of the end", false, {1, 2, 3, 4, 5, 6, 7, 8}, SDSF_LOOPED, 0, 4,
         {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4}, 36},
        {"8-bit loop 5 short of the end keeps the data", false, {1, 2, 3, 4, 5, 6, 7, 8, 9}, SDSF_LOOPED, 0, 4,
         {9, 9, 9, 9, 9, 9, 9, 9}, 17},
        {"ping-pong loop plays the samples before its end backwards", true, {10, 11, 12, 13, 14, 15},
         SDSF_LOOPED | SDSF_BIDI, 1, 6, {15, 14, 13, 12, 11, 11, 12, 13, 14, 15, 15, 14, 13, 12, 11, 11}, 22},
        {"ping-pong alone implies a loop", true, {10, 11, 12, 13}, SDSF_BIDI, 0, 4,
         {13, 12, 11, 10, 10, 11, 12, 13, 13, 12, 11, 10, 10, 11, 12, 13}, 20},
        {"one-sample loop repeats it", true, {10, 11, 12}, SDSF_LOOPED, 2, 3,
         {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12}, 19},
        {"loop end past the data is held at the data's end", true, {10, 11, 12, 13}, SDSF_LOOPED, 1, 4000,
         {11, 12, 13, 11, 12, 13, 11, 12, 13, 11, 12, 13, 11, 12, 13, 11}, 20},
        {"zero-length loop is no loop", true, {10, 11, 12, 13}, SDSF_LOOPED, 2, 2, {13, 13, 13, 13}, 8},
        {"loop start past its end is no loop", true, {10, 11, 12, 13}, SDSF_LOOPED, 3, 1, {13, 13, 13, 13}, 8},
        {"one-sample 16-bit sample", true, {-7}, 0, 0, 1, {-7, -7, -7, -7}, 5},
    };
    ASSERT_TRUE(mixer_.start(22050));
    for (const GuardCase& c : cases) {
        TestSample t;
        if (c.wide) {
            TestSample::fill16(t, std::vector<int16_t>(c.data.begin(), c.data.end()));
        } else {
            TestSample::fill8(t, std::vector<int8_t>(c.data.begin(), c.data.end()));
        }
        t.desc.flags |= c.flags;
        t.desc.loop_start = c.loop_start;
        t.desc.loop_end = c.loop_end;
        ASSERT_TRUE(mixer_.device_sample_create(&t.desc)) << c.why;
        ASSERT_EQ(mixer_.sample_ready(&t.desc), 1) << c.why;
        const MixSample* s = mixer_.mix_sample(&t.desc);
        EXPECT_EQ(t.desc.length, c.grown_length) << c.why;
        EXPECT_EQ(s->length, c.grown_length << 11) << c.why;
        const int32_t first_guard = c.grown_length - static_cast<int32_t>(c.guard.size());
        for (size_t k = 0; k < c.guard.size(); ++k) {
            const size_t i = static_cast<size_t>(first_guard) + k;
            const int got = c.wide ? static_cast<int>(s->data[2 * i] | (s->data[2 * i + 1] << 8)) - 32768
                                   : static_cast<int>(s->data[i]) - 128;
            EXPECT_EQ(got, c.guard[k]) << c.why << " guard " << k;
        }
        for (size_t i = 0; i < static_cast<size_t>(first_guard); ++i) {
            const int got = c.wide ? static_cast<int>(s->data[2 * i] | (s->data[2 * i + 1] << 8)) - 32768
                                   : static_cast<int>(s->data[i]) - 128;
            EXPECT_EQ(got, c.data[i]) << c.why << " converted sample " << i;
        }
        mixer_.sample_remove(&t.desc);
    }
}

TEST_F(MixerTest, UnsignedSourceDataIsTakenAsItIs)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    t.source.bytes = {0x00, 0x80, 0xFF};
    t.desc.length = t.desc.loop_end = 3;
    t.desc.flags = SDSF_UNSIGNED;
    t.desc.source = &t.source;
    ASSERT_TRUE(mixer_.device_sample_create(&t.desc));
    ASSERT_EQ(mixer_.sample_ready(&t.desc), 1);
    const MixSample* s = mixer_.mix_sample(&t.desc);
    EXPECT_EQ(s->data[0], 0x00);
    EXPECT_EQ(s->data[1], 0x80);
    EXPECT_EQ(s->data[2], 0xFF);
    EXPECT_EQ(s->flags & ~MIXSM_MAGIC, MIXSF_UNSIGNED | MIXSF_CACHED | MIXSF_USED);
    mixer_.sample_remove(&t.desc);
}

TEST_F(MixerTest, PositionsAreNormalisedIntoTheSample)
{
    struct Case {
        const char* why;
        uint8_t flags;
        int32_t loop_start;
        int32_t loop_end;
        int32_t position;
        int direction;
        int32_t pos;      // samples
        bool backward;
    };
    // Samples of 100, loop 20..60 where looped.
    const Case cases[] = {
        {"inside plays on", 0, 0, 100, 40, 1, 40, false},
        {"at the end stays (the mix stops it)", 0, 0, 100, 100, 1, 100, false},
        {"past the end of no loop restarts", 0, 0, 100, 101, 1, 0, false},
        {"past the loop end wraps into the loop", SDSF_LOOPED, 20, 60, 70, 1, 30, false},
        {"far past the loop end wraps many times", SDSF_LOOPED, 20, 60, 1000, 1, 40, false},
        {"beyond 2^20 frames wraps too", SDSF_LOOPED, 20, 60, 5000000, 1, 40, false},
        {"beyond 2^20 frames without loop restarts", 0, 0, 100, 5000000, 1, 0, false},
        {"at the loop end exactly stays", SDSF_LOOPED, 20, 60, 60, 1, 60, false},
        {"ping-pong past its end runs backward from there", SDSF_BIDI, 20, 60, 70, 1, 70, true},
        {"ping-pong far past the data runs backward from its end", SDSF_BIDI, 20, 60, 5000000, 1, 100, true},
        {"ping-pong backward turns forward", SDSF_BIDI, 20, 60, 30, 2, 30, false},
        {"backward inside a plain loop", SDSF_LOOPED, 20, 60, 30, 2, 30, true},
        {"backward beyond the data is held at its end", 0, 0, 100, 5000000, 2, 100, true},
        {"negative positions count as their magnitude", 0, 0, 100, -40, 1, 40, false},
    };
    ASSERT_TRUE(mixer_.start(22050));
    for (const Case& c : cases) {
        TestSample t;
        TestSample::fill8(t, std::vector<int8_t>(100, 1));
        t.desc.flags |= c.flags;
        t.desc.loop_start = c.loop_start;
        t.desc.loop_end = c.loop_end;
        const int32_t h = play(t, 22050);
        ASSERT_NE(h, 0) << c.why;
        ASSERT_EQ(mixer_.channel_set_position(h, c.position, c.direction), 1) << c.why;
        EXPECT_EQ(ch(h).pos, c.pos << 11) << c.why;
        EXPECT_EQ((ch(h).flags & MIXCF_BACKWARD) != 0, c.backward) << c.why;
        mixer_.sample_remove(&t.desc);
    }
}

TEST_F(MixerTest, LoopsSetOnAChannelStayInsideTheData)
{
    struct Case {
        const char* why;
        uint32_t flags;
        int32_t start;
        int32_t end;
        uint32_t loop_bits;
        int32_t loop_start;
        int32_t loop_end;
    };
    const Case cases[] = {
        {"a plain loop", MIXSF_LOOPED, 10, 50, MIXSF_LOOPED, 10, 50},
        {"ping-pong implies looped", MIXSF_BIDI, 10, 50, MIXSF_LOOPED | MIXSF_BIDI, 10, 50},
        {"-1 takes the sample's own points", MIXSF_LOOPED, -1, -1, MIXSF_LOOPED, 0, 100},
        {"end past the data is held at its end", MIXSF_LOOPED, 10, 5000000, MIXSF_LOOPED, 10, 100},
        {"zero length is no loop", MIXSF_LOOPED, 30, 30, 0, 30, 30},
        {"start past end is no loop", MIXSF_BIDI, 60, 40, 0, 60, 40},
        {"no loop keeps the end where playing stops", 0, 0, 70, 0, 0, 70},
        {"other flag bits are not loop bits", 0x1000 | MIXSF_16BIT, 0, 70, 0, 0, 70},
    };
    ASSERT_TRUE(mixer_.start(22050));
    for (const Case& c : cases) {
        TestSample t;
        TestSample::fill8(t, std::vector<int8_t>(100, 1));
        const int32_t h = play(t, 22050);
        ASSERT_EQ(mixer_.channel_set_loop(h, c.flags, c.start, c.end), 1) << c.why;
        EXPECT_EQ(ch(h).flags & (MIXSF_LOOPED | MIXSF_BIDI), c.loop_bits) << c.why;
        EXPECT_EQ(ch(h).loop_start, c.loop_start << 11) << c.why;
        EXPECT_EQ(ch(h).end, c.loop_end << 11) << c.why;
        EXPECT_EQ(ch(h).flags & MIXSF_16BIT, 0u) << c.why;
        mixer_.sample_remove(&t.desc);
    }
}

// Loops far shorter than one step keep playing inside the loop, each frame
// landing where stepping one sample at a time would have landed.
TEST_F(MixerTest, LoopsShorterThanOneIncrementKeepPlayingInsideTheLoop)
{
    struct Case {
        const char* why;
        uint8_t flags;
        int32_t loop_start;
        int32_t loop_end;
        std::vector<int16_t> expected; // the first frames, as 8-bit values
    };
    // Samples 0..9 hold 10, 20, ..., 100; five samples a frame.
    const Case cases[] = {
        {"a one-sample loop", SDSF_LOOPED, 7, 8, {10, 60, 80, 80, 80, 80}},
        {"a two-sample loop", SDSF_LOOPED, 6, 8, {10, 60, 70, 80, 70, 80}},
        {"a two-sample ping-pong loop: it turns at its end, where the guard repeats sample 7", SDSF_BIDI, 6, 8,
         {10, 60, 70, 80, 80, 80, 70}},
    };
    ASSERT_TRUE(mixer_.start(22050));
    for (const Case& c : cases) {
        TestSample t;
        TestSample::fill8(t, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
        t.desc.flags |= c.flags;
        t.desc.loop_start = c.loop_start;
        t.desc.loop_end = c.loop_end;
        const int32_t h = play(t, 5 * 22050);
        ASSERT_NE(h, 0) << c.why;
        const std::vector<int16_t> w = mixer_.words(200);
        for (size_t f = 0; f < c.expected.size(); ++f) {
            EXPECT_EQ(w[2 * f], c.expected[f] * 256) << c.why << " frame " << f;
        }
        for (size_t f = 2; f < 200; ++f) {
            ASSERT_TRUE(w[2 * f] == 70 * 256 || w[2 * f] == 80 * 256) << c.why << " frame " << f;
        }
        EXPECT_NE(ch(h).flags & MIXCF_PLAYING, 0u) << c.why;
        mixer_.sample_remove(&t.desc);
    }
}

TEST_F(MixerTest, ChannelWithoutSampleRefusesPositionAndLoop)
{
    ASSERT_TRUE(mixer_.start(22050));
    const int32_t h = mixer_.channel_choose(1.0f);
    EXPECT_EQ(mixer_.channel_set_position(h, 10, 1), 0);
    EXPECT_EQ(mixer_.channel_set_loop(h, MIXSF_LOOPED, 0, 10), 0);
}

TEST_F(MixerTest, TooLongOrEmptySamplesAreRefused)
{
    ASSERT_TRUE(mixer_.start(22050));
    const int32_t lengths[] = {0, -5, SD_MAX_SAMPLE_LENGTH + 1, std::numeric_limits<int32_t>::max()};
    for (int32_t n : lengths) {
        SDSample d;
        d.length = n;
        d.loop_end = n;
        EXPECT_FALSE(mixer_.device_sample_create(&d)) << n;
        EXPECT_EQ(d.sdi, nullptr);
    }
    EXPECT_TRUE(capture_.contains("Mixer: Can't play a sample of"));
    SDSample longest;
    longest.length = SD_MAX_SAMPLE_LENGTH;
    EXPECT_TRUE(mixer_.device_sample_create(&longest));
    mixer_.sample_remove(&longest);
}

TEST_F(MixerTest, RemovingASampleStopsItsChannelsAtOnce)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(1000, 50));
    const int32_t h = play(t, 22050);
    const std::vector<int16_t> before = mixer_.words(4);
    EXPECT_NE(before[0], 0);
    EXPECT_EQ(mixer_.sample_remove(&t.desc), 1);
    EXPECT_EQ(t.desc.sdi, nullptr);
    EXPECT_EQ(ch(h).sample, nullptr);
    EXPECT_EQ(ch(h).flags & MIXCF_PLAYING, 0u);
    const std::vector<int16_t> after = mixer_.words(4);
    EXPECT_EQ(after[0], 0);
    EXPECT_EQ(mixer_.sample_remove(&t.desc), 0);
    EXPECT_TRUE(capture_.contains("Mixer: Damaged sample magic in sample_remove() !"));
}

TEST_F(MixerTest, DamagedMagicIsRefused)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(100, 50));
    ASSERT_TRUE(mixer_.device_sample_create(&t.desc));
    MixSample* s = mixer_.mix_sample(&t.desc);
    const uint32_t flags = s->flags;
    s->flags = 0x12340400;
    const int32_t h = mixer_.channel_choose(1.0f);
    EXPECT_EQ(mixer_.channel_start(h, &t.desc, 1.0f, 1.0f), 0);
    EXPECT_TRUE(capture_.contains("Mixer: Damaged sample magic in channel_start() !"));
    EXPECT_EQ(mixer_.sample_ready(&t.desc), 0);
    EXPECT_EQ(mixer_.sample_remove(&t.desc), 0);
    s->flags = flags;
    EXPECT_EQ(mixer_.sample_remove(&t.desc), 1);
}

TEST_F(MixerTest, StartFailsWhenTheDataCannotBeRead)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(100, 50));
    t.source.fail = true;
    ASSERT_TRUE(mixer_.device_sample_create(&t.desc));
    const int32_t h = mixer_.channel_choose(1.0f);
    EXPECT_EQ(mixer_.channel_start(h, &t.desc, 1.0f, 1.0f), 0);
    EXPECT_EQ(ch(h).sample, nullptr);
    EXPECT_EQ(ch(h).flags & MIXCF_PLAYING, 0u);
    EXPECT_EQ(mixer_.sample_ready(&t.desc), 0);
    t.source.fail = false;
    EXPECT_EQ(mixer_.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    mixer_.sample_remove(&t.desc);
}

// The data lives in KHeap's cacheable area: dropped when room is needed and
// read again, unchanged, when a channel next starts the sample.
TEST_F(MixerTest, SampleDataIsACacheOwnersBlock)
{
    ConfigVariableList variables;
    ConfigVariableList* const saved_list = cvar_list;
    KHeap* const saved_heap = kheap;
    cvar_list = &variables;
    {
        KHeap heap;
        ASSERT_EQ(heap.init(1 << 20, 0), 1);
        kheap = &heap;
        TestMixer mixer;
        ASSERT_TRUE(mixer.start(22050));
        TestSample a;
        TestSample b;
        std::vector<int16_t> wave(200000);
        for (size_t i = 0; i < wave.size(); ++i) {
            wave[i] = static_cast<int16_t>(i * 37);
        }
        TestSample::fill16(a, wave);
        TestSample::fill16(b, wave);
        a.desc.flags |= SDSF_LOOPED;
        a.desc.loop_start = 100;
        a.desc.loop_end = static_cast<int32_t>(wave.size()) - 1;
        ASSERT_TRUE(mixer.device_sample_create(&a.desc));
        ASSERT_TRUE(mixer.device_sample_create(&b.desc));
        EXPECT_NE(heap.object_block(mixer.mix_sample(&a.desc)), nullptr) << "records lie in heap blocks";
        EXPECT_EQ(mixer.sample_ready(&a.desc), 1);
        const int32_t grown = a.desc.length;
        std::vector<uint8_t> first(mixer.mix_sample(&a.desc)->data,
                                   mixer.mix_sample(&a.desc)->data + wave.size() * 2 + 32);
        EXPECT_EQ(mixer.sample_ready(&b.desc), 1);
        EXPECT_EQ(a.source.reads, 1);
        // Two samples of 400 KB do not fit beside a third: the oldest is dropped.
        TestSample c;
        TestSample::fill16(c, wave);
        ASSERT_TRUE(mixer.device_sample_create(&c.desc));
        EXPECT_EQ(mixer.sample_ready(&c.desc), 1);
        EXPECT_EQ(mixer.mix_sample(&a.desc)->data, nullptr);
        EXPECT_EQ(mixer.mix_sample(&a.desc)->flags & MIXSF_CACHED, 0u);
        const int32_t h = mixer.channel_choose(1.0f);
        EXPECT_EQ(mixer.channel_start(h, &a.desc, 1.0f, 1.0f), 1);
        EXPECT_EQ(a.source.reads, 2);
        EXPECT_EQ(a.desc.length, grown) << "a reload does not grow the sample again";
        EXPECT_EQ(std::vector<uint8_t>(mixer.mix_sample(&a.desc)->data,
                                       mixer.mix_sample(&a.desc)->data + wave.size() * 2 + 32),
                  first);
        mixer.sample_remove(&a.desc);
        mixer.sample_remove(&b.desc);
        mixer.sample_remove(&c.desc);
        mixer.shutdown();
        EXPECT_EQ(heap.co_head(), nullptr);
        kheap = saved_heap;
    }
    cvar_list = saved_list;
}

TEST_F(MixerTest, KeptSamplesSurviveTheCache)
{
    ASSERT_TRUE(mixer_.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(100, 5));
    t.desc.flags |= SDSF_KEEP;
    ASSERT_TRUE(mixer_.device_sample_create(&t.desc));
    ASSERT_EQ(mixer_.sample_ready(&t.desc), 1);
    MixSample* s = mixer_.mix_sample(&t.desc);
    EXPECT_NE(s->flags & MIXSF_KEEP, 0u);
    s->flush();
    EXPECT_NE(s->data, nullptr);
    EXPECT_EQ(mixer_.sample_ready(&t.desc), 1);
    EXPECT_EQ(t.source.reads, 1) << "kept data is not read again";
    mixer_.sample_remove(&t.desc);
}

} // namespace
