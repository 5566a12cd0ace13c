#pragma once
// The calling convention of builtins: a handler gets the server, the script
// context (its first three cells are the result register) and the argument
// block, 4-byte cells in argument order inside the arena. A handler is
// declared with the cells it reads, and a block shorter than that is the
// calling script's fault, as is every broken condition a builtin checks:
// both end the program with "KRun: ...!" naming the builtin and the script
// address, never with a host assertion.
#include "core/vector.h"
#include "script/kcontext.h"

#include <bit>
#include <cstdint>
#include <cstring>

class Server;

// The name of the builtin being run ("@name"), from the call instruction.
const char* builtin_name(kcontext_t* c);
[[noreturn]] void builtin_fault(kcontext_t* c, const char* condition);
// The condition's text is the message when it fails.
#define BUILTIN_CHECK(context, condition)                                                                         \
    do {                                                                                                          \
        if (!(condition)) [[unlikely]] {                                                                          \
            builtin_fault((context), #condition);                                                                 \
        }                                                                                                         \
    } while (0)

class BuiltinArgs {
public:
    BuiltinArgs(kcontext_t* c, const uint8_t* cells, uint32_t count) : c_(c), cells_(cells), count_(count) {}

    uint32_t u32(uint32_t k) const
    {
        uint32_t v;
        std::memcpy(&v, cells_ + 4 * k, 4);
        return v;
    }
    int32_t i32(uint32_t k) const { return static_cast<int32_t>(u32(k)); }
    float f32(uint32_t k) const { return std::bit_cast<float>(u32(k)); }
    Vector vec(uint32_t k) const { return {f32(k), f32(k + 1), f32(k + 2)}; }
    // A string argument: NUL-terminated text in script memory.
    const char* str(uint32_t k) const { return k_cstr(c_, u32(k)); }
    kcontext_t* context() const { return c_; }
    // Every cell of the block, for builtins that take a variable number of them.
    uint32_t count() const { return count_; }
    uint32_t u32_or_zero(uint32_t k) const { return k < count_ ? u32(k) : 0; }

private:
    kcontext_t* c_;
    const uint8_t* cells_;
    uint32_t count_;
};

inline void builtin_result(kcontext_t* c, uint32_t v) { c->result[0] = v; }
inline void builtin_result_int(kcontext_t* c, int32_t v) { c->result[0] = static_cast<uint32_t>(v); }
inline void builtin_result_float(kcontext_t* c, float v) { c->result[0] = std::bit_cast<uint32_t>(v); }
inline void builtin_result_vector(kcontext_t* c, const Vector& v)
{
    c->result[0] = std::bit_cast<uint32_t>(v.x);
    c->result[1] = std::bit_cast<uint32_t>(v.y);
    c->result[2] = std::bit_cast<uint32_t>(v.z);
}

using BuiltinBody = void (*)(Server& s, const BuiltinArgs& a);

// A client slot from a script, checked.
int client_of(kcontext_t* c, int32_t client);

[[noreturn]] void builtin_short_block(kcontext_t* c, uint32_t bytes, uint32_t needed);

// The handler of a builtin that reads `Cells` argument cells.
template <BuiltinBody Body, uint32_t Cells>
void builtin_native(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    if (bytes < 4 * Cells) [[unlikely]] {
        builtin_short_block(c, bytes, 4 * Cells);
    }
    Body(*static_cast<Server*>(host), BuiltinArgs(c, args, bytes / 4));
}

// Defines the handler builtin_<name> over a body that reads `cells` cells:
//     DEFINE_BUILTIN(ticks, 0) { builtin_result(a.context(), s.tick); }
#define DEFINE_BUILTIN(name, cells)                                                                           \
    static void name##_body([[maybe_unused]] Server& s, const BuiltinArgs& a);                                \
    void builtin_##name(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)                       \
    {                                                                                                         \
        builtin_native<name##_body, cells>(host, c, args, bytes);                                             \
    }                                                                                                         \
    static void name##_body([[maybe_unused]] Server& s, const BuiltinArgs& a)
