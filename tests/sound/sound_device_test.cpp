// The device's timers and streams, run through the mixer's render.
#include "sound_fixture.h"

#include "support/print_capture.h"

#include <cmath>
#include <functional>

#include <limits>

namespace {

// Counts its ticks and notes the output frame at which each one ran.
class Ticker final : public SoundDeviceClient {
public:
    void timer_tick() override
    {
        ticks.push_back(*frame);
        if (action) {
            action();
        }
    }
    const int64_t* frame = nullptr;
    std::vector<int64_t> ticks;
    std::function<void()> action;
};

TEST(Timers, TwoRatesShareTheShortestPeriod)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(25000));
    int64_t frame = 0;
    Ticker slow;
    Ticker fast;
    slow.frame = fast.frame = &frame;
    ASSERT_EQ(mixer.timer_add(&slow, 50.0f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 500) << "25000 x 0.02f rounded";
    ASSERT_EQ(mixer.timer_add(&fast, 125.0f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 200) << "8 ms";
    for (int i = 0; i < 25; ++i) {
        mixer.frames(1000);
        frame += 1000;
    }
    EXPECT_EQ(fast.ticks.size(), 125u) << "the 125 Hz owner ticks every period";
    EXPECT_NEAR(static_cast<double>(slow.ticks.size()), 50.0, 1.0) << "the 50 Hz owner every 20 ms on average";
    mixer.timer_remove(&fast);
    EXPECT_EQ(mixer.timer_period_frames(), 500);
    mixer.timer_remove(&slow);
    EXPECT_EQ(mixer.timer_period_frames(), 25000 / 50) << "no timer: rate / 50";
    EXPECT_EQ(mixer.timers(), nullptr);
}

TEST(Timers, TicksFallOnExactSamplePositions)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(25600));
    // A constant sample whose volume each tick toggles: the output changes
    // exactly at every multiple of the period (25600 / 64 = 400).
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(64, 64));
    t.desc.flags |= SDSF_LOOPED;
    const int32_t h = mixer.channel_choose(1.0f);
    ASSERT_TRUE(mixer.device_sample_create(&t.desc));
    ASSERT_EQ(mixer.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    mixer.channel_set_frequency(h, 25600);
    mixer.channel_set_pan(h, SD_UNPANNED);
    mixer.channel_set_volume(h, 1.0f);
    int64_t frame = 0;
    Ticker toggler;
    toggler.frame = &frame;
    float volume = 1.0f;
    toggler.action = [&] {
        volume = 1.0f - volume;
        mixer.channel_set_volume(h, volume);
    };
    ASSERT_EQ(mixer.timer_add(&toggler, 64.0f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 400);
    const std::vector<int16_t> w = mixer.words(5000);
    for (int f = 0; f < 5000; ++f) {
        const bool loud = (f / 400) % 2 == 0;
        ASSERT_EQ(w[2 * f] != 0, loud) << "frame " << f;
    }
    EXPECT_EQ(toggler.ticks.size(), 5000u / 400u);
    mixer.timer_remove(&toggler);
    mixer.sample_remove(&t.desc);
}

// The song players' 50 Hz at 44.1 kHz: a float period of 0.02f times the
// rate is 881.99998 frames. Cut to 881 frames, each period would be a little
// short of the timer's and a tick would be lost every 881 periods.
TEST(Timers, ASongTimerTicksOnEveryPeriodForLong)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(44100));
    int64_t frame = 0;
    Ticker t;
    t.frame = &frame;
    ASSERT_EQ(mixer.timer_add(&t, 125 * 0.4f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 882);
    for (int i = 0; i < 2000; ++i) {
        mixer.frames(882 * 5);
        frame += 882 * 5;
    }
    ASSERT_EQ(t.ticks.size(), 10000u);
    for (size_t i = 0; i < t.ticks.size(); ++i) {
        ASSERT_EQ(t.ticks[i], int64_t(i / 5) * 882 * 5) << "tick " << i;
    }
    mixer.timer_remove(&t);
}

