// Differential test of the decoded forms against the plain interpreter: every
// program runs twice, once with decoding on and once with every instruction
// through its own body, each run in a child process (a fault ends the
// program). Everything a script can see must agree: messages, exit status,
// results, what natives were told, saved states and every byte of the arena.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/script/bench_functions.h"
#include "core/byte_order.h"
#include "link_programs.h"
#include "script/kcontext.h"
#include "script/kdecode.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/kload.h"
#include "script/krun.h"
#include "script/ksave.h"
#include "state_program.h"
#include "support/child_output.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

std::vector<uint8_t> program_object;
uint32_t budget_calls = 0;
constexpr uint32_t BUDGET = 4000;

// Everything observable goes to the parent through the child's pipe.
using child_output::Outcome;
using child_output::put;
using child_output::put_text;
void put_word(uint32_t v) { put(&v, 4); }

void native_note(void*, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    put_text("note");
    put_word(static_cast<uint32_t>(c->tick));
    for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
        put_word(read_le32(args + i));
    }
}
// Reports the cells just below the stack: what instructions left there.
void native_below(void*, kcontext_t* c, const uint8_t* args, uint32_t)
{
    const uint32_t sp = static_cast<uint32_t>(args - c->arena.base());
    put_text("below");
    for (uint32_t k = 1; k <= 4; ++k) {
        put_word(k_load32(c, sp - 4 * k));
    }
}
// Bounds every run: both modes stop at the same call.
void native_budget(void*, kcontext_t*, const uint8_t*, uint32_t)
{
    if (++budget_calls > BUDGET) {
        put_text("out of budget");
        _exit(7);
    }
}
void native_call(void*, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    if (bytes >= 4) {
        const uint32_t arg = 5;
        call_address(c, read_le32(args), std::span<const uint32_t>(&arg, 1));
    }
}

// Text streams of the context: what is written to descriptor 3 (saves) is
// kept in `saved` too; loads read `load_text`.
std::string saved;
std::string load_text;
size_t load_pos = 0;
std::string load_token;

kcontext_t* child_context(bool decoded, kinit_t init)
{
    static const uint32_t ticks_per_second = 70;
    static const kbuiltin_t builtins[] = {
        {"note", native_note, nullptr, 0},
        {"budget", native_budget, nullptr, 0},
        {"below", native_below, nullptr, 0},
        {"call", native_call, nullptr, 0},
        {"_ticks_per_second", nullptr, &ticks_per_second, 4},
        {nullptr, nullptr, nullptr, 0},
    };
    kcontext_t* c = K_AllocContext(nullptr, builtins, nullptr, 8u << 20);
    if (c == nullptr) {
        _exit(91);
    }
    kiofuncs_t io{};
    io.puts = [](void* h, const char* text) {
        put_text(text);
        if (h != nullptr) {
            *static_cast<std::string*>(h) += text;
        }
    };
    io.putc = [](void* h, int ch) {
        const char b = static_cast<char>(ch);
        put(&b, 1);
        if (h != nullptr) {
            *static_cast<std::string*>(h) += b;
        }
    };
    io.error = [](void*) { return 0; };
    io.fd[3] = &saved;
    io.getc = [](void*) { return load_pos < load_text.size() ? static_cast<unsigned char>(load_text[load_pos++]) : -1; };
    io.gettok = [](void*) -> const char* {
        while (load_pos < load_text.size() && std::isspace(static_cast<unsigned char>(load_text[load_pos]))) {
            ++load_pos;
        }
        if (load_pos >= load_text.size()) {
            return nullptr;
        }
        load_token.clear();
        while (load_pos < load_text.size() && !std::isspace(static_cast<unsigned char>(load_text[load_pos]))) {
            load_token += load_text[load_pos++];
        }
        return load_token.c_str();
    };
    io.fileread = [](const char*, char** buffer) {
        *buffer = static_cast<char*>(std::malloc(program_object.size()));
        std::memcpy(*buffer, program_object.data(), program_object.size());
        return static_cast<uint32_t>(program_object.size());
    };
    kio_install(c, &io);
    kdecode_enable(c, decoded);
    const char* names[] = {"test.kob", nullptr};
    if (K_Link(c, names) != 1 || K_AllocResources(c, &init) != 1) {
        put_text("no link");
        _exit(92);
    }
    return c;
}

