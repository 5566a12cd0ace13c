// The byte-code interpreter: runs one task until it waits or its outermost
// frame returns. The task's registers live in locals while it runs and go back
// to the task record only on a wait. Every script-driven access is checked
// against the arena (one compare); a bad one ends the program as a broken script.
#include <bit>
#include <cmath>
#include <cstring>

#include "core/numerics.h"
#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kinst.h"
#include "script/krun.h"

// Threaded dispatch (each body jumps straight to the next one) where the
// compiler has label addresses; a plain switch otherwise, or when
// KINTERP_SWITCH is defined.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(KINTERP_SWITCH)
#define KINTERP_THREADED 1
#endif

namespace {

inline float f_of(uint32_t v) { return std::bit_cast<float>(v); }
inline uint32_t u_of(float f) { return std::bit_cast<uint32_t>(f); }
inline uint32_t u_of(double d) { return std::bit_cast<uint32_t>(static_cast<float>(d)); }

// Longest instruction with fixed operands (opcode and three words), rounded up:
// a fetch that finds this much arena ahead reads the operands unchecked.
constexpr uint32_t FETCH_WINDOW = 16;

// Bytes of inline operands each instruction reads at its own address.
constexpr uint32_t inline_bytes(uint32_t op)
{
    switch (op) {
    case INST_CALL:
    case INST_CALLMETHOD:
    case INST_CALLTABLE:
    case INST_JUMP:
    case INST_JZ:
    case INST_JNZ:
    case INST_JGT:
    case INST_JLT:
    case INST_JGE:
    case INST_JLE:
    case INST_PUSH1:
    case INST_PUSHSPOFS:
    case INST_PUSHARGSOFS:
    case INST_ADDSP:
    case INST_LOADMETHOD:
        return 4;
    case INST_CALLNATIVE:
    case INST_PUSH2:
    case INST_NEW:
        return 8;
    case INST_PUSH3:
        return 12;
    default:
        return 0;
    }
}
static_assert(1 + inline_bytes(INST_PUSH3) <= FETCH_WINDOW, "fetch window");

// The arena as one run sees it; taken again after a native, which may allocate from it.
struct ArenaView {
    uint8_t* mem;
    uint32_t span;  // handed-out bytes above KARENA_LOW

    void take(const KArena& a)
    {
        mem = a.base();
        span = a.mark() - KARENA_LOW;
    }
    // [a, a + n) lies in the handed-out arena.
    bool holds(uint32_t a, uint32_t n) const { return static_cast<uint64_t>(a - KARENA_LOW) + n <= span; }
    // [a, a + n) lies in the part scripts may write: all of it but K_DieCode.
    bool writable(uint32_t a, uint32_t n) const
    {
        return static_cast<uint64_t>(a - K_SCRIPT_LOW) + n <= span - (K_SCRIPT_LOW - KARENA_LOW);
    }
    uint32_t get(uint32_t a) const
    {
        uint32_t v;
        std::memcpy(&v, mem + a, 4);
        return v;
    }
    void put(uint32_t a, uint32_t v) const { std::memcpy(mem + a, &v, 4); }
};

// Reports the first cell of [a, a + n) that leaves the arena, scanning from the
// low end (reads) or the high end (pushes, which store the last cell first).
[[noreturn]] __attribute__((noinline, cold)) void bad_cells(kcontext_t* c, ArenaView v, uint32_t op_ip,
                                                            uint32_t a, uint32_t n, bool from_high)
{
    c->running_ip = op_ip;
    if (n >= 4 && n % 4 == 0) {
        for (uint32_t k = 0; k < n; k += 4) {
            const uint32_t cell = from_high ? a + n - 4 - k : a + k;
            if (!v.holds(cell, 4)) {
                k_bad_address(c, cell, 4);
            }
        }
    }
    k_bad_address(c, a, n);
}

[[noreturn]] __attribute__((noinline, cold)) void broken(kcontext_t* c, uint32_t op_ip, const char* what)
{
    c->running_ip = op_ip;
    krun_fail(c, pline_format("%s at %s", what, format_address(c, op_ip)));
}

// A fetch near the arena's end: the opcode and its inline operands must lie inside.
__attribute__((noinline, cold)) void fetch_near_end(kcontext_t* c, ArenaView v, uint32_t ip)
{
    c->running_ip = ip;
    if (!v.holds(ip, 1)) {
        k_bad_address(c, ip, 1);
    }
    const uint32_t n = inline_bytes(v.mem[ip]);
    for (uint32_t k = 0; k < n; k += 4) {
        if (!v.holds(ip + 1 + k, 4)) {
            k_bad_address(c, ip + 1 + k, 4);
        }
    }
}

__attribute__((noinline, cold)) void report(kcontext_t* c, uint32_t at, const char* what)
{
    kio_printf(c, KFD_STDERR, "KRun: %s!\n", pline_format("%s at %s", what, format_address(c, at)));
}

inline uint32_t checkzero_int(kcontext_t* c, uint32_t at, uint32_t v)
{
    if (v == 0) [[unlikely]] {
        report(c, at, "checkzero()");
        return 1;
    }
    return v;
}

inline double checkzero_float(kcontext_t* c, uint32_t at, double d)
{
    if (d == 0.0) [[unlikely]] {
        report(c, at, "checkzero()");
        return 1.0;
    }
    return d;
}

const char* script_string(kcontext_t* c, uint32_t op_ip, uint32_t a)
{
    c->running_ip = op_ip;
    return k_cstr(c, a);
}

// The decoded forms as one run sees them; taken again after a native, which
// may have written code.
struct FormView {
    const uint8_t* forms;  // by arena address
    uint32_t limit;        // addresses below it have a form

