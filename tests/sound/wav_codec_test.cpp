// The WAV codec: which files it takes and what it reads from them, IMA ADPCM
// block layouts and decoding, cue points as loops, loads of frame ranges,
// and the format guess of the headerless codec.
#include "sound_files.h"

#include "sound/ima_adpcm.h"
#include "sound/sc_block_codec.h"
#include "sound/sc_wav.h"
#include "tools/wav/wav_writer.h"

#include <cmath>

namespace {

using namespace tools;

std::vector<int16_t> ramp(int n, int channels = 1)
{
    std::vector<int16_t> v;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            v.push_back(static_cast<int16_t>(i * 7 - 1000 + c * 3));
        }
    }
    return v;
}

// A mono IMA ADPCM block: header (predictor, index word), then codes.
std::vector<uint8_t> ima_block(int16_t predictor, uint16_t index_word, int block_align, uint8_t code_byte)
{
    std::vector<uint8_t> b(static_cast<size_t>(block_align), code_byte);
    b[0] = static_cast<uint8_t>(predictor);
    b[1] = static_cast<uint8_t>(static_cast<uint16_t>(predictor) >> 8);
    b[2] = static_cast<uint8_t>(index_word);
    b[3] = static_cast<uint8_t>(index_word >> 8);
    return b;
}

WavChunk pcm16_data(int frames, int channels = 1) { return wav_data(wav_samples16(ramp(frames, channels))); }

class WavCodecTest : public SoundFileTest {};

struct ParseCase {
    const char* why;
    std::vector<WavChunk> chunks;
    int64_t riff_length;
    int accepted;
    int32_t channels, bytes, frames, loop_start, loop_end;
    uint32_t flags;
};