// Everything the scripts could have changed.
void put_state(kcontext_t* c)
{
    put_text("end");
    put(c->result, sizeof(c->result));
    put_word(static_cast<uint32_t>(c->tick));
    put_word(c->stackheap.free);
    put_word(c->taskpool.free);
    put_word(c->waitlist);
    put(c->arena.base() + KARENA_LOW, c->arena.mark() - KARENA_LOW);
}

using Scenario = std::function<void(kcontext_t*)>;

Outcome run_child(bool decoded, kinit_t init, const Scenario& scenario)
{
    const Outcome o = child_output::run([&] {
        alarm(20);  // a run that never ends fails the comparison instead of the suite
        kcontext_t* c = child_context(decoded, init);
        scenario(c);
        put_state(c);
    });
    if (!o.started) {
        ADD_FAILURE() << "pipe";
    }
    return o;
}

// Runs the program in both modes; true when they agree.
void expect_same(const std::string& source, const Scenario& scenario, kinit_t init = {64, 32, 64})
{
    const kasm::Assembly a = kasm::assemble(source, "test");
    for (const std::string& e : a.errors) {
        ADD_FAILURE() << e;
    }
    ASSERT_TRUE(a.ok());
    program_object = a.bytes();
    const Outcome plain = run_child(false, init, scenario);
    const Outcome decoded = run_child(true, init, scenario);
    ASSERT_FALSE(WIFSIGNALED(plain.status)) << "the plain run was killed by signal " << WTERMSIG(plain.status);
    EXPECT_EQ(decoded.status, plain.status);
    if (decoded.seen != plain.seen) {
        size_t at = 0;
        while (at < plain.seen.size() && at < decoded.seen.size() && plain.seen[at] == decoded.seen[at]) {
            ++at;
        }
        ADD_FAILURE() << "the runs differ from byte " << at << " of " << plain.seen.size() << " (plain) and "
                      << decoded.seen.size() << " (decoded); plain: \""
                      << plain.seen.substr(at >= 40 ? at - 40 : 0, 120) << "\"";
    }
}

uint32_t at(kcontext_t* c, const char* name) { return labels_address_of(c->labels, name); }

// A generated program: task "main" loops over random statements on its
// locals (local 0 counts the passes), the globals, its argument and its own
// code. Statements keep the stack depth, so forward jumps land at the
// statement boundaries they name.
class Generator {
public:
    explicit Generator(uint32_t seed) : rng(seed) {}

    std::string program()
    {
        std::string body;
        const int count = pick(6, 28);
        for (int i = 0; i < count; ++i) {
            body += ".s" + std::to_string(i) + ":\n";
            body += statement(i, count);
        }
        body += ".s" + std::to_string(count) + ":\n";
        return R"(
.global main, helper, pick, g0
.code
.func main, 96
    push 0, 0, 0
    pushargs
    load1
    push 3
    and
    push 2
    add
.top:
    callnative @budget, 0
)" + body + R"(
    push 1
    pushspofs 4
    load1
    sub
    pushspofs 4
    store1
    pushsp
    load1
    jgt .top
    pushsp
    load1
    ret1
.func helper, 16
    pushargs
    load1
    push 3
    imul
    ret1
.func pick, 16
    pushargs
    load1
    push 0
    icmp
    jge .low
    push 7
    ret1
.low:
    push -9
    ret1
.data
g0: .word 7, -3, 100, 0x80000000
)";
    }

