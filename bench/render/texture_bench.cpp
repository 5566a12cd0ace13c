// Algorithmic textures per tick: the warp of a 256 x 256 texture (all five
// levels) and the scroll-only update, each timed per call in microseconds.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "world/view/algo_texture.h"
#include "tools/fsys/write_bytes.h"
#include "tools/textures/procedural.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

void quiet(int, const char*, uintptr_t) {}

// Textures on disk under a scratch tree mounted as the file system.
struct Scene {
    Scene()
    {
        set_stream_handler(quiet, 0);
        std::random_device seed;
        root = std::filesystem::temp_directory_path() / ("ostrel_bench_tex_" + std::to_string(seed()));
        std::filesystem::create_directories(root / "textures" / "b");
        tools::write_bytes((root / "textures/b/opaque.cmt").string().c_str(), tools::cmt_bytes(tools::make_noise(256)));
        tools::TextureImage alpha = tools::make_noise(256);
        alpha.alpha.assign(alpha.index.begin(), alpha.index.end());
        tools::write_bytes((root / "textures/b/alpha.cmt").string().c_str(), tools::cmt_bytes(alpha));
        files.init();
        files.mount(root.string().c_str(), 1, 10);
        fsys = &files;
        cvar_list = &variables;
        sine.init(4096);
        sine_table = &sine;
    }
    ~Scene()
    {
        files.close();
        fsys = nullptr;
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    std::filesystem::path root;
    FSys files;
    ConfigVariableList variables;
    SineTable sine;
};

Scene& scene()
{
    static Scene s;
    return s;
}

void run(benchmark::State& state, const char* name, uint32_t mode)
{
    scene();
    TextureSlot slot;
    slot.load("b", name, TEXTURE_KIND_MAP, nullptr);
    TextureAnim anim{&slot, 0, 0.0f};
    AlgoTexture algo;
    if (algo.init(&anim, 3.0f, -2.0f, mode, 2.0f, 3.0f, 1.0f, 0.5f) == 0) {
        state.SkipWithError("init failed");
        return;
    }
    int32_t ticks = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(algo.update(++ticks));
    }
}

void BM_WarpGenerate256(benchmark::State& state) { run(state, "opaque", WARP_MODE_SINE); }
void BM_WarpGenerate256Alpha(benchmark::State& state) { run(state, "alpha", WARP_MODE_SINE); }
void BM_ScrollUpdate(benchmark::State& state) { run(state, "opaque", WARP_MODE_NONE); }

} // namespace

BENCHMARK(BM_WarpGenerate256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarpGenerate256Alpha)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
