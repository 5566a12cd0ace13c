#pragma once
// Lua 5.4 in this process, with the same programs as the script machine's
// benchmarks: sum, fib, and the loops with and without a call of a C function.
#include <cstdint>

struct lua_State;

class LuaPeer {
public:
    LuaPeer();
    ~LuaPeer();
    LuaPeer(const LuaPeer&) = delete;
    LuaPeer& operator=(const LuaPeer&) = delete;

    bool ok() const { return ok_; }
    // Calls the global function with n; its integer result (0 when it returns none).
    int64_t call(const char* function, int64_t n);
    // Sum of the arguments `tick` was given.
    int64_t tick_sum() const { return tick_sum_; }

private:
    lua_State* state_ = nullptr;
    bool ok_ = false;
    int64_t tick_sum_ = 0;

    static int tick(lua_State* L);
};
