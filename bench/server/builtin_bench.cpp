// What the builtin calling convention costs: a script loop calling a
// builtin of the server's table, and one calling a plain native that does
// the same work without the argument check, beside the loop alone.
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/server.h"
#include "tools/kasm/kasm_assembler.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

DEFINE_BUILTIN(bench_pair, 2) { builtin_result(a.context(), a.u32(0) + a.u32(1)); }

namespace {

void plain_pair(void*, kcontext_t* c, const uint8_t* args, uint32_t)
{
    uint32_t x, y;
    std::memcpy(&x, args, 4);
    std::memcpy(&y, args + 4, 4);
    c->result[0] = x + y;
}

void plain_cmos(void* host, kcontext_t* c, const uint8_t*, uint32_t)
{
    c->result[0] = static_cast<Server*>(host)->k_exports.cmos;
}

// n passes of the loop, each making one call (or none).
const char* const PROGRAM = R"(
.global loop_pair, loop_plain_pair, loop_cmos, loop_plain_cmos, loop_none
.macro looped name, body
.func \name, 16
    push 0
.loop\@:
    pushargs
    load1
    pushspofs 4
    load1
    sub
    jge .done\@
    \body
    pushsp
    load1
    push 1
    add
    pushspofs 4
    store1
    jump .loop\@
.done\@:
    ret
.endm
.macro pair native
    push 1, 2
    callnative \native, 8
.endm
.macro none
    push 1, 2
    pop2
.endm
.macro cmos native
    callnative \native, 0
.endm
.code
looped loop_pair, pair @@pair
looped loop_plain_pair, pair @@plain_pair
looped loop_cmos, cmos @@get_cmos
looped loop_plain_cmos, cmos @@plain_cmos
looped loop_none, none
)";

std::vector<uint8_t>& object()
{
    static std::vector<uint8_t> bytes;
    return bytes;
}

uint32_t serve(const char*, char** buffer)
{
    *buffer = static_cast<char*>(std::malloc(object().size()));
    std::memcpy(*buffer, object().data(), object().size());
    return static_cast<uint32_t>(object().size());
}

struct Bench {
    Server server;
    kcontext_t* c = nullptr;

    Bench()
    {
        const kasm::Assembly a = kasm::assemble(PROGRAM, "bench");
        for (const std::string& e : a.errors) {
            std::fprintf(stderr, "%s\n", e.c_str());
        }
        if (!a.ok()) {
            return;
        }
        object() = a.bytes();
        // The server's own row beside the bench's.
        const kbuiltin_t* row = builtin_table();
        while (row->name != nullptr && std::strcmp(row->name, "@get_cmos") != 0) {
            ++row;
        }
        static kbuiltin_t table[] = {{"@pair", builtin_bench_pair, nullptr, 0},
                                     {"@plain_pair", plain_pair, nullptr, 0},
                                     {"@get_cmos", nullptr, nullptr, 0},
                                     {"@plain_cmos", plain_cmos, nullptr, 0},
                                     {nullptr, nullptr, nullptr, 0}};
        table[2].handler = row->handler;
        c = K_AllocContext(&server, table, nullptr);
        if (c == nullptr) {
            return;
        }
        kiofuncs_t io{};
        io.puts = [](void*, const char* text) { std::fputs(text, stderr); };
        io.fileread = serve;
        kio_install(c, &io);
        const char* names[] = {"bench.kob", nullptr};
        if (K_Link(c, names) != 1 || K_AllocResources(c, nullptr) != 1) {
            K_FreeContext(c);
            c = nullptr;
        }
    }
    ~Bench() { K_FreeContext(c); }
};

Bench& bench()
{
    static Bench b;
    return b;
}

constexpr uint32_t CALLS = 100000;

void run(benchmark::State& state, const char* function)
{
    Bench& b = bench();
    if (b.c == nullptr) {
        state.SkipWithError("no context");
        return;
    }
    const uint32_t address = labels_address_of(b.c->labels, function);
    const uint32_t n = CALLS;
    for (auto _ : state) {
        call_address(b.c, address, std::span<const uint32_t>(&n, 1));
    }
    state.counters["ns/pass"] =
        benchmark::Counter(static_cast<double>(CALLS), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

void BM_LoopOnly(benchmark::State& s) { run(s, "loop_none"); }
void BM_BuiltinTwoCells(benchmark::State& s) { run(s, "loop_pair"); }
void BM_PlainNativeTwoCells(benchmark::State& s) { run(s, "loop_plain_pair"); }
void BM_BuiltinGetCmos(benchmark::State& s) { run(s, "loop_cmos"); }
void BM_PlainNativeGetCmos(benchmark::State& s) { run(s, "loop_plain_cmos"); }
BENCHMARK(BM_LoopOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuiltinTwoCells)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainNativeTwoCells)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuiltinGetCmos)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainNativeGetCmos)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
