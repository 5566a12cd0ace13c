// IMA ADPCM files written by sox decode, through the engine's codec, to
// exactly what sox itself decodes from them: mono and stereo, at several
// rates, from synthetic signals and from the Debian packages' WAV files.
#include "sound_files.h"
#include "support/skip_or_fail.h"

#include <set>

namespace {

class ImaSoxTest : public SoundFileTest {
protected:
    void SetUp() override
    {
        SoundFileTest::SetUp();
        if (!have_sox()) {
            SKIP_OR_FAIL("sox is not installed (scripts/packages.txt lists it)");
        }
    }

    // Encodes src (a host file) to IMA ADPCM with sox, decodes that with sox
    // and with the engine, and compares every sample of every channel.
    void compare(const std::string& src, const std::string& label)
    {
        SCOPED_TRACE(label);
        const std::string ima = (dir / "ima.wav").string();
        const std::string raw = (dir / "dec.raw").string();
        ASSERT_TRUE(run_command("sox '" + src + "' -e ima-adpcm '" + ima + "'"));
        ASSERT_TRUE(run_command("sox '" + ima + "' -t raw -e signed -b 16 -L '" + raw + "'"));
        const std::vector<uint8_t> bytes = read_host_file(raw);
        SCSample s;
        ASSERT_EQ(parse("ima.wav", s), 1);
        ASSERT_GT(s.frames, 0);
        const std::vector<std::vector<int16_t>> ours = decode("ima.wav", s);
        // sox decodes whole blocks; the file's frame count ends the song earlier.
        const size_t frame_bytes = 2 * static_cast<size_t>(s.channels);
        ASSERT_GE(bytes.size() / frame_bytes, static_cast<size_t>(s.frames));
        int mismatches = 0;
        for (int32_t i = 0; i < s.frames && mismatches < 5; ++i) {
            for (int32_t c = 0; c < s.channels; ++c) {
                const size_t at = i * frame_bytes + 2 * static_cast<size_t>(c);
                const int16_t theirs = static_cast<int16_t>(bytes[at] | (bytes[at + 1] << 8));
                if (ours[c][i] != theirs) {
                    ADD_FAILURE() << "frame " << i << " channel " << c << ": " << ours[c][i] << " vs sox " << theirs;
                    ++mismatches;
                }
            }
        }
        s.codec->release(&s);
    }
};

TEST_F(ImaSoxTest, SyntheticSignalsDecodeAsSoxDecodesThem)
{
    struct Case {
        int rate;
        int channels;
        const char* synth;
    };
    const Case cases[] = {
        {8000, 1, "synth 0.9 sine 300"},
        {11025, 2, "synth 0.8 sine 440 sine 1234"},
        {22050, 1, "synth 0.7 whitenoise vol 0.9"},
        {22050, 2, "synth 1.1 square 220 sawtooth 3000"},
        {44100, 2, "synth 0.6 whitenoise sine 7000"},
        {48000, 1, "synth 0.5 sine 100-12000"},
    };
    for (const Case& c : cases) {
        const std::string src = (dir / "src.wav").string();
        ASSERT_TRUE(run_command("sox -n -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) +
                                " -b 16 '" + src + "' " + c.synth));
        compare(src, std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channel(s), " + c.synth);
    }
}

TEST_F(ImaSoxTest, GameFilesDecodeAsSoxDecodesThem)
{
    std::string missing;
    const std::vector<GameWav> wavs = game_wavs(&missing);
    if (wavs.empty()) {
        SKIP_WITHOUT_GAME_DATA(missing);
    }
    int compared = 0;
    // A file that two packages ship alike is compared once.
    std::set<std::vector<uint8_t>> seen;
    for (const GameWav& w : wavs) {
        // sox refuses what it cannot read itself; everything else is compared,
        // and as stereo too, at the file's own rate.
        const std::string src = w.path.string();
        if (!seen.insert(read_host_file(w.path)).second || !run_command("soxi '" + src + "'")) {
            continue;
        }
        compare(src, w.package + ": " + w.path.filename().string());
        const std::string stereo = (dir / "stereo.wav").string();
        ASSERT_TRUE(run_command("sox '" + src + "' -c 2 '" + stereo + "' remix 1 1v-0.5"));
        compare(stereo, w.package + ": " + w.path.filename().string() + " as stereo");
        ++compared;
    }
    EXPECT_GE(compared, 25);
}

} // namespace