// A period of a fraction of a frame more than whole frames takes the floor or
// the ceiling each time, so that every tick stays within a frame of its exact
// time, k times the timer's period (1 / rate as a float), however long the
// timer runs.
TEST(Timers, FractionalPeriodsKeepEveryTickWithinAFrameOfItsExactTime)
{
    struct Case {
        const char* why;
        int32_t rate;
        float hz;
    };
    const Case cases[] = {
        {"tempo 80: 1378.125 frames", 44100, 80 * 0.4f},
        {"tempo 112: 984.375 frames", 44100, 112 * 0.4f},
        {"tempo 141: 781.915 frames", 44100, 141 * 0.4f},
        {"tempo 125: 882 frames", 44100, 125 * 0.4f},
        {"tempo 33 at 48 kHz: 3636.36 frames", 48000, 33 * 0.4f},
        {"a third of a frame over", 1000, 3.0f},
    };
    for (const Case& c : cases) {
        TestMixer mixer;
        ASSERT_TRUE(mixer.start(c.rate));
        int64_t frame = 0;
        Ticker t;
        t.frame = &frame;
        ASSERT_EQ(mixer.timer_add(&t, c.hz), 1);
        for (int i = 0; i < 10000; ++i) {
            // Up to the next tick, so that the tick notes its own frame.
            const int32_t n = mixer.frames_to_tick();
            ASSERT_GT(n, 0) << c.why;
            frame += n;
            mixer.frames(n);
        }
        ASSERT_EQ(t.ticks.size(), 10000u) << c.why;
        const double exact = c.rate * double(1.0f / c.hz);
        const int64_t low = int64_t(std::floor(exact));
        for (size_t i = 0; i < t.ticks.size(); ++i) {
            const int64_t period = t.ticks[i] - (i > 0 ? t.ticks[i - 1] : 0);
            ASSERT_TRUE(period == low || period == low + 1) << c.why << ", tick " << i << ": " << period;
            ASSERT_NEAR(double(t.ticks[i]), double(i + 1) * exact, 1.0) << c.why << ", tick " << i;
        }
        mixer.timer_remove(&t);
    }
}

TEST(Timers, RatesThatAreNotPositiveAndFiniteAreRefused)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050));
    Ticker t;
    const float bad[] = {0.0f, -50.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e9f};
    for (float r : bad) {
        EXPECT_EQ(mixer.timer_add(&t, r), 0) << r;
    }
    EXPECT_EQ(mixer.timers(), nullptr);
    ASSERT_EQ(mixer.timer_add(&t, 50.0f), 1);
    for (float r : bad) {
        EXPECT_EQ(mixer.timer_set_rate(&t, r), 0) << r;
    }
    EXPECT_FLOAT_EQ(mixer.timers()->period, 0.02f) << "a refused rate keeps the old one";
    EXPECT_EQ(mixer.timer_set_rate(&t, 100.0f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 220);
    EXPECT_EQ(mixer.timer_add(nullptr, 50.0f), 0);
    mixer.timer_remove(&t);
}

TEST(Timers, AVeryFastTimerTicksEveryFrameAndAShortenedPeriodCatchesUp)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(1000));
    int64_t frame = 0;
    Ticker slow;
    slow.frame = &frame;
    ASSERT_EQ(mixer.timer_add(&slow, 2.0f), 1);
    mixer.frames(400); // 400 frames counted towards a period of 500
    Ticker fast;
    fast.frame = &frame;
    ASSERT_EQ(mixer.timer_add(&fast, 20000.0f), 1);
    EXPECT_EQ(mixer.timer_period_frames(), 1) << "faster than the mixing rate: every frame";
    mixer.frames(10);
    EXPECT_GE(fast.ticks.size(), 10u);
    mixer.timer_remove(&fast);
    mixer.timer_remove(&slow);
}