    void take(kcontext_t* c)
    {
        if (c->decoded.dirty_high != 0) [[unlikely]] {
            kdecode_flush(c);
        }
        forms = c->decoded.forms.data();
        limit = c->decoded.limit;
    }
};

// Every page of the stack heap lies in the handed-out arena (the heap is
// allocated from it): a page taken from the heap needs no check of its own.
void expect_stacks_in_arena(const kcontext_t* c, const ArenaView& v)
{
    const kpageheap_t& h = c->stackheap;
    K_ASSERT(h.address == 0 || v.holds(h.address, h.size));
}

// Parts of the fused forms: the instruction that pushes an address, and the
// binary operation.
enum class Pre { NONE, SP, SPK, A, AK };
enum class Bin { NONE, ADD, SUB, ICMP };

constexpr uint32_t pre_bytes(Pre p) { return p == Pre::SPK || p == Pre::AK ? 5 : 1; }

// The address the prefix at `at` pushes, sp and args taken before the push.
inline __attribute__((always_inline)) uint32_t pre_address(Pre p, const ArenaView& v, uint32_t at, uint32_t sp,
                                                           uint32_t args)
{
    const uint32_t base = p == Pre::SP || p == Pre::SPK ? sp : args;
    return p == Pre::SPK || p == Pre::AK ? base + v.get(at + 1) : base;
}

constexpr uint32_t binary(Bin b, uint32_t l, uint32_t r)
{
    if (b == Bin::ICMP) {
        const int32_t x = static_cast<int32_t>(l);
        const int32_t y = static_cast<int32_t>(r);
        return x < y ? 0xFFFFFFFFu : x > y ? 1u : 0u;
    }
    return b == Bin::SUB ? l - r : l + r;
}

// Room for n cells below s on the page.
constexpr bool room(uint64_t s, uint32_t page, uint32_t n) { return s >= static_cast<uint64_t>(page) + 4 * n; }

// A comparison pops its two cells before it pushes its result.
constexpr bool binary_fits(Bin b, uint32_t s, uint32_t page) { return b != Bin::ICMP || room(uint64_t{s} + 8, page, 1); }

constexpr bool jump_taken(uint8_t jump, uint32_t v)
{
    // Three bits per conditional jump, from INST_JZ: jumps when below, at, above zero.
    constexpr uint32_t when = 2u | 5u << 3 | 4u << 6 | 1u << 9 | 6u << 12 | 3u << 15;
    const int32_t x = static_cast<int32_t>(v);
    const uint32_t where = x < 0 ? 1u : x == 0 ? 2u : 4u;
    return ((when >> (3 * (jump - INST_JZ))) & where) != 0;
}

// Every opcode in number order, for the dispatch table.
#define KINTERP_OPCODES(X)                                                                                        \
    X(INST_NOP) X(INST_WAIT) X(INST_START) X(INST_KILL) X(INST_KILLARG) X(INST_CALL) X(INST_CALLPTR)              \
    X(INST_CALLMETHOD) X(INST_CALLTABLE) X(INST_CALLNATIVE) X(INST_RET) X(INST_RET1) X(INST_RET2) X(INST_RET3)    \
    X(INST_SETRESULT1) X(INST_SETRESULT2) X(INST_SETRESULT3) X(INST_PUSHRESULT1) X(INST_PUSHRESULT2)              \
    X(INST_PUSHRESULT3) X(INST_JUMP) X(INST_JZ) X(INST_JNZ) X(INST_JGT) X(INST_JLT) X(INST_JGE) X(INST_JLE)       \
    X(INST_SWITCHTABLE) X(INST_SWITCHSEARCH) X(INST_PUSH1) X(INST_PUSH2) X(INST_PUSH3) X(INST_PUSHSP)             \
    X(INST_PUSHSPOFS) X(INST_PUSHARGS) X(INST_PUSHARGSOFS) X(INST_ADDSP) X(INST_DUP1) X(INST_DUP2) X(INST_DUP3)   \
    X(INST_NEW) X(INST_DELETE) X(INST_LOADBYTE) X(INST_LOAD1) X(INST_LOAD2) X(INST_LOAD3) X(INST_LOADMETHOD)      \
    X(INST_STOREBYTE) X(INST_STORE1) X(INST_STORE2) X(INST_STORE3) X(INST_ISZERO) X(INST_IDENTITY) X(INST_ISPOS)  \
    X(INST_ISNEG) X(INST_ISNONNEG) X(INST_ISNONPOS) X(INST_ISNONZERO) X(INST_FSIGN) X(INST_FSIGN2)                \
    X(INST_FSIGN3) X(INST_UCMP) X(INST_ICMP) X(INST_FCMP) X(INST_FCMP2) X(INST_FCMP3) X(INST_AND) X(INST_OR)      \
    X(INST_XOR) X(INST_LAND) X(INST_LOR) X(INST_LXOR) X(INST_LNOT) X(INST_NOT) X(INST_SHL) X(INST_SHR)            \
    X(INST_SAR) X(INST_NEG) X(INST_FNEG) X(INST_FNEG2) X(INST_FNEG3) X(INST_ADD) X(INST_FADD) X(INST_FADD2)       \
    X(INST_FADD3) X(INST_SUB) X(INST_FSUB) X(INST_FSUB2) X(INST_FSUB3) X(INST_UMUL) X(INST_IMUL) X(INST_FMUL)     \
    X(INST_CMUL) X(INST_DOT) X(INST_CROSS) X(INST_UDIV) X(INST_IDIV) X(INST_FDIV) X(INST_CDIV) X(INST_UMOD)       \
    X(INST_IMOD) X(INST_FMOD) X(INST_SCALE2) X(INST_SCALE3) X(INST_DIVSCALAR2) X(INST_DIVSCALAR3)                 \
    X(INST_DIVLENGTH3) X(INST_ABS) X(INST_FABS) X(INST_LENGTH2) X(INST_LENGTH3) X(INST_SQRT) X(INST_SIN)          \
    X(INST_COS) X(INST_LOG) X(INST_EXP) X(INST_FLOOR) X(INST_CEIL) X(INST_ROUND) X(INST_STRLEN) X(INST_STRCMP)    \
    X(INST_ZEXTBYTE) X(INST_SEXTBYTE) X(INST_UTOF) X(INST_ITOF) X(INST_FTOU) X(INST_FTOI) X(INST_NIP)             \
    X(INST_POP1) X(INST_NIP2) X(INST_POPNIP) X(INST_POP2)

#define KINTERP_ENUM(name) name,
constexpr instcode_t opcode_order[] = {KINTERP_OPCODES(KINTERP_ENUM)};
#undef KINTERP_ENUM

constexpr bool in_number_order()
{
    for (uint32_t i = 0; i < sizeof(opcode_order); ++i) {
        if (opcode_order[i] != i) {
            return false;
        }
    }
    return sizeof(opcode_order) == INST_COUNT;
}
static_assert(in_number_order(), "the dispatch table lists every opcode in number order");

// The task is read from its record here; past that, the running task is
// c->running_task (run_task sets it), which frees a register for the loop.
void interpret(kcontext_t* c, uint32_t task)
{
    ArenaView view;
    view.take(c->arena);
    FormView fm;
    fm.take(c);
    expect_stacks_in_arena(c, view);
    uint32_t ip = 0;
    uint32_t sp = 0;
    uint32_t args = 0;
    uint32_t fp = 0;
    uint32_t page = 0;
    uint32_t op_ip = 0;  // the instruction being run, for messages
    uint32_t op = 0;
    uint32_t callee = 0;
    uint32_t callee_args = 0;

// Checks [a, a + n) before the script touches it.
#define NEED(a, n)                                                                                                \
    do {                                                                                                          \
        if (!view.holds((a), (n))) [[unlikely]] {                                                                 \
            bad_cells(c, view, op_ip, (a), (n), false);                                                           \
        }                                                                                                         \
    } while (0)
// Checks [a, a + n) before the script writes it.
#define NEED_WRITE(a, n)                                                                                          \
    do {                                                                                                          \
        if (!view.writable((a), (n))) [[unlikely]] {                                                              \
            bad_cells(c, view, op_ip, (a), (n), false);                                                           \
        }                                                                                                         \
    } while (0)
// Makes room for n cells on the stack; sp then addresses the first of them.
#define PUSH_ROOM(n)                                                                                              \
    do {                                                                                                          \
        if (sp < static_cast<uint64_t>(page) + 4 * (n)) [[unlikely]] {                                            \
            broken(c, op_ip, "stack overflow");                                                                   \
        }                                                                                                         \
        sp -= 4 * (n);                                                                                            \
        if (!view.holds(sp, 4 * (n))) [[unlikely]] {                                                              \
            bad_cells(c, view, op_ip, sp, 4 * (n), true);                                                         \
        }                                                                                                         \
    } while (0)
#define PUSH(v)                                                                                                   \
    do {                                                                                                          \
        const uint32_t pushed_ = (v);                                                                             \
        PUSH_ROOM(1);                                                                                             \
        view.put(sp, pushed_);                                                                                    \
    } while (0)
#define POP_CELLS(dst, n)                                                                                         \
    do {                                                                                                          \
        NEED(sp, 4 * (n));                                                                                        \
        for (uint32_t i_ = 0; i_ < (n); ++i_) {                                                                   \
            (dst)[i_] = view.get(sp + 4 * i_);                                                                    \
        }                                                                                                         \
        sp += 4 * (n);                                                                                            \
    } while (0)
#define PUSH_CELLS(src, n)                                                                                        \
    do {                                                                                                          \
        PUSH_ROOM(n);                                                                                             \
        for (uint32_t i_ = 0; i_ < (n); ++i_) {                                                                   \
            view.put(sp + 4 * i_, (src)[i_]);                                                                     \
        }                                                                                                         \
    } while (0)
// An instruction read by its byte: ip lies outside the decoded section.
#define RAW_FORM()                                                                                                \
    do {                                                                                                          \
        if (!view.holds(ip, FETCH_WINDOW)) [[unlikely]] {                                                         \
            fetch_near_end(c, view, ip);                                                                          \
        }                                                                                                         \
        op = view.mem[ip];                                                                                        \
        op = op < INST_COUNT ? op : static_cast<uint32_t>(KF_UNEXPECTED);                                         \
    } while (0)
// Only op_ip lives from one instruction to the next: each body takes ip and
// its opcode from it (OP).
#define FETCH()                                                                                                   \
    do {                                                                                                          \
        op_ip = ip;                                                                                               \
        if (ip < fm.limit) [[likely]] {                                                                           \
            op = fm.forms[ip];                                                                                    \
        } else {                                                                                                  \
            RAW_FORM();                                                                                           \
        }                                                                                                         \
    } while (0)
// A script store into [a, a + n): forms that cover it are decoded again.
#define WROTE(a, n)                                                                                               \
    do {                                                                                                          \
        if ((a) < fm.limit) [[unlikely]] {                                                                        \
            kdecode_written(c, (a), (n));                                                                         \
        }                                                                                                         \
    } while (0)

#ifdef KINTERP_THREADED
// The opcodes' own bodies, the fused forms, then the body for bytes that are no opcode.
#define KINTERP_LABEL(name) &&L_##name,
#define KINTERP_FORM_LABEL(F, P, B) &&L_KF_##F##_##P##_##B,
    static const void* const dispatch[KF_UNEXPECTED + 1] = {
        KINTERP_OPCODES(KINTERP_LABEL) KFORMS(KINTERP_FORM_LABEL) &&L_KF_RAW, &&L_KF_UNEXPECTED};
#undef KINTERP_LABEL
#undef KINTERP_FORM_LABEL
#define OP(name)                                                                                                  \
    [[fallthrough]];                                                                                              \
    case name:                                                                                                    \
    L_##name:                                                                                                     \
        ip = op_ip + 1;                                                                                           \
        op = view.mem[op_ip];
#define NEXT()                                                                                                    \
    do {                                                                                                          \
        FETCH();                                                                                                  \
        goto *dispatch[op];                                                                                       \
    } while (0)
#else
#define OP(name)                                                                                                  \
    [[fallthrough]];                                                                                              \
    case name:                                                                                                    \
        ip = op_ip + 1;                                                                                           \
        op = view.mem[op_ip];
#define NEXT() continue
#endif

    {
        const KArena& a = c->arena;
        if (a.word(task + TASK_STACKPAGE) == 0) {
            sp = a.word(task + TASK_SP);
            args = a.word(task + TASK_ARGS);
            callee = a.word(task + TASK_IP);
            callee_args = args;
            goto enter;
        }
        page = a.word(task + TASK_STACKPAGE);
        ip = a.word(task + TASK_IP);
        sp = a.word(task + TASK_SP);
        args = a.word(task + TASK_ARGS);
        fp = a.word(task + TASK_FP);
        // The record lies where scripts can write: the task resumes on a page
        // of its own, with sp on it.
        if (!is_stack_page(c, page) || sp < page || sp - page > c->stackheap.pagesize) [[unlikely]] {
            c->running_ip = ip;
            k_broken(c, "task record");
        }
    }

    for (;;) {
        FETCH();
#ifndef KINTERP_THREADED
    switch_op:
#endif
        switch (op) {
        case INST_NOP:
#ifdef KINTERP_THREADED
        L_INST_NOP:
#endif
            ip = op_ip + 1;
            NEXT();
        OP(INST_WAIT) {
            const uint32_t self = c->running_task;
            NEED(sp, 4);
            const int32_t delay = static_cast<int32_t>(view.get(sp));
            sp += 4;
            const KArena& a = c->arena;
            a.set_word(self + TASK_STACKPAGE, page);
            a.set_word(self + TASK_IP, ip);
            a.set_word(self + TASK_SP, sp);
            a.set_word(self + TASK_ARGS, args);
            a.set_word(self + TASK_FP, fp);
            c->running_ip = op_ip;
            queue_task(c, self, delay);
            return;
        }
        OP(INST_RET)
            goto leave;
#define RET_N(name, n)                                                                                            \
    OP(name) {                                                                                                   \
        NEED(sp, 4 * n);                                                                                          \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            c->result[i] = view.get(sp + 4 * i);                                                                  \
        }                                                                                                         \
        goto leave;                                                                                               \
    }
        RET_N(INST_RET1, 1)
        RET_N(INST_RET2, 2)
        RET_N(INST_RET3, 3)
#undef RET_N
        OP(INST_START) {
            uint32_t l[3];
            c->running_ip = op_ip;
            POP_CELLS(l, 3);
            if (l[0] == 0) {
                broken(c, op_ip, "start of a null function");
            }
            c->result[0] = start_task(c, l[0], l[1], static_cast<int32_t>(l[2]));
            NEXT();
        }
        OP(INST_KILL) {
            uint32_t l[3];
            c->running_ip = op_ip;
            POP_CELLS(l, 1);
            if (l[0] == c->running_task) {
                broken(c, op_ip, "a task may not kill itself");
            }
            kill_task(c, l[0]);
            NEXT();
        }
        OP(INST_KILLARG) {
            uint32_t l[3];
            c->running_ip = op_ip;
            POP_CELLS(l, 1);
            if (l[0] == 0) {
                broken(c, op_ip, "kill of the tasks of argument 0");
            }
            c->result[0] = kill_tasks_with_arg(c, l[0]);
            NEXT();
        }
        OP(INST_CALL)
            callee = view.get(ip);
            ip += 4;
            callee_args = sp;
            goto enter;
        OP(INST_CALLPTR)
            NEED(sp, 4);
            callee = view.get(sp);
            sp += 4;
            callee_args = sp;
            goto enter;
        OP(INST_CALLMETHOD)
        OP(INST_CALLTABLE) {
            const uint32_t offset = view.get(ip);
            ip += 4;
            NEED(sp, 4);
            uint32_t table = view.get(sp);
            if (op == INST_CALLMETHOD) {
                NEED(table - 4, 4);
                table = view.get(table - 4);
            }
            NEED(table + offset, 4);
            callee = view.get(table + offset);
            callee_args = sp;
            goto enter;
        }
        OP(INST_CALLNATIVE) {
            const uint32_t handle = view.get(ip);
            const uint32_t bytes = view.get(ip + 4);
            ip += 8;
            const uint32_t row = knative_row(handle);
            if (!knative_is_handle(handle) || row >= c->builtin_count || c->builtins[row].handler == nullptr) {
                broken(c, op_ip, pline_format("call of 0x%08x, which is no builtin,", handle));
            }
            c->running_ip = op_ip;
            if (!view.holds(sp, bytes)) [[unlikely]] {
                k_bad_address(c, sp, bytes);
            }
            const uint32_t self = c->running_task;
            c->builtins[row].handler(c->host, c, view.mem + sp, bytes);
            c->running_task = self;
            view.take(c->arena);
            fm.take(c);
            expect_stacks_in_arena(c, view);
            sp += bytes;
            NEXT();
        }
#define SETRESULT_N(name, n)                                                                                      \
    OP(name) {                                                                                                   \
        NEED(sp, 4 * n);                                                                                          \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            c->result[i] = view.get(sp + 4 * i);                                                                  \
        }                                                                                                         \
        NEXT();                                                                                                   \
    }
#define PUSHRESULT_N(name, n)                                                                                     \
    OP(name) {                                                                                                   \
        PUSH_CELLS(c->result, n);                                                                                 \
        NEXT();                                                                                                   \
    }
        SETRESULT_N(INST_SETRESULT1, 1)
        SETRESULT_N(INST_SETRESULT2, 2)
        SETRESULT_N(INST_SETRESULT3, 3)
        PUSHRESULT_N(INST_PUSHRESULT1, 1)
        PUSHRESULT_N(INST_PUSHRESULT2, 2)
        PUSHRESULT_N(INST_PUSHRESULT3, 3)
#undef SETRESULT_N
#undef PUSHRESULT_N
        OP(INST_JUMP)
            ip = view.get(ip);
            NEXT();
#define BRANCH(name, test)                                                                                        \
    OP(name) {                                                                                                   \
        NEED(sp, 4);                                                                                              \
        const int32_t x = static_cast<int32_t>(view.get(sp));                                                     \
        sp += 4;                                                                                                  \
        ip = (test) ? view.get(ip) : ip + 4;                                                                      \
        NEXT();                                                                                                   \
    }
        BRANCH(INST_JZ, x == 0)
        BRANCH(INST_JNZ, x != 0)
        BRANCH(INST_JGT, x > 0)
        BRANCH(INST_JLT, x < 0)
        BRANCH(INST_JGE, x >= 0)
        BRANCH(INST_JLE, x <= 0)
#undef BRANCH
        OP(INST_SWITCHTABLE) {
            uint32_t l[3];
            const uint32_t table = ip;
            POP_CELLS(l, 1);
            NEED(table, 12);
            const uint32_t x = l[0] - view.get(table + 4);
            if (x < view.get(table + 8)) {
                const uint32_t at = table + 12 + 4 * x;
                NEED(at, 4);
                ip = view.get(at);
            } else {
                ip = view.get(table);
            }
            NEXT();
        }
        OP(INST_SWITCHSEARCH) {
            uint32_t l[3];
            const uint32_t table = ip;
            POP_CELLS(l, 1);
            const int32_t x = static_cast<int32_t>(l[0]);
            NEED(table, 8);
            ip = view.get(table);
            const uint32_t n = view.get(table + 4);
            uint32_t lo = 0;
            uint32_t hi = n;
            while (lo < hi) {
                const uint32_t mid = lo + (hi - lo) / 2;
                const uint32_t key_at = table + 8 + 4 * mid;
                NEED(key_at, 4);
                const int32_t key = static_cast<int32_t>(view.get(key_at));
                if (key == x) {
                    const uint32_t at = static_cast<uint32_t>(table + 8 + 4 * static_cast<uint64_t>(n) + 4 * mid);
                    NEED(at, 4);
                    ip = view.get(at);
                    break;
                }
                if (key < x) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            NEXT();
        }
#define PUSH_N(name, n)                                                                                           \
    OP(name) {                                                                                                   \
        uint32_t v[n];                                                                                            \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            v[i] = view.get(ip + 4 * i);                                                                          \
        }                                                                                                         \
        ip += 4 * n;                                                                                              \
        PUSH_CELLS(v, n);                                                                                         \
        NEXT();                                                                                                   \
    }
        PUSH_N(INST_PUSH1, 1)
        PUSH_N(INST_PUSH2, 2)
        PUSH_N(INST_PUSH3, 3)
#undef PUSH_N
        OP(INST_PUSHSP)
            PUSH(sp);
            NEXT();
        OP(INST_PUSHSPOFS) {
            const uint32_t v = sp + view.get(ip);
            ip += 4;
            PUSH(v);
            NEXT();
        }
        OP(INST_PUSHARGS)
            PUSH(args);
            NEXT();
        OP(INST_PUSHARGSOFS) {
            const uint32_t v = args + view.get(ip);
            ip += 4;
            PUSH(v);
            NEXT();
        }
        OP(INST_ADDSP)
            sp += view.get(ip);
            ip += 4;
            if (sp < page) {
                broken(c, op_ip, "stack overflow");
            }
            NEXT();
#define DUP_N(name, n)                                                                                            \
    OP(name) {                                                                                                   \
        NEED(sp, 4 * n);                                                                                          \
        uint32_t v[n];                                                                                            \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            v[i] = view.get(sp + 4 * i);                                                                          \
        }                                                                                                         \
        PUSH_CELLS(v, n);                                                                                         \
        NEXT();                                                                                                   \
    }
        DUP_N(INST_DUP1, 1)
        DUP_N(INST_DUP2, 2)
        DUP_N(INST_DUP3, 3)
#undef DUP_N
        OP(INST_NEW) {
            const uint32_t size = view.get(ip);
            const uint32_t table = view.get(ip + 4);
            ip += 8;
            if (size < 4) {
                broken(c, op_ip, "object of fewer than 4 bytes");
            }
            c->running_ip = op_ip;
            bool heap_broken = false;
            const uint32_t d = cellheap_alloc(c->arena, c->objectheap, size, &heap_broken);
            if (heap_broken) {
                k_broken(c, "object heap");
            }
            if (d == 0) {
                krun_fail(c, "full object table");
            }
            NEED(d, size);
            view.put(d, table);
            std::memset(view.mem + d + 4, 0, size - 4);
            PUSH(d + 4);
            NEXT();
        }
        OP(INST_DELETE) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            if (!IsFullHeapCell(c->arena, c->objectheap, l[0] - 4)) {
                broken(c, op_ip, pline_format("delete of 0x%08x, which is no object,", l[0]));
            }
            c->running_ip = op_ip;
            bool heap_broken = false;
            cellheap_free(c->arena, c->objectheap, l[0] - 4, &heap_broken);
            if (heap_broken) {
                k_broken(c, "object heap");
            }
            NEXT();
        }
        OP(INST_LOADBYTE) {
            NEED(sp, 4);
            const uint32_t at = view.get(sp);
            NEED(at, 1);
            view.put(sp, view.mem[at]);
            NEXT();
        }
