// The script machine's speed: the interpreter on a loop and on calls, the
// scheduler with many waiting tasks, the cell heap.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

const char* const program = R"(
.global main, sum, fib, ticker
.code
.func main, 0
    ret
; sum of 0..n-1; locals i (on top) and total
.func sum, 32
    push 0, 0
.loop:
    pushargs
    load1
    pushspofs 4
    load1
    sub                 ; i - n
    jge .done
    pushsp
    load2
    add                 ; i + total
    pushspofs 8
    store1
    pushsp
    load1
    push 1
    add
    pushspofs 4
    store1
    jump .loop
.done:
    pushspofs 4
    load1
    ret1
.func fib, 16
    pushargs
    load1
    push 2
    icmp                ; 2 against n: -1 when 2 < n
    jge .small
    push 1
    pushargs
    load1
    sub
    call fib, 4
    pushresult1
    push 2
    pushargs
    load1
    sub
    call fib, 4
    pushresult1
    add
    ret1
.small:
    push 1
    ret1
.func ticker, 4
.again:
    push 1
    wait
    jump .again
)";

std::vector<uint8_t> object;

uint32_t serve(const char*, char** buffer)
{
    *buffer = static_cast<char*>(std::malloc(object.size()));
    std::memcpy(*buffer, object.data(), object.size());
    return static_cast<uint32_t>(object.size());
}

kcontext_t* make_context(kinit_t init)
{
    if (object.empty()) {
        const kasm::Assembly a = kasm::assemble(program, "bench");
        if (!a.ok()) {
            return nullptr;
        }
        object = a.bytes();
    }
    static const krequired_t required[] = {{"main", 0}, {nullptr, 0}};
    kcontext_t* c = K_AllocContext(nullptr, nullptr, required);
    kiofuncs_t io{};
    io.puts = [](void*, const char* text) { std::fputs(text, stderr); };
    io.fileread = serve;
    kio_install(c, &io);
    const char* names[] = {"bench.kob", nullptr};
    if (K_Link(c, names) != 1 || K_AllocResources(c, &init) != 1) {
        K_FreeContext(c);
        return nullptr;
    }
    return c;
}

void BM_InterpreterLoop(benchmark::State& state)
{
    kcontext_t* c = make_context({64, 64, 64});
    const uint32_t sum = labels_address_of(c->labels, "sum");
    const uint32_t n = 100000;
    for (auto _ : state) {
        call_address(c, sum, std::span<const uint32_t>(&n, 1));
        benchmark::DoNotOptimize(c->result[0]);
    }
    if (c->result[0] != n * (n - 1) / 2) {
        state.SkipWithError("wrong sum");
    }
    // 18 instructions per iteration of the loop.
    state.counters["instructions"] = benchmark::Counter(18.0 * n * static_cast<double>(state.iterations()),
                                                        benchmark::Counter::kIsRate);
    K_FreeContext(c);
}
BENCHMARK(BM_InterpreterLoop)->Unit(benchmark::kMillisecond);

void BM_InterpreterCalls(benchmark::State& state)
{
    kcontext_t* c = make_context({64, 256, 64});
    const uint32_t fib = labels_address_of(c->labels, "fib");
    const uint32_t n = 20;
    for (auto _ : state) {
        call_address(c, fib, std::span<const uint32_t>(&n, 1));
        benchmark::DoNotOptimize(c->result[0]);
    }
    if (c->result[0] != 6765) {
        state.SkipWithError("wrong fib");
    }
    state.counters["calls"] = benchmark::Counter(13529.0 * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
    K_FreeContext(c);
}
BENCHMARK(BM_InterpreterCalls)->Unit(benchmark::kMillisecond);

void BM_RunTickWithWaitingTasks(benchmark::State& state)
{
    const uint32_t tasks = static_cast<uint32_t>(state.range(0));
    kcontext_t* c = make_context({tasks * 2 + 16, tasks + 16, 64});
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
