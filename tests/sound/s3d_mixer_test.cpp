// 3-D mixing: gains and pans from the listener's view, priorities, channels
// given and regained at the point where a sound would now be, play-out and
// removal, and the reverb environments.
#include "sound_system_fixture.h"

#include "sound/mix_echo.h"
#include "sound/s3d_mixer.h"

#include <cmath>

namespace {

class S3DMixerTest : public ::testing::Test {
protected:
    void SetUp() override { start(32); }
    void TearDown() override
    {
        delete s3d;
        s3d = nullptr;
        for (TestSample* t : samples) {
            mixer.device_sample_free(&t->desc);
            delete t;
        }
        mixer.shutdown();
    }

    void start(int channels)
    {
        SDSettings s;
        s.rate = 22050;
        s.flags = SDF_STEREO | SDF_16BIT;
        s.channels = channels;
        ASSERT_EQ(mixer.init(&s), 1);
        s3d = new S3DMixer;
        s3d->attach(&mixer);
    }

    SDSample* sample(int frames, bool looped = false, int loop_start = 0)
    {
        TestSample* const t = new TestSample;
        TestSample::fill16(*t, std::vector<int16_t>(static_cast<size_t>(frames), 1000));
        if (looped) {
            t->desc.flags |= SDSF_LOOPED;
            t->desc.loop_start = loop_start;
        }
        EXPECT_TRUE(mixer.device_sample_create(&t->desc));
        samples.push_back(t);
        return &t->desc;
    }

    S3DMixSource* source(SDSample* s, uint32_t flags = 0)
    {
        S3DMixSource* const m = static_cast<S3DMixSource*>(s3d->create_source(s, 22050.0f, flags));
        m->set_distances(10.0f, 30.0f);
        m->set_volume(1.0f);
        m->base_priority = 0.5f;
        m->volume_priority = 0.5f;
        m->next = s3d->sources;
        s3d->sources = m;
        return m;
    }

    void frame(double now, float separation = 0.5f)
    {
        s3d->begin_frame(separation);
        s3d->update(8.0f, now, nullptr);
    }

    FakeDevice mixer;
    S3DMixer* s3d = nullptr;
    std::vector<TestSample*> samples;
};

TEST_F(S3DMixerTest, GainPanAndPriorityFollowTheListenersView)
{
    struct Case {
        const char* why;
        float x, y, z;
        uint32_t flags;
        float volume;
        float gain, pan;
    };
    const Case cases[] = {
        {"at the minimum distance: full level", 10, 0, 0, 0, 1.0f, 1.0f, 0.5f},
        {"halfway: half", 20, 0, 0, 0, 1.0f, 0.5f, 0.5f},
        {"at the maximum: nothing", 30, 0, 0, 0, 1.0f, 0.0f, 0.5f},
        {"beyond the maximum: nothing", 300, 0, 0, 0, 1.0f, 0.0f, 0.5f},
        {"straight ahead: centre", 0, 0, 20, 0, 1.0f, 0.5f, 0.0f},
        {"left: the other side", -15, 0, 0, 0, 1.0f, 0.75f, -0.5f},
        {"diagonal: the sideways share", 12, 0, 16, 0, 0.8f, 0.4f, 0.3f},
        {"volume scales the gain", 5, 0, 0, 0, 0.25f, 0.25f, 0.5f},
        {"at the listener: unpanned, full level", 0, 0, 0, 0, 1.0f, 1.0f, SD_UNPANNED},
        {"listener-relative: no placement", 300, 0, 0, S3DF_LISTENER_RELATIVE, 0.6f, 0.6f, 0.0f},
    };
    // The listener stands at x = 100 (its matrix takes the world there to 0).
    Matrix listener;
    mat_identity(listener);
    listener.m[3] = -100.0f;
    s3d->set_listener(listener);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        S3DMixSource* const s = source(sample(100), c.flags);
        s->set_position(c.x + 100.0f, c.y, c.z);
        s->set_volume(c.volume);
        s3d->begin_frame(0.5f);
        EXPECT_NEAR(s->gain, c.gain, 1e-6);
        EXPECT_NEAR(s->pan, c.pan, 1e-6);
        EXPECT_NEAR(s->priority, s->gain * 0.5f + 0.5f, 1e-6);
        s->stop();
        s3d->update(8.0f, 0.0, nullptr);
    }
    EXPECT_EQ(s3d->sources, nullptr);
}