#define LOAD_N(name, n)                                                                                           \
    OP(name) {                                                                                                   \
        NEED(sp, 4);                                                                                              \
        const uint32_t at = view.get(sp);                                                                         \
        sp += 4;                                                                                                  \
        NEED(at, 4 * n);                                                                                          \
        uint32_t v[n];                                                                                            \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            v[i] = view.get(at + 4 * i);                                                                          \
        }                                                                                                         \
        PUSH_CELLS(v, n);                                                                                         \
        NEXT();                                                                                                   \
    }
        LOAD_N(INST_LOAD1, 1)
        LOAD_N(INST_LOAD2, 2)
        LOAD_N(INST_LOAD3, 3)
#undef LOAD_N
        OP(INST_LOADMETHOD) {
            const uint32_t offset = view.get(ip);
            ip += 4;
            NEED(sp, 4);
            const uint32_t object = view.get(sp);
            NEED(object - 4, 4);
            const uint32_t table = view.get(object - 4);
            NEED(table + offset, 4);
            view.put(sp, view.get(table + offset));
            NEXT();
        }
        OP(INST_STOREBYTE) {
            uint32_t l[3];
            POP_CELLS(l, 2);
            NEED_WRITE(l[0], 1);
            view.mem[l[0]] = static_cast<uint8_t>(l[1]);
            WROTE(l[0], 1);
            NEXT();
        }
