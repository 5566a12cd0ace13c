// The wave-output device over the stepped fake driver: formats and their
// fallback, the buffer ring, positions, stalls and re-opening.
#include "sound_fixture.h"

#include "core/config_variable.h"
#include "host/host_clock.h"
#include "host/host_wave_out_fake.h"
#include "sound/sd_wave.h"
#include "support/print_capture.h"

namespace {

using host::FakeWaveOut;

class SDWaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture_.show_all();
        clock_.set_micros(100000000); // 100 s: a refill time of 0 means "none yet"
        saved_list_ = cvar_list;
        cvar_list = nullptr;
    }
    void TearDown() override
    {
        wave_.shutdown();
        cvar_list = saved_list_;
    }

    SDSettings settings(int32_t rate, uint32_t flags, uint32_t mode = 0, float length = 0.25f)
    {
        SDSettings s;
        s.rate = rate;
        s.flags = flags;
        s.mode = mode;
        s.buffer_length = length;
        return s;
    }
    void link(const char* name, int32_t value)
    {
        ConfigVariable* v = variables_.link(CVTYPE_INT, 0x140, name, "0", 0);
        ASSERT_NE(v, nullptr);
        v->set_int(value);
        cvar_list = &variables_;
    }
    // Plays one buffer's worth of frames at the fake driver.
    void play_buffers(double n) { fake_.device()->step(static_cast<uint32_t>(n * wave_.buffer_bytes()) >> wave_.frame_shift()); }

    FakeWaveOut fake_;
    host::ScopedWaveOut scoped_{&fake_};
    host::ManualClock clock_;
    host::ScopedClock scoped_clock_{&clock_};
    PrintCapture capture_;
    ConfigVariableList variables_;
    ConfigVariableList* saved_list_ = nullptr;
    SDWave wave_;
};

TEST_F(SDWaveTest, BufferSizesFollowRateCountAndLength)
{
    struct Case {
        const char* why;
        int32_t rate;
        uint32_t flags;
        float length;
        int buffers; // Wave_Buffers, 0 = not set
        int count;
        int32_t bytes;
        float effective;
        float stuck;
    };
    const Case cases[] = {
        {"22,050 Hz stereo 16-bit, 8 x 0.25 s", 22050, 3, 0.25f, 0, 8, 4096, 8 * 4096 / 88200.0f, 8 * 4096 * 4 / 88200.0f},
        {"44,100 Hz stereo 16-bit", 44100, 3, 0.25f, 0, 8, 6144, 8 * 6144 / 176400.0f, 8 * 6144 * 4 / 176400.0f},
        {"11,025 Hz mono 8-bit: at least one block", 11025, 4, 0.25f, 0, 8, 2048, 8 * 2048 / 11025.0f,
         8 * 2048 * 4 / 11025.0f},
        {"length 0 means 0.25 s", 22050, 3, 0.0f, 0, 8, 4096, 8 * 4096 / 88200.0f, 8 * 4096 * 4 / 88200.0f},
        {"a negative length means 0.25 s", 22050, 3, -3.0f, 0, 8, 4096, 8 * 4096 / 88200.0f, 8 * 4096 * 4 / 88200.0f},
        {"Wave_Buffers 40 is used as 16", 22050, 3, 0.25f, 40, 16, 2048, 16 * 2048 / 88200.0f,
         16 * 2048 * 4 / 88200.0f},
        {"Wave_Buffers 0 is used as 1", 22050, 3, 0.25f, -5, 1, 22528, 22528 / 88200.0f, 22528 * 4 / 88200.0f},
        {"a huge length is held at 8 s", 22050, 3, 1e30f, 0, 8, 90112, 8 * 90112 / 88200.0f, 8 * 90112 * 4 / 88200.0f},
    };
    for (const Case& c : cases) {
        if (c.buffers != 0) {
            link("Wave_Buffers", c.buffers);
        }
        const SDSettings s = settings(c.rate, c.flags, 0, c.length);
        ASSERT_EQ(wave_.init(&s), 1) << c.why;
        EXPECT_EQ(wave_.buffer_count(), c.count) << c.why;
        EXPECT_EQ(wave_.buffer_bytes(), c.bytes) << c.why;
        EXPECT_FLOAT_EQ(wave_.settings().buffer_length, c.effective) << c.why;
        EXPECT_NEAR(wave_.stuck_threshold(), c.stuck, 1e-4) << c.why;
        EXPECT_EQ(fake_.device()->format().rate, static_cast<uint32_t>(c.rate)) << c.why;
        wave_.shutdown();
        cvar_list = nullptr;
    }
    EXPECT_TRUE(capture_.contains("Wave buffer length = 4096 bytes, using 8 buffers"));
}

