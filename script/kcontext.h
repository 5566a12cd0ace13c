#pragma once
// The script context: one per loaded world. Everything a script can see lives
// in the context's arena; the fields here hold arena addresses (u32) where the
// script machine keeps pointers.
#include <cstddef>
#include <cstdint>

#include "script/karena.h"
#include "script/kdecode.h"
#include "script/kio.h"

struct klabels;
struct kcontext_t;

// Native builtin: (host object, context, argument cells at sp, argument bytes).
using knative_t = void (*)(void* host, kcontext_t* c, const uint8_t* args, uint32_t argbytes);

// A row of the builtin table: a native function, or a data row copied into the
// arena (data, size). The table ends with a row whose name is null.
struct kbuiltin_t {
    const char* name;
    knative_t handler;
    const void* data;
    uint32_t size;
};

// A name the scripts must define; the linker fills in its address.
struct krequired_t {
    const char* name;
    uint32_t address;
};

// Handle of native row n: above any arena address, recognisable.
constexpr uint32_t KNATIVE_BASE = 0xFF000000u;
constexpr uint32_t knative_handle(uint32_t row) { return KNATIVE_BASE | (row << 4); }
constexpr bool knative_is_handle(uint32_t a) { return (a & 0xFF00000Fu) == KNATIVE_BASE; }
constexpr uint32_t knative_row(uint32_t a) { return (a & 0x00FFFFFFu) >> 4; }

// Page heap: free (first free page), pagesize, address, size; all in the arena.
// page_magic (set by pageheap_init) tells page starts with one multiplication.
struct kpageheap_t {
    uint32_t free;
    uint32_t pagesize;
    uint32_t address;
    uint32_t size;
    uint64_t page_magic;

    // page is the start of one of the heap's pages. A heap without pages
    // (address 0, as before pageheap_init or after it is let go) has size 0.
    bool holds_page(uint32_t page) const
    {
        const uint32_t offset = page - address;
        return offset < size && static_cast<uint64_t>(offset) * page_magic <= page_magic - 1;
    }
};

struct kinit_t {
    uint32_t reqtasks;
    uint32_t reqstacks;
    uint32_t heapsize;
};

// Task record words (seven), level record words (four of seven), frame header words (five).
constexpr uint32_t TASK_NEXT = 0;
constexpr uint32_t TASK_STACKPAGE = 4;
constexpr uint32_t TASK_IP = 8;
constexpr uint32_t TASK_SP = 12;
constexpr uint32_t TASK_ARGS = 16;
constexpr uint32_t TASK_FP = 20;
constexpr uint32_t TASK_ARG = 24;
constexpr uint32_t TASK_BYTES = 28;
constexpr uint32_t LEVEL_NEXT = 0;
constexpr uint32_t LEVEL_TICK = 4;
constexpr uint32_t LEVEL_FIRST = 8;
constexpr uint32_t LEVEL_LAST = 12;
constexpr uint32_t FRAME_PAGE = 0;
constexpr uint32_t FRAME_RET = 4;
constexpr uint32_t FRAME_SP = 8;
constexpr uint32_t FRAME_ARGS = 12;
constexpr uint32_t FRAME_FP = 16;
constexpr uint32_t FRAME_BYTES = 20;

// K_DieCode: a word 0 followed by INST_RET, at a fixed arena address. Scripts
// may run it but not write it: they write only from K_SCRIPT_LOW up.
constexpr uint32_t K_DIECODE = KARENA_LOW;
constexpr uint32_t K_SCRIPT_LOW = K_DIECODE + 8;

constexpr uint32_t KFLAG_ERROR = 1;

struct kcontext_t {
    uint32_t result[3];
    void* host;
    uint32_t objectheap;
    kpageheap_t stackheap;
    uint32_t waitlist;
    int32_t tick;
    kpageheap_t taskpool;

    klabels* labels;
    uint32_t code;       // code and data block
    uint32_t code_size;
    uint32_t kept;       // kept strings: {link word, string}, newest first
    kbuiltin_t* builtins;
    uint32_t* builtin_addresses;  // per row: native handle, or arena address of the data copy
    uint32_t builtin_count;
    krequired_t* required;
    uint32_t required_count;
    kiofuncs_t io;

    uint32_t minobjsize;
    uint32_t maxobjsize;
    uint32_t maxframesize;
    uint32_t reqtasks;
    uint32_t heapsize;
    uint32_t flags;

    uint32_t resources;   // block of stack pages and task pool
    uint32_t link_mark;   // arena top after the fixed part (K_DieCode, builtin data)
    uint32_t running_ip;  // instruction being run, for messages
    uint32_t last_ip;     // the last instruction of the last task run, for messages outside scripts
    uint32_t running_task;
    KArena arena;
    KDecoded decoded;     // forms of the code section, host-side
};
static_assert(offsetof(kcontext_t, result) == 0, "the result cells come first");

// Context with its arena (arena_size bytes reserved); null when out of memory.
// The tables are copied; builtins' data rows are copied into the arena.
kcontext_t* K_AllocContext(void* user, const kbuiltin_t* builtins, const krequired_t* required,
                           uint32_t arena_size = KARENA_DEFAULT_SIZE);
void K_FreeContext(kcontext_t* c);
// Arena space (zeroed) for what the host hands to scripts by address; it
// stays for the context's life, across links. Only before the first link.
// Its address, or 0 when the arena is full.
uint32_t K_AllocHostRegion(kcontext_t* c, uint32_t size);

// Reports "KRun: %s!" on the error descriptor and ends the program with code 255.
[[noreturn]] void krun_fail(kcontext_t* c, const char* text);

// A structure of the run-time that scripts can write (object heap, task and
// level records, stack pages and frames) found broken: "KRun: broken %s at
// <address>!", naming the instruction being run, or the last one run when no
// script runs, then code 255.
[[noreturn]] void k_broken(kcontext_t* c, const char* what);

// Script-driven memory access: a bad address is reported as a broken script.
// The report names c->running_ip as the place.
[[noreturn]] void k_bad_address(kcontext_t* c, uint32_t addr, uint32_t len);
uint32_t k_load32(kcontext_t* c, uint32_t addr);
void k_store32(kcontext_t* c, uint32_t addr, uint32_t v);
// k_bytes hands out bytes the host may write: code among them is decoded again
// before a script runs it.
uint8_t* k_bytes(kcontext_t* c, uint32_t addr, uint32_t len);
const char* k_cstr(kcontext_t* c, uint32_t addr);
