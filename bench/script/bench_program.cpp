#include "bench/script/bench_program.h"
#include "bench/script/bench_functions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "script/kio.h"
#include "script/klink.h"
#include "script/krun.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

const std::string program = R"(
.global main, sum, fib, ticker, natives, plain
.code
.func main, 0
    ret
)" + std::string(BENCH_SUM_AND_FIB) + R"(.func ticker, 4
.again:
    push 1
    wait
    jump .again
; n passes, each calling the native with i; plain is the same loop with the
; call replaced by a pop, so the difference is the call
.func natives, 16
    push 0
.loop:
    pushargs
    load1
    pushspofs 4
    load1
    sub
    jge .done
    pushsp
    load1
    callnative @tick, 4
    pushsp
    load1
    push 1
    add
    pushspofs 4
    store1
    jump .loop
.done:
    ret
.func plain, 16
    push 0
.loop:
    pushargs
    load1
    pushspofs 4
    load1
    sub
    jge .done
    pushsp
    load1
    pop1
    pushsp
    load1
    push 1
    add
    pushspofs 4
    store1
    jump .loop
.done:
    ret
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

void native_tick(void* host, kcontext_t*, const uint8_t* args, uint32_t bytes)
{
    if (bytes >= 4) {
        *static_cast<uint32_t*>(host) += read_le32(args);
    }
}

} // namespace

kcontext_t* bench_context(kinit_t init, uint32_t* tick_sum)
{
    if (object().empty()) {
        const kasm::Assembly a = kasm::assemble(program, "bench");
        for (const std::string& e : a.errors) {
            std::fprintf(stderr, "%s\n", e.c_str());
        }
        if (!a.ok()) {
            return nullptr;
        }
        object() = a.bytes();
    }
    static const kbuiltin_t builtins[] = {{"tick", native_tick, nullptr, 0}, {nullptr, nullptr, nullptr, 0}};
    static const krequired_t required[] = {{"main", 0}, {nullptr, 0}};
    kcontext_t* c = K_AllocContext(tick_sum, builtins, required);
    if (c == nullptr) {
        return nullptr;
    }
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

uint64_t sum_instructions(uint64_t n)
{
    // push; 18 per pass; the last test (6) and the return (3).
    return 1 + 18 * n + 6 + 3;
}

uint64_t fib_instructions(uint32_t n)
{
    // A leaf runs 7 instructions, any other call 19 besides its two callees.
    uint64_t below = 7;  // fib(n - 2)
    uint64_t at = 7;     // fib(n - 1)
    for (uint32_t k = 3; k <= n; ++k) {
        const uint64_t next = 19 + at + below;
        below = at;
        at = next;
    }
    return at;
}
