// Mixing buffers, their tree towards the main buffer, and the echo filter.
#include "sound_fixture.h"

#include "sound/mix_echo.h"
#include "support/print_capture.h"

#include <cmath>
#include <limits>

namespace {

TEST(MixingBuffer, CreateRoundsUpToWholeBlocksOf256)
{
    struct Case {
        int32_t frames;
        int32_t length;
    };
    const Case cases[] = {{4096, 4096}, {1, 256}, {256, 256}, {257, 512}, {MIX_MAX_BUFFER_FRAMES, MIX_MAX_BUFFER_FRAMES}};
    for (const Case& c : cases) {
        MixingBuffer b;
        ASSERT_TRUE(b.create(c.frames)) << c.frames;
        EXPECT_EQ(b.buffer_length, c.length) << c.frames;
        EXPECT_EQ(b.buffer[2 * c.length - 1], 0);
    }
    MixingBuffer huge;
    EXPECT_FALSE(huge.create(MIX_MAX_BUFFER_FRAMES + 1)) << "sizes that would overflow are refused";
    EXPECT_FALSE(huge.create(std::numeric_limits<int32_t>::max()));
}

class Gain final : public MixFilter {
public:
    explicit Gain(int32_t f) : factor(f) {}
    void process(int32_t* acc, int32_t frames) override
    {
        for (int32_t i = 0; i < 2 * frames; ++i) {
            acc[i] *= factor;
        }
    }
    int32_t factor;
};

TEST(MixingBuffer, FiltersRunInOrderThenTheBlockIsAddedIntoTheOutput)
{
    MixingBuffer out;
    MixingBuffer in;
    ASSERT_TRUE(out.create(256));
    ASSERT_TRUE(in.create(256));
    in.set_output(&out);
    EXPECT_EQ(out.inputs, 1);
    Gain twice(2);
    Gain thrice(3);
    Gain negate(-1);
    in.add_filter(&twice, false);
    in.add_filter(&thrice, false);
    in.add_filter(&negate, true);
    EXPECT_EQ(in.filters, &negate);
    in.clear(256);
    out.clear(256);
    in.buffer[0] = 5;
    in.buffer[511] = 7;
    out.buffer[0] = 1;
    in.process(256); // a whole block: as many frames as the output holds
    EXPECT_EQ(out.buffer[0], 1 - 30);
    EXPECT_EQ(out.buffer[511], -42);
    EXPECT_EQ(out.mixed, 1);
    in.remove_filter(&thrice);
    EXPECT_EQ(thrice.next, nullptr);
    EXPECT_EQ(negate.next, &twice);
    in.set_output(nullptr);
    EXPECT_EQ(out.inputs, 0);
    in.release();
    EXPECT_EQ(negate.next, nullptr) << "release unlinks the filters";
    EXPECT_EQ(in.filters, nullptr);
}

// Channels routed into an extra buffer reach the output only through it,
// after its filters; deleting it sends them back to the main buffer.
TEST(MixingBuffer, ChannelsRoutedThroughAnExtraBuffer)
{
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(1000, 10));
    t.desc.flags |= SDSF_LOOPED;
    const int32_t h = mixer.channel_choose(1.0f);
    ASSERT_TRUE(mixer.device_sample_create(&t.desc));
    ASSERT_EQ(mixer.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    mixer.channel_set_frequency(h, 22050);
    mixer.channel_set_volume(h, 1.0f);
    mixer.channel_set_pan(h, SD_UNPANNED);
    const int16_t direct = mixer.words(1)[0];
    EXPECT_EQ(direct, 10 * 256);

    MixingBuffer* extra = mixer.buffer_create();
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->output, mixer.main_buffer());
    EXPECT_EQ(extra->buffer_length, MIX_BUFSIZE);
    Gain triple(3);
    extra->add_filter(&triple, false);
    EXPECT_EQ(mixer.channel_route(h, extra), 1);
    EXPECT_EQ(extra->inputs, 1);
    EXPECT_EQ(mixer.words(1)[0], 3 * direct);
    // A second buffer feeding the first: processed before it.
    MixingBuffer* inner = mixer.buffer_create();
    ASSERT_NE(inner, nullptr);
    inner->set_output(extra);
    EXPECT_EQ(mixer.channel_route(h, inner), 1);
    EXPECT_EQ(mixer.words(MIX_BUFSIZE)[0], 3 * direct) << "a whole pass through two buffers";
    mixer.buffer_delete(extra);
    EXPECT_EQ(inner->output, mixer.main_buffer()) << "a buffer that fed the deleted one feeds the main buffer";
    EXPECT_EQ(mixer.words(1)[0], direct);
    mixer.buffer_delete(inner);
    EXPECT_EQ(mixer.channel(h & 0xFF).mix_buf, mixer.main_buffer());
    EXPECT_EQ(mixer.words(1)[0], direct);
    EXPECT_EQ(triple.next, nullptr);
    EXPECT_EQ(mixer.channel_route(h, nullptr), 1);
    mixer.sample_remove(&t.desc);
}