#define STORE_N(name, n)                                                                                          \
    OP(name) {                                                                                                   \
        NEED(sp, 4 + 4 * n);                                                                                      \
        const uint32_t at = view.get(sp);                                                                         \
        uint32_t v[n];                                                                                            \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            v[i] = view.get(sp + 4 + 4 * i);                                                                      \
        }                                                                                                         \
        sp += 4 + 4 * n;                                                                                          \
        NEED_WRITE(at, 4 * n);                                                                                    \
        for (uint32_t i = 0; i < n; ++i) {                                                                        \
            view.put(at + 4 * i, v[i]);                                                                           \
        }                                                                                                         \
        WROTE(at, 4 * n);                                                                                         \
        NEXT();                                                                                                   \
    }
        STORE_N(INST_STORE1, 1)
        STORE_N(INST_STORE2, 2)
        STORE_N(INST_STORE3, 3)
#undef STORE_N
        OP(INST_ISZERO)
        OP(INST_LNOT)
            NEED(sp, 4);
            view.put(sp, view.get(sp) == 0);
            NEXT();
        OP(INST_IDENTITY)
            NEXT();
        OP(INST_ISPOS)
        OP(INST_ISNEG)
        OP(INST_ISNONNEG)
        OP(INST_ISNONPOS)
        OP(INST_ISNONZERO) {
            NEED(sp, 4);
            const int32_t x = static_cast<int32_t>(view.get(sp));
            bool v;
            switch (op) {
            case INST_ISPOS: v = x > 0; break;
            case INST_ISNEG: v = x < 0; break;
            case INST_ISNONNEG: v = x >= 0; break;
            case INST_ISNONPOS: v = x <= 0; break;
            default: v = x != 0; break;
            }
            view.put(sp, v);
            NEXT();
        }
        OP(INST_FSIGN)
        OP(INST_FSIGN2)
        OP(INST_FSIGN3) {
            uint32_t l[3];
            const uint32_t n = op - INST_FSIGN + 1;
            POP_CELLS(l, n);
            uint32_t sign = 0;
            for (uint32_t i = 0; i < n; ++i) {
                const float x = f_of(l[i]);
                if (x != 0.0f) {
                    sign = x < 0.0f ? 0xFFFFFFFFu : 1u;
                    break;
                }
            }
            PUSH(sign);
            NEXT();
        }
        OP(INST_UCMP) {
            NEED(sp, 8);
            const uint32_t a = view.get(sp);
            const uint32_t b = view.get(sp + 4);
            sp += 8;
            PUSH(a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u);
            NEXT();
        }
        OP(INST_ICMP) {
            NEED(sp, 8);
            const int32_t a = static_cast<int32_t>(view.get(sp));
            const int32_t b = static_cast<int32_t>(view.get(sp + 4));
            sp += 8;
            PUSH(a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u);
            NEXT();
        }
        OP(INST_FCMP)
        OP(INST_FCMP2)
        OP(INST_FCMP3) {
            uint32_t l[3];
            uint32_t r[3];
            const uint32_t n = op == INST_FCMP ? 1 : op - INST_FCMP2 + 2;
            POP_CELLS(l, n);
            POP_CELLS(r, n);
            uint32_t result = 0;
            for (uint32_t i = 0; i < n && result == 0; ++i) {
                const float a = f_of(l[i]);
                const float b = f_of(r[i]);
                result = a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u;
            }
            PUSH(result);
            NEXT();
        }
