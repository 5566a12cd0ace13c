#pragma once
// Helpers of the sound tests: a mixer with no sink that the test renders by
// hand, sample sources that hand out prepared data, and a model of one
// channel's arithmetic written as plainly as possible.
#include "sound/mix_loops.h"
#include "sound/mix_sample.h"
#include "sound/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

// A mixer whose output the test renders itself.
class TestMixer final : public Mixer {
public:
    void update() override {}
    void pause() override {}
    void stop() override {}
    void resume() override {}
    int get_caps(SDCaps* caps) override
    {
        if (caps != nullptr) {
            *caps = SDCaps{};
        }
        return 1;
    }
    int configure(SDSettings*) override { return 1; }
    int init(const SDSettings* s) override
    {
        store_settings(*s);
        return Mixer::init();
    }
    void shutdown() override { release(); }

    // Stereo 16-bit signed at the rate, interpolating or not, 32 channels.
    bool start(int32_t rate, bool interpolate = false, uint32_t flags = SDF_STEREO | SDF_16BIT, int channels = 32,
               float volume = 1.0f)
    {
        SDSettings s;
        s.rate = rate;
        s.flags = flags | (interpolate ? SDF_INTERPOLATE : 0);
        s.channels = channels;
        s.volume = volume;
        return init(&s) == 1;
    }

    // Renders frames and returns the output bytes.
    std::vector<uint8_t> frames(int32_t n)
    {
        std::vector<uint8_t> out(static_cast<size_t>(n) << frame_shift());
        EXPECT_EQ(render(out.data(), static_cast<int32_t>(out.size())), static_cast<int32_t>(out.size()));
        return out;
    }
    // Renders stereo 16-bit frames as words, left then right.
    std::vector<int16_t> words(int32_t n)
    {
        const std::vector<uint8_t> b = frames(n);
        std::vector<int16_t> w(b.size() / 2);
        std::memcpy(w.data(), b.data(), b.size());
        return w;
    }
};

// A sample whose data comes from a vector of signed (or unsigned) samples.
class VectorSource final : public SoundDeviceClient {
public:
    int read_sample_data(SDSample* s, void* destination) override
    {
        ++reads;
        if (fail) {
            return 0;
        }
        std::memcpy(destination, bytes.data(), bytes.size());
        (void)s;
        return 1;
    }

    std::vector<uint8_t> bytes;
    int reads = 0;
    bool fail = false;
};

// A descriptor and its source, registered with a device.
struct TestSample {
    SDSample desc;
    VectorSource source;

    // 8-bit signed samples.
    static void fill8(TestSample& t, const std::vector<int8_t>& v)
    {
        t.source.bytes.assign(reinterpret_cast<const uint8_t*>(v.data()),
                              reinterpret_cast<const uint8_t*>(v.data()) + v.size());
        t.desc.length = static_cast<int32_t>(v.size());
        t.desc.loop_end = t.desc.length;
        t.desc.source = &t.source;
    }
    // 16-bit signed samples.
    static void fill16(TestSample& t, const std::vector<int16_t>& v)
    {
        t.source.bytes.resize(v.size() * 2);
        std::memcpy(t.source.bytes.data(), v.data(), v.size() * 2);
        t.desc.length = static_cast<int32_t>(v.size());
        t.desc.loop_end = t.desc.length;
        t.desc.flags = SDSF_16BIT;
        t.desc.source = &t.source;
    }
};

// What one channel adds to the accumulators over `frames` output frames,
// stepping frame by frame: the boundary rules checked before every frame.
struct ChannelModel {
    std::vector<int32_t> data; // unsigned values as the loops read them (0..255 or 0..65535), with guards
    bool wide = false;
    bool interpolate = false;
    bool looped = false;
    bool bidi = false;
    int64_t pos = 0; // magnitude
    bool backward = false;
    int64_t inc = 0; // positive
    int64_t start = 0;
    int64_t end = 0;
    int left = 64;
    int right = 64;
    int32_t k = 1024;
    bool playing = true;

    int32_t level(int l, int32_t c) const { return k * l * (c - 128); }

    int32_t value(int l, int64_t p) const
    {
        const int64_t i = p >> 11;
        const int32_t f = static_cast<int32_t>(p & 0x7FF);
        int32_t v = data.at(static_cast<size_t>(i));
        if (interpolate) {
            const int32_t b = data.at(static_cast<size_t>(i + 1));
            v = v + (((b - v) * f) >> 11);
        }
        if (!wide) {
            return level(l, v);
        }
        return level(l, v >> 8) + (level(l, v & 0xFF) >> 8);
    }

    void run(std::vector<int64_t>& acc, int frames)
    {
        for (int n = 0; n < frames && playing; ++n) {
            for (int guard = 0; guard < 1000; ++guard) {
                if (!backward && pos >= end) {
                    if (!looped) {
                        playing = false;
                    } else if (!bidi) {
                        pos -= end - start;
                        continue;
                    } else {
                        pos = end - (pos - end);
                        backward = true;
                        continue;
                    }
                } else if (backward) {
                    if (!looped) {
                        playing = false;
                    } else if (pos <= start) {
                        if (bidi) {
                            pos = 2 * start - pos;
                            backward = false;
                            continue;
                        }
                        playing = false;
                    }
                }
                break;
            }
            if (!playing) {
                break;
            }
            acc[2 * n] += value(left, pos);
            acc[2 * n + 1] += value(right, pos);
            pos += backward ? -inc : inc;
        }
    }
};

inline int16_t clip16(int64_t acc)
{
    const int64_t x = static_cast<int32_t>(acc) >> 8;
    return static_cast<int16_t>(x < -32768 ? -32768 : (x > 32767 ? 32767 : x));
}