// A buffer whose inputs never all arrive is never processed; when the main
// buffer waits for one, the mixer reports it.
TEST(MixingBuffer, BuffersWaitingForInputsAreNotProcessed)
{
    PrintCapture capture;
    capture.show_all();
    TestMixer mixer;
    ASSERT_TRUE(mixer.start(22050, false, SDF_STEREO | SDF_16BIT, 2));
    TestSample t;
    TestSample::fill8(t, std::vector<int8_t>(64, 10));
    t.desc.flags |= SDSF_LOOPED;
    const int32_t h = mixer.channel_choose(1.0f);
    ASSERT_TRUE(mixer.device_sample_create(&t.desc));
    ASSERT_EQ(mixer.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
    mixer.channel_set_frequency(h, 22050);
    mixer.channel_set_volume(h, 1.0f);
    MixingBuffer* a = mixer.buffer_create();
    MixingBuffer* b = mixer.buffer_create();
    a->set_output(b);
    b->set_output(a);
    mixer.channel_route(h, a);
    EXPECT_EQ(mixer.words(16)[0], 0) << "a channel inside a cycle never reaches the output";
    EXPECT_FALSE(capture.contains("cycle")) << "the main buffer does not wait for the cycle";

    MixingBuffer stray; // not on the mixer's list: never processed
    ASSERT_TRUE(stray.create(MIX_BUFSIZE));
    stray.set_output(mixer.main_buffer());
    mixer.frames(16);
    EXPECT_TRUE(capture.contains("Mixer: MixingBuffer cycle detected (2, 1)"));
    stray.set_output(nullptr);
    stray.release();
    b->set_output(mixer.main_buffer());
    capture.clear();
    EXPECT_NE(mixer.words(16)[0], 0);
    EXPECT_FALSE(capture.contains("cycle"));
    mixer.buffer_delete(a);
    mixer.buffer_delete(b);
    mixer.sample_remove(&t.desc);
}

TEST(MixEcho, TapsAndGainsInFixedPoint)
{
    struct TapCase {
        const char* why;
        int32_t rate;
        float delay;
        float gain;
        float damping;
        int32_t frames;
        int32_t gain256;
        int32_t coefficient;
    };
    const TapCase cases[] = {
        {"0.19 s at 22,050 Hz", 22050, 0.19f, 1.0f, 0.0f, 4189, 256, 0},
        {"0.0001 s is raised to 16 frames", 22050, 0.0001f, 1.0f, 0.0f, 16, 256, 0},
        {"negative gain", 22050, 0.1f, -0.31f, 0.0f, 2205, -79, 0},
        {"damping 5.0 at 22,050 Hz", 22050, 0.1f, 0.5f, 5.0f, 2205, 128, 195},
        {"tiny damping is none", 22050, 0.1f, 0.5f, 0.000001f, 2205, 128, 0},
        {"huge damping nears 256", 44100, 0.1f, 0.5f, 1e9f, 4410, 128, 255},
        {"NaN delay is the shortest", 22050, std::numeric_limits<float>::quiet_NaN(), 0.5f, 0.0f, 16, 128, 0},
        {"huge gain is held at 256", 22050, 0.1f, 1e20f, 0.0f, 2205, 65536, 0},
    };
    for (const TapCase& c : cases) {
        MixEcho echo(c.rate);
        ASSERT_EQ(echo.add_tap(c.delay, c.gain, c.damping, 0), 1) << c.why;
        EXPECT_EQ(echo.taps()->delay, c.frames) << c.why;
        EXPECT_EQ(echo.taps()->gain, c.gain256) << c.why;
        EXPECT_EQ(echo.taps()->damping, c.coefficient) << c.why;
    }
    MixEcho echo(22050);
    EXPECT_EQ(echo.build(0.6f, 0.5f, 1.0f), 0) << "no tap yet";
    ASSERT_EQ(echo.add_tap(0.19f, 0.5f, 0.0f, 0), 1);
    ASSERT_EQ(echo.add_tap(0.05f, 0.5f, 0.0f, 1), 1);
    EXPECT_EQ(echo.taps()->delay, 1102) << "new taps go first";
    ASSERT_EQ(echo.build(0.6f, 0.5f, 1.0f), 1);
    EXPECT_EQ(echo.dry(), 153);
    EXPECT_EQ(echo.wet(), 128);
    EXPECT_EQ(echo.feedback(), 256);
    EXPECT_EQ(echo.delay_length(), (4189 + 511) & ~255);
    EXPECT_EQ(echo.add_tap(0.1f, 0.5f, 0.0f, 0), 0) << "no taps after building";
    EXPECT_EQ(echo.build(0.6f, 0.5f, 1.0f), 0) << "built once";
    MixEcho far(44100);
    EXPECT_EQ(far.add_tap(1e6f, 0.5f, 0.0f, 0), 0) << "a delay line that would not fit is refused";
}

// The echo beside a plain model: every tap reads what was written `delay`
// frames earlier; the output mixes wet taps and the dry input; the line is
// fed with the input plus the fed-back taps.
TEST(MixEcho, ProcessingMatchesADelayLineModel)
{
    MixEcho echo(22050);
    ASSERT_EQ(echo.add_tap(0.001f, 0.7f, 0.0f, 0), 1);  // 22 frames
    ASSERT_EQ(echo.add_tap(0.002f, -0.4f, 3.0f, 1), 1); // 44 frames, damped, crossed
    ASSERT_EQ(echo.build(0.8f, 0.6f, 0.5f), 1);
    struct Tap {
        int32_t delay;
        int32_t gain;
        int32_t damping;
        bool swap;
        int32_t sl = 0;
        int32_t sr = 0;
    };
    std::vector<Tap> taps;
    for (const MixEcho::Tap* t = echo.taps(); t != nullptr; t = t->next) {
        taps.push_back({t->delay, t->gain, t->damping, t->swap != 0});
    }
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(taps[0].delay, 44);
    EXPECT_GT(taps[0].damping, 0);
    std::vector<int32_t> line_l;
    std::vector<int32_t> line_r;
    uint32_t seed = 7;
    const auto rnd = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int32_t>((seed >> 8) % 2000001) - 1000000;
    };
    for (int block = 0; block < 20; ++block) {
        std::vector<int32_t> acc(2 * 300);
        for (int32_t& v : acc) {
            v = rnd();
        }
        std::vector<int32_t> expected = acc;
        for (int f = 0; f < 300; ++f) {
            int32_t sl = 0;
            int32_t sr = 0;
            const size_t now = line_l.size();
            for (Tap& t : taps) {
                int32_t a = now >= static_cast<size_t>(t.delay) ? line_l[now - t.delay] : 0;
                int32_t b = now >= static_cast<size_t>(t.delay) ? line_r[now - t.delay] : 0;
                if (t.damping != 0) {
                    t.sl = (t.damping * t.sl + (256 - t.damping) * a) >> 8;
                    t.sr = (t.damping * t.sr + (256 - t.damping) * b) >> 8;
                    a = t.sl;
                    b = t.sr;
                }
                (t.swap ? sr : sl) += (a * t.gain) >> 8;
                (t.swap ? sl : sr) += (b * t.gain) >> 8;
            }
            const int32_t l = expected[2 * f];
            const int32_t r = expected[2 * f + 1];
            expected[2 * f] = static_cast<int32_t>((static_cast<int64_t>(echo.wet()) * sl +
                                                    static_cast<int64_t>(echo.dry()) * l) >> 8);
            expected[2 * f + 1] = static_cast<int32_t>((static_cast<int64_t>(echo.wet()) * sr +
                                                        static_cast<int64_t>(echo.dry()) * r) >> 8);
            line_l.push_back(l + ((sl * echo.feedback()) >> 8));
            line_r.push_back(r + ((sr * echo.feedback()) >> 8));
        }
        echo.process(acc.data(), 300);
        ASSERT_EQ(acc, expected) << "block " << block;
    }
}

TEST(MixEcho, FeedbackAboveOneStaysBounded)
{
    MixEcho echo(22050);
    ASSERT_EQ(echo.add_tap(0.001f, 1.0f, 0.0f, 0), 1);
    ASSERT_EQ(echo.add_tap(0.0015f, 1.0f, 0.0f, 1), 1);
    ASSERT_EQ(echo.build(1.0f, 1.0f, 4.0f), 1);
    std::vector<int32_t> acc(2 * 512);
    int32_t largest = 0;
    for (int block = 0; block < 400; ++block) {
        std::fill(acc.begin(), acc.end(), 1 << 23);
        echo.process(acc.data(), 512);
        for (int32_t v : acc) {
            largest = std::max(largest, v);
        }
    }
    EXPECT_GT(largest, 1 << 28) << "the echo did grow";
    EXPECT_LE(largest, INT32_MAX);
}

} // namespace