#define BINARY(name, expr)                                                                                        \
    OP(name) {                                                                                                   \
        NEED(sp, 8);                                                                                              \
        const uint32_t a = view.get(sp);                                                                          \
        const uint32_t b = view.get(sp + 4);                                                                      \
        sp += 4;                                                                                                  \
        view.put(sp, (expr));                                                                                     \
        NEXT();                                                                                                   \
    }
        BINARY(INST_AND, a & b)
        BINARY(INST_OR, a | b)
        BINARY(INST_XOR, a ^ b)
        BINARY(INST_LAND, a != 0 && b != 0)
        BINARY(INST_LOR, a != 0 || b != 0)
        BINARY(INST_SHL, a << (b & 31))
        BINARY(INST_SHR, a >> (b & 31))
        BINARY(INST_SAR, (a & 0x80000000u) != 0 ? ~(~a >> (b & 31)) : a >> (b & 31))
        BINARY(INST_ADD, a + b)
        BINARY(INST_SUB, a - b)
        OP(INST_UMUL)
        BINARY(INST_IMUL, a * b)
#undef BINARY
        OP(INST_LXOR) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            if (l[0] != 0) {
                NEED(sp, 4);
                view.put(sp, view.get(sp) == 0);
            }
            NEXT();
        }
        OP(INST_NOT)
            NEED(sp, 4);
            view.put(sp, ~view.get(sp));
            NEXT();
        OP(INST_NEG)
            NEED(sp, 4);
            view.put(sp, 0u - view.get(sp));
            NEXT();
        OP(INST_FNEG)
        OP(INST_FNEG2)
        OP(INST_FNEG3) {
            const uint32_t n = op - INST_FNEG + 1;
            NEED(sp, 4 * n);
            for (uint32_t i = 0; i < n; ++i) {
                view.put(sp + 4 * i, u_of(-f_of(view.get(sp + 4 * i))));
            }
            NEXT();
        }
        OP(INST_FADD)
        OP(INST_FADD2)
        OP(INST_FADD3)
        OP(INST_FSUB)
        OP(INST_FSUB2)
        OP(INST_FSUB3) {
            uint32_t l[3];
            uint32_t r[3];
            const bool sub = op >= INST_FSUB;
            const uint32_t n = op - (sub ? INST_FSUB : INST_FADD) + 1;
            POP_CELLS(l, n);
            POP_CELLS(r, n);
            for (uint32_t i = 0; i < n; ++i) {
                l[i] = u_of(sub ? f_of(l[i]) - f_of(r[i]) : f_of(l[i]) + f_of(r[i]));
            }
            PUSH_CELLS(l, n);
            NEXT();
        }
        OP(INST_FMUL)
        OP(INST_FMOD) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            NEED(sp, 4);
            const float a = f_of(l[0]);
            const float b = f_of(view.get(sp));
            view.put(sp, u_of(op == INST_FMUL ? a * b : std::fmod(a, b)));
            NEXT();
        }
        OP(INST_CMUL)
        OP(INST_CDIV) {
            uint32_t l[3];
            uint32_t r[3];
            POP_CELLS(l, 2);
            POP_CELLS(r, 2);
            const double l0 = f_of(l[0]), l1 = f_of(l[1]), r0 = f_of(r[0]), r1 = f_of(r[1]);
            if (op == INST_CMUL) {
                l[0] = u_of(l0 * r0 - l1 * r1);
                l[1] = u_of(l0 * r1 + l1 * r0);
            } else {
                const double d = checkzero_float(c, ip, r0 * r0 + r1 * r1);
                l[0] = u_of((l0 * r0 + l1 * r1) / d);
                l[1] = u_of((l1 * r0 - l0 * r1) / d);
            }
            PUSH_CELLS(l, 2);
            NEXT();
        }
        OP(INST_DOT) {
            uint32_t l[3];
            uint32_t r[3];
            POP_CELLS(l, 3);
            POP_CELLS(r, 3);
            double s = 0.0;
            for (int i = 0; i < 3; ++i) {
                s += static_cast<double>(f_of(l[i])) * f_of(r[i]);
            }
            PUSH(u_of(s));
            NEXT();
        }
        OP(INST_CROSS) {
            uint32_t l[3];
            uint32_t r[3];
            POP_CELLS(l, 3);
            POP_CELLS(r, 3);
            const double l0 = f_of(l[0]), l1 = f_of(l[1]), l2 = f_of(l[2]);
            const double r0 = f_of(r[0]), r1 = f_of(r[1]), r2 = f_of(r[2]);
            const uint32_t v[3] = {u_of(l1 * r2 - l2 * r1), u_of(l2 * r0 - l0 * r2), u_of(l0 * r1 - l1 * r0)};
            PUSH_CELLS(v, 3);
            NEXT();
        }
        OP(INST_UDIV)
        OP(INST_UMOD) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            NEED(sp, 4);
            const uint32_t b = checkzero_int(c, ip, view.get(sp));
            view.put(sp, op == INST_UDIV ? l[0] / b : l[0] % b);
            NEXT();
        }
        OP(INST_IDIV)
        OP(INST_IMOD) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            NEED(sp, 4);
            const int32_t a = static_cast<int32_t>(l[0]);
            const int32_t b = static_cast<int32_t>(checkzero_int(c, ip, view.get(sp)));
            int32_t v;
            if (b == -1) {
                v = op == INST_IDIV ? wrap_neg(a) : 0;
            } else {
                v = op == INST_IDIV ? a / b : a % b;
            }
            view.put(sp, static_cast<uint32_t>(v));
            NEXT();
        }
        OP(INST_FDIV) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            NEED(sp, 4);
            float b = f_of(view.get(sp));
            if ((u_of(b) & 0x7FFFFFFFu) == 0) {
                report(c, ip, "checkzero()");
                b = 1.0f;
            }
            view.put(sp, u_of(f_of(l[0]) / b));
            NEXT();
        }
        OP(INST_SCALE2)
        OP(INST_SCALE3)
        OP(INST_DIVSCALAR2)
        OP(INST_DIVSCALAR3) {
            uint32_t l[3];
            uint32_t r[3];
            const bool divide = op >= INST_DIVSCALAR2;
            const uint32_t n = op - (divide ? INST_DIVSCALAR2 : INST_SCALE2) + 2;
            POP_CELLS(r, 1);
            double s = f_of(r[0]);
            if (divide) {
                s = 1.0 / checkzero_float(c, ip, s);
            }
            POP_CELLS(l, n);
            for (uint32_t i = 0; i < n; ++i) {
                l[i] = u_of(f_of(l[i]) * s);
            }
            PUSH_CELLS(l, n);
            NEXT();
        }
        OP(INST_DIVLENGTH3) {
            uint32_t l[3];
            uint32_t r[3];
            POP_CELLS(l, 3);
            POP_CELLS(r, 3);
            double len = 0.0;
            for (int i = 0; i < 3; ++i) {
                len += static_cast<double>(f_of(r[i])) * f_of(r[i]);
            }
            const double inv = 1.0 / checkzero_float(c, ip, std::sqrt(len));
            for (int i = 0; i < 3; ++i) {
                l[i] = u_of(f_of(l[i]) * inv);
            }
            PUSH_CELLS(l, 3);
            NEXT();
        }
        OP(INST_ABS) {
            NEED(sp, 4);
            const uint32_t a = view.get(sp);
            view.put(sp, (a & 0x80000000u) != 0 ? 0u - a : a);
            NEXT();
        }
        OP(INST_LENGTH2)
        OP(INST_LENGTH3) {
            uint32_t l[3];
            const uint32_t n = op - INST_LENGTH2 + 2;
            POP_CELLS(l, n);
            double s = 0.0;
            for (uint32_t i = 0; i < n; ++i) {
                s += static_cast<double>(f_of(l[i])) * f_of(l[i]);
            }
            PUSH(u_of(std::sqrt(s)));
            NEXT();
        }
        OP(INST_FABS)
        OP(INST_SQRT)
        OP(INST_SIN)
        OP(INST_COS)
        OP(INST_LOG)
        OP(INST_EXP)
        OP(INST_FLOOR)
        OP(INST_CEIL)
        OP(INST_ROUND) {
            NEED(sp, 4);
            const float x = f_of(view.get(sp));
            const double d = x;
            uint32_t v;
            switch (op) {
            case INST_FABS: v = u_of(x < 0.0f ? -x : x); break;
            case INST_SQRT:
                if (d < 0.0) {
                    report(c, ip, "checksqrt()");
                    v = u_of(std::sqrt(0.0));
                } else {
                    v = u_of(std::sqrt(d));
                }
                break;
            case INST_SIN: v = u_of(std::sin(d)); break;
            case INST_COS: v = u_of(std::cos(d)); break;
            case INST_LOG: v = u_of(std::log(d)); break;
            case INST_EXP: v = u_of(std::exp(d)); break;
            case INST_FLOOR: v = u_of(std::floor(x)); break;
            case INST_CEIL: v = u_of(std::ceil(x)); break;
            default: v = u_of(std::floor(d + 0.5)); break;
            }
            view.put(sp, v);
            NEXT();
        }
        OP(INST_STRLEN) {
            NEED(sp, 4);
            const char* s = script_string(c, op_ip, view.get(sp));
            view.put(sp, static_cast<uint32_t>(std::strlen(s)));
            NEXT();
        }
        OP(INST_STRCMP) {
            uint32_t l[3];
            POP_CELLS(l, 1);
            const char* a = script_string(c, op_ip, l[0]);
            NEED(sp, 4);
            const int v = std::strcmp(a, script_string(c, op_ip, view.get(sp)));
            view.put(sp, v < 0 ? 0xFFFFFFFFu : v > 0 ? 1u : 0u);
            NEXT();
        }
        OP(INST_ZEXTBYTE)
        OP(INST_SEXTBYTE)
        OP(INST_UTOF)
        OP(INST_ITOF)
        OP(INST_FTOU)
        OP(INST_FTOI) {
            NEED(sp, 4);
            const uint32_t x = view.get(sp);
            uint32_t v;
            switch (op) {
            case INST_ZEXTBYTE: v = x & 0xFFu; break;
            case INST_SEXTBYTE: v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(x & 0xFFu))); break;
            case INST_UTOF: v = u_of(static_cast<float>(x)); break;
            case INST_ITOF: v = u_of(static_cast<float>(static_cast<int32_t>(x))); break;
            case INST_FTOU: {
                const double a = f_of(x);
                const bool fits = a > -9223372036854775808.0 && a < 9223372036854775808.0;
                v = fits ? static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(a))) : 0u;
                break;
            }
            default: v = static_cast<uint32_t>(float_to_int_trunc(f_of(x))); break;
            }
            view.put(sp, v);
            NEXT();
        }
        OP(INST_NIP)
            NEED(sp, 8);
            view.put(sp + 4, view.get(sp));
            sp += 4;
            NEXT();
        OP(INST_POP1)
            sp += 4;
            NEXT();
        OP(INST_NIP2)
            NEED(sp, 12);
            view.put(sp + 8, view.get(sp));
            sp += 8;
            NEXT();
        OP(INST_POPNIP)
            NEED(sp + 4, 8);
            view.put(sp + 8, view.get(sp + 4));
            sp += 8;
            NEXT();
        OP(INST_POP2)
            sp += 8;
            NEXT();
        // Fused forms. Each checks first everything its instructions would
        // check; when any check fails it runs its first instruction through
        // that opcode's own body, which finds the fault where it lies. Every
        // cell the instructions leave in memory is written, in their order.
        // A comparison after a push needs no room check of its own: it pops
        // two cells before pushing one.