TEST_F(WavCodecTest, ParseTakesOrRefusesFiles)
{
    WavChunk fmt_short = wav_fmt_pcm(1, 22050, 16);
    fmt_short.data.resize(14);
    WavChunk data_past_form = pcm16_data(100);
    data_past_form.stated_length = 100000;
    const std::vector<ParseCase> cases = {
        {"8-bit mono is unsigned", {wav_fmt_pcm(1, 11025, 8), wav_data(std::vector<uint8_t>(301, 0x80))}, -1, 1, 1, 1, 301, 0, 301, SCSF_UNSIGNED},
        {"16-bit stereo", {wav_fmt_pcm(2, 44100, 16), pcm16_data(200, 2)}, -1, 1, 2, 2, 200, 0, 200, 0},
        {"partial last frame is dropped", {wav_fmt_pcm(2, 44100, 16), wav_data(std::vector<uint8_t>(7, 0))}, -1, 1, 2, 2, 1, 0, 1, 0},
        {"24-bit samples", {wav_fmt_pcm(1, 22050, 24), wav_data(std::vector<uint8_t>(30, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"0 bits per sample give no frame size", {wav_fmt_pcm(1, 22050, 0), wav_data(std::vector<uint8_t>(30, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"0 channels give no frame size", {wav_fmt_pcm(0, 22050, 16), pcm16_data(10)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"rate 0", {wav_fmt_pcm(1, 0, 16), pcm16_data(10)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"fmt record too short", {fmt_short, pcm16_data(10)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"data before fmt", {pcm16_data(10), wav_fmt_pcm(1, 22050, 16)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"no data chunk", {wav_fmt_pcm(1, 22050, 16)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"empty data chunk", {wav_fmt_pcm(1, 22050, 16), wav_data({})}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"second fmt is skipped", {wav_fmt_pcm(1, 22050, 16), wav_fmt_pcm(2, 8000, 8), pcm16_data(50)}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"other chunks are skipped", {WavChunk{"LIST", {1, 2, 3}, -1}, wav_fmt_pcm(1, 22050, 16), pcm16_data(50), WavChunk{"smpl", {0}, -1}}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"RIFF length shorter than the file hides the data", {wav_fmt_pcm(1, 8000, 16), pcm16_data(1123)}, 36, 0, 0, 0, 0, 0, 0, 0},
        {"data chunk ending past the form and the file", {wav_fmt_pcm(1, 8000, 16), data_past_form}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"RIFF length 4 bytes short, data inside the file", {wav_fmt_pcm(1, 8000, 16), pcm16_data(100)}, 4 + 24 + 8 + 200 - 4, 1, 1, 2, 100, 0, 100, 0},
        {"format tag 3 (floats)", {WavChunk{"fmt ", {3, 0, 1, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 4, 0, 32, 0}, -1}, pcm16_data(10)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"cue before data is ignored", {wav_fmt_pcm(1, 22050, 16), wav_cue({{0, 10}, {0, 20}}), pcm16_data(50)}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"one cue point loops to the end", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 10}})}, -1, 1, 1, 2, 50, 10, 50, SCSF_LOOPED},
        {"two cue points in descending order swap", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 40}, {0, 12}})}, -1, 1, 1, 2, 50, 12, 40, SCSF_LOOPED},
        {"only the first two cue points count", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 5}, {0, 30}, {0, 1}})}, -1, 1, 1, 2, 50, 5, 30, SCSF_LOOPED},
        {"cue points past the end are clamped", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 20}, {0, 90000}})}, -1, 1, 1, 2, 50, 20, 50, SCSF_LOOPED},
        {"a cue loop holding no frame is no loop", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 30}, {0, 30}})}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"a cue point at the end is no loop", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({{0, 70}})}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"cue with no points", {wav_fmt_pcm(1, 22050, 16), pcm16_data(50), wav_cue({})}, -1, 1, 1, 2, 50, 0, 50, 0},
        {"IMA mono, block align 256: 505 samples a block", {wav_fmt_ima(1, 22050, 256, 505), wav_fact(600), wav_data(std::vector<uint8_t>(512, 0))}, -1, 1, 1, 2, 600, 0, 600, 0},
        {"IMA stereo, block align 2048: 2041 samples a block", {wav_fmt_ima(2, 22050, 2048, 2041), wav_fact(2041), wav_data(std::vector<uint8_t>(2048, 0))}, -1, 1, 2, 2, 2041, 0, 2041, 0},
        {"IMA cue points count whole blocks", {wav_fmt_ima(1, 22050, 256, 505), wav_fact(1000), wav_data(std::vector<uint8_t>(512, 0)), wav_cue({{256, 3}, {0, 17}})}, -1, 1, 1, 2, 1000, 17, 508, SCSF_LOOPED},
        {"IMA fact after data", {wav_fmt_ima(1, 22050, 256, 505), wav_data(std::vector<uint8_t>(512, 0)), wav_fact(600)}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA without fact", {wav_fmt_ima(1, 22050, 256, 505), wav_data(std::vector<uint8_t>(512, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA fact beyond the blocks", {wav_fmt_ima(1, 22050, 256, 505), wav_fact(1011), wav_data(std::vector<uint8_t>(512, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA samples per block not the computed value", {wav_fmt_ima(1, 22050, 256, 504), wav_fact(100), wav_data(std::vector<uint8_t>(256, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA stereo block align not a multiple of 8", {wav_fmt_ima(2, 22050, 1028, 1021), wav_fact(100), wav_data(std::vector<uint8_t>(1028, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA odd block align", {wav_fmt_ima(1, 22050, 255, 503), wav_fact(100), wav_data(std::vector<uint8_t>(255, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA block align below 16", {wav_fmt_ima(1, 22050, 14, 21), wav_fact(10), wav_data(std::vector<uint8_t>(14, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
        {"IMA three channels", {wav_fmt_ima(3, 22050, 256, 249), wav_fact(10), wav_data(std::vector<uint8_t>(256, 0))}, -1, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.why);
        put("t.wav", wav_file(c.chunks, c.riff_length));
        SCSample s;
        const int r = parse("t.wav", s);
        ASSERT_EQ(r, c.accepted);
        if (!r) {
            EXPECT_EQ(s.user, nullptr);
            continue;
        }
        EXPECT_EQ(s.channels, c.channels);
        EXPECT_EQ(s.bytes, c.bytes);
        EXPECT_EQ(s.frames, c.frames);
        EXPECT_EQ(s.loop_start, c.loop_start);
        EXPECT_EQ(s.loop_end, c.loop_end);
        EXPECT_EQ(s.flags, c.flags);
        s.codec->release(&s);
    }
}

TEST_F(WavCodecTest, HeaderCheckNeedsTwelveBytesButTheFileIsCheckedAnyway)
{
    const std::vector<uint8_t> good = wav_file({wav_fmt_pcm(1, 22050, 16), pcm16_data(10)});
    put("good.wav", good);
    std::vector<uint8_t> bad = good;
    bad[8] = 'X';
    put("bad.wav", bad);
    const uint8_t junk[12] = {'J', 'U', 'N', 'K'};
    for (const char* name : {"good.wav", "bad.wav"}) {
        SCSample s;
        s.stream = fsys->open(name, FSYS_BINARY);
        // Fewer than 12 header bytes: only the file decides.
        EXPECT_EQ(sc_codec_table[SC_CODEC_WAV]->parse(&s, junk, 4), name == std::string("good.wav") ? 1 : 0) << name;
        // A 12-byte header that is not RIFF/WAVE refuses even a good file.
        EXPECT_EQ(sc_codec_table[SC_CODEC_WAV]->parse(&s, junk, 12), 0) << name;
        s.stream->close();
    }
}

TEST_F(WavCodecTest, LoadCutsAtTheEndAndChecksTheChannels)
{
    put("t.wav", wav_file({wav_fmt_pcm(2, 22050, 16), pcm16_data(500, 2)}));
    SCSample s;
    ASSERT_EQ(parse("t.wav", s), 1);
    std::vector<int16_t> left(1000, 0x5555);
    std::vector<int16_t> right(1000, 0x5555);
    s.stream = fsys->open("t.wav", FSYS_BINARY);
    const SCDest both[] = {{0, left.data()}, {1, right.data()}, {SC_END_OF_LIST, nullptr}};
    EXPECT_EQ(s.codec->load(&s, 100, 1000, both), 400);
    const std::vector<int16_t> r = ramp(500, 2);
    EXPECT_EQ(left[0], r[200]);
    EXPECT_EQ(right[399], r[999]);
    EXPECT_EQ(left[400], 0x5555);
    const SCDest only_right[] = {{1, right.data()}, {SC_END_OF_LIST, nullptr}};
    EXPECT_EQ(s.codec->load(&s, 0, 10, only_right), 10);
    const SCDest bad[] = {{2, left.data()}, {SC_END_OF_LIST, nullptr}};
    EXPECT_EQ(s.codec->load(&s, 0, 10, bad), SC_BAD_CHANNEL);
    EXPECT_EQ(s.codec->load(&s, 500, 10, both), 0);
    s.stream->close();

    put("nine.wav", wav_file({wav_fmt_pcm(9, 8000, 8), wav_data(std::vector<uint8_t>(90, 0x80))}));
    SCSample n;
    ASSERT_EQ(parse("nine.wav", n), 1);
    n.stream = fsys->open("nine.wav", FSYS_BINARY);
    const SCDest first[] = {{0, left.data()}, {SC_END_OF_LIST, nullptr}};
    EXPECT_EQ(n.codec->load(&n, 0, 10, first), SC_TOO_MANY_CHANNELS);
    n.stream->close();
}

TEST_F(WavCodecTest, ImaNibblesFollowTheStepTable)
{
    struct Row {
        const char* why;
        int32_t predictor, index;
        uint32_t nibble;
        int32_t sample, next_index;
    };
    const Row rows[] = {
        {"code 0 adds step/8", 0, 0, 0, 0, 0},
        {"code 7 adds step + step/2 + step/4 + step/8 and raises the index by 8", 0, 0, 7, 11, 8},
        {"code 4 adds step and raises the index by 2", 100, 10, 4, 100 + 19 + 2, 12},
        {"sign bit subtracts", 100, 10, 0xC, 100 - 21, 12},
        {"clamped at the top", 32760, 88, 7, 32767, 88},
        {"clamped at the bottom", -32760, 88, 0xF, -32768, 88},
        {"index never below 0", 5, 0, 3, 5 + 0 + 3 + 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        ImaState s{r.predictor, r.index};
        EXPECT_EQ(ima_decode_nibble(s, r.nibble), r.sample);
        EXPECT_EQ(s.index, r.next_index);
    }
}

TEST_F(WavCodecTest, ImaBlocksWithAStepIndexOutOfRangeAreNotDecoded)
{
    // Block 0 decodes; block 1 has a step index word of 89, block 2 of 0x100
    // (a reserved byte that is not zero): loading stops where they begin.
    std::vector<uint8_t> data = ima_block(1234, 0, 256, 0x00);
    const std::vector<uint8_t> bad = ima_block(0, 89, 256, 0x77);
    const std::vector<uint8_t> reserved = ima_block(0, 0x100, 256, 0x77);
    data.insert(data.end(), bad.begin(), bad.end());
    data.insert(data.end(), reserved.begin(), reserved.end());
    put("t.wav", wav_file({wav_fmt_ima(1, 22050, 256, 505), wav_fact(1515), wav_data(data)}));
    SCSample s;
    ASSERT_EQ(parse("t.wav", s), 1);
    std::vector<int16_t> out(1515);
    s.stream = fsys->open("t.wav", FSYS_BINARY);
    const SCDest d[] = {{0, out.data()}, {SC_END_OF_LIST, nullptr}};
    EXPECT_EQ(s.codec->load(&s, 0, 1515, d), 505);
    EXPECT_EQ(out[0], 1234);
    EXPECT_EQ(out[504], 1234); // code 0 at index 0 adds 7/8 = 0
    EXPECT_EQ(s.codec->load(&s, 1100, 10, d), 0);
    s.stream->close();
    s.codec->release(&s);
}

TEST_F(WavCodecTest, ImaStereoBlocksAlternateWordsOfEightCodes)
{
    // Left words hold code 1, right words code 9: left climbs, right falls.
    std::vector<uint8_t> block(32, 0);
    block[0] = 100; // left predictor 100, index 0
    block[4] = 100; // right predictor 100, index 0
    for (int g = 0; g < 3; ++g) {
        for (int k = 0; k < 4; ++k) {
            block[8 + 8 * g + k] = 0x11;
            block[12 + 8 * g + k] = 0x99;
        }
    }
    put("t.wav", wav_file({wav_fmt_ima(2, 8000, 32, 25), wav_fact(25), wav_data(block)}));
    SCSample s;
    ASSERT_EQ(parse("t.wav", s), 1);
    const std::vector<std::vector<int16_t>> ch = decode("t.wav", s);
    ASSERT_EQ(ch[0].size(), 25u);
    // Code 1 at index 0: step 7 gives 0 + 1 = 1 a sample; the index stays 0.
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(ch[0][i], 100 + i) << i;
        EXPECT_EQ(ch[1][i], 100 - i) << i;
    }
    s.codec->release(&s);
}

TEST_F(WavCodecTest, BlockCodecGuessesTheSampleFormat)
{
    struct Case {
        const char* why;
        int32_t format;
        int32_t preset_bytes;
        int32_t expect;
    };
    const Case cases[] = {
        {"signed 16-bit little-endian", 1, 0, 1},
        {"signed 16-bit big-endian", 3, 0, 3},
        {"unsigned 16-bit little-endian", 5, 0, 5},
        {"unsigned 8-bit", 4, 0, 4},
        {"signed 8-bit", 0, 0, 0},
        {"a preset width of 1 rules out 16-bit data", 1, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 4000; ++i) {
            const double v = std::sin(i * 0.05);
            if ((c.format & SCB_16BIT) != 0) {
                uint32_t w = static_cast<uint16_t>(static_cast<int16_t>(std::lrint(v * 12000)));
                if ((c.format & SCB_UNSIGNED) != 0) {
                    w ^= 0x8000;
                }
                if ((c.format & SCB_BIG_ENDIAN) != 0) {
                    bytes.push_back(static_cast<uint8_t>(w >> 8));
                    bytes.push_back(static_cast<uint8_t>(w));
                } else {
                    bytes.push_back(static_cast<uint8_t>(w));
                    bytes.push_back(static_cast<uint8_t>(w >> 8));
                }
            } else {
                uint8_t b = static_cast<uint8_t>(static_cast<int8_t>(std::lrint(v * 90)));
                if ((c.format & SCB_UNSIGNED) != 0) {
                    b ^= 0x80;
                }
                bytes.push_back(b);
            }
        }
        put("raw.pcm", bytes);
        FileStream* const f = fsys->open("raw.pcm", FSYS_BINARY);
        SCSample s;
        s.stream = f;
        s.bytes = c.preset_bytes;
        ASSERT_EQ(sc_codec_table[SC_CODEC_BLOCK]->parse(&s, nullptr, 0), 1);
        if (c.expect >= 0) {
            EXPECT_EQ(s.format, c.expect);
            EXPECT_EQ(s.frames, static_cast<int32_t>(bytes.size()) / s.bytes);
            EXPECT_EQ(s.flags, (c.expect & SCB_UNSIGNED) != 0 ? SCSF_UNSIGNED : 0u);
        } else {
            EXPECT_EQ(s.bytes, 1);
        }
        if (c.expect == 3) {
            // Big-endian samples arrive in the host's order.
            std::vector<int16_t> out(10);
            const SCDest d[] = {{0, out.data()}, {SC_END_OF_LIST, nullptr}};
            EXPECT_EQ(sc_codec_table[SC_CODEC_BLOCK]->load(&s, 1, 10, d), 10);
            EXPECT_EQ(out[0], static_cast<int16_t>(std::lrint(std::sin(0.05) * 12000)));
            const SCDest none[] = {{1, out.data()}, {SC_END_OF_LIST, nullptr}};
            EXPECT_EQ(sc_codec_table[SC_CODEC_BLOCK]->load(&s, 0, 10, none), SC_BAD_CHANNEL);
            EXPECT_EQ(sc_codec_table[SC_CODEC_BLOCK]->load(&s, s.frames, 10, d), SC_PAST_END);
        }
        f->close();
    }
}

} // namespace
