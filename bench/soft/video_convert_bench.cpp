// Cost of each pixel converter per frame, beside a memcpy of the bytes it
// writes, at 640 x 480 and 1024 x 768.
#include "soft/pixel_convert.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

struct Frame {
    Frame(int32_t w, int32_t h, int32_t bytes) : width(w), height(h), source(static_cast<size_t>(w) * h)
    {
        std::mt19937 random(7);
        for (uint32_t& p : source) {
            p = random() & 0xFFFFFF;
        }
        // A 64-byte aligned destination, as display memory is.
        block.resize(static_cast<size_t>(w) * h * bytes + 64);
        const uintptr_t base = reinterpret_cast<uintptr_t>(block.data());
        destination = block.data() + (64 - base % 64) % 64;
        bytes_out = static_cast<size_t>(w) * h * bytes;
        copy_source.resize(bytes_out);
    }
    int32_t width;
    int32_t height;
    std::vector<uint32_t> source;
    std::vector<uint8_t> block;
    uint8_t* destination;
    size_t bytes_out;
    std::vector<uint8_t> copy_source;
};

void run_converter(benchmark::State& state, PixelConverter convert, uint32_t red, uint32_t green, uint32_t blue,
                   int32_t bytes)
{
    uint8_t layout[4] = {};
    analyse_channels(red, green, blue, bytes, layout);
    Frame f(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), bytes);
    for (auto _ : state) {
        convert(f.source.data(), f.destination, f.width, f.height, 0, 0, 0);
        benchmark::DoNotOptimize(f.destination);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes_out));
}

// The bytes a converter writes into a surface of range(2) bytes a pixel, copied.
void copy_frame(benchmark::State& state)
{
    Frame f(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
            static_cast<int32_t>(state.range(2)));
    for (auto _ : state) {
        std::memcpy(f.destination, f.copy_source.data(), f.bytes_out);
        benchmark::DoNotOptimize(f.destination);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes_out));
}

void convert_565(benchmark::State& s) { run_converter(s, convert_32_to_565, 0xF800, 0x07E0, 0x001F, 2); }
void convert_565_mmx(benchmark::State& s) { run_converter(s, convert_32_to_565_mmx, 0xF800, 0x07E0, 0x001F, 2); }
void convert_555(benchmark::State& s) { run_converter(s, convert_32_to_555, 0x7C00, 0x03E0, 0x001F, 2); }
void convert_555_mmx(benchmark::State& s) { run_converter(s, convert_32_to_555_mmx, 0x7C00, 0x03E0, 0x001F, 2); }
void convert_generic_444(benchmark::State& s) { run_converter(s, convert_generic, 0x0F00, 0x00F0, 0x000F, 2); }
void convert_generic_888(benchmark::State& s) { run_converter(s, convert_generic_24, 0xFF0000, 0xFF00, 0xFF, 3); }

void frame_sizes(benchmark::internal::Benchmark* b)
{
    b->Args({640, 480})->Args({1024, 768})->Unit(benchmark::kMicrosecond);
}

void copy_sizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h", "bytes"});
    for (const int64_t bytes : {2, 3}) {
        b->Args({640, 480, bytes})->Args({1024, 768, bytes});
    }
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(copy_frame)->Apply(copy_sizes);
BENCHMARK(convert_565)->Apply(frame_sizes);
BENCHMARK(convert_565_mmx)->Apply(frame_sizes);
BENCHMARK(convert_555)->Apply(frame_sizes);
BENCHMARK(convert_555_mmx)->Apply(frame_sizes);
BENCHMARK(convert_generic_444)->Apply(frame_sizes);
BENCHMARK(convert_generic_888)->Apply(frame_sizes);

BENCHMARK_MAIN();
