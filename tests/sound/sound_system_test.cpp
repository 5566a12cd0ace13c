// The sound system front end: options, device choice, variables, polling,
// song slots, per-frame updates and one-shot sounds.
#include "sound_system_fixture.h"

#include "core/poll.h"
#include "sound/s3d_hive.h"
#include "sound/s3d_mixer.h"
#include "sound/song_player.h"
#include "sound/sound_source_table.h"
#include "tools/wav/wav_writer.h"

namespace {

using namespace tools;

const char* const variables[] = {"Snd_DebugLines",           "Snd_MusicVolume",
                                 "Snd_MusicStereoSeparation", "Snd_SoundVolume",
                                 "Snd_SoundStereoSeparation", "Snd_Environment"};

class SoundSystemFrontTest : public SoundSystemTest {
protected:
    void put_song(const std::string& name)
    {
        put(name, wav_pcm16(2, 22050, std::vector<int16_t>(4000, 100)));
    }
    void set(const char* name, const char* value) { ASSERT_EQ(cvar_list->find(name)->set_string(value), 1); }
    Matrix identity()
    {
        Matrix m;
        mat_identity(m);
        return m;
    }
};

TEST_F(SoundSystemFrontTest, OptionsChooseTheDevice)
{
    struct Case {
        const char* why;
        std::vector<const char*> args;
        bool configure_ok;
        SoundDevice* device;
        int configures;
        const char* message;
    };
    const Case cases[] = {
        {"automatic: row 0 after its configure", {}, true, &wave, 1, "Sound system initialized"},
        {"automatic: row 0 refuses, sound off, row 1 untried", {}, false, nullptr, 1, "No sound initialized"},
        {"wave: row 0 without configure", {"-wave"}, false, &wave, 0, "Sound system initialized"},
        {"nosound", {"-nosound"}, true, nullptr, 0, "No sound initialized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        args(c.args);
        wave.configure_ok = c.configure_ok;
        wave.configures = 0;
        file.inits = 0;
        capture.clear();
        ASSERT_EQ(system.init(), 1);
        EXPECT_EQ(system.device(), c.device);
        EXPECT_EQ(wave.configures, c.configures);
        EXPECT_EQ(file.inits, 0);
        EXPECT_TRUE(capture.contains(c.message));
        for (const char* v : variables) {
            EXPECT_NE(cvar_list->find(v), nullptr) << v;
        }
        if (c.device == nullptr) {
            EXPECT_EQ(system.load_song("anything.wav", 0), 1) << "without a device nothing is loaded";
            EXPECT_EQ(system.song(0), nullptr);
        }
        system.shutdown();
        for (const char* v : variables) {
            EXPECT_EQ(cvar_list->find(v), nullptr) << v << " released";
        }
    }
}

TEST_F(SoundSystemFrontTest, OptionsFillTheSettings)
{
    struct Case {
        const char* why;
        std::vector<const char*> args;
        int32_t rate, channels;
        uint32_t flags;
        float length, volume;
        const char* line;
    };
    const Case cases[] = {
        {"defaults: stereo 16-bit", {"-wave"}, 22050, 32, SDF_STEREO | SDF_16BIT, 0.0f, 0.0f,
         "Mixing freq 22050 Hz; stereo 16-bit "},
        {"every option", {"-wave", "-snd_8bit", "-snd_mono", "-snd_interpolate", "-snd_freq", "0x2b11", "-snd_channels", "12", "-snd_buflen", "0.5", "-snd_volume", "0.7"},
         11025, 12, SDF_INTERPOLATE, 0.5f, 0.7f, "Mixing freq 11025 Hz; mono 8-bit interpolated"},
        {"zero length and volume keep the defaults", {"-wave", "-snd_buflen", "0", "-snd_volume", "0"}, 22050, 32,
         SDF_STEREO | SDF_16BIT, 0.0f, 0.0f, "Mixing freq 22050 Hz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        args(c.args);
        capture.clear();
        ASSERT_EQ(system.init(), 1);
        ASSERT_EQ(system.device(), &wave);
        EXPECT_EQ(wave.requested.flags, c.flags);
        EXPECT_EQ(wave.requested.buffer_length, c.length);
        EXPECT_EQ(wave.requested.volume, c.volume);
        EXPECT_EQ(wave.settings().rate, c.rate);
        EXPECT_EQ(wave.settings().channels, c.channels);
        EXPECT_TRUE(capture.contains(c.line));
        system.shutdown();
    }
}

TEST_F(SoundSystemFrontTest, WaveOptionsPreCreateTheirVariables)
{
    args({"-nosound", "-wave_dev", "3", "-wave_bufs", "5"});
    ASSERT_EQ(system.init(), 1);
    ASSERT_NE(cvar_list->find("Wave_Device"), nullptr);
    EXPECT_EQ(cvar_list->find("Wave_Device")->as_int(), 3);
    EXPECT_EQ(cvar_list->find("Wave_Buffers")->as_int(), 5);
    system.shutdown();
    args({"-nosound", "-wave_dev", "7"});
    ASSERT_EQ(system.init(), 1);
    EXPECT_EQ(cvar_list->find("Wave_Device")->as_int(), 3) << "an existing variable keeps its value";
}

TEST_F(SoundSystemFrontTest, AFailingDeviceInitLeavesSoundOff)
{
    wave.init_ok = false;
    args({});
    ASSERT_EQ(system.init(), 1);
    EXPECT_EQ(system.device(), nullptr);
    EXPECT_GE(wave.shutdowns, 1);
}

TEST_F(SoundSystemFrontTest, TheDeviceIsPolledAndPausedThroughTheSystem)
{
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    ASSERT_NE(system.hive(), nullptr);
    ASSERT_NE(system.music_cache(), nullptr);
    ASSERT_NE(system.effects_cache(), nullptr);
    EXPECT_EQ(system.hive()->cache(), system.effects_cache());
    clock.set_micros(1000000);
    poll_all();
    EXPECT_EQ(wave.updates, 1);
    system.pause();
    system.resume();
    EXPECT_EQ(wave.pauses, 1);
    EXPECT_EQ(wave.resumes, 1);
    system.shutdown();
    clock.set_micros(3000000);
    poll_all();
    EXPECT_EQ(wave.updates, 1) << "no longer polled";
}

TEST_F(SoundSystemFrontTest, SongSlots)
{
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    put_song("music/a.wav");
    put_song("music/b.wav");
    put("music/junk.bin", std::vector<uint8_t>(5000, 0x11));
    EXPECT_EQ(system.load_song("music/a.wav", 0), 1);
    SongPlayer* const a = system.song(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(system.load_song("music/b.wav", 0), 0) << "occupied";
    EXPECT_EQ(system.song(0), a);
    EXPECT_EQ(system.load_song("music/b.wav", 4), 0);
    EXPECT_EQ(system.load_song("music/b.wav", -1), 0);
    capture.clear();
    EXPECT_EQ(system.load_song("music/none.wav", 1), 0);
    EXPECT_TRUE(capture.contains("SoundSystem: Can't find song 'music/none.wav' !"));
    EXPECT_EQ(system.load_song("music/junk.bin", 1), 0);
    EXPECT_TRUE(capture.contains("SoundSystem: Unknown song 'music/junk.bin' format !"));
    EXPECT_EQ(system.song(1), nullptr);
    EXPECT_EQ(system.probe_song("music/b.wav"), 1);
    EXPECT_EQ(system.probe_song("music/junk.bin"), 0);
    system.start_song(0);
    EXPECT_EQ(wave.stream(0).count, 2);
    system.free_song(3); // empty: nothing
    system.free_song(0);
    EXPECT_EQ(system.song(0), nullptr);
    EXPECT_EQ(wave.stream(0).count, 0);
    // Every file was given back.
    system.shutdown();
    EXPECT_EQ(fsys->first()->driver->open_files(), 0);
}

TEST_F(SoundSystemFrontTest, FrameUpdatesApplyTheVariables)
{
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    put_song("music/a.wav");
    ASSERT_EQ(system.load_song("music/a.wav", 2), 1);
    set("Snd_MusicVolume", "2");
    set("Snd_MusicStereoSeparation", "0.25");
    set("Snd_SoundStereoSeparation", "0.75");
    set("Snd_Environment", "3");
    system.update(identity());
    EXPECT_EQ(system.song(2)->get_volume(), 1.0f) << "2 reaches the player, which clamps it";
    EXPECT_EQ(system.song(2)->get_separation(), 0.25f);
    EXPECT_EQ(system.hive()->separation(), 0.75f);
    EXPECT_EQ(system.hive()->environment(), 3);
    EXPECT_NE(static_cast<S3DMixer*>(system.hive()->renderers())->reverb(), nullptr);
    // An environment the renderer refuses leaves no reverb.
    set("Snd_Environment", "4");
    system.update(identity());
    EXPECT_EQ(static_cast<S3DMixer*>(system.hive()->renderers())->reverb(), nullptr);
}

TEST_F(SoundSystemFrontTest, DebugLinesAndOneShotSounds)
{
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    put("sounds/beep.wav", wav_pcm16(1, 22050, std::vector<int16_t>(3000, 2000)));
    EXPECT_EQ(system.play_sound("sounds/beep.wav", 0.5f, 40.0f, 2.0f), 1);
    EXPECT_EQ(system.play_sound("sounds/beep.wav", 0.5f, -40.0f, 1.0f), 1);
    EXPECT_EQ(system.play_sound("sounds/beep.wav", 0.5f, 0.0f, 1.0f), 1);
    EXPECT_EQ(system.play_sound("sounds/none.wav", 1.0f, 0.0f, 1.0f), 0);
    const S3DMixSource* const s = static_cast<const S3DMixSource*>(system.hive()->renderers()->sources);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->flags & (S3DF_LISTENER_RELATIVE | S3DF_NO_REVERB | S3DM_RELEASED),
              S3DF_LISTENER_RELATIVE | S3DF_NO_REVERB | S3DM_RELEASED);
    EXPECT_EQ(s->max_distance, 256.0f);
    struct Case {
        const char* value;
        int header, lines;
    };
    for (const Case c : {Case{"1", 0, 0}, Case{"3", 1, 2}}) {
        SCOPED_TRACE(c.value);
        set("Snd_DebugLines", c.value);
        capture.clear();
        system.update(identity());
        EXPECT_EQ(capture.count("--- Active sound sources:"), c.header);
        EXPECT_EQ(capture.count("  - <"), c.lines);
    }
    // Released one-shots leave once they have played.
    for (int i = 0; i < 8; ++i) {
        wave.words(2048);
        system.update(identity());
    }
    EXPECT_EQ(system.hive()->renderers()->sources, nullptr);
}

class Records final : public SoundObjectRecords {
public:
    int create_records(int32_t) override { return ok; }
    void destroy_records() override { ++destroys; }
    int32_t first_object() override { return -1; }
    int32_t next_object() override { return -1; }
    bool object_allocated(int32_t) const override { return false; }
    SoundObjectPlace object_place(int32_t) const override { return {}; }
    int ok = 1;
    int destroys = 0;
};

TEST_F(SoundSystemFrontTest, GameSourcesAreMadeAlsoWithoutSound)
{
    Records records;
    for (const char* option : {"-wave", "-nosound"}) {
        SCOPED_TRACE(option);
        args({option});
        ASSERT_EQ(system.init(), 1);
        SoundSourceTable* const t = system.alloc_game_sources(SOUND_GAME_SOURCES, &records);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->hive(), system.hive());
        system.update(identity());
        system.free_game_sources();
        EXPECT_EQ(system.game_sources(), nullptr);
        system.shutdown();
    }
    records.ok = 0;
    args({"-wave"});
    ASSERT_EQ(system.init(), 1);
    capture.clear();
    EXPECT_EQ(system.alloc_game_sources(SOUND_GAME_SOURCES, &records), nullptr);
    EXPECT_TRUE(capture.contains("Sound: Can't allocate ingame sound sources !"));
    // The failed table stays until shutdown, which needs the records still there.
    EXPECT_NE(system.game_sources(), nullptr);
    system.shutdown();
}

} // namespace