TEST_F(SDWaveTest, CapabilitiesComeFromTheFirstFormatTheDriverOffers)
{
    SDCaps caps;
    ASSERT_EQ(wave_.get_caps(&caps), 1);
    EXPECT_EQ(caps.max_channels, 256);
    EXPECT_EQ(caps.default_channels, 32);
    EXPECT_EQ(caps.supported_flags, 3u);
    EXPECT_EQ(caps.default_flags, 11u);
    EXPECT_EQ(caps.max_rate, 44100);
    EXPECT_EQ(caps.default_rate, 22050);
    EXPECT_EQ(caps.modes, 3u);
    EXPECT_EQ(wave_.get_caps(nullptr), 1);

    fake_.caps.formats = host::WAVE_FORMAT_2M08 | host::WAVE_FORMAT_1S16;
    ASSERT_EQ(wave_.get_caps(&caps), 1);
    EXPECT_EQ(caps.supported_flags, 4u) << "row 7 comes before row 8";
    EXPECT_EQ(caps.default_flags, 12u);
    EXPECT_EQ(caps.max_rate, 22050);

    struct Broken {
        const char* why;
        int devices;
        uint32_t support;
        uint32_t formats;
        int caps_result;
    };
    const Broken broken[] = {
        {"no device", 0, 0, 0xFFF, 0},
        {"a blocking driver is not used", 1, host::WAVECAPS_SYNC, 0xFFF, 0},
        {"capabilities cannot be read", 1, 0, 0xFFF, host::MMSYSERR_NODRIVER},
        {"no format at all", 1, 0, 0, 0},
    };
    for (const Broken& b : broken) {
        fake_.devices = b.devices;
        fake_.caps.support = b.support;
        fake_.caps.formats = b.formats;
        fake_.caps_result = b.caps_result;
        SDCaps none;
        EXPECT_EQ(wave_.get_caps(&none), 0) << b.why;
        EXPECT_EQ(none.max_channels, 0) << b.why;
        EXPECT_EQ(none.pairs[0], -1) << b.why;
        const SDSettings s = settings(22050, 3);
        EXPECT_EQ(wave_.init(&s), 0) << b.why;
        EXPECT_EQ(fake_.opens, 0) << b.why;
    }
}

TEST_F(SDWaveTest, RefusedFormatFallsBackToAFormatTheDriverOffers)
{
    struct Case {
        const char* why;
        uint32_t formats;
        int32_t rate;
        uint32_t flags;
        int32_t got_rate;
        uint32_t got_flags;
    };
    const Case cases[] = {
        {"44.1 kHz stereo 16 refused, 2S16 offered: 22,050 Hz without interpolation", host::WAVE_FORMAT_2S16, 44100, 11,
         22050, 3},
        {"8-bit mono at an odd rate becomes a table rate, unsigned", host::WAVE_FORMAT_2M08, 16000, 4, 22050, 4},
        {"the search goes on down the table", host::WAVE_FORMAT_1M08, 44100, 3, 11025, 4},
        {"an accepted format is kept with its interpolation", 0xFFF, 22050, 11, 22050, 11},
        {"8-bit output is unsigned", 0xFFF, 22050, 1, 22050, 5},
        {"16-bit output is signed", 0xFFF, 22050, 7, 22050, 3},
        {"default flags and rate", 0xFFF, 0, SDF_DEFAULT, 22050, 11},
    };
    for (const Case& c : cases) {
        fake_.caps.formats = c.formats;
        const SDSettings s = settings(c.rate, c.flags);
        ASSERT_EQ(wave_.init(&s), 1) << c.why;
        EXPECT_EQ(wave_.settings().rate, c.got_rate) << c.why;
        EXPECT_EQ(wave_.settings().flags, c.got_flags) << c.why;
        EXPECT_EQ(wave_.settings().channels, 32) << c.why;
        EXPECT_EQ(fake_.device()->format().rate, static_cast<uint32_t>(c.got_rate)) << c.why;
        EXPECT_EQ(fake_.device()->format().bits, (c.got_flags & 2) != 0 ? 16 : 8) << c.why;
        wave_.shutdown();
    }
}

