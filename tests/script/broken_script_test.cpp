// Broken scripts are reported as "KRun: ...!" and end the program with code 255;
// the host never faults.
#include "script_fixture.h"

#include "script/kcontext.h"

namespace {

const char* const broken_program = R"(
.global bad_load, bad_store, overflow, bad_opcode, self_kill, bad_native, bad_delete, bad_string, deep
.maxframe 64
.code
.func bad_load, 0
    push 0x10
    load1
    ret
.func bad_store, 0
    push 1
    push 0xFFFFFFF0
    store1
    ret
.func overflow, 0
.loop:
    push 1
    jump .loop
.func bad_opcode, 0
    .byte 200
    ret
.func self_kill, 0
    pushargs
    load1
    kill
    ret
.func bad_native, 0
    callnative 0x1234, 0
    ret
.func bad_delete, 0
    push 0x10000
    delete
    ret
.func bad_string, 0
    push 0x0FFFFFFF
    strlen
    ret
.func deep, 0
    call deep, 0
    ret
)";

class BrokenScript : public ScriptFixture {
protected:
    void SetUp() override
    {
        load(broken_program);
        kio_defaults(c);
    }
    void start(const char* name) { start_task(c, address(name), 0, 0); }
};

struct BrokenCase {
    const char* function;
    const char* message;
};

TEST_F(BrokenScript, EachFaultIsReportedAndEndsWithCode255)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const BrokenCase cases[] = {
        {"bad_load", "KRun: bad address 0x00000010 \\(4 bytes\\) at 0x[0-9a-f]+ \\(bad_load\\+9\\)!"},
        {"bad_store", "KRun: bad address 0xfffffff0"},
        {"overflow", "KRun: stack overflow at"},
        {"bad_opcode", "KRun: unexpected instruction 200 at 0x[0-9a-f]+ \\(bad_opcode\\+4\\)!"},
        {"bad_native", "KRun: call of 0x00001234, which is no builtin"},
        {"bad_delete", "KRun: delete of 0x00010000, which is no object"},
        {"bad_string", "KRun: bad address 0x0fffffff"},
        {"deep", "KRun: full stack table!"},
    };
    for (const BrokenCase& k : cases) {
        SCOPED_TRACE(k.function);
        EXPECT_EXIT((start(k.function), run_tick(c)), ::testing::ExitedWithCode(255), k.message);
    }
}

TEST_F(BrokenScript, ATaskMayNotKillItself)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const uint32_t t = start_task(c, address("self_kill"), 0, 0);
    c->arena.set_word(t + TASK_ARG, t);
    EXPECT_EXIT(run_tick(c), ::testing::ExitedWithCode(255), "KRun: a task may not kill itself");
}

} // namespace