TEST(Timers, AnOwnerMayRemoveItselfFromItsTick)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(25600));
    int64_t frame = 0;
    Ticker quitter;
    Ticker other;
    quitter.frame = other.frame = &frame;
    quitter.action = [&] { mixer.timer_remove(&quitter); };
    ASSERT_EQ(mixer.timer_add(&other, 64.0f), 1);
    ASSERT_EQ(mixer.timer_add(&quitter, 64.0f), 1);
    mixer.frames(25600);
    EXPECT_EQ(quitter.ticks.size(), 1u);
    EXPECT_EQ(other.ticks.size(), 64u);
    EXPECT_EQ(mixer.timers()->owner, &other);
    EXPECT_EQ(mixer.timers()->next, nullptr);
    mixer.timer_remove(&other);
}

// A stream source that writes a counting ramp and can end its data.
class RampSource final : public SoundDeviceClient {
public:
    int32_t fill_stream(void* const* out, int32_t, int32_t samples) override
    {
        ++calls;
        if (remaining <= 0) {
            return -1;
        }
        const int32_t n = std::min(samples, remaining);
        for (int c = 0; c < 4; ++c) {
            if (out[c] == nullptr) {
                continue;
            }
            for (int32_t i = 0; i < n; ++i) {
                const int32_t v = static_cast<int32_t>((next + i) * (c + 1));
                if (wide) {
                    const int16_t w = static_cast<int16_t>(v);
                    std::memcpy(static_cast<uint8_t*>(out[c]) + 2 * i, &w, 2);
                } else {
                    static_cast<int8_t*>(out[c])[i] = static_cast<int8_t>(v);
                }
            }
        }
        next += n;
        remaining -= n;
        return n;
    }
    bool wide = false;
    int32_t next = 0;
    int32_t remaining = 1 << 30;
    int calls = 0;
};

TEST(Streams, SlotsAndHandles)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050));
    RampSource src;
    EXPECT_EQ(mixer.stream_create(&src, 1024, 22050, 0, 0, 5, nullptr), -1) << "more than 4 channels";
    EXPECT_EQ(mixer.stream_create(&src, 1024, 22050, 0, 0, 0, nullptr), -1) << "no channel";
    EXPECT_EQ(mixer.stream_create(&src, 16, 22050, 0, 0, 1, nullptr), -1) << "ring shorter than its guard";
    EXPECT_EQ(mixer.stream_create(&src, SD_MAX_SAMPLE_LENGTH + 1, 22050, 0, 0, 1, nullptr), -1) << "ring too long";
    int32_t streams[8];
    for (int i = 0; i < 8; ++i) {
        streams[i] = mixer.stream_create(&src, 256, 22050, 0, 0, 1, nullptr);
        EXPECT_EQ(streams[i], static_cast<int32_t>(0x53544D00 | i));
    }
    EXPECT_EQ(mixer.stream_create(&src, 256, 22050, 0, 0, 1, nullptr), -1) << "the ninth stream";
    EXPECT_EQ(mixer.stream_close(0x12345600 | 3), 0) << "not a stream handle";
    EXPECT_EQ(mixer.stream_close(streams[3]), 1);
    EXPECT_EQ(mixer.stream_close(streams[3]), 0) << "closing twice";
    EXPECT_EQ(mixer.stream_create(&src, 256, 22050, 0, 0, 1, nullptr), streams[3]) << "the freed slot is reused";
    for (int32_t s : streams) {
        mixer.stream_close(s);
    }
}

TEST(Streams, FailedCreationGivesBackTheChannelsItTook)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050, false, SDF_STEREO | SDF_16BIT, 3));
    RampSource src;
    EXPECT_EQ(mixer.stream_create(&src, 256, 22050, 1, 0, 4, nullptr), -1) << "only 3 channels";
    EXPECT_EQ(mixer.stream(0).count, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mixer.channel(i).hold, 0) << i;
    }
    int32_t handles[3] = {};
    EXPECT_EQ(mixer.stream_create(&src, 256, 22050, 1, 0, 3, handles), static_cast<int32_t>(0x53544D00));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(mixer.channel_valid(handles[i]));
        EXPECT_EQ(mixer.channel(handles[i] & 0xFF).hold, -1) << "held until closed";
        EXPECT_EQ(mixer.stream_find_channel(handles[i]), 0);
    }
    EXPECT_EQ(mixer.channel_set_frequency(handles[2], 11025), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mixer.channel(handles[i] & 0xFF).frequency, 11025) << "one rate for the whole stream";
    }
    EXPECT_EQ(mixer.stream_close(static_cast<int32_t>(0x53544D00)), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mixer.channel(handles[i] & 0xFF).hold, 0);
        EXPECT_EQ(mixer.channel_finished(handles[i]), 1);
    }
}

