#pragma once
// The script run-time: stack pages, task records, the wait list ordered by
// wake tick, and synchronous calls from the host. Task, level and page values
// are arena addresses.
#include <cstdint>
#include <span>

struct kcontext_t;
struct kinit_t;
struct kpageheap_t;

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
bool task_is_waiting(const kcontext_t* c, uint32_t task);

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
uint32_t pageheap_alloc(const kcontext_t* c, kpageheap_t* ph);
void pageheap_free(const kcontext_t* c, kpageheap_t* ph, uint32_t page);

// The interpreter: runs the task until it waits or its outermost frame returns.
void run_task(kcontext_t* c, uint32_t task);