#define FORM_LD(P)                                                                                                \
    OP(KF_LD_##P##_NONE) {                                                                                       \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                             \
        if (!room(s, page, 1) || !view.holds(s - 4, 4) || !view.holds(a, 4)) [[unlikely]] {                       \
            goto plain;                                                                                           \
        }                                                                                                         \
        view.put(s - 4, a);                                                                                       \
        view.put(s - 4, view.get(a));                                                                             \
        sp = s - 4;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 1;                                                                       \
        NEXT();                                                                                                   \
    }
#define FORM_LD2(P)                                                                                               \
    OP(KF_LD2_##P##_NONE) {                                                                                      \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                             \
        if (!room(s, page, 2) || !view.holds(s - 8, 8) || !view.holds(a, 8)) [[unlikely]] {                       \
            goto plain;                                                                                           \
        }                                                                                                         \
        view.put(s - 4, a);                                                                                       \
        const uint32_t v0 = view.get(a);                                                                          \
        const uint32_t v1 = view.get(a + 4);                                                                      \
        view.put(s - 8, v0);                                                                                      \
        view.put(s - 4, v1);                                                                                      \
        sp = s - 8;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 1;                                                                       \
        NEXT();                                                                                                   \
    }
#define FORM_ST(P)                                                                                                \
    OP(KF_ST_##P##_NONE) {                                                                                       \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                             \
        if (!room(s, page, 1) || !view.holds(s - 4, 8) || !view.writable(a, 4)) [[unlikely]] {                    \
            goto plain;                                                                                           \
        }                                                                                                         \
        view.put(s - 4, a);                                                                                       \
        view.put(a, view.get(s));                                                                                 \
        sp = s + 4;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 1;                                                                       \
        WROTE(a, 4);                                                                                              \
        NEXT();                                                                                                   \
    }
// push1 v; B: the pushed word is the left operand.
#define FORM_IMMB_CHECK(B)                                                                                        \
    if (!room(s, page, 1) || !view.holds(s - 4, 8)) [[unlikely]] {                                                \
        goto plain;                                                                                               \
    }                                                                                                             \
    const uint32_t v = view.get(op_ip + 1);                                                                       \
    view.put(s - 4, v);                                                                                           \
    const uint32_t r = binary(Bin::B, v, view.get(s));                                                            \
    view.put(s, r);
#define FORM_IMMB(B)                                                                                              \
    OP(KF_IMMB_NONE_##B) {                                                                                       \
        const uint32_t s = sp;                                                                                    \
        FORM_IMMB_CHECK(B)                                                                                        \
        ip = op_ip + 6;                                                                                           \
        NEXT();                                                                                                   \
    }
