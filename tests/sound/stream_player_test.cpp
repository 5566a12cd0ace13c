// The stream player: streamed output equals the file's decode, loops between
// the file's loop points, ends with its silence, and answers positions,
// volume and separation as a song player does.
#include "sound_system_fixture.h"

#include "sound/song_format.h"
#include "sound/stream_player.h"
#include "tools/wav/wav_writer.h"

#include <cmath>
#include <memory>

namespace {

using namespace tools;

struct PlayerDeleter {
    void operator()(SongPlayer* p) const { delete p; }
};
using PlayerPtr = std::unique_ptr<StreamPlayer, PlayerDeleter>;

// The decoded channels of a file as looped samples on a device of their own,
// panned as the stream pans them: what the stream must sound like.
struct DecodedPlayback {
    FakeDevice device;
    TestSample sample[2];
    int count = 0;

    // bytes 1: the decode holds unsigned or signed bytes as the file does.
    void play(const std::vector<std::vector<int16_t>>& decoded, int32_t bytes, bool is_unsigned, int32_t rate)
    {
        count = static_cast<int>(decoded.size());
        for (int c = 0; c < count; ++c) {
            TestSample& t = sample[c];
            if (bytes == 2) {
                TestSample::fill16(t, decoded[c]);
            } else {
                std::vector<int8_t> v;
                for (const int16_t b : decoded[c]) {
                    v.push_back(static_cast<int8_t>(static_cast<uint8_t>(b)));
                }
                TestSample::fill8(t, v);
            }
            t.desc.flags |= SDSF_LOOPED | (is_unsigned ? SDSF_UNSIGNED : 0);
            ASSERT_TRUE(device.device_sample_create(&t.desc));
            const int32_t h = device.channel_choose(24.0f);
            ASSERT_EQ(device.channel_start(h, &t.desc, 16.0f, 8.0f), 1);
            device.channel_set_frequency(h, rate);
            device.channel_set_volume(h, 1.0f);
            device.channel_set_pan(h, count == 1 ? 0.0f : c == 0 ? -1.0f : 1.0f);
        }
    }
    ~DecodedPlayback()
    {
        for (int c = 0; c < count; ++c) {
            device.device_sample_free(&sample[c].desc);
        }
        device.shutdown();
    }
};

class StreamPlayerTest : public SoundSystemTest {
protected:
    void start_device(FakeDevice& d, int32_t rate)
    {
        SDSettings s;
        s.rate = rate;
        s.flags = SDF_STEREO | SDF_16BIT;
        s.channels = 32;
        ASSERT_EQ(d.init(&s), 1);
    }

    // A loaded player of a file of the scratch directory, or null.
    PlayerPtr open(FakeDevice& d, const std::string& name)
    {
        FileStream* const f = fsys->open(name.c_str(), FSYS_BINARY);
        EXPECT_NE(f, nullptr);
        if (f == nullptr) {
            return nullptr;
        }
        uint8_t header[SONG_HEADER_BYTES];
        const int32_t n = static_cast<int32_t>(f->read(header, 1, sizeof header));
        SongPlayer* const p = stream_player_create(&d, f, header, n);
        if (p == nullptr) {
            f->close();
            return nullptr;
        }
        EXPECT_EQ(p->load(f), 1);
        return PlayerPtr(static_cast<StreamPlayer*>(p));
    }

    // Frames of a mono 16-bit ramp file with optional cue points.
    void ramp_file(const std::string& name, int frames, int32_t rate, std::vector<WavCue> cues = {})
    {
        std::vector<int16_t> v;
        for (int i = 0; i < frames; ++i) {
            v.push_back(static_cast<int16_t>(i));
        }
        std::vector<WavChunk> chunks = {wav_fmt_pcm(1, static_cast<uint32_t>(rate), 16), wav_data(wav_samples16(v))};
        if (!cues.empty()) {
            chunks.push_back(wav_cue(cues));
        }
        put(name, wav_file(chunks));
    }

