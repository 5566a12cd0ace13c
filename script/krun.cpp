#include "script/krun.h"

#include <algorithm>

#include "core/kassert.h"
#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kinst.h"
#include "script/klabels.h"

namespace {

int32_t due_in(const kcontext_t* c, uint32_t level)
{
    return static_cast<int32_t>(c->arena.word(level + LEVEL_TICK) - static_cast<uint32_t>(c->tick));
}

const char* heap_name(const kcontext_t* c, const kpageheap_t* ph)
{
    return ph == &c->taskpool ? "task pool" : "stack page list";
}

} // namespace

void WaitWalk::fail()
{
    if (fatal_) {
        k_broken(c, "wait list");
    }
    broken = true;
}

bool wait_list_intact(kcontext_t* c)
{
    WaitWalk walk(c, false);
    for (uint32_t level = walk.check(c->waitlist); level != 0; level = walk.next(level + LEVEL_NEXT)) {
        for (uint32_t t = walk.next(level + LEVEL_FIRST); t != 0;) {
            t = walk.next(t + TASK_NEXT);
        }
    }
    return !walk.broken;
}

void pageheap_init(const kcontext_t* c, kpageheap_t* ph)
{
    ph->pagesize = (ph->pagesize + 3) & ~3u;
    K_ASSERT(ph->address != 0 && ph->size != 0 && ph->pagesize != 0);
    K_ASSERT(ph->size >= ph->pagesize && ph->pagesize >= 4);
    const uint32_t count = ph->size / ph->pagesize;
    // Only whole pages count; with this, x is a multiple of pagesize exactly
    // when x * page_magic (mod 2^64) is below page_magic.
    ph->size = count * ph->pagesize;
    ph->page_magic = UINT64_MAX / ph->pagesize + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t page = ph->address + i * ph->pagesize;
        c->arena.set_word(page, i + 1 < count ? page + ph->pagesize : 0);
    }
    ph->free = ph->address;
}

uint32_t pageheap_alloc(kcontext_t* c, kpageheap_t* ph)
{
    const uint32_t page = ph->free;
    if (page != 0) {
        // The link lies in a free page or record, where scripts can write.
        const uint32_t next = c->arena.word(page);
        if (next != 0 && !ph->holds_page(next)) {
            k_broken(c, heap_name(c, ph));
        }
        ph->free = next;
    }
    return page;
}

void pageheap_free(const kcontext_t* c, kpageheap_t* ph, uint32_t page)
{
    K_ASSERT(ph->holds_page(page));
    c->arena.set_word(page, ph->free);
    ph->free = page;
}

int K_AllocResources(kcontext_t* c, const kinit_t* init)
{
    static const kinit_t defaults = {KINIT_DEFAULT_TASKS, KINIT_DEFAULT_STACKS, KINIT_DEFAULT_HEAP};
    if (init == nullptr) {
        init = &defaults;
    }
    K_ASSERT(c != nullptr && init->reqtasks != 0 && init->reqstacks != 0);
    // Written whole, not checked: no script may write it, but nothing here should rest on that.
    c->arena.set_word(K_DIECODE, 0);
    c->arena.at(K_DIECODE, 5)[4] = INST_RET;
    c->waitlist = 0;

    const uint64_t pagesize = (static_cast<uint64_t>(c->maxframesize) + FRAME_BYTES + 3) & ~3ull;
    const uint64_t stacks = pagesize * init->reqstacks;
    const uint64_t total = stacks + static_cast<uint64_t>(init->reqtasks) * TASK_BYTES;
    const uint32_t block = total < c->arena.size() ? c->arena.alloc(static_cast<uint32_t>(total)) : 0;
    if (block == 0) {
        K_FreeResources(c);
        return 0;
    }
    c->resources = block;
    c->stackheap = {0, static_cast<uint32_t>(pagesize), block, static_cast<uint32_t>(stacks), 0};
    c->taskpool = {0, TASK_BYTES, static_cast<uint32_t>(block + stacks), init->reqtasks * TASK_BYTES, 0};
    pageheap_init(c, &c->stackheap);
    pageheap_init(c, &c->taskpool);
    c->objectheap = cellheap_create(c->arena, init->heapsize, c->minobjsize, c->maxobjsize);
    if (c->objectheap == 0) {
        K_FreeResources(c);
        return 0;
    }
    c->reqtasks = init->reqtasks;
    c->heapsize = init->heapsize;
    return 1;
}