#define FORM_BJ(B)                                                                                                \
    OP(KF_BJ_NONE_##B) {                                                                                         \
        const uint32_t s = sp;                                                                                    \
        if (!view.holds(s, 8) || !binary_fits(Bin::B, s, page)) [[unlikely]] {                                    \
            goto plain;                                                                                           \
        }                                                                                                         \
        const uint32_t r = binary(Bin::B, view.get(s), view.get(s + 4));                                          \
        view.put(s + 4, r);                                                                                       \
        sp = s + 8;                                                                                               \
        ip = jump_taken(view.mem[op_ip + 1], r) ? view.get(op_ip + 2) : op_ip + 6;                                \
        NEXT();                                                                                                   \
    }
#define FORM_IMMBJ(B)                                                                                             \
    OP(KF_IMMBJ_NONE_##B) {                                                                                      \
        const uint32_t s = sp;                                                                                    \
        FORM_IMMB_CHECK(B)                                                                                        \
        sp = s + 4;                                                                                               \
        ip = jump_taken(view.mem[op_ip + 6], r) ? view.get(op_ip + 7) : op_ip + 11;                               \
        NEXT();                                                                                                   \
    }
// P load1 B: the loaded cell is the left operand.
#define FORM_LDB_CHECK(P, B)                                                                                      \
    const uint32_t s = sp;                                                                                        \
    const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                                 \
    if (!room(s, page, 1) || !view.holds(s - 4, 8) || !view.holds(a, 4)) [[unlikely]] {                           \
        goto plain;                                                                                               \
    }                                                                                                             \
    view.put(s - 4, a);                                                                                           \
    const uint32_t v = view.get(a);                                                                               \
    view.put(s - 4, v);                                                                                           \
    const uint32_t r = binary(Bin::B, v, view.get(s));                                                            \
    view.put(s, r);                                                                                               \
    constexpr uint32_t at_j = pre_bytes(Pre::P) + 2;
#define FORM_LDB(P, B)                                                                                            \
    OP(KF_LDB_##P##_##B) {                                                                                       \
        FORM_LDB_CHECK(P, B)                                                                                      \
        sp = s;                                                                                                   \
        ip = op_ip + at_j;                                                                                        \
        NEXT();                                                                                                   \
    }
#define FORM_LDBJ(P, B)                                                                                           \
    OP(KF_LDBJ_##P##_##B) {                                                                                      \
        FORM_LDB_CHECK(P, B)                                                                                      \
        sp = s + 4;                                                                                               \
        ip = jump_taken(view.mem[op_ip + at_j], r) ? view.get(op_ip + at_j + 1) : op_ip + at_j + 5;               \
        NEXT();                                                                                                   \
    }
// B; P store1: the result is stored where P points (P sees sp after B).
#define FORM_BST(P, B)                                                                                            \
    OP(KF_BST_##P##_##B) {                                                                                       \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip + 1, s + 4, args);                                     \
        if (!view.holds(s, 8) || !room(uint64_t{s} + 4, page, 1) ||                                               \
            !view.writable(a, 4)) [[unlikely]] {                                                                  \
            goto plain;                                                                                           \
        }                                                                                                         \
        const uint32_t r = binary(Bin::B, view.get(s), view.get(s + 4));                                          \
        view.put(s + 4, r);                                                                                       \
        view.put(s, a);                                                                                           \
        view.put(a, r);                                                                                           \
        sp = s + 8;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 2;                                                                       \
        WROTE(a, 4);                                                                                              \
        NEXT();                                                                                                   \
    }
// push1 v; B; P store1.
#define FORM_IMMBST(P, B)                                                                                         \
    OP(KF_IMMBST_##P##_##B) {                                                                                    \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip + 6, s, args);                                         \
        if (!view.writable(a, 4)) [[unlikely]] {                                                                  \
            goto plain;                                                                                           \
        }                                                                                                         \
        FORM_IMMB_CHECK(B)                                                                                        \
        view.put(s - 4, a);                                                                                       \
        view.put(a, r);                                                                                           \
        sp = s + 4;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 7;                                                                       \
        WROTE(a, 4);                                                                                              \
        NEXT();                                                                                                   \
    }
// push1 v; P load1 B: P sees sp after the push; the loaded cell is the left operand.
#define FORM_IMMLDB(P, B)                                                                                         \
    OP(KF_IMMLDB_##P##_##B) {                                                                                     \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip + 5, s - 4, args);                                     \
        if (!room(s, page, 2) || !view.holds(s - 8, 8) || !view.holds(a, 4)) [[unlikely]] {                       \
            goto plain;                                                                                           \
        }                                                                                                         \
        const uint32_t w = view.get(op_ip + 1);                                                                   \
        view.put(s - 4, w);                                                                                       \
        view.put(s - 8, a);                                                                                       \
        const uint32_t v = view.get(a);                                                                           \
        view.put(s - 8, v);                                                                                       \
        view.put(s - 4, binary(Bin::B, v, w));                                                                    \
        sp = s - 4;                                                                                               \
        ip = op_ip + pre_bytes(Pre::P) + 7;                                                                       \
        NEXT();                                                                                                   \
    }
// P load1; push1 v; B J: the pushed word is the left operand.
#define FORM_LDIMMBJ(P, B)                                                                                        \
    OP(KF_LDIMMBJ_##P##_##B) {                                                                                    \
        const uint32_t s = sp;                                                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                             \
        if (!room(s, page, 2) || !view.holds(s - 8, 8) || !view.holds(a, 4)) [[unlikely]] {                       \
            goto plain;                                                                                           \
        }                                                                                                         \
        constexpr uint32_t at_push = pre_bytes(Pre::P) + 1;                                                       \
        view.put(s - 4, a);                                                                                       \
        const uint32_t v = view.get(a);                                                                           \
        view.put(s - 4, v);                                                                                       \
        const uint32_t w = view.get(op_ip + at_push + 1);                                                         \
        view.put(s - 8, w);                                                                                       \
        const uint32_t r = binary(Bin::B, w, v);                                                                  \
        view.put(s - 4, r);                                                                                       \
        sp = s;                                                                                                   \
        ip = jump_taken(view.mem[op_ip + at_push + 6], r) ? view.get(op_ip + at_push + 7) : op_ip + at_push + 11; \
        NEXT();                                                                                                   \
    }
// P load1; pushspofs k load1; B J: the second cell loaded is the left operand.
#define FORM_LDLDBJ(P, B)                                                                                         \
    OP(KF_LDLDBJ_##P##_##B) {                                                                                     \
        const uint32_t s = sp;                                                                                    \
        constexpr uint32_t at_second = pre_bytes(Pre::P) + 1;                                                    \
        const uint32_t a = pre_address(Pre::P, view, op_ip, s, args);                                             \
        const uint32_t b = pre_address(Pre::SPK, view, op_ip + at_second, s - 4, args);                           \
        if (!room(s, page, 2) || !view.holds(s - 8, 8) || !view.holds(a, 4) || !view.holds(b, 4)) [[unlikely]] {  \
            goto plain;                                                                                           \
        }                                                                                                         \
        view.put(s - 4, a);                                                                                       \
        view.put(s - 4, view.get(a));                                                                             \
        view.put(s - 8, b);                                                                                       \
        const uint32_t v = view.get(b);                                                                           \
        view.put(s - 8, v);                                                                                       \
        const uint32_t r = binary(Bin::B, v, view.get(s - 4));                                                    \
        view.put(s - 4, r);                                                                                       \
        sp = s;                                                                                                   \
        ip = jump_taken(view.mem[op_ip + at_second + 7], r) ? view.get(op_ip + at_second + 8)                     \
                                                           : op_ip + at_second + 12;                              \
        NEXT();                                                                                                   \
    }
// pushresult1; B: the result cell is the left operand.
#define FORM_RB_CHECK(B)                                                                                          \
    const uint32_t s = sp;                                                                                        \
    if (!room(s, page, 1) || !view.holds(s - 4, 8)) [[unlikely]] {                                                \
        goto plain;                                                                                               \
    }                                                                                                             \
    const uint32_t v = c->result[0];                                                                              \
    view.put(s - 4, v);                                                                                           \
    const uint32_t r = binary(Bin::B, v, view.get(s));                                                            \
    view.put(s, r);