TEST_F(S3DMixerTest, UpdateSetsTheChannelsLevelsAndRate)
{
    S3DMixSource* const s = source(sample(1000));
    s->set_position(0, 0, 0);
    s->set_volume(0.5f);
    s->set_frequency(1.5f);
    frame(0.0);
    ASSERT_TRUE(mixer.channel_valid(s->channel));
    const MixChannel& ch = mixer.channel(s->channel & 0xFF);
    EXPECT_EQ(ch.pan_pos, MIX_PAN_NONE);
    EXPECT_FLOAT_EQ(ch.volume, 0.5f);
    EXPECT_EQ(ch.frequency, 33075);
    EXPECT_FLOAT_EQ(ch.priority, 8.0f * 0.5f);
}

TEST_F(S3DMixerTest, SourcesThatLoseTheirChannelRestartWhereTheyWouldNowBe)
{
    mixer.shutdown();
    delete s3d;
    start(1); // one channel: anything else that takes it takes it from the source
    struct Case {
        const char* why;
        int frames;
        bool looped;
        int loop_start;
        double lost_for;
        bool plays;
        int32_t position;
    };
    const Case cases[] = {
        {"one-shot half a second on", 50000, false, 0, 0.5, true, 11025},
        {"looped, 10 s on: the loop start", 50000, true, 300, 10.0, true, 300},
        {"one-shot past its end: no channel", 1000, false, 0, 10.0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        S3DMixSource* const s = source(sample(c.frames, c.looped, c.loop_start));
        s->set_position(0, 0, 0);
        frame(100.0);
        ASSERT_TRUE(mixer.channel_valid(s->channel));
        mixer.words(16); // a fresh channel is held for one pass
        // Something louder takes the only channel.
        const int32_t other = mixer.channel_choose(1000.0f);
        ASSERT_NE(other, 0);
        ASSERT_EQ(mixer.channel_start(other, &samples.front()->desc, 1000.0f, 0.0f), 1);
        EXPECT_FALSE(mixer.channel_valid(s->channel));
        mixer.channel_stop(other); // free again
        mixer.words(16);           // the hold of the choice runs out
        frame(100.0 + c.lost_for);
        if (c.plays) {
            ASSERT_TRUE(mixer.channel_valid(s->channel));
            EXPECT_EQ(mixer.channel(s->channel & 0xFF).pos >> 11, c.position);
        } else {
            EXPECT_EQ(s->channel, 0);
            EXPECT_EQ(mixer.channel(0).sample, nullptr) << "the channel was not taken for nothing";
        }
        s->stop();
        frame(200.0);
        mixer.words(16);
    }
}

TEST_F(S3DMixerTest, ReleasedLoopedSourcePlaysToItsEndAndIsRemoved)
{
    S3DMixSource* const s = source(sample(2000, true, 500));
    s->set_position(0, 0, 0);
    frame(0.0);
    EXPECT_EQ(s->flags & S3DM_MODE_MASK, S3DM_LOOPED);
    mixer.words(1500);
    s->release();
    frame(0.1);
    ASSERT_EQ(s3d->sources, s);
    EXPECT_EQ(s->flags & S3DM_MODE_MASK, S3DM_ONCE);
    EXPECT_EQ(mixer.channel(s->channel & 0xFF).flags & MIXSF_LOOPED, 0u);
    mixer.words(1000); // past the end: the loop no longer turns
    frame(0.2);
    EXPECT_EQ(s3d->sources, nullptr);
}

TEST_F(S3DMixerTest, ASourceReleasedBeforeItsFirstUpdateStillPlays)
{
    S3DMixSource* const s = source(sample(3000));
    s->release();
    frame(0.0);
    ASSERT_EQ(s3d->sources, s);
    EXPECT_TRUE(mixer.channel_valid(s->channel));
    mixer.words(4000);
    frame(0.2);
    EXPECT_EQ(s3d->sources, nullptr);
}

TEST_F(S3DMixerTest, StopRemovesAtOnceAndStopsTheChannel)
{
    S3DMixSource* const a = source(sample(5000, true));
    S3DMixSource* const b = source(sample(5000));
    frame(0.0);
    const int32_t channel = a->channel;
    ASSERT_TRUE(mixer.channel_valid(channel));
    a->stop();
    frame(0.1);
    EXPECT_EQ(s3d->sources, b);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(mixer.channel(channel & 0xFF).sample, nullptr);
}

TEST_F(S3DMixerTest, EnvironmentsRouteSourcesThroughTheReverb)
{
    S3DMixSource* const wet = source(sample(5000, true));
    S3DMixSource* const dry = source(sample(5000, true), S3DF_NO_REVERB);
    frame(0.0);
    const auto buffer_of = [&](const S3DMixSource* s) { return mixer.channel(s->channel & 0xFF).mix_buf; };
    EXPECT_EQ(s3d->set_environment(4), 0);
    EXPECT_EQ(s3d->reverb(), nullptr);
    struct Preset {
        int n;
        int taps;
        int32_t dry, wet, feedback;
    };
    const Preset presets[] = {{1, 4, 153, 153, 256}, {2, 2, 128, 179, 128}, {3, 4, 128, 179, 204}};
    for (const Preset& p : presets) {
        SCOPED_TRACE(p.n);
        ASSERT_EQ(s3d->set_environment(p.n), 1);
        ASSERT_NE(s3d->reverb(), nullptr);
        int taps = 0;
        for (const MixEcho::Tap* t = s3d->echo()->taps(); t != nullptr; t = t->next) {
            ++taps;
        }
        EXPECT_EQ(taps, p.taps);
        EXPECT_EQ(s3d->echo()->dry(), p.dry);
        EXPECT_EQ(s3d->echo()->wet(), p.wet);
        EXPECT_EQ(s3d->echo()->feedback(), p.feedback);
        EXPECT_EQ(buffer_of(wet), s3d->reverb());
        EXPECT_EQ(buffer_of(dry), mixer.main_buffer());
        mixer.words(512); // the buffers mix without a cycle
    }
    // A source that gets its channel again goes back into the reverb.
    mixer.channel_stop(wet->channel);
    const int32_t stolen = mixer.channel_choose(1000.0f);
    ASSERT_NE(stolen, 0);
    mixer.words(16);
    frame(1.0);
    EXPECT_EQ(buffer_of(wet), s3d->reverb());
    EXPECT_EQ(s3d->set_environment(0), 1);
    EXPECT_EQ(s3d->reverb(), nullptr);
    EXPECT_EQ(buffer_of(wet), mixer.main_buffer());
}

TEST_F(S3DMixerTest, DebugLinesDescribeEachSourceWhileLinesRemain)
{
    PrintCapture capture;
    capture.show_all();
    S3DMixSource* const a = source(sample(5000, true));
    S3DMixSource* const b = source(sample(5000), S3DF_LISTENER_RELATIVE | S3DF_NO_REVERB);
    a->set_position(20, 0, 0);
    s3d->begin_frame(0.5f);
    int32_t lines = 1;
    s3d->update(8.0f, 2.0, &lines);
    EXPECT_EQ(lines, 0);
    ASSERT_EQ(capture.count("  - <"), 1);
    EXPECT_EQ(capture.lines().back().text, "  - <1.00; 0.00> ; 1.00 (-1-) - 0.0sec");
    capture.clear();
    lines = 5;
    s3d->begin_frame(0.5f);
    s3d->update(8.0f, 3.5, &lines);
    EXPECT_EQ(lines, 3);
    EXPECT_TRUE(capture.contains("  - <1.00; 0.00> ; 1.00 (-1-) - 1.5sec"));
    EXPECT_TRUE(capture.contains("  - <0.50; 0.50> ; 0.75 (L3E) - 1.5sec"));
    (void)b;
}

} // namespace
