// The script machine beside Lua 5.4 (linked into this process) on the same
// programs: recursive fib(30), a loop of 10^8 passes, and the cost of a call
// of native code. Prints "name value unit" lines; the best of the runs counts.
//   bench_script_lua [runs [fib|loop|native]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "bench/script/bench_program.h"
#include "bench/script/lua_peer.h"
#include "script/kcontext.h"
#include "script/klabels.h"
#include "script/krun.h"

namespace {

constexpr uint32_t FIB_N = 30;
constexpr uint32_t FIB_RESULT = 832040;
constexpr uint32_t LOOP_N = 100000000;
constexpr uint32_t NATIVE_N = 10000000;

int failures = 0;

void line(const char* name, double value, const char* unit)
{
    std::printf("%s %.4g %s\n", name, value, unit);
    std::fflush(stdout);
}

void expect(bool ok, const char* what)
{
    if (!ok) {
        std::printf("error %s\n", what);
        ++failures;
    }
}

// Best wall time of the runs, in seconds.
template <typename F>
double best_of(int runs, F&& run)
{
    double best = 0.0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (i == 0 || took.count() < best) {
            best = took.count();
        }
    }
    return best;
}

uint32_t script_call(kcontext_t* c, const char* function, uint32_t n)
{
    call_address(c, labels_address_of(c->labels, function), std::span<const uint32_t>(&n, 1));
    return c->result[0];
}

void bench_fib(kcontext_t* c, LuaPeer& lua, int runs)
{
    uint32_t fib = 0;
    const double script = best_of(runs, [&] { fib = script_call(c, "fib", FIB_N); });
    expect(fib == FIB_RESULT, "script fib(30)");
    int64_t lua_fib = 0;
    const double peer = best_of(runs, [&] { lua_fib = lua.call("fib", FIB_N); });
    expect(lua_fib == FIB_RESULT, "lua fib(30)");
    line("fib30_script", script * 1e3, "ms");
    line("fib30_lua", peer * 1e3, "ms");
    line("fib30_ratio", script / peer, "script/lua");
    line("fib30_script_rate", static_cast<double>(fib_instructions(FIB_N)) / script / 1e6, "Minstructions/s");
}

void bench_loop(kcontext_t* c, LuaPeer& lua, int runs)
{
    uint32_t sum = 0;
    const double script = best_of(runs, [&] { sum = script_call(c, "sum", LOOP_N); });
    const uint64_t exact = static_cast<uint64_t>(LOOP_N) * (LOOP_N - 1) / 2;
    expect(sum == static_cast<uint32_t>(exact), "script sum (32-bit)");
    int64_t lua_sum = 0;
    const double peer = best_of(runs, [&] { lua_sum = lua.call("sum", LOOP_N); });
    expect(lua_sum == static_cast<int64_t>(exact), "lua sum");
    line("loop1e8_script", script * 1e3, "ms");
    line("loop1e8_lua", peer * 1e3, "ms");
    line("loop1e8_ratio", script / peer, "script/lua");
    line("loop1e8_script_rate", static_cast<double>(sum_instructions(LOOP_N)) / script / 1e6, "Minstructions/s");
}

// A native call costs the difference between the loop with the call and the
// same loop with a pop in its place.
void bench_native(kcontext_t* c, const uint32_t* script_ticks, LuaPeer& lua, int runs)
{
    const uint32_t ticks_before = *script_ticks;
    const double with_script = best_of(runs, [&] { script_call(c, "natives", NATIVE_N); });
    const double without_script = best_of(runs, [&] { script_call(c, "plain", NATIVE_N); });
    const uint64_t per_run = static_cast<uint64_t>(NATIVE_N) * (NATIVE_N - 1) / 2;
    expect(*script_ticks - ticks_before == static_cast<uint32_t>(per_run * static_cast<uint64_t>(runs)),
           "script native arguments");
    const double with_lua = best_of(runs, [&] { lua.call("natives", NATIVE_N); });
    const double without_lua = best_of(runs, [&] { lua.call("plain", NATIVE_N); });
    line("native_call_script", (with_script - without_script) / NATIVE_N * 1e9, "ns");
    line("native_call_lua", (with_lua - without_lua) / NATIVE_N * 1e9, "ns");
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const char* only = argc > 2 ? argv[2] : nullptr;
    if (runs < 1) {
        std::fprintf(stderr, "usage: %s [runs [fib|loop|native]]\n", argv[0]);
        return 2;
    }
    const auto wanted = [only](const char* part) { return only == nullptr || std::strcmp(only, part) == 0; };
    uint32_t script_ticks = 0;
    kcontext_t* c = bench_context({64, 256, 64}, &script_ticks);
    LuaPeer lua;
    if (c == nullptr || !lua.ok()) {
        std::fprintf(stderr, "cannot set up the script machine or Lua\n");
        K_FreeContext(c);
        return 1;
    }
    if (wanted("fib")) {
        bench_fib(c, lua, runs);
    }
    if (wanted("loop")) {
        bench_loop(c, lua, runs);
    }
    if (wanted("native")) {
        bench_native(c, &script_ticks, lua, runs);
    }
    K_FreeContext(c);
    return failures == 0 ? 0 : 1;
}
