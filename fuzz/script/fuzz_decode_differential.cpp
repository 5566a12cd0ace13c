// Random code through the decoded forms and through the plain interpreter:
// the input becomes the body of a script function, run in two child
// processes (a fault ends the program), which must tell the same story:
// messages, exit status, results and every byte of the arena. A run that
// outlasts its processor time is left uncompared.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/kcontext.h"
#include "script/kdecode.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "tests/support/child_output.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

constexpr uint32_t BODY = 256;  // bytes of code the input may fill

// The body of f follows its frame size; g is a function the code may call,
// and a word of data follows the code so that every byte of f has a form.
const char* const program = R"(
.global main, f, g
.code
.func main, 0
    ret
.func f, 96
    .space 256
    ret
.func g, 16
    pushargs
    load1
    push 1
    add
    ret1
.data
    .word 1, 2, 3, 4, 5, 6, 7, 8
)";

std::vector<uint8_t> object;
using child_output::put;

void note(void*, kcontext_t*, const uint8_t* args, uint32_t bytes) { put(args, bytes < 16 ? bytes : 16); }

void run(bool decoded, const uint8_t* data, size_t size)
{
    struct rlimit cpu = {1, 1};
    setrlimit(RLIMIT_CPU, &cpu);
    // A fault ends the program through exit(255): end the child before the
    // fuzzer's own exit handler takes it for a finding.
    std::atexit([] { _exit(255); });
    static const kbuiltin_t builtins[] = {{"note", note, nullptr, 0}, {nullptr, nullptr, nullptr, 0}};
    kcontext_t* c = K_AllocContext(nullptr, builtins, nullptr, 4u << 20);
    if (c == nullptr) {
        _exit(91);
    }
    kiofuncs_t io{};
    io.puts = [](void*, const char* text) { put(text, std::strlen(text)); };
    io.fileread = [](const char*, char** buffer) {
        *buffer = static_cast<char*>(std::malloc(object.size()));
        std::memcpy(*buffer, object.data(), object.size());
        return static_cast<uint32_t>(object.size());
    };
    kio_install(c, &io);
    kdecode_enable(c, decoded);
    const char* names[] = {"f.kob", nullptr};
    const kinit_t init = {16, 8, 64};
    if (K_Link(c, names) != 1 || K_AllocResources(c, &init) != 1) {
        _exit(91);
    }
    const uint32_t f = labels_address_of(c->labels, "f");
    std::memcpy(c->arena.at(f + 4, BODY), data, size < BODY ? size : BODY);
    kdecode_rebuild(c);
    const uint32_t args[2] = {3, labels_address_of(c->labels, "g")};
    call_address(c, f, args);
    put(c->result, sizeof(c->result));
    for (int tick = 0; tick < 4; ++tick) {
        run_tick(c);
    }
    put(c->arena.base() + KARENA_LOW, c->arena.mark() - KARENA_LOW);
    _exit(0);
}

child_output::Outcome child(bool decoded, const uint8_t* data, size_t size)
{
    return child_output::run([&] { run(decoded, data, size); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (object.empty()) {
        const kasm::Assembly a = kasm::assemble(program, "f");
        if (!a.ok()) {
            std::abort();
        }
        object = a.bytes();
    }
    if (size > BODY) {
        return 0;
    }
    const child_output::Outcome plain = child(false, data, size);
    const child_output::Outcome decoded = child(true, data, size);
    const bool out_of_time = (WIFSIGNALED(plain.status) && WTERMSIG(plain.status) == SIGXCPU) ||
                             (WIFSIGNALED(decoded.status) && WTERMSIG(decoded.status) == SIGXCPU);
    if (!out_of_time && (plain.status != decoded.status || plain.seen != decoded.seen)) {
        std::fprintf(stderr, "decoded run differs: status %d against %d, %zu against %zu bytes\n", decoded.status,
                     plain.status, decoded.seen.size(), plain.seen.size());
        std::abort();
    }
    return 0;
}