TEST_F(SDWaveTest, FormatsNoRowCanServeAreReported)
{
    fake_.caps.formats = host::WAVE_FORMAT_4S16;
    fake_.accept = [](const host::WaveFormat&) { return host::WAVERR_BADFORMAT; };
    SDSettings s = settings(11025, 0);
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: Fake wave out seems to be pretty useless"));
    s = settings(44100, 3);
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: Supported format is bad !"));
    fake_.accept = [](const host::WaveFormat& f) { return f.rate == 44100 ? host::WAVERR_BADFORMAT : host::MMSYSERR_ALLOCATED; };
    fake_.caps.formats = host::WAVE_FORMAT_2S16;
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: Device is used by another application"));
    fake_.accept = [](const host::WaveFormat& f) { return f.rate == 44100 ? host::WAVERR_BADFORMAT : host::MMSYSERR_ERROR; };
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: waveOutOpen failed !"));
    EXPECT_EQ(fake_.opens, 0);
}

TEST_F(SDWaveTest, OpenFailuresLeaveTheDeviceClosed)
{
    const SDSettings s = settings(22050, 3);
    fake_.open_result = host::MMSYSERR_ALLOCATED;
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: Device is used by another application"));
    fake_.open_result = host::MMSYSERR_NODRIVER;
    EXPECT_EQ(wave_.init(&s), 0);
    EXPECT_TRUE(capture_.contains("SDWave: Can't open device (code 0x6) !"));
    EXPECT_FALSE(wave_.is_open());
    SDSettings odd = s;
    odd.mode = 4;
    fake_.open_result = 0;
    EXPECT_EQ(wave_.init(&odd), 0) << "unknown mode bits";
    odd.mode = 3;
    EXPECT_EQ(wave_.init(&odd), 1);
}

TEST_F(SDWaveTest, WaveDeviceChoosesTheDriverDevice)
{
    fake_.devices = 3;
    link("Wave_Device", 2);
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    EXPECT_EQ(fake_.last_device, 2);
    wave_.shutdown();
    link("Wave_Device", 7);
    EXPECT_EQ(wave_.init(&s), 0) << "no such device";
}

// A DC level the mixer plays into every rendered buffer. A 16-bit sample v
// comes out as v - 128: the low byte goes through the same signed table.
struct Level {
    TestSample t;
    int32_t handle = 0;
    bool start(Mixer& m, int16_t value)
    {
        TestSample::fill16(t, std::vector<int16_t>(256, value));
        t.desc.flags |= SDSF_LOOPED;
        return play(m);
    }
    // Sample i holds i, so every frame tells where it came from.
    bool ramp(Mixer& m)
    {
        std::vector<int16_t> r(30000);
        for (size_t i = 0; i < r.size(); ++i) {
            r[i] = static_cast<int16_t>(i);
        }
        TestSample::fill16(t, r);
        return play(m);
    }
    bool play(Mixer& m)
    {
        handle = m.channel_choose(1.0f);
        if (!m.device_sample_create(&t.desc) || m.channel_start(handle, &t.desc, 1.0f, 1.0f) != 1) {
            return false;
        }
        m.channel_set_frequency(handle, m.settings().rate);
        m.channel_set_volume(handle, 1.0f);
        m.channel_set_pan(handle, SD_UNPANNED);
        return true;
    }
};

