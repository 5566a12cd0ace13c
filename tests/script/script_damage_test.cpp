// Scripts can write every word of their arena, the run-time's own structures
// included: the links of freed objects, the heap's nodes, task and level
// records, free pages and frames. Damage is found before a link is followed
// and ends the program as a broken script ("KRun: broken ...!", the script
// address, code 255), never as a host assertion or a write elsewhere.
#include "script_fixture.h"

#include "script/cellheap.h"
#include "script/kcontext.h"

namespace {

// Objects a and b are buddies of one cell of the class above; the first
// argument is the word a dangling reference writes.
const char* const damage_program = R"(
.global dangle_prev, dangle_next, dangle_anchor, dangle_pair, dangle_buddy
.global poke_only, poke_new, poke_start, poke_call, poke_wait, poke_kill, waiter, big
.maxframe 64
.objsizes 8, 60
.macro make
    new 16, 0
    push slot_a
    store1
    new 16, 0
    push slot_b
    store1
.endm
.macro del slot
    push \slot
    load1
    delete
.endm
.macro put slot, offset
    pushargs
    load1
    push \offset
    push \slot
    load1
    add
    store1
.endm
.macro poke
    pushargsofs 4
    load1
    pushargs
    load1
    store1
.endm
.code
.func dangle_prev, 0
    make
    del slot_a
    put slot_a, 0
    new 16, 0
    ret
.func dangle_next, 0
    make
    del slot_a
    put slot_a, 0xFFFFFFFC
    new 16, 0
    ret
.func dangle_anchor, 0
    make
    del slot_a
    put slot_a, 4
    new 16, 0
    ret
.func dangle_pair, 0
    make
    del slot_b
    del slot_a
    put slot_a, 0xFFFFFFFC
    new 16, 0
    ret
.func dangle_buddy, 0
    make
    del slot_b
    put slot_b, 4
    del slot_a
    ret
.func poke_only, 0
    poke
    ret
.func poke_new, 0
    poke
    new 16, 0
    ret
.func poke_start, 0
    poke
    push 0
    push 0
    push waiter
    start
    ret
.func poke_call, 0
    poke
    call big, 0
    ret
.func poke_wait, 0
    poke
    push 10
    wait
    ret
.func poke_kill, 0
    poke
    pushargsofs 8
    load1
    kill
    ret
.func waiter, 0
    push 100
    wait
    ret
.func big, 60
    ret
.data
slot_a: .word 0
slot_b: .word 0
)";

class ScriptDamage : public ScriptFixture {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        load(damage_program);
        kio_defaults(c);
    }
    void call(const char* function, std::vector<uint32_t> args) { call_address(c, address(function), args); }
    static std::string at(const char* function)
    {
        return std::string(" at 0x[0-9a-f]+ \\(") + function + "\\+[0-9]+\\)!";
    }
};

TEST_F(ScriptDamage, DanglingWritesIntoFreedObjectsBreakTheHeapVisibly)
{
    struct Case {
        const char* function;
        uint32_t value;
    };
    // Values inside the arena would have been written through; values outside it asserted.
    const Case cases[] = {
        {"dangle_prev", 0x12345}, {"dangle_prev", 0xFFFF0000u}, {"dangle_next", 0x12345},
        {"dangle_next", 7},       {"dangle_anchor", 0x12345},   {"dangle_pair", 0x12345},
        {"dangle_pair", 0},       {"dangle_buddy", 0x12345},    {"dangle_buddy", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.function << " " << k.value);
        EXPECT_EXIT(call(k.function, {k.value}), ::testing::ExitedWithCode(255),
                    "KRun: broken object heap" + at(k.function));
    }
}

TEST_F(ScriptDamage, WildWritesIntoTheRunTimeAreFoundBeforeUse)
{
    const uint32_t heap = c->objectheap;
    const uint32_t smallest_node = c->arena.word(heap + CELLHEAP_NODES);
    const uint32_t third_page = c->stackheap.address + 2 * c->stackheap.pagesize;
    const uint32_t second_record = c->arena.word(c->taskpool.free);
    struct Case {
        const char* name;
        const char* function;
        uint32_t address;
        uint32_t value;
        const char* message;
    };
    const Case cases[] = {
        {"heap record", "poke_new", heap + CELLHEAP_BASE, 0x12345, "broken object heap"},
        {"class node list head", "poke_new", smallest_node + CELLNODE_BYTES + CELLNODE_FREE, 0x12345,
         "broken object heap"},
        {"smallest class size", "poke_new", smallest_node + CELLNODE_LO_ANCHOR + 4, 24, "broken object heap"},
        {"free task record link", "poke_start", second_record, 0x12345, "broken task pool"},
        {"free stack page link", "poke_call", third_page, 0x12345, "broken stack page list"},
        {"free stack page link to a record", "poke_call", third_page, c->taskpool.address, "broken stack page list"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EXIT(call(k.function, {k.address, k.value}), ::testing::ExitedWithCode(255),
                    std::string("KRun: ") + k.message + at(k.function));
    }
    EXPECT_EXIT(call("poke_only", {K_DIECODE, 0x12345}), ::testing::ExitedWithCode(255),
                "KRun: bad address 0x00010000 \\(4 bytes\\)" + at("poke_only"));
}

TEST_F(ScriptDamage, DamagedTasksAndLevelsAreFoundBeforeUse)
{
    // A level that a script writes over, then walks when it waits.
    EXPECT_EXIT(
        {
            start_task(c, address("waiter"), 0, 5);
            call("poke_wait", {c->waitlist + LEVEL_NEXT, 0x12345});
        },
        ::testing::ExitedWithCode(255), "KRun: broken wait list" + at("poke_wait"));
    // A waiting task's link, found by the next tick outside any script: the
    // report names the last instruction a script ran.
    EXPECT_EXIT(
        {
            const uint32_t t = start_task(c, address("waiter"), 0, 0);
            call("poke_only", {t + TASK_NEXT, 0x12345});
            run_tick(c);
        },
        ::testing::ExitedWithCode(255), "KRun: broken wait list after 0x[0-9a-f]+ \\(poke_only\\+[0-9]+\\)!");
    // A frame of a waiting task, walked when it is killed.
    EXPECT_EXIT(
        {
            const uint32_t t = start_task(c, address("waiter"), 0, 0);
            run_tick(c);
            const uint32_t frame = c->arena.word(t + TASK_FP);
            call("poke_kill", {frame + FRAME_PAGE, 0x12345, t});
        },
        ::testing::ExitedWithCode(255), "KRun: broken frame" + at("poke_kill"));
    // A waiting task whose record names no stack page of its own, when it resumes.
    EXPECT_EXIT(
        {
            const uint32_t t = start_task(c, address("waiter"), 0, 0);
            run_tick(c);
            call("poke_only", {t + TASK_STACKPAGE, 0x12345});
            for (int i = 0; i < 200; ++i) {
                run_tick(c);
            }
        },
        ::testing::ExitedWithCode(255), "KRun: broken task record" + at("waiter"));
}

} // namespace
