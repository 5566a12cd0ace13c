// The engine's sound through SDL audio with the disk driver, which writes
// what it plays into a file in real time: music is heard, and a looping 3-D
// source on the demo level is louder near the listener than far from it.
// About two seconds of wall time.
#include "demo_session.h"

#include "client/client.h"
#include "client/client_sound.h"
#include "client/cobj_manager.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "../client/engine_server_access.h"
#include "tools/sound/module_writer.h"
#include "tools/wav/wav_writer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr int SOUND_SOURCE = 9;
constexpr int PROPERTY_SOUND_NAME = 0x900;
constexpr int PROPERTY_SOUND_MODE = 0x901;
constexpr int PROPERTY_SOUND_ATTENUATION = 0x903;
constexpr int RATE = 44100;

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One note held for the whole pattern: a looped sine.
std::vector<uint8_t> held_note_module()
{
    tools::ModuleSong song;
    song.channels = 2;
    song.orders = {0};
    song.patterns.resize(1);
    tools::ModuleSample s;
    s.bits16 = true;
    for (int i = 0; i < 100; ++i) {
        s.frames.push_back(static_cast<int>(std::lrint(12000.0 * std::sin(2.0 * M_PI * i / 100.0))));
    }
    s.loop = true;
    s.loop_end = 100;
    s.c5 = RATE;
    song.samples.push_back(s);
    tools::ModuleInstrument in;
    in.samples = {0};
    song.instruments.push_back(in);
    song.patterns[0].at(0, 0).note = 60;
    song.patterns[0].at(0, 0).instrument = 1;
    return tools::write_it(song);
}

// A fifth of a second of a 300 Hz sine, a cue point at its start making
// the whole of it the loop.
std::vector<uint8_t> hum_wave()
{
    std::vector<int16_t> samples(4410);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(std::lrint(16000.0 * std::sin(2.0 * M_PI * 300.0 * i / 22050.0)));
    }
    return tools::wav_file({tools::wav_fmt_pcm(1, 22050, 16), tools::wav_data(tools::wav_samples16(samples)),
                            tools::wav_cue({{0, 0}})});
}

// Root mean square of the left channel of 16-bit stereo frames [from, to).
double rms(const std::vector<int16_t>& words, size_t from, size_t to)
{
    double sum = 0.0;
    size_t n = 0;
    for (size_t f = from; f < to && 2 * f < words.size(); ++f, ++n) {
        sum += static_cast<double>(words[2 * f]) * words[2 * f];
    }
    return n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
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
    // the device plays while the engine mixes.
    void play(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(frame(), 1);
            host::sleep_milliseconds(4);
        }
    }
    // Sample frames the driver has written so far.
    size_t captured_frames() const
    {
        std::error_code ec;
        const uintmax_t bytes = fs::file_size(capture_, ec);
        return ec ? 0 : static_cast<size_t>(bytes / 4);
    }
    std::vector<int16_t> captured() const
    {
        std::ifstream in(capture_, std::ios::binary);
        const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> words(raw.size() / 2);
        std::memcpy(words.data(), raw.data(), words.size() * 2);
        return words;
    }

    fs::path capture_;
};

TEST_F(SoundCapture, MusicIsHeardAndTheSourceIsLouderNear)
{
    write_file(folder_ / "kavrin" / "music" / "e2e.it", held_note_module());
    write_file(folder_ / "kavrin" / "sounds" / "hum.wav", hum_wave());
    ASSERT_NO_FATAL_FAILURE(start({"-wave", "-snd_freq", "44100"}));
    ASSERT_TRUE(client().sound()->has_device()) << "SDL's disk driver opened";

    run("Sng_Play music/e2e.it");
    const size_t music_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(100));
    const size_t music_to = captured_frames();
    run("Sng_Stop");

    run("Set Client_Administrator True\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    const int32_t hum = server_create(*engine_, SOUND_SOURCE);
    ASSERT_GE(hum, 0);
    ASSERT_EQ(server_set(*engine_, hum, PROPERTY_SOUND_NAME, {{0, 0.0, "hum.wav"}}), 1);
    ASSERT_EQ(server_set(*engine_, hum, PROPERTY_SOUND_MODE, {{1, 0.0, nullptr}}), 1);
    ASSERT_EQ(server_set(*engine_, hum, PROPERTY_SOUND_ATTENUATION,
                         {{0, 64.0, nullptr}, {0, 1.0, nullptr}, {0, 1024.0, nullptr}, {0, 0.0, nullptr}}),
              1);
    const CObjCommon* const camera = client().camera();
    const float cx = camera->pose[0].position.x;
    const float cy = camera->pose[0].position.y;
    const float cz = camera->pose[0].position.z;
    server_place(*engine_, hum, cx + 900.0f, cy, cz);
    ASSERT_NO_FATAL_FAILURE(play(70));
    const size_t far_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(70));
    const size_t far_to = captured_frames();
    server_place(*engine_, hum, cx + 32.0f, cy, cz);
    ASSERT_NO_FATAL_FAILURE(play(70));
    const size_t near_from = captured_frames();
    ASSERT_NO_FATAL_FAILURE(play(70));
    const size_t near_to = captured_frames();
    engine_.reset();

    const std::vector<int16_t> words = captured();
    ASSERT_GT(music_to, music_from + RATE / 10) << "the driver played while the music ran";
    // The driver writes what was mixed a buffer earlier: the second half of each span.
    const double music = rms(words, (music_from + music_to) / 2, music_to);
    const double far = rms(words, far_from, far_to);
    const double near = rms(words, near_from, near_to);
    EXPECT_GT(music, 1000.0) << "the music is not silent";
    EXPECT_GT(near, 500.0) << "the source is heard near the listener";
    EXPECT_GT(near, 2.0 * far) << "far " << far << ", near " << near;
}

} // namespace