    // Asks the player for frames of a mono 16-bit stream directly.
    std::vector<int16_t> pull(StreamPlayer& p, int32_t frames, int32_t* result)
    {
        std::vector<int16_t> out(static_cast<size_t>(frames), 0x7777);
        void* const bufs[4] = {out.data(), nullptr, nullptr, nullptr};
        *result = p.fill_stream(bufs, p.stream_handle(), frames);
        return out;
    }
};

TEST_F(StreamPlayerTest, StereoStreamedAtItsOwnRateEqualsItsDecode)
{
    constexpr int32_t rate = 22050;
    constexpr int frames = 100000; // longer than the device's ring
    std::vector<int16_t> interleaved;
    for (int i = 0; i < frames; ++i) {
        interleaved.push_back(static_cast<int16_t>(std::lrint(12000 * std::sin(i * 0.031))));
        interleaved.push_back(static_cast<int16_t>(std::lrint(9000 * std::sin(i * 0.0071 + 1.0)) + (i % 7) * 100));
    }
    put("pcm.wav", wav_pcm16(2, rate, interleaved));
    std::vector<std::string> files = {"pcm.wav"};
    if (have_sox()) {
        ASSERT_TRUE(run_command("sox '" + (dir / "pcm.wav").string() + "' -e ima-adpcm '" + (dir / "ima.wav").string() + "'"));
        files.push_back("ima.wav");
    }
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        SCSample desc;
        ASSERT_EQ(parse(name, desc), 1);
        const std::vector<std::vector<int16_t>> decoded = decode(name, desc);
        desc.codec->release(&desc);

        FakeDevice streamed;
        start_device(streamed, rate);
        PlayerPtr p = open(streamed, name);
        ASSERT_NE(p, nullptr);
        p->start();
        ASSERT_NE(p->stream_handle(), -1);
        DecodedPlayback reference;
        start_device(reference.device, rate);
        reference.play(decoded, 2, false, rate);

        // Short passes through half the ring, one long pass that ends exactly
        // on the ring's end, then short passes through the second lap and past
        // the file's loop back to its start.
        constexpr int32_t chunk = 1024;
        int64_t compared = 0;
        for (int32_t pass = 0; compared < desc.frames + 30000; ++pass) {
            const int32_t n = compared == STREAM_RING_SAMPLES / 2 ? STREAM_RING_SAMPLES / 2 : chunk;
            const std::vector<int16_t> a = streamed.words(n);
            const std::vector<int16_t> b = reference.device.words(n);
            const auto diff = std::mismatch(a.begin(), a.end(), b.begin());
            ASSERT_TRUE(diff.first == a.end()) << "frame " << compared + (diff.first - a.begin()) / 2 << ": "
                                               << *diff.first << " streamed, " << *diff.second << " decoded";
            compared += n;
        }
        EXPECT_GT(compared, desc.frames); // past the loop back to the start
        p.reset();
        streamed.shutdown();
    }
}

// A song is heard from the first mixing pass after its start, in every
// format, and goes on as its decode through the ring's later fills.
TEST_F(StreamPlayerTest, PlaysFromTheFirstMixingPass)
{
    constexpr int32_t rate = 22050;
    constexpr int frames = 3000;
    std::vector<int16_t> mono16;
    std::vector<int16_t> stereo16;
    std::vector<uint8_t> mono8;
    for (int i = 0; i < frames; ++i) {
        mono16.push_back(static_cast<int16_t>(std::lrint(9000 * std::cos(i * 0.05))));
        stereo16.push_back(static_cast<int16_t>(-7000 + (i * 37) % 5000));
        stereo16.push_back(static_cast<int16_t>(std::lrint(11000 * std::sin(i * 0.013 + 0.5))));
        mono8.push_back(static_cast<uint8_t>(200 - (i * 3) % 150));
    }
    put("mono16.wav", wav_pcm16(1, rate, mono16));
    put("stereo16.wav", wav_pcm16(2, rate, stereo16));
    put("mono8.wav", wav_pcm8(1, rate, mono8));
    const struct {
        const char* name;
        int32_t period; // frames of each mixing pass
    } cases[] = {
        {"mono16.wav", 512}, {"stereo16.wav", 1}, {"stereo16.wav", 700}, {"mono8.wav", 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " in passes of " << c.period);
        SCSample desc;
        ASSERT_EQ(parse(c.name, desc), 1);
        const std::vector<std::vector<int16_t>> decoded = decode(c.name, desc);
        desc.codec->release(&desc);

        FakeDevice streamed;
        start_device(streamed, rate);
        PlayerPtr p = open(streamed, c.name);
        ASSERT_NE(p, nullptr);
        p->start();
        DecodedPlayback reference;
        start_device(reference.device, rate);
        reference.play(decoded, desc.bytes, (desc.flags & SCSF_UNSIGNED) != 0, rate);

        const std::vector<int16_t> first = streamed.words(c.period);
        const std::vector<int16_t> expected = reference.device.words(c.period);
        ASSERT_TRUE(expected[0] != 0 && expected[1] != 0); // the file starts loud on both sides
        EXPECT_EQ(first, expected);
        int32_t done = c.period;
        for (int pass = 0; pass < 2 * frames && done < 2 * frames; ++pass) {
            ASSERT_EQ(streamed.words(c.period), reference.device.words(c.period)) << "from frame " << done;
            done += c.period;
        }
        EXPECT_GE(done, 2 * frames);
        p.reset();
        streamed.shutdown();
    }
}

