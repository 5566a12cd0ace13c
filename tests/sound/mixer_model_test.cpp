// The mixer beside a frame-by-frame model of one channel, over many random
// samples, loops (including loops shorter than one step), rates, directions
// and starting positions: the rendered output and the channel's final state
// must agree exactly.
#include "sound_fixture.h"

namespace {

uint32_t state = 2024;
uint32_t next_rand(uint32_t n)
{
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
}

TEST(MixerModel, RandomChannelsRenderExactlyAsTheModelSays)
{
    constexpr int CASES = 600;
    for (int c = 0; c < CASES; ++c) {
        const bool wide = next_rand(2) == 0;
        const bool interpolate = next_rand(2) == 0;
        const int32_t rates[] = {11025, 22050, 44100};
        const int32_t rate = rates[next_rand(3)];
        TestMixer mixer;
        ASSERT_TRUE(mixer.start(rate, interpolate, SDF_STEREO | SDF_16BIT, 4));

        const int32_t n = 1 + static_cast<int32_t>(next_rand(300));
        TestSample t;
        if (wide) {
            std::vector<int16_t> v(static_cast<size_t>(n));
            for (int16_t& x : v) {
                x = static_cast<int16_t>(next_rand(65536) - 32768);
            }
            TestSample::fill16(t, v);
        } else {
            std::vector<int8_t> v(static_cast<size_t>(n));
            for (int8_t& x : v) {
                x = static_cast<int8_t>(next_rand(256) - 128);
            }
            TestSample::fill8(t, v);
        }
        const uint32_t kind = next_rand(3); // none, forward, ping-pong
        t.desc.flags |= kind == 1 ? SDSF_LOOPED : (kind == 2 ? SDSF_BIDI : 0);
        t.desc.loop_start = static_cast<int32_t>(next_rand(static_cast<uint32_t>(n) + 2)) - 1;
        t.desc.loop_end = static_cast<int32_t>(next_rand(static_cast<uint32_t>(n) + 4)) - 1;
        if (next_rand(3) == 0) {
            t.desc.loop_end = n; // loops that end at the data's end get guard copies
        }
        const int32_t hz = 100 + static_cast<int32_t>(next_rand(150000));
        const float volumes[] = {1.0f, 0.5f, 0.25f};
        const float volume = volumes[next_rand(3)];

        const int32_t h = mixer.channel_choose(50.0f);
        ASSERT_TRUE(mixer.device_sample_create(&t.desc));
        ASSERT_EQ(mixer.channel_start(h, &t.desc, 1.0f, 1.0f), 1);
        mixer.channel_set_frequency(h, hz);
        mixer.channel_set_volume(h, volume);
        mixer.channel_set_pan(h, SD_UNPANNED);
        if (next_rand(2) == 0) {
            mixer.channel_set_position(h, static_cast<int32_t>(next_rand(static_cast<uint32_t>(n) * 2)),
                                       1 + static_cast<int>(next_rand(3)));
        }
        const MixChannel& ch = mixer.channel(h & 0xFF);
        const MixSample* s = mixer.mix_sample(&t.desc);

        ChannelModel m;
        const int32_t slots = s->length >> 11;
        for (int32_t i = 0; i < slots; ++i) {
            m.data.push_back(wide ? (s->data[2 * i] | (s->data[2 * i + 1] << 8)) : s->data[i]);
        }
        m.wide = wide;
        m.interpolate = interpolate;
        m.looped = (ch.flags & MIXSF_LOOPED) != 0;
        m.bidi = (ch.flags & MIXSF_BIDI) != 0;
        m.pos = ch.pos;
        m.backward = (ch.flags & MIXCF_BACKWARD) != 0;
        m.inc = (static_cast<int64_t>(hz) << 11) / rate;
        m.start = ch.loop_start;
        m.end = ch.end;
        m.left = m.right = static_cast<int>(volume * 64);
        m.playing = (ch.flags & MIXCF_PLAYING) != 0;

        const int frames = 1 + static_cast<int>(next_rand(6000));
        std::vector<int64_t> acc(2 * static_cast<size_t>(frames), 0);
        m.run(acc, frames);
        const std::vector<int16_t> out = mixer.words(frames);
        int mismatches = 0;
        for (int f = 0; f < frames * 2 && mismatches < 3; ++f) {
            if (out[f] != clip16(acc[f])) {
                ADD_FAILURE() << "case " << c << " frame " << f / 2 << ": " << out[f] << " vs " << clip16(acc[f])
                              << " (n " << n << " kind " << kind << " hz " << hz << " rate " << rate << ")";
                ++mismatches;
            }
        }
        EXPECT_EQ((ch.flags & MIXCF_PLAYING) != 0, m.playing) << "case " << c;
        if (m.playing) {
            EXPECT_EQ(ch.pos, m.pos) << "case " << c;
            EXPECT_EQ((ch.flags & MIXCF_BACKWARD) != 0, m.backward) << "case " << c;
        }
        // The model never reads past the data plus its guard samples.
        mixer.sample_remove(&t.desc);
    }
}

} // namespace