TEST_F(SDWaveTest, OpenQueuesSilenceThenEveryReturnedBufferIsRefilled)
{
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    EXPECT_TRUE(capture_.contains("SDWave: Using Fake wave out:"));
    EXPECT_TRUE(capture_.contains("accurate: yes"));
    Level level;
    ASSERT_TRUE(level.start(wave_, 1000));
    const uint32_t frames = static_cast<uint32_t>(wave_.buffer_bytes()) / 4;
    fake_.device()->step(frames * 8);
    const std::vector<uint8_t> silence(frames * 8 * 4, 0);
    EXPECT_EQ(fake_.device()->played, silence);
    wave_.update();
    fake_.device()->step(frames * 3);
    std::vector<int16_t> w(frames * 3 * 2);
    std::memcpy(w.data(), fake_.device()->played.data() + silence.size(), w.size() * 2);
    for (size_t i = 0; i < w.size(); ++i) {
        ASSERT_EQ(w[i], 1000 - 128) << i;
    }
    fake_.device()->step(frames * 6);
    EXPECT_EQ(fake_.device()->played.back(), 0) << "the driver plays silence once the queue runs dry";
    EXPECT_GT(wave_.mix_time(), -1.0f);
    wave_.sample_remove(&level.t.desc);
}

TEST_F(SDWaveTest, PauseStopAndResumeReachTheDriver)
{
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    EXPECT_FALSE(wave_.is_paused());
    wave_.pause();
    EXPECT_TRUE(fake_.device()->paused);
    EXPECT_EQ(fake_.device()->step(100), 0u);
    wave_.resume();
    EXPECT_FALSE(fake_.device()->paused);
    EXPECT_FALSE(wave_.is_paused());
    wave_.stop();
    EXPECT_TRUE(fake_.device()->paused);
    EXPECT_EQ(fake_.device()->resets, 1);
    wave_.update();
    wave_.resume();
    EXPECT_EQ(fake_.device()->step(100), 100u) << "stop returned every buffer; the refill queued them again";
}

TEST_F(SDWaveTest, AStalledDriverIsClosedAndOpenedAgain)
{
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    const double stuck = wave_.stuck_threshold();
    play_buffers(1);
    wave_.update(); // a refill: the watch starts
    clock_.advance_seconds(stuck * 0.9);
    wave_.update();
    EXPECT_FALSE(capture_.contains("SDWave: Playback stuck ! (?)"));
    clock_.advance_seconds(stuck * 0.2);
    fake_.open_result = host::MMSYSERR_ERROR;
    fake_.once_open_result = true;
    wave_.update();
    EXPECT_TRUE(capture_.contains("SDWave: Playback stuck ! (?)"));
    EXPECT_TRUE(capture_.contains("SDWave: Trying to reopen WaveOut..."));
    EXPECT_TRUE(wave_.reopen_pending()) << "the first reopen failed";
    EXPECT_FALSE(wave_.is_open());
    capture_.clear();
    wave_.update();
    EXPECT_TRUE(capture_.contains("SDWave: Trying to reopen WaveOut..."));
    EXPECT_FALSE(wave_.reopen_pending());
    EXPECT_TRUE(wave_.is_open());
    EXPECT_EQ(fake_.opens, 2);
    EXPECT_EQ(fake_.closes, 1);
    // The watch restarts with the next refill, not at once.
    clock_.advance_seconds(stuck * 3);
    capture_.clear();
    wave_.update();
    EXPECT_FALSE(capture_.contains("stuck"));
}

TEST_F(SDWaveTest, NoStallIsSeenWhilePaused)
{
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    play_buffers(1);
    wave_.update();
    wave_.pause();
    for (int i = 0; i < 50; ++i) {
        clock_.advance_seconds(10.0);
        wave_.update();
    }
    wave_.resume();
    wave_.update();
    EXPECT_FALSE(capture_.contains("stuck"));
    EXPECT_EQ(fake_.opens, 1);
}