// The ring refills up to the play position once an eighth of it is free,
// converts signed data to the loops' form, and copies its start behind its
// end for the interpolating loops.
TEST(Streams, RingIsRefilledBehindThePlayPosition)
{
    for (const bool wide : {false, true}) {
        TestMixer mixer;
        ASSERT_TRUE(mixer.start(22050, true));
        RampSource src;
        src.wide = wide;
        constexpr int32_t LENGTH = 800;
        int32_t handles[2] = {};
        const int32_t stream = mixer.stream_create(&src, LENGTH, 22050, wide ? 1 : 0, 0, 2, handles);
        ASSERT_NE(stream, -1);
        const SDStream& st = mixer.stream(0);
        const int width = wide ? 2 : 1;
        for (int step = 0; step < 40; ++step) {
            mixer.frames(137);
            EXPECT_LT(st.last_pos, LENGTH) << step;
        }
        // Where the ring holds its newest data: sample i of channel c = (ramp index) x (c + 1),
        // stored unsigned.
        const uint8_t* ring = static_cast<const uint8_t*>(st.entry[1].data);
        const int32_t last = st.last_pos;
        for (int32_t back = 1; back <= 50; ++back) {
            const int32_t i = (last - back + LENGTH) % LENGTH;
            const int32_t ramp = (src.next - back) * 2;
            if (wide) {
                const uint16_t got = static_cast<uint16_t>(ring[2 * i] | (ring[2 * i + 1] << 8));
                EXPECT_EQ(got, static_cast<uint16_t>(static_cast<int16_t>(ramp) + 32768)) << "back " << back;
            } else {
                EXPECT_EQ(ring[i], static_cast<uint8_t>(static_cast<int8_t>(ramp) + 128)) << "back " << back;
            }
        }
        EXPECT_EQ(std::memcmp(ring + LENGTH * width, ring, 32), 0) << "the ring's start lies behind its end";
        EXPECT_GT(src.next, 3 * LENGTH) << "the ring went round several times";
        mixer.stream_close(stream);
    }
}

TEST(Streams, EndOfTheSourceClosesTheStream)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050));
    RampSource src;
    src.remaining = 500;
    int32_t handle = 0;
    const int32_t stream = mixer.stream_create(&src, 256, 22050, 0, 0, 1, &handle);
    ASSERT_NE(stream, -1);
    for (int i = 0; i < 20 && mixer.stream(0).count != 0; ++i) {
        mixer.frames(100);
    }
    EXPECT_EQ(mixer.stream(0).count, 0);
    EXPECT_EQ(mixer.stream_close(stream), 0) << "already closed by the feed";
    EXPECT_EQ(mixer.channel_finished(handle), 1);
}

TEST(Streams, ASourceThatClaimsTooMuchIsHeldToItsRequest)
{
    class Greedy final : public SoundDeviceClient {
    public:
        int32_t fill_stream(void* const*, int32_t, int32_t) override { return 1 << 20; }
    };
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050));
    Greedy src;
    const int32_t stream = mixer.stream_create(&src, 256, 22050, 0, 1, 1, nullptr);
    ASSERT_NE(stream, -1);
    for (int i = 0; i < 10; ++i) {
        mixer.frames(100);
        EXPECT_LT(mixer.stream(0).last_pos, 256);
    }
    mixer.stream_close(stream);
}

} // namespace
