#include "script_fixture.h"

#include <climits>

#include "script/cellheap.h"

namespace {

const char* const scheduler_program = R"(
.global worker, waiter, ticker, outer, twice, argsum, make, big_caller, small_caller, Thing@vt
.code
; notes its argument
.func worker, 0
    pushargs
    load1
    callnative @note, 4
    ret

; notes its argument, waits 0 ticks, notes it again plus 100
.func waiter, 0
    pushargs
    load1
    callnative @note, 4
    push 0
    wait
    pushargs
    load1
    push 100
    add
    callnative @note, 4
    ret

; notes 1, waits 2 ticks, notes 2, waits 3 ticks, notes 3
.func ticker, 0
    push 1
    callnative @note, 4
    push 2
    wait
    push 2
    callnative @note, 4
    push 3
    wait
    push 3
    callnative @note, 4
    ret

.func outer, 0
    push 1
    callnative @note, 4
    call inner, 0
    push 3
    callnative @note, 4
    ret
.func inner, 8
    addsp -8
    push 5
    wait
    push 2
    callnative @note, 4
    addsp 8
    ret

.func twice, 0
    pushargs
    load1
    dup1
    add
    ret1

; waits a tick, then notes a + b
.func argsum, 0
    push 1
    wait
    pushargsofs 4
    load1
    pushargs
    load1
    add
    callnative @note, 4
    ret

.func make, 0
    new 8, Thing@vt
    ret1
.func thing_hello, 0
    pushargs
    load1
    callnative @note, 4
    pushargsofs 4
    load1
    callnative @note, 4
    ret

.func big_caller, 0
    call big, 0
    ret
.func big, 68
    addsp -64
    push 1
    wait
    addsp 64
    ret
.func small_caller, 0
    call small, 0
    ret
.func small, 0
    push 1
    wait
    ret

.data
.class Thing@vt, 4
    .method thing_hello
.endclass
)";

class Scheduler : public ScriptFixture {
protected:
    void SetUp() override { load(scheduler_program); }
    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            run_tick(c);
        }
    }
};