void K_FreeResources(kcontext_t* c)
{
    // Arena space comes back with the link (K_Unlink); here the run-time lets go of it.
    if (c->objectheap != 0) {
        cellheap_destroy(c->arena, c->objectheap);
    }
    c->objectheap = 0;
    c->resources = 0;
    c->waitlist = 0;
    c->stackheap = {};
    c->taskpool = {};
}

void K_ResetResources(kcontext_t* c)
{
    pageheap_init(c, &c->stackheap);
    pageheap_init(c, &c->taskpool);
    bool broken = false;
    cellheap_reset(c->arena, c->objectheap, &broken);
    if (broken) {
        k_broken(c, "object heap");
    }
    c->waitlist = 0;
}

uint32_t alloc_task_record(kcontext_t* c)
{
    uint32_t t = pageheap_alloc(c, &c->taskpool);
    if (t == 0) {
        reclaim_dead_tasks(c);
        t = pageheap_alloc(c, &c->taskpool);
    }
    if (t == 0) {
        krun_fail(c, "full task table");
    }
    return t;
}

void free_task_record(kcontext_t* c, uint32_t record)
{
    pageheap_free(c, &c->taskpool, record);
}

uint32_t new_task(kcontext_t* c, uint32_t function)
{
    const uint32_t t = alloc_task_record(c);
    const KArena& a = c->arena;
    a.set_word(t + TASK_NEXT, 0);
    a.set_word(t + TASK_STACKPAGE, 0);
    a.set_word(t + TASK_IP, function);
    a.set_word(t + TASK_SP, 0);
    a.set_word(t + TASK_ARGS, 0);
    a.set_word(t + TASK_FP, 0);
    a.set_word(t + TASK_ARG, 0);
    return t;
}

uint32_t start_task(kcontext_t* c, uint32_t function, uint32_t arg, int32_t delay)
{
    K_ASSERT(function != 0);
    const uint32_t t = new_task(c, function);
    c->arena.set_word(t + TASK_ARG, arg);
    c->arena.set_word(t + TASK_ARGS, t + TASK_ARG);
    queue_task(c, t, delay);
    return t;
}

void queue_task(kcontext_t* c, uint32_t task, int32_t delay)
{
    const KArena& a = c->arena;
    const uint32_t wake = static_cast<uint32_t>(c->tick) + static_cast<uint32_t>(delay);
    a.set_word(task + TASK_NEXT, 0);
    const uint32_t spare = alloc_task_record(c);
    WaitWalk walk(c);
    uint32_t prev = 0;
    uint32_t level = walk.check(c->waitlist);
    while (level != 0) {
        const int32_t d = due_in(c, level);
        if (d == delay) {
            const uint32_t last = walk.next(level + LEVEL_LAST);
            if (last == 0) {
                k_broken(c, "wait list");
            }
            a.set_word(last + TASK_NEXT, task);
            a.set_word(level + LEVEL_LAST, task);
            free_task_record(c, spare);
            return;
        }
        if (d > delay) {
            break;
        }
        prev = level;
        level = walk.next(level + LEVEL_NEXT);
    }
    a.set_word(spare + LEVEL_NEXT, level);
    a.set_word(spare + LEVEL_TICK, wake);
    a.set_word(spare + LEVEL_FIRST, task);
    a.set_word(spare + LEVEL_LAST, task);
    if (prev == 0) {
        c->waitlist = spare;
    } else {
        a.set_word(prev + LEVEL_NEXT, spare);
    }
}