private:
    std::mt19937 rng;
    int patches = 0;

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    template <typename T, size_t N>
    const T& one(const T (&options)[N])
    {
        return options[pick(0, static_cast<int>(N) - 1)];
    }

    // The address of local i (1..3) when `depth` cells lie above the locals.
    std::string local(int i, int depth)
    {
        const int offset = 4 * (i + depth);
        if (offset == 0) {
            return "    pushsp\n";
        }
        return "    pushspofs " + std::to_string(offset) + "\n";
    }
    // A value pushed: a local, the argument, a global or an immediate.
    std::string value(int depth)
    {
        switch (pick(0, 6)) {
        case 6: return "    pushspofs " + std::to_string(-4 * pick(1, 3)) + "\n    load1\n";  // what lies below the stack
        case 0: return "    pushargs\n    load1\n";
        case 1: return "    pushargsofs 0\n    load1\n";
        case 2: return "    push g0 + " + std::to_string(4 * pick(0, 3)) + "\n    load1\n";
        case 3: return "    push " + std::to_string(pick(-5, 5)) + "\n";
        default: return local(pick(0, 3), depth) + "    load1\n";
        }
    }
    std::string binary()
    {
        static const char* const ops[] = {"add", "sub", "icmp", "add", "sub", "icmp", "ucmp", "and", "xor", "imul"};
        return std::string("    ") + one(ops) + "\n";
    }
    std::string jump()
    {
        static const char* const jumps[] = {"jz", "jnz", "jgt", "jlt", "jge", "jle"};
        return std::string("    ") + one(jumps) + " ";
    }
    std::string store_local(int depth) { return local(pick(1, 3), depth) + "    store1\n"; }
    std::string forward(int i, int count) { return ".s" + std::to_string(pick(i + 1, count)) + "\n"; }

    std::string statement(int i, int count)
    {
        switch (pick(0, 15)) {
        case 0:
        case 1:  // local = value op value
            return value(0) + value(1) + binary() + store_local(1);
        case 2:  // local = local op immediate, through a patchable immediate and opcode
        {
            const std::string n = std::to_string(patches++);
            return value(0) + ".imm" + n + ":\n    push " + std::to_string(pick(-9, 9)) + "\n.op" + n + ":\n" +
                   binary() + store_local(1);
        }
        case 3:
        case 4:  // a forward jump on a comparison
            return value(0) + value(1) + binary() + jump() + forward(i, count);
        case 5:  // a pair of locals
            return local(pick(0, 2), 0) + "    load2\n" + binary() + store_local(1);
        case 6:  // a store into the code: an immediate or a binary opcode of an earlier statement
            if (patches == 0) {
                return "    push 1\n    wait\n";
            }
            if (pick(0, 1) == 0) {
                return value(0) + "    push .imm" + std::to_string(pick(0, patches - 1)) + " + 1\n    store1\n";
            } else {
                static const int ops[] = {INST_ADD, INST_SUB, INST_ICMP, INST_UCMP, INST_AND, INST_XOR};
                return "    push " + std::to_string(one(ops)) + "\n    push .op" +
                       std::to_string(pick(0, patches - 1)) + "\n    storebyte\n";
            }
        case 7:  // a wait
            return "    push " + std::to_string(pick(0, 2)) + "\n    wait\n";
        case 8:  // what a native sees, and what lies below the stack
            return pick(0, 1) == 0 ? value(0) + "    callnative @note, 4\n" : "    callnative @below, 0\n";
        case 9:  // calls and their results
            if (pick(0, 1) == 0) {
                return value(0) + "    call helper, 4\n    pushresult1\n" + store_local(1);
            }
            return value(0) + "    call pick, 4\n" + value(0) + "    pushresult1\n" + binary() + store_local(1);
        case 10:  // a global store
            return value(0) + "    push g0 + " + std::to_string(4 * pick(0, 3)) + "\n    store1\n";
        case 11:  // tasks: start one, or kill those of an argument
            if (pick(0, 1) == 0) {
                return "    push " + std::to_string(pick(0, 3)) + ", main, " + std::to_string(pick(1, 3)) +
                       "\n    start\n";
            }
            return "    push " + std::to_string(pick(1, 3)) + "\n    killarg\n";
        case 12:  // a native that runs a script function at once
            return "    push helper\n    callnative @call, 4\n    pushresult1\n" + store_local(1);
        case 13:  // a division that may report a zero divisor
            return value(0) + value(1) + "    idiv\n" + store_local(1);
        case 14:  // rarely a fault: a bad load or a store into the die code
            if (pick(0, 5) != 0) {
                return value(0) + "    pop1\n";
            }
            if (pick(0, 1) == 0) {
                return "    pushspofs " + std::to_string(pick(1, 8) << 24) + "\n    load1\n    pop1\n";
            }
            return "    push 1, " + std::to_string(K_DIECODE) + "\n    store1\n";
        default:  // an increment of a local, as counted loops do
        {
            const int l = pick(1, 3);
            return local(l, 0) + "    load1\n    push 1\n    add\n" + local(l, 1) + "    store1\n";
        }
        }
    }
};