TEST_F(Scheduler, SameDelayRunsInQueueOrderAtItsTick)
{
    const uint32_t worker = address("worker");
    for (uint32_t arg : {1u, 2u, 3u}) {
        start_task(c, worker, arg, 5);
    }
    run(5);
    EXPECT_TRUE(notes.empty());
    run(1);
    EXPECT_EQ(values(), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(notes[0].tick, 5);
}

TEST_F(Scheduler, NegativeDelaysRunFirstMostNegativeFirst)
{
    const uint32_t worker = address("worker");
    start_task(c, worker, 10, 0);
    start_task(c, worker, 11, -1);
    start_task(c, worker, 12, -5);
    start_task(c, worker, 13, 0);
    run(1);
    EXPECT_EQ(values(), (std::vector<uint32_t>{12, 11, 10, 13}));
}

TEST_F(Scheduler, WaitOfZeroRunsAgainWithinTheSameTickAfterQueuedTasks)
{
    start_task(c, address("waiter"), 1, 0);
    start_task(c, address("worker"), 2, 0);
    run(1);
    ASSERT_EQ(values(), (std::vector<uint32_t>{1, 2, 101}));
    EXPECT_EQ(notes[2].tick, 0);
    EXPECT_EQ(c->tick, 1);
}

TEST_F(Scheduler, WaitCountsTicks)
{
    start_task(c, address("ticker"), 0, 0);
    run(10);
    ASSERT_EQ(values(), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(notes[0].tick, 0);
    EXPECT_EQ(notes[1].tick, 2);
    EXPECT_EQ(notes[2].tick, 5);
}

TEST_F(Scheduler, TickCountWrapsAndOrderHolds)
{
    c->tick = INT32_MAX - 1;
    const uint32_t worker = address("worker");
    start_task(c, worker, 3, 3);
    start_task(c, worker, 1, 1);
    start_task(c, worker, 2, 2);
    run(4);
    ASSERT_EQ(values(), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(notes[0].tick, INT32_MAX);
    EXPECT_EQ(notes[1].tick, INT32_MIN);
    EXPECT_EQ(notes[2].tick, INT32_MIN + 1);
}

TEST_F(Scheduler, SkipIdleTicks)
{
    EXPECT_EQ(skip_idle_ticks(c), 0) << "empty wait list";
    const uint32_t worker = address("worker");
    start_task(c, worker, 1, 0);
    EXPECT_EQ(skip_idle_ticks(c), 0) << "first level due";
    run(1);
    start_task(c, worker, 2, 40);
    EXPECT_EQ(skip_idle_ticks(c), 40);
    EXPECT_EQ(c->tick, 41);
    run(1);
    EXPECT_EQ(values(), (std::vector<uint32_t>{1, 2}));
}

TEST_F(Scheduler, KilledTaskThatHasNotRunEndsWithoutRunningScript)
{
    const uint32_t records = free_records();
    const uint32_t t = start_task(c, address("worker"), 1, 2);
    start_task(c, address("worker"), 2, 2);
    kill_task(c, t);
    run(3);
    EXPECT_EQ(values(), (std::vector<uint32_t>{2}));
    EXPECT_EQ(free_records(), records);
    EXPECT_EQ(free_pages(), 32u);
}

TEST_F(Scheduler, KilledTaskUnwindsEveryFrameAndGivesBackItsPages)
{
    const uint32_t t = start_task(c, address("outer"), 0, 0);
    run(1);
    ASSERT_EQ(values(), (std::vector<uint32_t>{1}));
    EXPECT_LT(free_pages(), 32u);
    kill_task(c, t);
    run(10);
    EXPECT_EQ(values(), (std::vector<uint32_t>{1}));
    EXPECT_EQ(free_pages(), 32u);
    EXPECT_EQ(c->waitlist, 0u);
}

TEST_F(Scheduler, KillTasksWithArgCountsEveryWaitingMatch)
{
    const uint32_t worker = address("worker");
    start_task(c, worker, 7, 1);
    start_task(c, worker, 8, 1);
    start_task(c, worker, 7, 3);
    EXPECT_EQ(kill_tasks_with_arg(c, 7), 2u);
    EXPECT_EQ(kill_tasks_with_arg(c, 7), 2u) << "killed tasks wait until their next run";
    run(5);
    EXPECT_EQ(values(), (std::vector<uint32_t>{8}));
    EXPECT_EQ(kill_tasks_with_arg(c, 7), 0u);
}

TEST_F(Scheduler, ResetFreesEverythingButKeepsTheTick)
{
    const uint32_t pages = free_pages();
    const uint32_t records = free_records();
    start_task(c, address("outer"), 0, 0);
    run(1);
    start_task(c, address("worker"), 1, 9);
    ASSERT_TRUE(call_address(c, address("make"), {}));
    K_ResetResources(c);
    EXPECT_EQ(c->waitlist, 0u);
    EXPECT_EQ(c->tick, 1);
    EXPECT_EQ(free_pages(), pages);
    EXPECT_EQ(free_records(), records);
    EXPECT_FALSE(IsFullHeapCell(c->arena, c->objectheap, c->result[0] - 4));
    run(20);
    EXPECT_EQ(values(), (std::vector<uint32_t>{1}));
}

TEST_F(Scheduler, FullPoolOfDeadTasksIsReclaimed)
{
    K_FreeContext(c);
    c = nullptr;
    notes.clear();
    load(scheduler_program, {8, 8, 16});
    const uint32_t worker = address("worker");
    uint32_t dead[4];
    for (uint32_t& t : dead) {
        t = start_task(c, worker, 1, 10);
    }
    for (uint32_t t : dead) {
        kill_task(c, t);
    }
    start_task(c, worker, 2, 20);
    EXPECT_EQ(free_records(), 1u);
    start_task(c, worker, 3, 30);  // needs two records: only a reclaim finds them
    run(31);
    EXPECT_EQ(values(), (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(free_records(), 8u);
}

TEST_F(Scheduler, CallAddressLeavesTheResult)
{
    const uint32_t arg = 21;
    ASSERT_TRUE(call_address(c, address("twice"), std::span<const uint32_t>(&arg, 1)));
    EXPECT_EQ(c->result[0], 42u);
    EXPECT_EQ(free_pages(), 32u);
    EXPECT_EQ(free_records(), 64u);
}

TEST_F(Scheduler, CallAddressArgumentsOutliveAWait)
{
    const uint32_t args[2] = {30, 12};
    ASSERT_TRUE(call_address(c, address("argsum"), args));
    EXPECT_TRUE(notes.empty());
    run(2);
    EXPECT_EQ(values(), (std::vector<uint32_t>{42}));
    EXPECT_EQ(free_pages(), 32u);
}

TEST_F(Scheduler, CallMethodFindsTheMethodAndPassesTheObjectFirst)
{
    ASSERT_TRUE(call_address(c, address("make"), {}));
    const uint32_t object = c->result[0];
    ASSERT_NE(object, 0u);
    EXPECT_EQ(c->arena.word(object - 4), address("Thing@vt"));
    const uint32_t extra = 9;
    ASSERT_TRUE(call_method(c, 0, object, std::span<const uint32_t>(&extra, 1)));
    EXPECT_EQ(values(), (std::vector<uint32_t>{object, 9}));
}

TEST_F(Scheduler, FrameThatDoesNotFitTakesANewPageAndGivesItBack)
{
    ASSERT_EQ(c->stackheap.pagesize, 68u + 20u);
    start_task(c, address("small_caller"), 0, 0);
    run(1);
    EXPECT_EQ(free_pages(), 31u) << "a frame-0 callee shares the task's page";
    run(2);
    EXPECT_EQ(free_pages(), 32u);
    start_task(c, address("big_caller"), 0, 0);
    run(1);
    EXPECT_EQ(free_pages(), 30u) << "the largest frame needs a page of its own";
    run(2);
    EXPECT_EQ(free_pages(), 32u);
}

TEST_F(Scheduler, KillOfSomethingThatIsNoTaskIsReportedAndIgnored)
{
    const uint32_t records = free_records();
    kill_task(c, 0x12345);
    kill_task(c, c->taskpool.address);  // a free record
    EXPECT_NE(io_text[KFD_STDERR].find("KRun: kill of 0x00012345, which is no waiting task"), std::string::npos);
    EXPECT_EQ(free_records(), records);
}

} // namespace
