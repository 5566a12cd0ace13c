// The instructions, each through a small function called from the host; the
// result register holds what the function returned.
#include "script_fixture.h"

#include <bit>
#include <climits>
#include <cstdio>

namespace {

uint32_t f(float x) { return std::bit_cast<uint32_t>(x); }

struct Case {
    const char* name;
    const char* code;  // body of "f"; ends with its own ret
    std::vector<uint32_t> result;
};

class Interp : public ScriptFixture {
protected:
    void run_case(const Case& k)
    {
        SCOPED_TRACE(k.name);
        const std::string source = std::string(R"(
.global f, g, Obj@vt, table, text_a, text_b
.code
.func f, 64
)") + k.code + R"(
.func g, 8
    pushargs
    load2
    sub
    ret1
.func method2, 4
    pushargsofs 4
    load1
    push 1000
    add
    ret1
.data
table: .word g, method2
.class Obj@vt, 8
    .method g
    .method method2
.endclass
.rodata
text_a: .string "abc"
text_b: .string "abd"
)";
        ASSERT_NO_FATAL_FAILURE(load(source));
        ASSERT_TRUE(call_address(c, address("f"), {}));
        for (size_t i = 0; i < k.result.size(); ++i) {
            EXPECT_EQ(c->result[i], k.result[i]) << "cell " << i;
        }
        EXPECT_EQ(free_pages(), 32u);
        K_FreeContext(c);
        c = nullptr;
    }
};

TEST_F(Interp, Integers)
{
    const Case cases[] = {
        {"left is on top", "push 10, 3\n sub\n ret1", {7}},
        {"add wraps", "push 0x7FFFFFFF, 1\n add\n ret1", {0x80000000u}},
        {"mul low bits", "push 0x10000, 0x10001\n imul\n ret1", {0x10000}},
        {"idiv truncates", "push -7, 2\n idiv\n ret1", {static_cast<uint32_t>(-3)}},
        {"imod sign of left", "push -7, 2\n imod\n ret1", {static_cast<uint32_t>(-1)}},
        {"INT_MIN / -1", "push 0x80000000, -1\n idiv\n ret1", {0x80000000u}},
        {"INT_MIN % -1", "push 0x80000000, -1\n imod\n ret1", {0}},
        {"udiv", "push 0xFFFFFFFF, 16\n udiv\n ret1", {0x0FFFFFFF}},
        {"shl mod 32", "push 1, 33\n shl\n ret1", {2}},
        {"shr zero fill", "push 0x80000000, 31\n shr\n ret1", {1}},
        {"sar sign fill", "push 0x80000000, 31\n sar\n ret1", {0xFFFFFFFFu}},
        {"neg", "push 5\n neg\n ret1", {static_cast<uint32_t>(-5)}},
        {"abs of INT_MIN", "push 0x80000000\n abs\n ret1", {0x80000000u}},
        {"ucmp", "push 1, -1\n ucmp\n ret1", {0xFFFFFFFFu}},
        {"icmp", "push 1, -1\n icmp\n ret1", {1}},
        {"lxor 0 5", "push 0, 5\n lxor\n ret1", {5}},
        {"lxor 3 5", "push 3, 5\n lxor\n ret1", {0}},
        {"land", "push 2, 4\n land\n ret1", {1}},
        {"lor", "push 0, 0\n lor\n ret1", {0}},
        {"not", "push 0\n not\n ret1", {0xFFFFFFFFu}},
        {"iszero", "push 0\n iszero\n ret1", {1}},
        {"isneg", "push -3\n isneg\n ret1", {1}},
        {"isnonpos", "push 1\n isnonpos\n ret1", {0}},
        {"sextbyte", "push 0x180\n sextbyte\n ret1", {0xFFFFFF80u}},
        {"zextbyte", "push 0x180\n zextbyte\n ret1", {0x80}},
    };
    for (const Case& k : cases) {
        run_case(k);
    }
}

TEST_F(Interp, DivisionByZeroIsReportedAndDividesByOne)
{
    run_case({"idiv by 0", "push 9, 0\n idiv\n ret1", {9}});
    EXPECT_NE(io_text[KFD_STDERR].find("KRun: checkzero() at 0x"), std::string::npos) << io_text[KFD_STDERR];
    EXPECT_NE(io_text[KFD_STDERR].find("(f+14)!"), std::string::npos) << "the next instruction";
    io_text[KFD_STDERR].clear();
    run_case({"fdiv by -0.0", "push 3.0, -0.0\n fdiv\n ret1", {f(3.0f)}});
    EXPECT_NE(io_text[KFD_STDERR].find("checkzero()"), std::string::npos);
    io_text[KFD_STDERR].clear();
    run_case({"sqrt of -1", "push -1.0\n sqrt\n ret1", {f(0.0f)}});
    EXPECT_NE(io_text[KFD_STDERR].find("checksqrt()"), std::string::npos);
}

TEST_F(Interp, Floats)
{
    const uint32_t nan = 0x7FC00000;
    const Case cases[] = {
        {"fadd", "push 1.5, 2.25\n fadd\n ret1", {f(3.75f)}},
        {"fsub3", "push 5.0, 6.0, 7.0, 1.0, 2.0, 3.0\n fsub3\n ret3", {f(4.0f), f(4.0f), f(4.0f)}},
        {"fsign -0", "push -0.0\n fsign\n ret1", {0}},
        {"fsign nan", "push 0x7FC00000\n fsign\n ret1", {1}},
        {"fsign3 first non-zero", "push 0.0, -2.0, 5.0\n fsign3\n ret1", {0xFFFFFFFFu}},
        {"fcmp2 (1,5) (1,3)", "push 1.0, 5.0, 1.0, 3.0\n fcmp2\n ret1", {1}},
        {"fcmp2 (1,5) (2,0)", "push 1.0, 5.0, 2.0, 0.0\n fcmp2\n ret1", {0xFFFFFFFFu}},
        {"fcmp nan", "push 0x7FC00000, 1.0\n fcmp\n ret1", {0}},
        {"dot", "push 1.0, 2.0, 3.0, 4.0, 5.0, 6.0\n dot\n ret1", {f(32.0f)}},
        {"cross x*y", "push 1.0, 0.0, 0.0, 0.0, 1.0, 0.0\n cross\n ret3", {f(0.0f), f(0.0f), f(1.0f)}},
        {"cmul", "push 1.0, 2.0, 3.0, 4.0\n cmul\n ret2", {f(-5.0f), f(10.0f)}},
        {"cdiv", "push -5.0, 10.0, 3.0, 4.0\n cdiv\n ret2", {f(1.0f), f(2.0f)}},
        {"scale3", "push 2.0, 1.0, 2.0, 3.0\n scale3\n ret3", {f(2.0f), f(4.0f), f(6.0f)}},
        {"divscalar2", "push 2.0, 4.0, 8.0\n divscalar2\n ret2", {f(2.0f), f(4.0f)}},
        {"divlength3", "push 3.0, 0.0, 0.0, 0.0, 0.0, 2.0\n divlength3\n ret3", {f(1.5f), f(0.0f), f(0.0f)}},
        {"length3", "push 2.0, 3.0, 6.0\n length3\n ret1", {f(7.0f)}},
        {"fmod sign of left", "push -7.5, 2.0\n fmod\n ret1", {f(-1.5f)}},
        {"fmod by zero", "push 1.0, 0.0\n fmod\n push 0x7FFFFFFF\n and\n ret1", {nan}},
        {"round", "push -2.5\n round\n ret1", {f(-2.0f)}},
        {"floor", "push -2.5\n floor\n ret1", {f(-3.0f)}},
        {"fabs -0", "push -0.0\n fabs\n ret1", {0x80000000u}},
        {"itof", "push -3\n itof\n ret1", {f(-3.0f)}},
        {"utof", "push 0xFFFFFFFF\n utof\n ret1", {f(4294967296.0f)}},
        {"ftoi truncates", "push -2.75\n ftoi\n ret1", {static_cast<uint32_t>(-2)}},
        {"ftoi out of range", "push 3e9\n ftoi\n ret1", {0x80000000u}},
        {"ftou low bits", "push 3e9\n ftou\n ret1", {3000000000u}},
        {"ftou negative", "push -1.0\n ftou\n ret1", {0xFFFFFFFFu}},
        {"fneg3", "push 1.0, -2.0, 0.0\n fneg3\n ret3", {f(-1.0f), f(2.0f), 0x80000000u}},
    };
    for (const Case& k : cases) {
        run_case(k);
    }
}

TEST_F(Interp, StackMemoryAndResults)
{
    const Case cases[] = {
        {"push3 leaves the first on top", "push 1, 2, 3\n ret3", {1, 2, 3}},
        {"store3 writes in order", "addsp -12\n push 7, 8, 9\n pushspofs 12\n store3\n pushsp\n load3\n ret3", {7, 8, 9}},
        {"storebyte loadbyte", "addsp -4\n push 0\n pushspofs 4\n store1\n push 0x1FF\n pushspofs 4\n storebyte\n pushsp\n load1\n ret1", {0xFF}},
        {"dup2", "push 4, 5\n dup2\n add\n ret3", {9, 4, 5}},
        {"nip", "push 1, 2\n nip\n ret1", {1}},
        {"nip2", "push 1, 2, 3\n nip2\n ret1", {1}},
        {"popnip", "push 1, 2, 3\n popnip\n ret1", {2}},
        {"pop2", "push 1, 2, 3\n pop2\n ret1", {3}},
        {"setresult keeps the stack", "push 6, 7\n setresult2\n pop2\n ret", {6, 7}},
        {"pushresult", "push 6, 7\n setresult2\n pushresult2\n sub\n ret1", {static_cast<uint32_t>(-1)}},
        {"identity", "push 8\n identity\n ret1", {8}},
        {"strlen", "push text_a\n strlen\n ret1", {3}},
        {"strcmp", "push text_b, text_a\n strcmp\n ret1", {1}},
    };
    for (const Case& k : cases) {
        run_case(k);
    }
}

TEST_F(Interp, JumpsCallsAndObjects)
{
    const Case cases[] = {
        {"switchtable below low goes to default", "push 1\n switchtable .d, 2, .a, .b\n.a: push 10\n ret1\n.b: push 11\n ret1\n.d: push 12\n ret1", {12}},
        {"switchtable hit", "push 3\n switchtable .d, 2, .a, .b\n.a: push 10\n ret1\n.b: push 11\n ret1\n.d: push 12\n ret1", {11}},
        {"switchsearch hit", "push -5\n switchsearch .d, 9=.a, -5=.b, 0=.d\n.a: push 10\n ret1\n.b: push 11\n ret1\n.d: push 12\n ret1", {11}},
        {"switchsearch miss", "push 4\n switchsearch .d, 9=.a, -5=.b\n.a: push 10\n ret1\n.b: push 11\n ret1\n.d: push 12\n ret1", {12}},
        {"call drops its argument bytes", "push 50, 8, 99\n call g, 8\n pushresult1\n ret2", {42, 99}},
        {"callptr", "push 50, 8\n push g\n callptr 8\n pushresult1\n ret1", {42}},
        {"calltable", "push 5\n push table\n calltable 4, 8\n pushresult1\n ret1", {1005}},
        {"new, callmethod, loadmethod",
         "new 12, Obj@vt\n push 7\n pushspofs 4\n load1\n store1\n"
         " push 5\n pushspofs 4\n load1\n callmethod 4, 8\n pushresult1\n"
         " pushspofs 4\n load1\n loadmethod 0\n push g\n sub\n pushspofs 8\n load1\n load1\n ret3",
         {7, 0, 1005}},
        {"native drops its argument bytes", "push 1, 2, 3\n callnative @note, 8\n ret1", {3}},
    };
    for (const Case& k : cases) {
        run_case(k);
    }
}

// Each conditional jump at both sides of zero and at the ends of a cell; the
// cell under the tested one shows the test popped exactly one.
TEST_F(Interp, ConditionalJumps)
{
    struct Jump {
        const char* op;
        bool (*taken)(int32_t);
    };
    const Jump jumps[] = {
        {"jz", [](int32_t x) { return x == 0; }},
        {"jnz", [](int32_t x) { return x != 0; }},
        {"jgt", [](int32_t x) { return x > 0; }},
        {"jlt", [](int32_t x) { return x < 0; }},
        {"jge", [](int32_t x) { return x >= 0; }},
        {"jle", [](int32_t x) { return x <= 0; }},
        {"jump", [](int32_t) { return true; }},
    };
    const int32_t values[] = {INT_MIN, -1, 0, 1, INT_MAX};
    for (const Jump& j : jumps) {
        for (const int32_t v : values) {
            const std::string name = std::string(j.op) + " " + std::to_string(v);
            char pushes[32];
            std::snprintf(pushes, sizeof pushes, "push 0x%X, 77\n", static_cast<unsigned>(v));
            const bool tests = j.op != std::string("jump");
            const std::string code =
                std::string(tests ? pushes : "push 77\n") + " " + j.op + " .y\n push 1\n ret2\n.y: push 2\n ret2";
            run_case({name.c_str(), code.c_str(), {j.taken(v) ? 2u : 1u, 77u}});
        }
    }
}

TEST_F(Interp, NewObjectsAreClearedAndDeletedCellsReused)
{
    run_case({"delete then new", "new 12, Obj@vt\n push 55\n pushspofs 4\n load1\n store1\n dup1\n delete\n"
                                 " new 12, Obj@vt\n dup1\n load1\n pushspofs 4\n load2\n sub\n ret2",
              {0, 0}});
}

} // namespace
