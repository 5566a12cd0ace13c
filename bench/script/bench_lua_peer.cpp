// The peer: Lua 5.4 on the same loop and the same recursion as the script
// machine's benchmarks, so that the two lines stand side by side.
#include <benchmark/benchmark.h>

#include <lua.hpp>

namespace {

const char* const programs = R"(
function sum(n)
    local total = 0
    local i = 0
    while i < n do
        total = total + i
        i = i + 1
    end
    return total
end
function fib(n)
    if n <= 2 then return 1 end
    return fib(n - 1) + fib(n - 2)
end
)";

lua_State* make_state()
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, programs);
    return L;
}

lua_Integer call(lua_State* L, const char* function, lua_Integer n)
{
    lua_getglobal(L, function);
    lua_pushinteger(L, n);
    lua_call(L, 1, 1);
    const lua_Integer r = lua_tointeger(L, -1);
    lua_pop(L, 1);
    return r;
}

void BM_LuaLoop(benchmark::State& state)
{
    lua_State* L = make_state();
    const lua_Integer n = 100000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(L, "sum", n));
    }
    if (call(L, "sum", n) != n * (n - 1) / 2) {
        state.SkipWithError("wrong sum");
    }
    lua_close(L);
}
BENCHMARK(BM_LuaLoop)->Unit(benchmark::kMillisecond);

void BM_LuaCalls(benchmark::State& state)
{
    lua_State* L = make_state();
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(L, "fib", 20));
    }
    if (call(L, "fib", 20) != 6765) {
        state.SkipWithError("wrong fib");
    }
    state.counters["calls"] =
        benchmark::Counter(13529.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    lua_close(L);
}
BENCHMARK(BM_LuaCalls)->Unit(benchmark::kMillisecond);

} // namespace
