// Modules in the sound system's song slots: each format is recognised, loads,
// plays into the device and gives its file back; and one plays through SDL
// audio (the disk driver) into a captured file.
#include "sound_system_fixture.h"
#include "tests/sound/module_fixture.h"

#include "core/command_line.h"
#include "support/disk_capture.h"

#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace {

// One note held for the whole pattern: a looped sine of 100 samples at C-5.
tools::ModuleSong held_note()
{
    tools::ModuleSong song = basic_song(2);
    song.linear = false;
    tools::ModuleSample& s = song.samples[0];
    s.bits16 = true;
    s.frames.resize(100);
    for (size_t i = 0; i < s.frames.size(); ++i) {
        s.frames[i] = int(std::lrint(12000.0 * std::sin(2.0 * M_PI * double(i) / 100.0)));
    }
    s.loop_end = 100;
    s.c5 = 44100;
    return song;
}

class ModuleSongSlots : public SoundSystemTest {};
class ModuleSdl : public SoundFileTest {};

TEST_F(ModuleSongSlots, EachFormatLoadsPlaysAndGivesItsFileBack)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    tools::ModuleSong song = held_note();
    song.patterns[0].at(0, 0).note = 60;
    tools::ModuleSong xm = held_note();
    xm.patterns[0].at(0, 0).note = 49;
    xm.patterns[0].at(0, 0).instrument = 1;
    tools::ModuleSong s3m = held_note();
    s3m.patterns[0].at(0, 0).note = 0x40;
    s3m.patterns[0].at(0, 0).instrument = 1;
    song.patterns[0].at(0, 0).instrument = 1;
    const Case cases[] = {
        {"music/song.it", tools::write_it(song)},
        {"music/song.xm", tools::write_xm(xm)},
        {"music/song.s3m", tools::write_s3m(s3m)},
    };
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    for (const Case& c : cases) {
        put(c.name, c.bytes);
        EXPECT_EQ(system.probe_song(c.name), 1) << c.name;
        ASSERT_EQ(system.load_song(c.name, 1), 1) << c.name;
        SongPlayer* const p = system.song(1);
        ASSERT_NE(p, nullptr) << c.name;
        SongInfo info;
        p->get_info(&info);
        EXPECT_EQ(info.kind, SONG_KIND_MODULE) << c.name;
        EXPECT_STREQ(info.name, "test") << c.name;
        system.start_song(1);
        const std::vector<int16_t> w = wave.words(4410);
        int peak = 0;
        for (const int16_t v : w) {
            peak = std::max(peak, std::abs(int(v)));
        }
        EXPECT_GT(peak, 2000) << c.name << " plays";
        system.free_song(1);
        EXPECT_EQ(system.song(1), nullptr);
    }
    system.shutdown();
    EXPECT_EQ(fsys->first()->driver->open_files(), 0);
}

// Real time, about a second: the engine's own polling of the SDL device.
TEST_F(ModuleSdl, AModulePlaysThroughSdlAudio)
{
    const std::string captured = "/tmp/ostrel_module_capture_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", captured.c_str(), 1);
    tools::ModuleSong song = held_note();
    song.patterns[0].at(0, 0).note = 60;
    song.patterns[0].at(0, 0).instrument = 1;
    put("music/held.it", tools::write_it(song));
    CommandLine line;
    const char* argv[] = {"ostrel", "-wave", "-snd_freq", "44100"};
    ASSERT_EQ(line.parse(4, argv), 1);
    CommandLine* const saved = command_line;
    command_line = &line;
    bool enough = false;
    {
        SoundSystem sound;
        ASSERT_EQ(sound.init(), 1);
        ASSERT_EQ(sound.load_song("music/held.it", 0), 1);
        sound.start_song(0);
        enough = poll_until_sound(captured, 44100, [] { poll_all(); });
        sound.shutdown();
    }
    command_line = saved;
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    // Silence the driver played for a starved thread is cut.
    const std::vector<int16_t> w = disk_capture_sound(disk_capture_words(captured));
    std::remove(captured.c_str());
    ASSERT_TRUE(enough) << "a second of sound was captured";
    const size_t frames = w.size() / 2;
    size_t first = 0;
    while (first < frames && std::abs(w[2 * first]) < 1000) {
        ++first;
    }
    constexpr size_t WINDOW = 8820; // 0.2 s
    ASSERT_GE(frames - first, WINDOW + 100) << "the note lasted long enough";
    int crossings = 0;
    for (size_t f = first + 100; f < first + 100 + WINDOW; ++f) {
        crossings += w[2 * (f - 1)] + 128 < 0 && w[2 * f] + 128 >= 0 ? 1 : 0;
    }
    // C-5 of a sample whose C-5 speed is 44100 Hz: 441 Hz, 88 cycles in 0.2 s.
    EXPECT_NEAR(crossings, 88, 3);
}

} // namespace
