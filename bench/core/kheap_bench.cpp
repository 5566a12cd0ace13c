// ns per alloc/free pair with a given number of live blocks: KHeap with its
// checks off and on, beside the general heap (malloc/free) in the same run.
// Each iteration frees one live block at random and allocates a new one of
// random size (16..256 bytes) in its place, from the bottom of the heap (the
// top for the Top figures).
#include "core/config_variable.h"
#include "core/kheap.h"
#include "core/print.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr size_t HEAP_BYTES = size_t{4} << 20; // the engine's default

struct Lcg {
    uint32_t state = 1;
    uint32_t next(uint32_t n)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }
};

size_t block_request(Lcg& r) { return 16 + r.next(241); }

void quiet(int, const char*, uintptr_t) {}

// The heap with the variables it links; flags choose the checks.
class BenchHeap {
public:
    explicit BenchHeap(uint32_t flags)
    {
        set_stream_handler(quiet, 0);
        cvar_list = &variables_;
        if (heap_.init(HEAP_BYTES, flags) == 0) {
            std::abort();
        }
        kheap = &heap_;
    }
    ~BenchHeap()
    {
        heap_.close();
        kheap = nullptr;
        cvar_list = nullptr;
        set_stream_handler(default_print_handler, 0);
    }
    KHeap& heap() { return heap_; }

private:
    ConfigVariableList variables_;
    KHeap heap_;
};

void kheap_pairs(benchmark::State& state, uint32_t flags, int where = KHEAP_FROM_BOTTOM)
{
    BenchHeap bench(flags);
    KHeap& heap = bench.heap();
    Lcg r;
    const size_t live = static_cast<size_t>(state.range(0));
    std::vector<void*> blocks(live);
    for (void*& p : blocks) {
        p = heap.alloc(block_request(r), where, "Bench");
    }
    for (auto _ : state) {
        const size_t i = r.next(static_cast<uint32_t>(live));
        heap.free(blocks[i]);
        blocks[i] = heap.alloc(block_request(r), where, "Bench");
        benchmark::DoNotOptimize(blocks[i]);
    }
    for (void* p : blocks) {
        heap.free(p);
    }
}

void BM_KHeapChecksOff(benchmark::State& state) { kheap_pairs(state, 0); }
void BM_KHeapChecksOn(benchmark::State& state) { kheap_pairs(state, KHEAP_CHECK | KHEAP_DEADBEEF); }
void BM_KHeapTopChecksOff(benchmark::State& state) { kheap_pairs(state, 0, KHEAP_FROM_TOP); }

void BM_Malloc(benchmark::State& state)
{
    Lcg r;
    const size_t live = static_cast<size_t>(state.range(0));
    std::vector<void*> blocks(live);
    for (void*& p : blocks) {
        p = std::malloc(block_request(r));
    }
    for (auto _ : state) {
        const size_t i = r.next(static_cast<uint32_t>(live));
        std::free(blocks[i]);
        blocks[i] = std::malloc(block_request(r));
        benchmark::DoNotOptimize(blocks[i]);
    }
    for (void* p : blocks) {
        std::free(p);
    }
}

} // namespace

BENCHMARK(BM_Malloc)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_KHeapChecksOff)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_KHeapChecksOn)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_KHeapTopChecksOff)->Arg(100)->Arg(1000)->Arg(10000);

BENCHMARK_MAIN();
