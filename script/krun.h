#pragma once
// The script run-time: stack pages, task records, the wait list ordered by
// wake tick, and synchronous calls from the host. Task, level and page values
// are arena addresses.
#include <cstdint>
#include <span>

#include "script/kcontext.h"

constexpr uint32_t KINIT_DEFAULT_TASKS = 1100;
constexpr uint32_t KINIT_DEFAULT_STACKS = 1000;
constexpr uint32_t KINIT_DEFAULT_HEAP = 2000;

int K_AllocResources(kcontext_t* c, const kinit_t* init);
void K_FreeResources(kcontext_t* c);
void K_ResetResources(kcontext_t* c);

void run_tick(kcontext_t* c);
int32_t skip_idle_ticks(kcontext_t* c);

uint32_t start_task(kcontext_t* c, uint32_t function, uint32_t arg, int32_t delay);
uint32_t new_task(kcontext_t* c, uint32_t function);
uint32_t alloc_task_record(kcontext_t* c);
void free_task_record(kcontext_t* c, uint32_t record);
void queue_task(kcontext_t* c, uint32_t task, int32_t delay);
void kill_task(kcontext_t* c, uint32_t task);
uint32_t kill_tasks_with_arg(kcontext_t* c, uint32_t arg);
void reclaim_dead_tasks(kcontext_t* c);
// True when the task is queued on the wait list.
bool task_is_waiting(kcontext_t* c, uint32_t task);

// The record is one of the task pool's.
inline bool in_pool(const kcontext_t* c, uint32_t record)
{
    return c->taskpool.holds_page(record);
}

// A walk of the wait list. Levels and tasks lie in the task pool, where
// scripts can write, so every link is checked before it is followed: it must
// name a record of the pool, and no walk passes more records than the pool
// holds. A link that fails ends the program as a broken wait list, or, for a
// walk that is not fatal, ends the walk with broken set.
class WaitWalk {
public:
    explicit WaitWalk(kcontext_t* context, bool fatal = true)
        : c(context), left(context->taskpool.size / TASK_BYTES), fatal_(fatal)
    {
    }
    // The record, after the check; 0 for 0 and after a failed check.
    uint32_t check(uint32_t record)
    {
        if (record == 0 || broken) {
            return 0;
        }
        if (!in_pool(c, record) || left == 0) [[unlikely]] {
            fail();
            return 0;
        }
        --left;
        return record;
    }
    // The record named by the link word at word_address, checked.
    uint32_t next(uint32_t word_address) { return broken ? 0 : check(c->arena.word(word_address)); }
    bool broken = false;

private:
    kcontext_t* c;
    uint32_t left;
    bool fatal_;

    __attribute__((noinline, cold)) void fail();
};
// A whole walk of the wait list that is not fatal: false when it is broken.
bool wait_list_intact(kcontext_t* c);

// Runs the function at once in a new task; the argument cells are copied into
// the task's first stack page, so they outlive a wait. The result is in
// c->result. False when the arguments do not fit a stack page.
bool call_address(kcontext_t* c, uint32_t function, std::span<const uint32_t> args);
// Function = word at the byte offset in the object's method table; the object is argument 1.
bool call_method(kcontext_t* c, uint32_t offset, uint32_t object, std::span<const uint32_t> args);
bool call_table_entry(kcontext_t* c, uint32_t offset, uint32_t table, std::span<const uint32_t> args);

// "0x%08x (%s+%u)": the address, its nearest label at or below and the distance.
const char* format_address(kcontext_t* c, uint32_t address);

void pageheap_init(const kcontext_t* c, kpageheap_t* ph);
// A free page's link is checked before it is taken: one that names no page of
// the heap is a broken heap.
uint32_t pageheap_alloc(kcontext_t* c, kpageheap_t* ph);
void pageheap_free(const kcontext_t* c, kpageheap_t* ph, uint32_t page);
// The page is one of the stack heap's pages.
inline bool is_stack_page(const kcontext_t* c, uint32_t page)
{
    return c->stackheap.holds_page(page);
}

// The interpreter: runs the task until it waits or its outermost frame returns.
void run_task(kcontext_t* c, uint32_t task);