void run_tick(kcontext_t* c)
{
    const KArena& a = c->arena;
    while (c->waitlist != 0) {
        // Each step takes the first task of the first level: the links are
        // checked one at a time, as they are taken.
        WaitWalk walk(c);
        const uint32_t level = walk.check(c->waitlist);
        if (due_in(c, level) > 0) {
            break;
        }
        const uint32_t t = walk.next(level + LEVEL_FIRST);
        if (t == 0) {
            k_broken(c, "wait list");
        }
        const uint32_t next = walk.next(t + TASK_NEXT);
        a.set_word(level + LEVEL_FIRST, next);
        if (next == 0) {
            c->waitlist = walk.next(level + LEVEL_NEXT);
            free_task_record(c, level);
        }
        run_task(c, t);
    }
    c->tick = static_cast<int32_t>(static_cast<uint32_t>(c->tick) + 1);
}

int32_t skip_idle_ticks(kcontext_t* c)
{
    if (c->waitlist == 0) {
        return 0;
    }
    WaitWalk walk(c);
    const uint32_t level = walk.check(c->waitlist);
    const int32_t d = due_in(c, level);
    if (d <= 0) {
        return 0;
    }
    c->tick = static_cast<int32_t>(c->arena.word(level + LEVEL_TICK));
    return d;
}

bool task_is_waiting(kcontext_t* c, uint32_t task)
{
    if (!in_pool(c, task)) {
        return false;
    }
    WaitWalk walk(c);
    for (uint32_t level = walk.check(c->waitlist); level != 0; level = walk.next(level + LEVEL_NEXT)) {
        for (uint32_t t = walk.next(level + LEVEL_FIRST); t != 0; t = walk.next(t + TASK_NEXT)) {
            if (t == task) {
                return true;
            }
        }
    }
    return false;
}

namespace {

// Points the task and every frame it would return through at K_DieCode. The
// frames lie on stack pages, where the task itself may have written.
void mark_dead(kcontext_t* c, uint32_t task)
{
    const KArena& a = c->arena;
    const kpageheap_t& stacks = c->stackheap;
    a.set_word(task + TASK_IP, K_DIECODE);
    uint64_t left = stacks.size / FRAME_BYTES + 1;
    uint32_t pw = task + TASK_STACKPAGE;
    for (uint32_t page = a.word(pw); page != 0; page = a.word(pw)) {
        const uint32_t frame = a.word(pw + (TASK_FP - TASK_STACKPAGE));
        if (!is_stack_page(c, page) || frame < page || frame - page > stacks.pagesize - FRAME_BYTES || left-- == 0) {
            k_broken(c, "frame");
        }
        a.set_word(frame + FRAME_RET, K_DIECODE);
        pw = frame + FRAME_PAGE;
    }
}

} // namespace

void kill_task(kcontext_t* c, uint32_t task)
{
    // Only a queued task has a record to mark; a stale or made-up handle would
    // otherwise overwrite a free record, a level or arbitrary script memory.
    if (!task_is_waiting(c, task)) {
        kio_printf(c, KFD_STDERR, "KRun: %s!\n",
                   pline_format("kill of 0x%08x, which is no waiting task, at %s", task,
                                format_address(c, c->running_ip)));
        return;
    }
    mark_dead(c, task);
}

uint32_t kill_tasks_with_arg(kcontext_t* c, uint32_t arg)
{
    const KArena& a = c->arena;
    uint32_t killed = 0;
    WaitWalk walk(c);
    for (uint32_t level = walk.check(c->waitlist); level != 0; level = walk.next(level + LEVEL_NEXT)) {
        for (uint32_t t = walk.next(level + LEVEL_FIRST); t != 0; t = walk.next(t + TASK_NEXT)) {
            if (a.word(t + TASK_ARG) == arg) {
                mark_dead(c, t);
                ++killed;
            }
        }
    }
    return killed;
}

