// The wave-file device: "out.wav" grows with the engine clock and opens in
// soxi with the right header once the device shuts down.
#include "sound_fixture.h"

#include "host/host_clock.h"
#include "sound/sd_wave_file.h"
#include "support/print_capture.h"
#include "support/skip_or_fail.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

// Every test writes "out.wav" in a directory of its own.
class SDWaveFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture_.show_all();
        char dir[] = "/tmp/ostrel_wavfile_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        clock_.set_micros(50000000);
    }
    void TearDown() override
    {
        file_.shutdown();
        std::remove("out.wav");
        (void)chdir(old_);
        rmdir(dir_.c_str());
    }

    bool open(int32_t rate, uint32_t flags)
    {
        SDSettings s;
        s.rate = rate;
        s.flags = flags;
        return file_.init(&s) == 1;
    }
    std::vector<uint8_t> bytes()
    {
        std::ifstream in("out.wav", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static uint32_t le32(const std::vector<uint8_t>& b, size_t at)
    {
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
    }
    // One soxi query ("-r", "-c", "-b", "-s", "-e") on out.wav.
    static std::string soxi(const char* what)
    {
        const std::string cmd = std::string("soxi ") + what + " out.wav 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[256];
        while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) {
            out += buf;
        }
        if (p != nullptr) {
            pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
            out.pop_back();
        }
        return out;
    }
    static bool have_soxi() { return std::system("command -v soxi > /dev/null 2>&1") == 0; }

    std::string dir_;
    char old_[4096] = {};
    host::ManualClock clock_;
    host::ScopedClock scoped_{&clock_};
    PrintCapture capture_;
    SDWaveFile file_;
};

TEST_F(SDWaveFileTest, CapabilitiesAndDefaults)
{
    SDCaps caps;
    ASSERT_EQ(file_.get_caps(&caps), 1);
    EXPECT_EQ(caps.max_channels, 256);
    EXPECT_EQ(caps.default_channels, 32);
    EXPECT_EQ(caps.supported_flags, 11u);
    EXPECT_EQ(caps.default_flags, 11u);
    EXPECT_EQ(caps.max_rate, 88200);
    EXPECT_EQ(caps.default_rate, 44100);
    EXPECT_EQ(caps.modes, 2u);
    struct Case {
        int32_t channels;
        int32_t rate;
        uint32_t flags;
        int32_t got_channels;
        int32_t got_rate;
        uint32_t got_flags;
    };
    const Case cases[] = {
        {0, 0, SDF_DEFAULT, 32, 44100, 11},
        {300, 22050, 1, 256, 22050, 5},
        {8, 11025, 7, 8, 11025, 3},
    };
    for (const Case& c : cases) {
        SDSettings s;
        s.channels = c.channels;
        s.rate = c.rate;
        s.flags = c.flags;
        ASSERT_EQ(file_.configure(&s), 1);
        EXPECT_EQ(s.channels, c.got_channels);
        EXPECT_EQ(s.rate, c.got_rate);
        EXPECT_EQ(s.flags, c.got_flags);
        EXPECT_EQ(file_.settings().flags, c.got_flags);
    }
    SDSettings bad;
    bad.mode = SDM_TRACK_POSITION;
    EXPECT_EQ(file_.init(&bad), 0) << "only mode bit 1 is accepted";
    bad.mode = SDM_RESERVED;
    EXPECT_EQ(file_.init(&bad), 1);
}

TEST_F(SDWaveFileTest, EachUpdateRendersTheElapsedFrames)
{
    struct Case {
        const char* why;
        int32_t rate;
        uint32_t flags;
        double seconds;
        uint32_t bytes;
    };
    const Case cases[] = {
        {"0.1 s at 44,100 Hz stereo 16-bit: 4410 frames", 44100, 3, 0.1, 17640},
        {"0.05 s at 22,050 Hz mono 8-bit: the half frame is dropped", 22050, 4, 0.05, 1102},
        {"2 s crosses the 64 KB buffer", 22050, 3, 2.0, 176400},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(open(c.rate, c.flags)) << c.why;
        clock_.advance_seconds(c.seconds);
        file_.update();
        file_.shutdown();
        const std::vector<uint8_t> b = bytes();
        EXPECT_EQ(le32(b, 40), c.bytes) << c.why;
        EXPECT_EQ(b.size(), 44 + c.bytes + (c.bytes & 1)) << c.why;
    }
}

TEST_F(SDWaveFileTest, AFileLeftOpenKeepsBothLengthsZero)
{
    ASSERT_TRUE(open(22050, 3));
    const std::vector<uint8_t> b = bytes();
    ASSERT_EQ(b.size(), 44u);
    const uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 0x01, 0,
                                4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    EXPECT_EQ(b, std::vector<uint8_t>(header, header + 44));
}

