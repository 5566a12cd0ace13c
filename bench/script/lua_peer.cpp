#include "bench/script/lua_peer.h"

#include <cstdio>

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
function natives(n)
    local i = 0
    while i < n do
        tick(i)
        i = i + 1
    end
end
function plain(n)
    local i = 0
    while i < n do
        local _ = i
        i = i + 1
    end
end
)";

} // namespace

LuaPeer::LuaPeer()
{
    state_ = luaL_newstate();
    if (state_ == nullptr) {
        return;
    }
    luaL_openlibs(state_);
    lua_pushlightuserdata(state_, this);
    lua_pushcclosure(state_, tick, 1);
    lua_setglobal(state_, "tick");
    if (luaL_dostring(state_, programs) != LUA_OK) {
        std::fprintf(stderr, "lua: %s\n", lua_tostring(state_, -1));
        return;
    }
    ok_ = true;
}

LuaPeer::~LuaPeer()
{
    if (state_ != nullptr) {
        lua_close(state_);
    }
}

int64_t LuaPeer::call(const char* function, int64_t n)
{
    lua_getglobal(state_, function);
    lua_pushinteger(state_, n);
    lua_call(state_, 1, 1);
    const int64_t r = lua_tointeger(state_, -1);
    lua_pop(state_, 1);
    return r;
}

int LuaPeer::tick(lua_State* L)
{
    LuaPeer* self = static_cast<LuaPeer*>(lua_touserdata(L, lua_upvalueindex(1)));
    self->tick_sum_ += lua_tointeger(L, 1);
    return 0;
}