void reclaim_dead_tasks(kcontext_t* c)
{
    const KArena& a = c->arena;
    // Links are read before the dead tasks run: running one gives its record back.
    WaitWalk walk(c);
    uint32_t prev_level = 0;
    uint32_t level = walk.check(c->waitlist);
    while (level != 0) {
        const uint32_t next_level = walk.next(level + LEVEL_NEXT);
        uint32_t kept_last = 0;
        uint32_t t = walk.next(level + LEVEL_FIRST);
        while (t != 0) {
            const uint32_t next = walk.next(t + TASK_NEXT);
            if (a.word(t + TASK_IP) == K_DIECODE) {
                if (kept_last == 0) {
                    a.set_word(level + LEVEL_FIRST, next);
                } else {
                    a.set_word(kept_last + TASK_NEXT, next);
                }
                run_task(c, t);
            } else {
                kept_last = t;
            }
            t = next;
        }
        if (a.word(level + LEVEL_FIRST) == 0) {
            if (prev_level == 0) {
                c->waitlist = next_level;
            } else {
                a.set_word(prev_level + LEVEL_NEXT, next_level);
            }
            free_task_record(c, level);
        } else {
            a.set_word(level + LEVEL_LAST, kept_last);
            prev_level = level;
        }
        level = next_level;
    }
}

bool call_address(kcontext_t* c, uint32_t function, std::span<const uint32_t> args)
{
    const uint64_t bytes = static_cast<uint64_t>(args.size()) * 4;
    if (bytes >= c->stackheap.pagesize) {
        kio_printf(c, KFD_STDERR, "KRun: %s!\n",
                   pline_format("%u argument bytes for %s do not fit a stack page", static_cast<uint32_t>(bytes),
                                format_address(c, function)));
        return false;
    }
    const uint32_t page = pageheap_alloc(c, &c->stackheap);
    if (page == 0) {
        krun_fail(c, "full stack table");
    }
    const uint32_t argaddr = page + c->stackheap.pagesize - static_cast<uint32_t>(bytes);
    for (size_t i = 0; i < args.size(); ++i) {
        c->arena.set_word(argaddr + static_cast<uint32_t>(i) * 4, args[i]);
    }
    const uint32_t t = new_task(c, function);
    // The arguments stand as the caller's sp of the outermost frame; its
    // return gives the argument page back.
    c->arena.set_word(t + TASK_SP, argaddr);
    c->arena.set_word(t + TASK_ARGS, argaddr);
    run_task(c, t);
    return true;
}

namespace {

// Calls the function with first as argument 1, then the others.
bool call_with_first(kcontext_t* c, uint32_t function, uint32_t first, std::span<const uint32_t> args)
{
    constexpr size_t ARGS_MAX = 64;
    uint32_t all[ARGS_MAX];
    if (args.size() + 1 > ARGS_MAX) {
        return false;
    }
    all[0] = first;
    std::copy(args.begin(), args.end(), all + 1);
    return call_address(c, function, std::span<const uint32_t>(all, args.size() + 1));
}

} // namespace

bool call_method(kcontext_t* c, uint32_t offset, uint32_t object, std::span<const uint32_t> args)
{
    const uint32_t table = k_load32(c, object - 4);
    return call_with_first(c, k_load32(c, table + offset), object, args);
}

bool call_table_entry(kcontext_t* c, uint32_t offset, uint32_t table, std::span<const uint32_t> args)
{
    return call_with_first(c, k_load32(c, table + offset), table, args);
}

const char* format_address(kcontext_t* c, uint32_t address)
{
    const char* name = "?";
    uint32_t distance = address;
    if (c->labels != nullptr && address != 0) {
        distance = labels_nearest(c->labels, address, &name);
    }
    return pline_format("0x%08x (%s+%u)", address, name, distance);
}