TEST_F(SDWaveFileTest, PausedTimeIsNeitherWrittenNorCaughtUp)
{
    ASSERT_TRUE(open(11025, 4));
    clock_.advance_seconds(0.2);
    file_.update();
    file_.pause();
    clock_.advance_seconds(5.0);
    file_.update();
    file_.resume();
    clock_.advance_seconds(0.1);
    file_.update();
    file_.stop();
    clock_.advance_seconds(1.0);
    file_.update();
    file_.shutdown();
    EXPECT_EQ(le32(bytes(), 40), 2205u + 1102u);
}

TEST_F(SDWaveFileTest, SoxiReadsTheHeaderAndOddSizesArePadded)
{
    if (!have_soxi()) {
        SKIP_OR_FAIL("soxi (package sox) is not installed");
    }
    struct Case {
        const char* why;
        int32_t rate;
        uint32_t flags;
        double seconds;
        const char* channels;
        const char* bits;
        const char* samples;
        uint32_t data;
    };
    const Case cases[] = {
        {"stereo 16-bit", 44100, 3, 0.5, "2", "16", "22050", 88200},
        {"mono 8-bit with an odd length", 11025, 4, 0.101, "1", "8", "1113", 1113},
        {"stereo 8-bit", 22050, 1, 0.25, "2", "8", "5512", 11024},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(open(c.rate, c.flags)) << c.why;
        clock_.advance_seconds(c.seconds);
        file_.update();
        file_.shutdown();
        EXPECT_EQ(soxi("-r"), std::to_string(c.rate)) << c.why;
        EXPECT_EQ(soxi("-c"), c.channels) << c.why;
        EXPECT_EQ(soxi("-b"), c.bits) << c.why;
        EXPECT_EQ(soxi("-s"), c.samples) << c.why;
        const std::vector<uint8_t> b = bytes();
        EXPECT_EQ(le32(b, 40), c.data) << c.why;
        EXPECT_EQ(le32(b, 4), b.size() - 8) << c.why << ": the RIFF length counts the pad byte";
        EXPECT_EQ(b.size() % 2, 0u) << c.why;
        if ((c.data & 1) != 0) {
            EXPECT_EQ(b.back(), 0) << c.why;
        }
    }
}

TEST_F(SDWaveFileTest, WritingStopsWithAWarningBeforeTheFileIsFull)
{
    ASSERT_TRUE(open(22050, 3));
    file_.set_data_limit(100000);
    clock_.advance_seconds(0.5); // 44,100 bytes
    file_.update();
    EXPECT_FALSE(capture_.contains("full"));
    clock_.advance_seconds(1.0);
    file_.update();
    EXPECT_TRUE(capture_.contains("SDWaveFile: 'out.wav' is full, recording stopped"));
    clock_.advance_seconds(10.0);
    file_.update();
    file_.shutdown();
    const std::vector<uint8_t> b = bytes();
    EXPECT_EQ(le32(b, 40), 100000u);
    EXPECT_EQ(b.size(), 44u + 100000u);
    EXPECT_EQ(capture_.count("is full"), 1);
    EXPECT_EQ(SDWAVEFILE_MAX_DATA % 4, 0u);
    EXPECT_LE(static_cast<uint64_t>(SDWAVEFILE_MAX_DATA) + 36 + 1, 0xFFFFFFFFull);
}

TEST_F(SDWaveFileTest, TheMixIsWhatTheFileHolds)
{
    ASSERT_TRUE(open(22050, 3));
    TestSample t;
    TestSample::fill16(t, std::vector<int16_t>(100, 3000));
    t.desc.flags |= SDSF_LOOPED;
    const int32_t h = file_.channel_choose(1.0f);
    ASSERT_TRUE(file_.device_sample_create(&t.desc));
    ASSERT_EQ(file_.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    file_.channel_set_frequency(h, 22050);
    file_.channel_set_volume(h, 1.0f);
    file_.channel_set_pan(h, -1.0f);
    clock_.advance_seconds(0.01);
    file_.update();
    file_.sample_remove(&t.desc);
    file_.shutdown();
    const std::vector<uint8_t> b = bytes();
    ASSERT_EQ(b.size(), 44u + 220u * 4);
    int16_t left;
    int16_t right;
    std::memcpy(&left, &b[44], 2);
    std::memcpy(&right, &b[46], 2);
    EXPECT_EQ(left, 3000 - 128);
    EXPECT_EQ(right, 0);
}

TEST_F(SDWaveFileTest, AnUnwritableDirectoryFailsInit)
{
    ASSERT_EQ(mkdir("out.wav", 0700), 0);
    EXPECT_FALSE(open(22050, 3));
    EXPECT_FALSE(file_.is_open());
    rmdir("out.wav");
}

} // namespace
