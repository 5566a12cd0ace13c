// The wave-output device over real SDL audio with the disk driver: a sine
// played by the mixer appears in the captured file at its frequency and level.
#include "sound_fixture.h"

#include "sound/sd_wave.h"
#include "support/disk_capture.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

TEST(SDWaveSdl, ASineReachesTheCapturedOutputAtItsFrequencyAndLevel)
{
    // The disk driver writes what SDL plays into a file, in real time.
    const std::string capture = "/tmp/ostrel_sdl_capture_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);

    SDWave wave;
    SDSettings s;
    s.rate = 44100;
    s.flags = SDF_STEREO | SDF_16BIT;
    s.buffer_length = 0.1f;
    ASSERT_EQ(wave.init(&s), 1) << "SDL audio with the disk driver";
    ASSERT_EQ(wave.settings().rate, 44100);

    // One period of 100 samples, looped: 441 Hz at 44,100 Hz.
    constexpr double AMPLITUDE = 16000.0;
    std::vector<int16_t> period(100);
    for (size_t i = 0; i < period.size(); ++i) {
        period[i] = static_cast<int16_t>(std::lrint(AMPLITUDE * std::sin(2.0 * M_PI * static_cast<double>(i) / 100.0)));
    }
    TestSample t;
    TestSample::fill16(t, period);
    t.desc.flags |= SDSF_LOOPED;
    const int32_t h = wave.channel_choose(1.0f);
    ASSERT_TRUE(wave.device_sample_create(&t.desc));
    ASSERT_EQ(wave.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    wave.channel_set_frequency(h, 44100);
    wave.channel_set_volume(h, 1.0f);
    wave.channel_set_pan(h, SD_UNPANNED);

    // Polled as the engine would until the capture holds enough of the
    // mixer's sound. A starved test thread leaves the queue dry and the
    // driver plays silence in its place (or the device is reopened, the
    // file begun again): those gaps are cut before the sound is judged.
    constexpr size_t FROM = 100;
    constexpr size_t WINDOW = 13230; // 0.3 s
    constexpr size_t PERIOD = 100;
    const bool enough = poll_until_sound(capture, FROM + WINDOW, [&] { wave.update(); });
    wave.shutdown();
    wave.sample_remove(&t.desc);
    const std::vector<int16_t> w = disk_capture_sound(disk_capture_words(capture));
    std::remove(capture.c_str());
    ASSERT_TRUE(enough) << "0.3 s of sound was captured";
    ASSERT_GE(w.size() / 2, FROM + WINDOW);

    int crossings = 0;
    double sum = 0.0;
    int peak = 0;
    size_t breaks = 0;
    for (size_t f = FROM; f < FROM + WINDOW; ++f) {
        const int l = w[2 * f] + 128; // the mixer's 16-bit path adds -128
        const int prev = w[2 * (f - 1)] + 128;
        EXPECT_EQ(w[2 * f], w[2 * f + 1]) << "both sides play the same";
        if (prev < 0 && l >= 0) {
            ++crossings;
        }
        sum += static_cast<double>(l) * l;
        peak = std::max(peak, std::abs(l));
        // The looped period comes back sample for sample: no piece of the mixer's sound lost or doubled.
        breaks += w[2 * f] != w[2 * (f - PERIOD)] ? 1 : 0;
    }
    const double hz = crossings / (static_cast<double>(WINDOW) / 44100.0);
    EXPECT_NEAR(hz, 441.0, 4.0);
    EXPECT_NEAR(std::sqrt(sum / WINDOW), AMPLITUDE / std::sqrt(2.0), AMPLITUDE * 0.01);
    EXPECT_NEAR(peak, AMPLITUDE, AMPLITUDE * 0.01);
    EXPECT_EQ(breaks, 0u);
}

} // namespace