TEST_F(StreamPlayerTest, LoopsBetweenCuePointsAndTurnsFromPastTheLoopEnd)
{
    FakeDevice d;
    start_device(d, 22050);
    ramp_file("cue.wav", 1000, 22050, {{0, 600}, {0, 200}});
    PlayerPtr p = open(d, "cue.wav");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->desc().loop_start, 200);
    EXPECT_EQ(p->desc().loop_end, 600);
    p->start();
    int32_t got = 0;
    std::vector<int16_t> out = pull(*p, 1000, &got);
    ASSERT_EQ(got, 1000);
    EXPECT_EQ(out[599], 599);
    EXPECT_EQ(out[600], 200);
    EXPECT_EQ(out[999], 599);
    // A position past the loop end plays nothing there and turns at once.
    SongPos at{SONGPOS_FRAMES, 0.0f, 800};
    EXPECT_EQ(p->set_position(&at), 1);
    out = pull(*p, 10, &got);
    ASSERT_EQ(got, 10);
    EXPECT_EQ(out[0], 200);
    EXPECT_EQ(p->position(), 210);
}

TEST_F(StreamPlayerTest, AFileWithoutLoopPointsLoopsWholeAndEndsWithSilence)
{
    FakeDevice d;
    start_device(d, 22050);
    ramp_file("song.wav", 3000, 22050);
    PlayerPtr p = open(d, "song.wav");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->state(), STREAM_PAUSED);
    p->start();
    EXPECT_EQ(p->state(), STREAM_LOOPING);
    int32_t got = 0;
    std::vector<int16_t> out = pull(*p, 4000, &got);
    ASSERT_EQ(got, 4000);
    EXPECT_EQ(out[2999], 2999);
    EXPECT_EQ(out[3000], 0);
    EXPECT_EQ(p->set_loop(0), 1);
    EXPECT_EQ(p->set_loop(0), 0);
    out = pull(*p, 3000, &got); // 1000..2999, then silence
    ASSERT_EQ(got, 3000);
    EXPECT_EQ(out[1999], 2999);
    EXPECT_EQ(out[2000], 0);
    EXPECT_EQ(p->is_finished(), 0);
    for (int i = 0; i < 64 && p->silence() < STREAM_END_SILENCE; ++i) {
        pull(*p, 2048, &got);
        EXPECT_EQ(got, 2048);
        EXPECT_EQ(p->is_finished(), p->silence() >= STREAM_END_SILENCE ? 1 : 0);
    }
    EXPECT_EQ(p->is_finished(), 1);
    pull(*p, 16, &got);
    EXPECT_EQ(got, -1);
    // The device closes the stream when its next feed hears the end.
    const int32_t slot = p->stream_handle() & 0xFF;
    for (int i = 0; i < 100 && d.stream(slot).count != 0; ++i) {
        d.words(1024);
    }
    EXPECT_EQ(d.stream(slot).count, 0);
}

TEST_F(StreamPlayerTest, PausedStreamsDeliverSilenceOfTheirFormat)
{
    FakeDevice d;
    start_device(d, 11025);
    put("u8.wav", wav_pcm8(1, 11025, std::vector<uint8_t>(500, 0x10)));
    PlayerPtr p = open(d, "u8.wav");
    ASSERT_NE(p, nullptr);
    p->start();
    p->pause();
    std::vector<uint8_t> out(100, 0);
    void* const bufs[4] = {out.data(), nullptr, nullptr, nullptr};
    EXPECT_EQ(p->fill_stream(bufs, p->stream_handle(), 100), 100);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x80; }));
    EXPECT_EQ(p->fill_stream(bufs, p->stream_handle() ^ 1, 100), -1);
    p->start(); // resumes
    EXPECT_EQ(p->fill_stream(bufs, p->stream_handle(), 100), 100);
    EXPECT_EQ(out[0], 0x10);
}

