// The engine's sound through SDL audio with the disk driver, which writes
// what it plays into a file in real time: on the demo level the music is
// heard, and the humming machine in the side room is louder once the player
// has walked up to it than where the player entered. About five seconds of
// wall time.
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "client/client_sound.h"
#include "client/cobj_manager.h"
#include "engine/engine.h"
#include "support/disk_capture.h"

#include <cmath>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

constexpr int RATE = 44100;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr float HUM_X = 600.0f; // the machine, in the side room east of the hall

// Root mean square of both channels of 16-bit stereo frames [from, to).
double rms(const std::vector<int16_t>& words, size_t from, size_t to)
{
    double sum = 0.0;
    size_t n = 0;
    for (size_t f = from; f < to && 2 * f + 1 < words.size(); ++f, ++n) {
        sum += static_cast<double>(words[2 * f]) * words[2 * f] + static_cast<double>(words[2 * f + 1]) * words[2 * f + 1];
    }
    return n > 0 ? std::sqrt(sum / static_cast<double>(2 * n)) : 0.0;
}

class SoundCapture : public e2e::DemoSession {
protected:
    void SetUp() override
    {
        e2e::DemoSession::SetUp();
        capture_ = folder_ / "capture.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture_.c_str(), 1);
    }
    void TearDown() override
    {
        e2e::DemoSession::TearDown();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_DISKAUDIOFILE");
    }
    // Frames of the game's time, each also a few real milliseconds, so that
    // the device plays while the engine mixes; on a busy machine the driver
    // may lag, so more frames follow (a bounded number) until it wrote `sound`
    // frames more.
    void play(int frames, size_t sound = 0)
    {
        const size_t until = captured_frames() + sound;
        for (int i = 0; i < frames || (captured_frames() < until && i < frames + 15000); ++i) {
            ASSERT_EQ(frame(), 1);
            host::sleep_milliseconds(4);
        }
        ASSERT_GE(captured_frames(), until) << "the driver wrote too little";
    }
    // Sample frames the driver has written so far.
    size_t captured_frames() const { return disk_capture_frames(capture_.string()); }
    std::vector<int16_t> captured() const { return disk_capture_words(capture_.string()); }

    fs::path capture_;
};

TEST_F(SoundCapture, MusicIsHeardAndTheMachineIsLouderNear)
{
    ASSERT_NO_FATAL_FAILURE(start({"-wave", "-snd_freq", "44100"}));
    ASSERT_TRUE(client().sound()->has_device()) << "SDL's disk driver opened";
    run("Set Client_Administrator True\nKeyDef W Forward\nKeyDef Right HeadingRight\nConnect local\nWait 5\n"
        "Map demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    ASSERT_NO_FATAL_FAILURE(play(35));

    // Where the player entered: with the music, then without it.
    // What was mixed ahead of a change plays out first: half a second of
    // sound after it is heard before a window opens.
    run("Sng_Play music/demo.s3m");
    ASSERT_NO_FATAL_FAILURE(play(50, RATE / 2));
    const size_t music_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(50, RATE / 10));
    const size_t music_to = captured_frames();
    run("Sng_Stop");
    ASSERT_NO_FATAL_FAILURE(play(70, RATE / 2));
    const size_t far_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(100, RATE / 10));
    const size_t far_to = captured_frames();
    const float far_x = client().camera()->pose[0].position.x;

    // North to the middle of the hall, a right turn, east through the door.
    key('W', SCAN_W, true);
    ASSERT_NO_FATAL_FAILURE(play(70));
    key('W', SCAN_W, false);
    key(VK_RIGHT, SCAN_RIGHT, true, true);
    ASSERT_NO_FATAL_FAILURE(play(35));
    key(VK_RIGHT, SCAN_RIGHT, false, true);
    key('W', SCAN_W, true);
    ASSERT_NO_FATAL_FAILURE(play(200));
    key('W', SCAN_W, false);
    // Standing still, the last footstep gone.
    ASSERT_NO_FATAL_FAILURE(play(70, RATE / 2));
    const size_t near_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(100, RATE / 10));
    const size_t near_to = captured_frames();
    const float near_x = client().camera()->pose[0].position.x;
    engine_.reset();

    EXPECT_LT(std::abs(HUM_X - near_x), 0.5f * std::abs(HUM_X - far_x))
        << "the player walked towards the machine, from x " << far_x << " to " << near_x;
    const std::vector<int16_t> words = captured();
    ASSERT_GT(music_to, music_from + RATE / 10) << "the driver played while the music ran";
    const double music = rms(words, music_from, music_to);
    const double far = rms(words, far_from, far_to);
    const double near = rms(words, near_from, near_to);
    EXPECT_GT(music, 500.0) << "the music is not silent";
    EXPECT_GT(music, 1.5 * far) << "the music is heard over the machine's far hum: " << music << " against " << far;
    EXPECT_GT(far, 0.0) << "the machine is heard from afar";
    EXPECT_GT(near, 1.5 * far) << "far " << far << ", near " << near;
}

} // namespace