// Tasks of three arguments, ticks, a kill, saves and a synchronous call.
void random_scenario(kcontext_t* c)
{
    const uint32_t main = at(c, "main");
    for (uint32_t arg = 1; arg <= 3; ++arg) {
        start_task(c, main, arg, static_cast<int32_t>(arg) - 2);
    }
    const uint32_t nine = 9;
    call_address(c, main, std::span<const uint32_t>(&nine, 1));
    put(c->result, sizeof(c->result));
    for (int tick = 0; tick < 30 && c->waitlist != 0; ++tick) {
        run_tick(c);
        if (tick == 5 || tick == 17) {
            put_text("save");
            put_word(static_cast<uint32_t>(save_state(c, 3)));
        }
        if (tick == 11) {
            put_word(kill_tasks_with_arg(c, 2));
        }
    }
}

TEST(DecodeDifferential, RandomProgramsAgreeWithThePlainInterpreter)
{
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        Generator g(seed);
        const std::string source = g.program();
        SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + source);
        expect_same(source, random_scenario);
        if (HasFailure()) {
            return;
        }
    }
}

// The benchmark's kind of loops and recursion, and the instructions of every
// kind on numbers, through both.
TEST(DecodeDifferential, NumericProgramsAgree)
{
    const std::string source = R"(
.global main, sum, fib, mix
.code
.func main, 0
    ret
)" + std::string(BENCH_SUM_AND_FIB) + R"(.func mix, 64
    pushargs
    load1
    itof
    dup1
    fmul
    sqrt
    push 0
    pushargs
    load1
    idiv
    pushargsofs 0
    load1
    push 7
    imod
    push 0x1234
    shl
    ucmp
    push 3.5
    fadd
    ftoi
    add
    ret1
)";
    expect_same(source, [](kcontext_t* c) {
        for (const char* f : {"sum", "fib", "mix"}) {
            for (uint32_t n : {0u, 1u, 2u, 17u, 0xFFFFFFFFu}) {
                const uint32_t arg = std::strcmp(f, "fib") == 0 ? n % 18 : n % 5000;
                call_address(c, at(c, f), std::span<const uint32_t>(&arg, 1));
                put(c->result, 4);
            }
        }
    });
}

// The loader's program: objects saved, loaded and saved again, in both.
TEST(DecodeDifferential, SavesAndLoadsOfTheStateProgramAgree)
{
    expect_same(state_program, [](kcontext_t* c) {
        for (const char* f : {"make_thing", "make_far", "make_thing"}) {
            call_address(c, at(c, f), {});
        }
        start_task(c, at(c, "waiter"), 0, 0);
        start_task(c, at(c, "worker"), 4, 3);
        run_tick(c);
        put_word(static_cast<uint32_t>(save_state(c, 3)));
        load_text = saved;
        put_word(static_cast<uint32_t>(load_state(c, 0)));
        put_text(load_state_failure());
        saved.clear();
        put_word(static_cast<uint32_t>(save_state(c, 3)));
        for (int i = 0; i < 5; ++i) {
            run_tick(c);
        }
    });
}