TEST_F(SDWaveTest, PeekCopiesTheFramesAroundTheExactPlayingPosition)
{
    const SDSettings s = settings(22050, 3, SDM_TRACK_POSITION);
    ASSERT_EQ(wave_.init(&s), 1);
    Level ramp; // 16-bit v plays as v - 128
    ASSERT_TRUE(ramp.ramp(wave_));
    const int32_t frames = wave_.buffer_bytes() / 4;

    int16_t peek[2 * 64] = {};
    EXPECT_EQ(wave_.peek_output(peek, 64), 1) << "the silence queued at open is playing";
    play_buffers(8);
    wave_.update(); // all eight refilled with the ramp
    EXPECT_EQ(wave_.base_position(), 8 * frames);
    fake_.device()->step(static_cast<uint32_t>(frames / 2));
    ASSERT_EQ(wave_.peek_output(peek, 64), 1);
    EXPECT_EQ(peek[0], frames / 2 - 32 - 128) << "starts half the window before the playing frame";
    EXPECT_EQ(peek[2 * 63], frames / 2 + 31 - 128);
    // Near the start of the buffer the window is held inside it.
    play_buffers(0.5);
    wave_.update();
    fake_.device()->step(3);
    ASSERT_EQ(wave_.peek_output(peek, 64), 1);
    EXPECT_EQ(peek[0], frames - 128) << "the second rendered buffer from its first frame";
    // A driver whose count falls behind the base: the base steps back.
    fake_.device()->position_offset = -3 * frames;
    ASSERT_EQ(wave_.peek_output(peek, 64), 1);
    EXPECT_TRUE(capture_.contains("WaveOut: base_pos missed !"));
    // More than a buffer: the whole buffer, then silence.
    std::vector<int16_t> big(2 * (frames + 10), 77);
    ASSERT_EQ(wave_.peek_output(big.data(), frames + 10), 1);
    EXPECT_EQ(big[2 * (frames + 9)], 0);
    wave_.sample_remove(&ramp.t.desc);
}

TEST_F(SDWaveTest, PeekWithoutTrackingOrWithAnIdleDriverGivesNothing)
{
    SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    int16_t peek[2 * 8] = {};
    EXPECT_EQ(wave_.peek_output(peek, 8), 0) << "tracking is off";
    s.mode = SDM_TRACK_POSITION;
    ASSERT_EQ(wave_.init(&s), 1);
    wave_.stop(); // every buffer done, none refilled while nothing asks
    fake_.device()->reset();
    EXPECT_EQ(wave_.peek_output(peek, 8), 1) << "the peek refills first";
}

// A driver without exact positions: the callback notes when a buffer
// completed; the oldest buffer's start time gives the position.
TEST_F(SDWaveTest, InexactDriversArePositionedByCompletionTimes)
{
    fake_.caps.support = 0;
    const SDSettings s = settings(22050, 3, SDM_TRACK_POSITION);
    ASSERT_EQ(wave_.init(&s), 1);
    EXPECT_FALSE(wave_.accurate());
    Level ramp;
    ASSERT_TRUE(ramp.ramp(wave_));
    const int32_t frames = wave_.buffer_bytes() / 4;
    play_buffers(8); // the driver reports their completion at 100.000 s
    wave_.update();  // all refilled; the oldest started when the last one completed
    clock_.advance_seconds(0.010);
    int16_t peek[2 * 16] = {};
    ASSERT_EQ(wave_.peek_output(peek, 16), 1);
    EXPECT_EQ(peek[0], 220 - 8 - 128) << "10 ms at 22,050 Hz into the oldest buffer";
    // The next buffer started when the driver reported the oldest done.
    play_buffers(1);
    wave_.update();
    clock_.advance_seconds(0.020);
    ASSERT_EQ(wave_.peek_output(peek, 16), 1);
    EXPECT_EQ(peek[0], frames + 441 - 8 - 128);
    wave_.sample_remove(&ramp.t.desc);
}

class SteppingClock final : public host::Clock {
public:
    uint32_t milliseconds() override { return ms += 10; }
    bool counter(int64_t& v) override
    {
        v = ms;
        return false;
    }
    bool frequency(int64_t& v) override
    {
        v = 1000;
        return false;
    }
    uint32_t ms = 0;
};

TEST_F(SDWaveTest, CloseGivesUpOnADriverThatKeepsItsBuffers)
{
    const SDSettings s = settings(22050, 3);
    ASSERT_EQ(wave_.init(&s), 1);
    fake_.device()->reset_keeps_buffers = true;
    SteppingClock stepping;
    host::ScopedClock use(&stepping);
    wave_.shutdown();
    EXPECT_TRUE(capture_.contains("SDWave: Timeout in wait-until-all-buffers-are-done !"));
    EXPECT_TRUE(capture_.contains("SDWave: Can't unprepare buffer 0 !"));
    EXPECT_GE(stepping.ms, 2000u);
    EXPECT_FALSE(wave_.is_open());
    EXPECT_EQ(fake_.device(), nullptr);
}

} // namespace