#define FORM_RB(B)                                                                                                \
    OP(KF_RB_NONE_##B) {                                                                                          \
        FORM_RB_CHECK(B)                                                                                          \
        ip = op_ip + 2;                                                                                           \
        NEXT();                                                                                                   \
    }
// pushresult1; B; ret1: the return reports the ret1.
#define FORM_RBRET1(B)                                                                                            \
    OP(KF_RBRET1_NONE_##B) {                                                                                      \
        FORM_RB_CHECK(B)                                                                                          \
        c->result[0] = r;                                                                                         \
        op_ip += 2;                                                                                               \
        goto leave;                                                                                               \
    }
        // push1 v; ret1: the return reports the ret1.
        OP(KF_IMMRET1_NONE_NONE) {
            const uint32_t s = sp;
            if (!room(s, page, 1) || !view.holds(s - 4, 4)) [[unlikely]] {
                goto plain;
            }
            const uint32_t v = view.get(op_ip + 1);
            view.put(s - 4, v);
            sp = s - 4;
            c->result[0] = v;
            op_ip += 5;
            goto leave;
        }
#define FORM_BODY(F, P, B) FORM_##F(P, B)
#define FORM_LD_BODY(P) FORM_LD(P)
#define FORM_P_ONLY(F, P, B) FORM_##F(P)
#define FORM_B_ONLY(F, P, B) FORM_##F(B)
        KFORMS_P(FORM_P_ONLY, LD, NONE)
        KFORMS_P(FORM_P_ONLY, LD2, NONE)
        KFORMS_P(FORM_P_ONLY, ST, NONE)
        KFORMS_B(FORM_B_ONLY, IMMB)
        KFORMS_B(FORM_B_ONLY, BJ)
        KFORMS_B(FORM_B_ONLY, IMMBJ)
        KFORMS_PB(FORM_BODY, LDB)
        KFORMS_PB(FORM_BODY, LDBJ)
        KFORMS_PB(FORM_BODY, BST)
        KFORMS_PB(FORM_BODY, IMMBST)
        KFORMS_PB(FORM_BODY, IMMLDB)
        KFORMS_PB(FORM_BODY, LDIMMBJ)
        KFORMS_B(FORM_B_ONLY, RB)
        KFORMS_PB(FORM_BODY, LDLDBJ)
        KFORMS_B(FORM_B_ONLY, RBRET1)
#undef FORM_BODY
#undef FORM_LD_BODY
#undef FORM_P_ONLY
#undef FORM_B_ONLY
#undef FORM_LD
#undef FORM_LD2
#undef FORM_ST
#undef FORM_IMMB_CHECK
#undef FORM_IMMB
#undef FORM_BJ
#undef FORM_IMMBJ
#undef FORM_LDB_CHECK
#undef FORM_LDB
#undef FORM_LDBJ
#undef FORM_BST
#undef FORM_IMMBST
#undef FORM_IMMLDB
#undef FORM_LDIMMBJ
#undef FORM_RB_CHECK
#undef FORM_RB
#undef FORM_LDLDBJ
#undef FORM_RBRET1
        OP(KF_UNEXPECTED)
            goto unexpected;
        OP(KF_RAW)
            ip = op_ip;
            RAW_FORM();
            goto dispatch_op;
        default:
            goto unexpected;
        }

    plain:
        // The first instruction of a fused form, through its own body.
        op = view.mem[op_ip];
    dispatch_op:
#ifdef KINTERP_THREADED
        goto* dispatch[op];
#else
        goto switch_op;
#endif

    enter: {
        // The frame header goes below sp, or at the top of a fresh page when
        // this one lacks room for the header and the callee's frame.
        NEED(callee, 4);
        const uint64_t alloc = static_cast<uint64_t>(view.get(callee)) + FRAME_BYTES;
        const uint32_t pagesize = c->stackheap.pagesize;
        if (alloc > pagesize) [[unlikely]] {
            krun_fail(c, pline_format("frame of %s does not fit a stack page", format_address(c, callee)));
        }
        uint32_t header;
        uint32_t new_page = page;
        if (page == 0 || sp - page < alloc) {
            new_page = c->stackheap.free;
            if (new_page == 0) [[unlikely]] {
                krun_fail(c, "full stack table");
            }
            const uint32_t next_free = view.get(new_page);
            if (next_free != 0 && !is_stack_page(c, next_free)) [[unlikely]] {
                c->running_ip = op_ip;
                k_broken(c, "stack page list");
            }
            c->stackheap.free = next_free;
            header = new_page + pagesize - FRAME_BYTES;
        } else {
            header = sp - FRAME_BYTES;
            NEED(header, FRAME_BYTES);
        }
        view.put(header + FRAME_PAGE, page);
        view.put(header + FRAME_RET, ip);
        view.put(header + FRAME_SP, sp);
        view.put(header + FRAME_ARGS, args);
        view.put(header + FRAME_FP, fp);
        sp = header;
        fp = header;
        args = callee_args;
        page = new_page;
        ip = callee + 4;
        NEXT();
    }

    leave: {
        NEED(fp, FRAME_BYTES);
        const uint32_t old_page = view.get(fp + FRAME_PAGE);
        const uint32_t ret = view.get(fp + FRAME_RET);
        const uint32_t old_sp = view.get(fp + FRAME_SP);
        const uint32_t old_args = view.get(fp + FRAME_ARGS);
        const uint32_t old_fp = view.get(fp + FRAME_FP);
        // The caller's sp lies on the caller's page: the stack never reaches below a page.
        if (old_page != 0 &&
            (!is_stack_page(c, old_page) || old_sp < old_page || old_sp - old_page > c->stackheap.pagesize))
            [[unlikely]] {
            broken(c, op_ip, "return through a broken frame");
        }
        if (old_page != page) {
            // The running page is one of the heap's.
            view.put(page, c->stackheap.free);
            c->stackheap.free = page;
        }
        if (old_page == 0) {
            // A task called from the host keeps its arguments on a page of their own.
            if (old_sp != 0) {
                const uint32_t arg_page =
                    old_sp - 1 - (old_sp - 1 - c->stackheap.address) % c->stackheap.pagesize;
                if (!is_stack_page(c, arg_page)) {
                    broken(c, op_ip, "return through a broken frame");
                }
                pageheap_free(c, &c->stackheap, arg_page);
            }
            free_task_record(c, c->running_task);
            c->running_ip = op_ip;
            return;
        }
        ip = ret;
        NEED(ip, 4);
        const uint32_t count = view.get(ip);
        ip += 4;
        sp = old_sp + count;
        args = old_args;
        fp = old_fp;
        page = old_page;
        // A return into a decoded pushresult1 runs the push here, sparing its
        // dispatch; anything unusual leaves it to the opcode's own body.
        if (ip < fm.limit && fm.forms[ip] == INST_PUSHRESULT1 && room(sp, page, 1) && view.holds(sp - 4, 4)) {
            sp -= 4;
            view.put(sp, c->result[0]);
            ip += 1;
        }
        NEXT();
    }
    }

unexpected:
    c->running_ip = op_ip;
    krun_fail(c, pline_format("unexpected instruction %u at %s", op, format_address(c, op_ip)));

#undef NEED
#undef NEED_WRITE
#undef PUSH_ROOM
#undef PUSH
#undef POP_CELLS
#undef PUSH_CELLS
#undef FETCH
#undef RAW_FORM
#undef WROTE
#undef OP
#undef NEXT
}

#undef KINTERP_OPCODES

} // namespace

void run_task(kcontext_t* c, uint32_t task)
{
    const uint32_t outer_ip = c->running_ip;
    const uint32_t outer_task = c->running_task;
    c->running_task = task;
    interpret(c, task);
    // Kept for reports of damage found outside scripts; a dead task's run says nothing.
    if (c->running_ip >= K_SCRIPT_LOW) {
        c->last_ip = c->running_ip;
    }
    c->running_ip = outer_ip;
    c->running_task = outer_task;
}
