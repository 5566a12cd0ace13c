// The sample cache: one record per file name, the header parsed once, the
// data read again by name whenever the device asks for it.
#include "sound_system_fixture.h"

#include "sound/sample_cache.h"
#include "sound/sc_block_codec.h"
#include "tools/wav/wav_writer.h"

namespace {

using namespace tools;

class SampleCacheTest : public SoundSystemTest {
protected:
    void SetUp() override
    {
        SoundSystemTest::SetUp();
        SDSettings s;
        s.rate = 22050;
        s.flags = SDF_STEREO | SDF_16BIT;
        s.channels = 8;
        ASSERT_EQ(wave.init(&s), 1);
        cache = std::make_unique<SampleCache>(&wave);
    }
    void TearDown() override
    {
        cache.reset();
        wave.shutdown();
        SoundSystemTest::TearDown();
    }
    int32_t open_files() const { return fsys->first()->driver->open_files(); }

    std::unique_ptr<SampleCache> cache;
};

TEST_F(SampleCacheTest, NamesAreLookedUpWithoutRegardToCase)
{
    put("sounds/Door.wav", wav_pcm16(1, 11025, std::vector<int16_t>(100, 7)));
    SCSample* const s = cache->get("sounds/Door.wav", -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(open_files(), 0) << "the file is closed until the data is read";
    std::filesystem::remove(dir / "sounds/Door.wav");
    EXPECT_EQ(cache->get("SOUNDS/DOOR.WAV", -1), s) << "the cached record, without the file";
    EXPECT_STREQ(s->name, "sounds/Door.wav");
    EXPECT_EQ(s->device_sample->length, 100);
    EXPECT_EQ(s->device_sample->flags, SDSF_16BIT);
    EXPECT_EQ(s->device_sample->source, cache.get());
    // The data is read by name: the file has gone, so there is none.
    std::vector<int16_t> data(100 + 16);
    EXPECT_EQ(cache->read_sample_data(s->device_sample, data.data()), 0);
}

TEST_F(SampleCacheTest, NamesLongerThanTheFieldAreRefusedNotCut)
{
    const std::string name = "sounds/" + std::string(SC_NAME_MAX, 'n') + ".wav";
    put(name, wav_pcm16(1, 11025, std::vector<int16_t>(10, 7)));
    EXPECT_EQ(cache->get(name.c_str(), -1), nullptr);
    EXPECT_TRUE(capture.contains("is longer than 63 characters"));
    const std::string longest = std::string(SC_NAME_MAX - 4, 'm') + ".wav";
    put(longest, wav_pcm16(1, 11025, std::vector<int16_t>(10, 7)));
    SCSample* const s = cache->get(longest.c_str(), -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(cache->get(longest.c_str(), -1), s);
}

TEST_F(SampleCacheTest, TheAutomaticChoiceAsksTheWaveCodecOnly)
{
    std::vector<uint8_t> raw(4000);
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<uint8_t>(128 + 60 * std::sin(i * 0.05));
    }
    put("raw.pcm", raw);
    EXPECT_EQ(cache->get("raw.pcm", -1), nullptr);
    EXPECT_EQ(cache->get("missing.wav", -1), nullptr);
    SCSample* const s = cache->get("raw.pcm", SC_CODEC_BLOCK);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->format, SCB_UNSIGNED);
    EXPECT_EQ(s->device_sample->flags, SDSF_UNSIGNED);
    EXPECT_EQ(open_files(), 0);
}

TEST_F(SampleCacheTest, StereoFilesBecomeTheirFirstChannel)
{
    std::vector<int16_t> lr;
    for (int i = 0; i < 300; ++i) {
        lr.push_back(static_cast<int16_t>(i));
        lr.push_back(static_cast<int16_t>(-i));
    }
    put("st.wav", wav_file({wav_fmt_pcm(2, 22050, 16), wav_data(wav_samples16(lr)), wav_cue({{0, 50}, {0, 250}})}));
    SCSample* const s = cache->get("st.wav", -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->device_sample->loop_start, 50);
    EXPECT_EQ(s->device_sample->loop_end, 250);
    EXPECT_EQ(s->device_sample->flags, SDSF_16BIT | SDSF_LOOPED);
    std::vector<int16_t> data(300 + 16, 0x5555);
    ASSERT_EQ(cache->read_sample_data(s->device_sample, data.data()), 1);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(data[i], i);
    }
    EXPECT_EQ(data[300], 0x5555);
    EXPECT_EQ(open_files(), 0);
    // A channel plays it: the mixer reads the data through the cache.
    const int32_t h = wave.channel_choose(10.0f);
    EXPECT_EQ(wave.channel_start(h, s->device_sample, 1.0f, 1.0f), 1);
}

TEST_F(SampleCacheTest, DataMissingFromACutFileIsSilence)
{
    // The form and the data chunk promise 1000 frames; the file holds 600.
    std::vector<uint8_t> file = wav_pcm8(1, 8000, std::vector<uint8_t>(1000, 0x10));
    file.resize(file.size() - 400);
    put("cut.wav", file);
    SCSample* const s = cache->get("cut.wav", -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frames, 1000);
    std::vector<uint8_t> data(1000 + 32, 0x33);
    ASSERT_EQ(cache->read_sample_data(s->device_sample, data.data()), 1);
    EXPECT_EQ(data[599], 0x10);
    EXPECT_EQ(data[600], 0x80);
    EXPECT_EQ(data[999], 0x80);
}

TEST_F(SampleCacheTest, RemoveAndClearGiveTheSamplesBack)
{
    put("a.wav", wav_pcm16(1, 11025, std::vector<int16_t>(50, 1)));
    put("b.wav", wav_pcm16(1, 11025, std::vector<int16_t>(50, 2)));
    SCSample* const a = cache->get("a.wav", -1);
    SCSample* const b = cache->get("b.wav", -1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(cache->first(), b);
    EXPECT_EQ(cache->remove(a), 1);
    EXPECT_EQ(cache->remove(a), 0);
    EXPECT_EQ(cache->first(), b);
    EXPECT_EQ(b->next, nullptr);
    cache->clear();
    EXPECT_EQ(cache->first(), nullptr);
    SDSample other;
    EXPECT_EQ(cache->read_sample_data(&other, nullptr), 0);
}

} // namespace
