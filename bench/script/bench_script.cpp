// The scheduler with many waiting tasks and the cell heap. The interpreter
// against Lua is bench_script_lua.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/script/bench_program.h"
#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/klabels.h"
#include "script/krun.h"

namespace {

void BM_RunTickWithWaitingTasks(benchmark::State& state)
{
    const uint32_t tasks = static_cast<uint32_t>(state.range(0));
    uint32_t ticks = 0;
    kcontext_t* c = bench_context({tasks * 2 + 16, tasks + 16, 64}, &ticks);
    if (c == nullptr) {
        state.SkipWithError("no context");
        return;
    }
    const uint32_t ticker = labels_address_of(c->labels, "ticker");
    for (uint32_t i = 0; i < tasks; ++i) {
        start_task(c, ticker, i, static_cast<int32_t>(i % 7));
    }
    for (auto _ : state) {
        run_tick(c);
    }
    K_FreeContext(c);
}
BENCHMARK(BM_RunTickWithWaitingTasks)->Arg(100)->Arg(1000);

void BM_CellHeapAllocFree(benchmark::State& state)
{
    KArena arena;
    arena.reserve(64u << 20);
    const uint32_t h = cellheap_create(arena, 2000, 8, 252);
    std::mt19937 rng(1);
    std::vector<uint32_t> live;
    for (auto _ : state) {
        if (live.size() < 500 && (live.empty() || rng() % 2 == 0)) {
            const uint32_t d = cellheap_alloc(arena, h, 4 + rng() % 120);
            if (d != 0) {
                live.push_back(d);
            }
        } else {
            const size_t i = rng() % live.size();
            cellheap_free(arena, h, live[i]);
            live[i] = live.back();
            live.pop_back();
        }
    }
}
BENCHMARK(BM_CellHeapAllocFree);

} // namespace

BENCHMARK_MAIN();