// The linker's programs: a data row, a native and relocated words; initialisers at the next tick.
TEST(DecodeDifferential, TheLinkersProgramsAgree)
{
    expect_same(link_main_program, [](kcontext_t* c) {
        call_address(c, at(c, "main"), {});
        put(c->result, 4);
    });
    expect_same(link_init_program, [](kcontext_t* c) {
        K_StartInits(c);
        for (int i = 0; i < 3; ++i) {
            run_tick(c);
        }
    });
}

// The loader's fixtures (its fuzz target's corpus): each state loaded into
// the state program, its tasks run for some ticks, then saved again.
TEST(DecodeDifferential, TheLoadersFixturesAgree)
{
    namespace fs = std::filesystem;
    const char* root = std::getenv("OSTREL_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    const fs::path dir = fs::path(root) / "tests/fixtures/fuzz/fuzz_state_load";
    std::vector<fs::path> fixtures;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        fixtures.push_back(e.path());
    }
    ASSERT_FALSE(fixtures.empty());
    std::sort(fixtures.begin(), fixtures.end());
    for (const fs::path& f : fixtures) {
        SCOPED_TRACE(f.filename().string());
        std::ifstream in(f, std::ios::binary);
        load_text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        expect_same(state_program, [](kcontext_t* c) {
            put_word(static_cast<uint32_t>(load_state(c, 0)));
            put_text(load_state_failure());
            for (int i = 0; i < 20; ++i) {
                run_tick(c);
            }
            put_word(static_cast<uint32_t>(save_state(c, 3)));
        });
    }
}

// Faults found inside a fused sequence name the instruction that makes them.
TEST(DecodeDifferential, FaultsInsideFusedSequencesAgree)
{
    struct Case {
        const char* name;
        const char* code;
    };
    const Case cases[] = {
        {"load from a bad local", "pushspofs 0x7FFF0000\n load1\n push 1\n add\n ret1"},
        {"load2 from the arena's end", "push 0x7FFFFFF8\n pushargs\n store1\n pushargs\n load1\n load2\n ret1"},
        // The address is patched into the pushspofs: the die code, from that sp.
        {"store into the die code",
         "push 5\n pushsp\n push 0x10000\n sub\n push .x + 1\n store1\n.x:\n pushspofs 0\n store1\n ret"},
        {"store through a bad argument pointer", "pushargs\n load1\n push 1\n add\n pushargsofs 0x40000000\n store1\n ret"},
        {"compare and jump on an empty stack", "addsp 24\n icmp\n jge .x\n.x:\n ret"},
        {"push below the page", "addsp -60\n push 1\n push 2\n add\n pushspofs 4\n load1\n ret1"},
        {"jump into the middle of a fused form", "push 4\n jump .mid\n push 9\n.mid:\n add\n pushsp\n store1\n ret"},
        {"result added and returned below the page", "addsp -64\n pushresult1\n add\n ret1"},
        {"return into a push of the result below the page",
         "addsp -64\n call g, 0\n pushresult1\n ret1\n.func g, 4\n push 7\n ret1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // Data after the code, as linked scripts have it: the code's last bytes get forms too.
        expect_same(std::string(".global main, f\n.code\n.func main, 0\n ret\n.func f, 64\n") + k.code +
                        "\n.data\n .space 32\n",
                    [](kcontext_t* c) {
                        const uint32_t arg = 3;
                        call_address(c, at(c, "f"), std::span<const uint32_t>(&arg, 1));
                        put(c->result, 4);
                    });
    }
}

} // namespace
