#pragma once
// A map whose scripts hand their arguments on to one builtin per function,
// so that tests call a builtin with the cells they choose and read the result
// register it leaves.
#include "server_fixture.h"

#include "script/kio.h"
#include "script/klabels.h"
#include "script/krun.h"

#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <string>
#include <vector>

// A script call that must end the program: a broken rule of a builtin ends it
// with its message and exit code 255.
struct ScriptEnd {
    const char* function;
    std::vector<uint32_t> args;
    const char* message; // a pattern for the program's output
};

inline void expect_each_ends_the_script(kcontext_t* c, std::span<const ScriptEnd> cases)
{
    for (const ScriptEnd& e : cases) {
        SCOPED_TRACE(std::string(e.function) + ": " + e.message);
        const uint32_t at = labels_address_of(c->labels, e.function);
        EXPECT_EXIT(
            {
                kio_defaults(c);
                call_address(c, at, e.args);
            },
            ::testing::ExitedWithCode(255), e.message);
    }
}

struct Forwarder {
    const char* function;
    const char* builtin;
    int cells; // argument cells handed on
};

// A script function per forwarder, then `extra` (more functions and data).
inline std::string forwarding_program(std::span<const Forwarder> forwarders, const std::string& extra = "")
{
    std::string globals = "spawnclient, archive";
    std::string code;
    for (const Forwarder& f : forwarders) {
        globals += std::string(", ") + f.function;
        code += std::string(".func ") + f.function + ", 64\n";
        // The last cells go first, up to three at a time: the first argument ends at the stack top.
        for (int k = f.cells; k > 0;) {
            const int n = k % 3 == 0 ? 3 : k % 3;
            k -= n;
            code += k == 0 ? std::string("    pushargs\n") : "    pushargsofs " + std::to_string(4 * k) + "\n";
            code += "    load" + std::to_string(n) + "\n";
        }
        code += std::string("    callnative @@") + f.builtin + ", " + std::to_string(4 * f.cells) + "\n";
        code += "    pushresult3\n    ret3\n";
    }
    return ".global " + globals + "\n.code\n.func spawnclient, 16\n    push 1\n    ret1\n.func archive, 8\n"
           "    push 0\n    ret1\n" +
           code + extra;
}
inline std::string forwarding_program(std::initializer_list<Forwarder> forwarders, const std::string& extra = "")
{
    return forwarding_program(std::span<const Forwarder>(forwarders.begin(), forwarders.size()), extra);
}

inline uint32_t cell(float f) { return std::bit_cast<uint32_t>(f); }
inline float as_float(uint32_t v) { return std::bit_cast<float>(v); }
inline uint32_t u(int32_t v) { return static_cast<uint32_t>(v); }

// Over a fixture with a server (ServerFixture or one made from it).
template <class Base>
class BuiltinScriptsOn : public Base {
protected:
    uint32_t address(const char* name) const { return labels_address_of(this->server.k_context->labels, name); }

    // Runs the script function; the three result cells.
    std::array<uint32_t, 3> call(const char* name, std::vector<uint32_t> args = {})
    {
        kcontext_t* const c = this->server.k_context;
        EXPECT_TRUE(call_address(c, address(name), args)) << name;
        return {c->result[0], c->result[1], c->result[2]};
    }
    float call_float(const char* name, std::vector<uint32_t> args = {}) { return as_float(call(name, args)[0]); }
    Vector call_vector(const char* name, std::vector<uint32_t> args = {})
    {
        const auto r = call(name, args);
        return {as_float(r[0]), as_float(r[1]), as_float(r[2])};
    }
    std::string text_at(uint32_t at) const
    {
        EXPECT_TRUE(this->server.k_context->arena.contains(at, 1));
        return std::string(reinterpret_cast<const char*>(this->server.k_context->arena.at(at, 1)));
    }
};
using BuiltinScripts = BuiltinScriptsOn<ServerFixture>;

// Room in the map's data where tests put the texts scripts hand to builtins.
constexpr uint32_t SCRATCH_BYTES = 4096;
inline const char* const SCRATCH_DATA = ".global scratch\n.data\nscratch: .space 4096\n";

template <class Base>
class BuiltinTextsOn : public BuiltinScriptsOn<Base> {
protected:
    // The text, NUL-terminated, in the scratch room; its script address.
    uint32_t put_text(const std::string& text)
    {
        const uint32_t at = this->address("scratch") + used_;
        EXPECT_LE(used_ + text.size() + 1, SCRATCH_BYTES);
        std::memcpy(this->server.k_context->arena.at(at, static_cast<uint32_t>(text.size() + 1)), text.c_str(),
                    text.size() + 1);
        used_ += static_cast<uint32_t>(text.size() + 1);
        return at;
    }

private:
    uint32_t used_ = 0;
};
using BuiltinTexts = BuiltinTextsOn<ServerFixture>;