TEST_F(StreamPlayerTest, PositionsLengthsAndUnits)
{
    FakeDevice d;
    start_device(d, 22050);
    ramp_file("long.wav", 44100, 22050);
    PlayerPtr p = open(d, "long.wav");
    ASSERT_NE(p, nullptr);
    struct Case {
        const char* why;
        SongPos in;
        int result;
        uint32_t unit;
        int32_t position;
    };
    const Case cases[] = {
        {"1.5 s at 22050 Hz", {SONGPOS_SECONDS, 1.5f, 0}, 1, SONGPOS_SECONDS, 33075},
        {"frames", {SONGPOS_FRAMES, 0.0f, 1234}, 1, SONGPOS_FRAMES, 1234},
        {"past the end is clamped", {SONGPOS_FRAMES, 0.0f, 99999}, 1, SONGPOS_FRAMES, 44100},
        {"before the start is clamped", {SONGPOS_SECONDS, -3.0f, 0}, 1, SONGPOS_SECONDS, 0},
        {"order and row is not a stream's unit", {SONGPOS_ORDER_ROW, 0.0f, 5}, 0, SONGPOS_SECONDS, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        SongPos pos = c.in;
        EXPECT_EQ(p->set_position(&pos), c.result);
        EXPECT_EQ(pos.unit, c.unit);
        EXPECT_EQ(p->position(), c.position);
    }
    SongPos len{SONGPOS_ORDER_ROW, 0.0f, 0};
    p->get_length(&len);
    EXPECT_EQ(len.unit, SONGPOS_SECONDS);
    EXPECT_FLOAT_EQ(len.seconds, 2.0f);
    len.unit = SONGPOS_FRAMES;
    p->get_length(&len);
    EXPECT_EQ(len.frames, 44100);
    SongInfo info;
    p->get_info(&info);
    EXPECT_EQ(info.kind, SONG_KIND_STREAM);
    EXPECT_EQ(info.name[0], '\0');
}

TEST_F(StreamPlayerTest, VolumeAndSeparationReachTheStreamsChannels)
{
    FakeDevice d;
    start_device(d, 22050);
    put("st.wav", wav_pcm16(2, 22050, std::vector<int16_t>(2000, 5)));
    ramp_file("mono.wav", 1000, 22050);
    PlayerPtr st = open(d, "st.wav");
    PlayerPtr mono = open(d, "mono.wav");
    ASSERT_NE(st, nullptr);
    ASSERT_NE(mono, nullptr);
    st->start();
    mono->start();
    const auto chan = [&](int32_t h) -> const MixChannel& { return d.channel(h & 0xFF); };
    EXPECT_EQ(chan(st->channel(0)).pan_pos, 0);
    EXPECT_EQ(chan(st->channel(1)).pan_pos, 255);
    st->set_separation(2.0f);
    EXPECT_EQ(st->get_separation(), 1.0f);
    st->set_separation(0.5f);
    EXPECT_EQ(chan(st->channel(0)).pan_pos, 64);
    EXPECT_EQ(chan(st->channel(1)).pan_pos, 192);
    mono->set_separation(0.25f);
    EXPECT_EQ(chan(mono->channel(0)).pan_pos, 128);
    EXPECT_EQ(mono->channel(1), 0);
    st->set_volume(2.0f);
    EXPECT_EQ(st->get_volume(), 1.0f);
    st->set_volume(0.25f);
    EXPECT_FLOAT_EQ(chan(st->channel(0)).volume, 0.25f);
    EXPECT_FLOAT_EQ(chan(st->channel(1)).volume, 0.25f);
    st->stop();
    EXPECT_EQ(st->stream_handle(), -1);
    EXPECT_EQ(st->state(), 0u);
}

TEST_F(StreamPlayerTest, OnlyWaveFilesBecomeStreams)
{
    FakeDevice d;
    start_device(d, 22050);
    put("junk.bin", std::vector<uint8_t>(5000, 0x41));
    EXPECT_EQ(open(d, "junk.bin"), nullptr);
    put("four.wav", wav_file({wav_fmt_pcm(4, 22050, 16), wav_data(std::vector<uint8_t>(800, 0))}));
    EXPECT_EQ(open(d, "four.wav"), nullptr) << "more channels than a stream plays";
    ramp_file("ok.wav", 100, 22050);
    FileStream* const f = fsys->open("ok.wav", FSYS_BINARY);
    uint8_t header[64];
    const int32_t n = static_cast<int32_t>(f->read(header, 1, sizeof header));
    SongInfo info;
    EXPECT_EQ(stream_player_detect(f, header, n, &info), 1);
    EXPECT_EQ(info.kind, SONG_KIND_STREAM);
    f->close();
}

} // namespace
