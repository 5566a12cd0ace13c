// Every WAV file of the Debian game packages: the sample cache takes it with
// the frames, rate and data that sox reads from it, and the sound system
// takes it as a song, or both refuse it and the song slot says why.
#include "sound_system_fixture.h"

#include "sound/mix_sample.h"
#include "sound/sample_cache.h"
#include "support/skip_or_fail.h"

namespace {

std::string soxi(const std::string& option, const std::string& path)
{
    std::string out;
    if (FILE* p = popen(("soxi " + option + " '" + path + "' 2> /dev/null").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, p) != nullptr) {
            out += line;
        }
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

// Files whose RIFF length hides their data chunk: the reader stops at the
// form's end, so the file is refused.
bool hides_its_data(const GameWav& w)
{
    return w.path.filename() == "click.wav" && w.package == "penguin-command";
}

class RealWavTest : public SoundSystemTest {};

TEST_F(RealWavTest, EveryGameWavLoadsWithSoxsDataOrIsRefusedWithAMessage)
{
    if (!have_sox()) {
        SKIP_OR_FAIL("sox is not installed (scripts/packages.txt lists it)");
    }
    std::string missing;
    const std::vector<GameWav> wavs = game_wavs(&missing);
    if (wavs.empty()) {
        SKIP_WITHOUT_GAME_DATA(missing);
    }
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    ASSERT_NE(system.device(), nullptr);
    int loaded = 0;
    int refused = 0;
    for (const GameWav& w : wavs) {
        const std::string name = "sounds/" + w.package + "_" + w.path.filename().string();
        SCOPED_TRACE(name);
        put(name, read_host_file(w.path));
        capture.clear();
        const int song = system.load_song(name.c_str(), 0);
        SCSample* const s = system.effects_cache()->get(name.c_str(), -1);
        if (hides_its_data(w)) {
            EXPECT_EQ(song, 0);
            EXPECT_EQ(s, nullptr);
            EXPECT_TRUE(capture.contains("SoundSystem: Unknown song '" + name + "' format !"));
            ++refused;
            continue;
        }
        if (song != 1) {
            for (const PrintCapture::Line& l : capture.lines()) {
                ADD_FAILURE() << l.text;
            }
        }
        ASSERT_EQ(song, 1);
        system.free_song(0);
        ASSERT_NE(s, nullptr);
        const std::string path = w.path.string();
        EXPECT_EQ(std::to_string(s->frames), soxi("-s", path));
        EXPECT_EQ(std::to_string(s->rate), soxi("-r", path));
        EXPECT_EQ(s->channels, 1);
        // The data the device reads is what sox reads, in the file's own width.
        std::vector<uint8_t> data(static_cast<size_t>(s->frames) * s->bytes + MIX_GUARD_BYTES);
        ASSERT_EQ(system.effects_cache()->read_sample_data(s->device_sample, data.data()), 1);
        data.resize(static_cast<size_t>(s->frames) * s->bytes);
        const std::string raw = (dir / "sox.raw").string();
        const std::string format = s->bytes == 1 ? "-e unsigned -b 8" : "-e signed -b 16 -L";
        ASSERT_TRUE(run_command("sox '" + path + "' -t raw " + format + " '" + raw + "'"));
        EXPECT_TRUE(read_host_file(raw) == data) << "data differs from sox's";
        EXPECT_TRUE(capture.contains("Sample '" + name + "' cached"));
        ++loaded;
    }
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(loaded + refused, static_cast<int>(wavs.size()));
}

} // namespace
