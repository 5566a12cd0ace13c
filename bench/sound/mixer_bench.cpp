// The mixer's resampling loops in nanoseconds per output frame per channel
// (8- and 16-bit, nearest and interpolated), and a whole mix of 32 channels
// into 44.1 kHz stereo 16-bit: CPU time per second of audio.
#include "sound/mix_loops.h"
#include "sound/mixer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t FRAMES = 4096;          // one mixing pass
constexpr int32_t SAMPLES = 1 << 16;      // sample data, beyond the cache's reach
constexpr int32_t INCREMENT = 1500;       // about 0.73 samples a frame (e.g. 32 kHz into 44.1 kHz)

struct LoopData {
    std::vector<int32_t> table = std::vector<int32_t>(VTAB_ENTRIES);
    std::vector<uint8_t> bytes = std::vector<uint8_t>(SAMPLES + 64);
    std::vector<uint16_t> words = std::vector<uint16_t>(SAMPLES + 64);
    std::vector<int32_t> acc = std::vector<int32_t>(2 * FRAMES);
    LoopData()
    {
        vtab_build(table.data(), 1.0f);
        vtab_select(table.data());
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(128 + 100 * std::sin(i * 0.01));
            words[i] = static_cast<uint16_t>(32768 + 30000 * std::sin(i * 0.01));
        }
    }
};

void per_frame(benchmark::State& state)
{
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * FRAMES,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename Loop, typename Data>
void run_loop(benchmark::State& state, Loop loop, Data data)
{
    static LoopData d;
    int32_t pos = 0;
    const int32_t span = FRAMES * INCREMENT;
    for (auto _ : state) {
        loop(d.acc.data(), data(d), pos, INCREMENT, 64, 31, FRAMES);
        pos += span;
        if ((pos >> 11) + (span >> 11) + 2 >= SAMPLES) {
            pos = 0;
        }
        benchmark::DoNotOptimize(d.acc.data());
        benchmark::ClobberMemory();
    }
    per_frame(state);
}

const uint8_t* bytes_of(LoopData& d) { return d.bytes.data(); }
const uint16_t* words_of(LoopData& d) { return d.words.data(); }

void BM_mix_8(benchmark::State& s) { run_loop(s, mix_8, bytes_of); }
void BM_mix_8i(benchmark::State& s) { run_loop(s, mix_8i, bytes_of); }
void BM_mix_16(benchmark::State& s) { run_loop(s, mix_16, words_of); }
void BM_mix_16i(benchmark::State& s) { run_loop(s, mix_16i, words_of); }
BENCHMARK(BM_mix_8);
BENCHMARK(BM_mix_8i);
BENCHMARK(BM_mix_16);
BENCHMARK(BM_mix_16i);

void BM_clip_s16s(benchmark::State& state)
{
    std::vector<int32_t> acc(2 * FRAMES);
    for (size_t i = 0; i < acc.size(); ++i) {
        acc[i] = static_cast<int32_t>(i * 7919) - (1 << 24);
    }
    std::vector<int16_t> out(2 * FRAMES);
    for (auto _ : state) {
        clip_s16s(out.data(), acc.data(), FRAMES);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    per_frame(state);
}
BENCHMARK(BM_clip_s16s);

// A mixer that only renders.
class BenchMixer final : public Mixer {
public:
    void update() override {}
    void pause() override {}
    void stop() override {}
    void resume() override {}
    int get_caps(SDCaps*) override { return 1; }
    int configure(SDSettings*) override { return 1; }
    int init(const SDSettings* s) override
    {
        store_settings(*s);
        return Mixer::init();
    }
    void shutdown() override { release(); }
};

class SampleData final : public SoundDeviceClient {
public:
    int read_sample_data(SDSample* s, void* out) override
    {
        int16_t* const w = static_cast<int16_t*>(out);
        for (int32_t i = 0; i < s->length; ++i) {
            w[i] = static_cast<int16_t>(12000 * std::sin(i * 0.02 * (1 + (s->owner & 7))));
        }
        return 1;
    }
};

// 32 interpolated 16-bit channels at assorted rates, pans and loops into
// 44.1 kHz stereo 16-bit: one iteration is one second of audio.
void BM_mix_32_channels_one_second(benchmark::State& state)
{
    BenchMixer mixer;
    SDSettings settings;
    settings.rate = 44100;
    settings.flags = SDF_STEREO | SDF_16BIT | (state.range(0) != 0 ? SDF_INTERPOLATE : 0);
    settings.channels = 32;
    mixer.init(&settings);
    SampleData source;
    std::vector<SDSample> samples(32);
    for (int i = 0; i < 32; ++i) {
        SDSample& s = samples[i];
        s.owner = static_cast<uintptr_t>(i);
        s.source = &source;
        s.length = 20000 + 1000 * i;
        s.loop_start = 1000;
        s.loop_end = s.length;
        s.flags = SDSF_16BIT | ((i % 3) == 0 ? SDSF_BIDI : SDSF_LOOPED);
        mixer.device_sample_create(&s);
        const int32_t h = mixer.channel_choose(50.0f);
        mixer.channel_start(h, &s, 10.0f, 1.0f);
        mixer.channel_set_frequency(h, 8000 + 1500 * i);
        mixer.channel_set_volume(h, 0.5f);
        mixer.channel_set_pan(h, -1.0f + i / 16.0f);
    }
    std::vector<int16_t> out(2 * 44100);
    for (auto _ : state) {
        mixer.render(out.data(), static_cast<int32_t>(out.size() * 2));
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["per_channel_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * 44100 * 32,
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (SDSample& s : samples) {
        mixer.sample_remove(&s);
    }
}
BENCHMARK(BM_mix_32_channels_one_second)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
