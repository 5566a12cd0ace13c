// The byte-code interpreter: runs one task until it waits or its outermost
// frame returns. Registers live in the Machine while it runs and go back to
// the task record only on a wait. Every script-driven access is checked
// against the arena; a bad one ends the program as a broken script.
#include <bit>
#include <cmath>
#include <cstring>

#include "core/numerics.h"
#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kinst.h"
#include "script/krun.h"

namespace {

inline float f_of(uint32_t v) { return std::bit_cast<float>(v); }
inline uint32_t u_of(float f) { return std::bit_cast<uint32_t>(f); }
inline uint32_t u_of(double d) { return std::bit_cast<uint32_t>(static_cast<float>(d)); }

class Machine {
public:
    Machine(kcontext_t* context, uint32_t t) : c(context), task(t) { refresh(); }
    void run();

private:
    kcontext_t* c;
    uint32_t task;
    // The arena as this run sees it; taken again after anything that may allocate from it.
    uint8_t* mem = nullptr;
    uint32_t top = 0;
    uint32_t op_ip = 0;  // the instruction being run
    uint32_t ip = 0;
    uint32_t sp = 0;
    uint32_t args = 0;
    uint32_t fp = 0;
    uint32_t page = 0;

    void refresh()
    {
        mem = c->arena.base();
        top = c->arena.mark();
    }
    // Messages name the instruction being run.
    void sync() const { c->running_ip = op_ip; }
    uint8_t* bytes(uint32_t a, uint32_t len) const
    {
        if (a < KARENA_LOW || static_cast<uint64_t>(a) + len > top) {
            sync();
            return k_bytes(c, a, len);  // reports the bad address
        }
        return mem + a;
    }
    uint32_t load(uint32_t a) const
    {
        uint32_t v;
        std::memcpy(&v, bytes(a, 4), 4);
        return v;
    }
    void store(uint32_t a, uint32_t v) const { std::memcpy(bytes(a, 4), &v, 4); }
    const char* cstr(uint32_t a) const
    {
        sync();
        return k_cstr(c, a);
    }
    uint32_t operand()
    {
        const uint32_t v = load(ip);
        ip += 4;
        return v;
    }
    void push(uint32_t v)
    {
        if (sp < page + 4) {
            overflow();
        }
        sp -= 4;
        store(sp, v);
    }
    uint32_t pop()
    {
        const uint32_t v = load(sp);
        sp += 4;
        return v;
    }
    uint32_t peek(uint32_t i) const { return load(sp + 4 * i); }
    void pop_cells(uint32_t* v, int n)
    {
        for (int i = 0; i < n; ++i) {
            v[i] = pop();
        }
    }
    void push_cells(const uint32_t* v, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            push(v[i]);
        }
    }
    void push_float(double d) { push(u_of(d)); }
    float pop_float() { return f_of(pop()); }

    bool stack_page(uint32_t p) const
    {
        const kpageheap_t& h = c->stackheap;
        return p >= h.address && p < h.address + h.size && (p - h.address) % h.pagesize == 0;
    }
    [[noreturn]] void broken(const char* what) const
    {
        sync();
        krun_fail(c, pline_format("%s at %s", what, format_address(c, c->running_ip)));
    }
    [[noreturn]] void overflow() const { broken("stack overflow"); }
    void report(const char* what) const
    {
        kio_printf(c, KFD_STDERR, "KRun: %s!\n", pline_format("%s at %s", what, format_address(c, ip)));
    }
    uint32_t checkzero_int(uint32_t v) const
    {
        if (v == 0) {
            report("checkzero()");
            return 1;
        }
        return v;
    }
    double checkzero_float(double d) const
    {
        if (d == 0.0) {
            report("checkzero()");
            return 1.0;
        }
        return d;
    }

    void enter(uint32_t function, uint32_t return_ip, uint32_t new_args);
    bool leave();
    void save();
    void call_native(uint32_t handle, uint32_t bytes);
    // False when the task has waited or ended.
    __attribute__((always_inline)) inline bool step(uint32_t op);
};

void Machine::enter(uint32_t function, uint32_t return_ip, uint32_t new_args)
{
    const uint64_t alloc = static_cast<uint64_t>(load(function)) + FRAME_BYTES;
    if (alloc > c->stackheap.pagesize) {
        krun_fail(c, pline_format("frame of %s does not fit a stack page", format_address(c, function)));
    }
    uint32_t header;
    uint32_t new_page = page;
    if (page == 0 || sp - page < alloc) {
        new_page = pageheap_alloc(c, &c->stackheap);
        if (new_page == 0) {
            krun_fail(c, "full stack table");
        }
        header = new_page + c->stackheap.pagesize - FRAME_BYTES;
    } else {
        header = sp - FRAME_BYTES;
    }
    store(header + FRAME_PAGE, page);
    store(header + FRAME_RET, return_ip);
    store(header + FRAME_SP, sp);
    store(header + FRAME_ARGS, args);
    store(header + FRAME_FP, fp);
    sp = header;
    fp = header;
    args = new_args;
    page = new_page;
    ip = function + 4;
}

// False when the task's outermost frame returned.
bool Machine::leave()
{
    const uint32_t old_page = load(fp + FRAME_PAGE);
    const uint32_t ret = load(fp + FRAME_RET);
    const uint32_t old_sp = load(fp + FRAME_SP);
    const uint32_t old_args = load(fp + FRAME_ARGS);
    const uint32_t old_fp = load(fp + FRAME_FP);
    if (old_page != 0 && !stack_page(old_page)) {
        broken("return through a broken frame");
    }
    if (old_page != page) {
        pageheap_free(c, &c->stackheap, page);
    }
    if (old_page == 0) {
        // A task called from the host keeps its arguments on a page of their own.
        if (old_sp != 0) {
            const uint32_t arg_page =
                old_sp - 1 - (old_sp - 1 - c->stackheap.address) % c->stackheap.pagesize;
            if (!stack_page(arg_page)) {
                broken("return through a broken frame");
            }
            pageheap_free(c, &c->stackheap, arg_page);
        }
        free_task_record(c, task);
        return false;
    }
    ip = ret;
    const uint32_t count = operand();
    sp = old_sp + count;
    args = old_args;
    fp = old_fp;
    page = old_page;
    return true;
}

void Machine::save()
{
    const KArena& a = c->arena;
    a.set_word(task + TASK_STACKPAGE, page);
    a.set_word(task + TASK_IP, ip);
    a.set_word(task + TASK_SP, sp);
    a.set_word(task + TASK_ARGS, args);
    a.set_word(task + TASK_FP, fp);
}

void Machine::call_native(uint32_t handle, uint32_t bytes)
{
    const uint32_t row = knative_row(handle);
    if (!knative_is_handle(handle) || row >= c->builtin_count || c->builtins[row].handler == nullptr) {
        broken(pline_format("call of 0x%08x, which is no builtin,", handle));
    }
    const uint8_t* argv = this->bytes(sp, bytes);
    sync();
    c->builtins[row].handler(c->host, c, argv, bytes);
    c->running_task = task;
    refresh();
    sp += bytes;
}

void Machine::run()
{
    const KArena& a = c->arena;
    if (a.word(task + TASK_STACKPAGE) == 0) {
        sp = a.word(task + TASK_SP);
        args = a.word(task + TASK_ARGS);
        enter(a.word(task + TASK_IP), 0, args);
    } else {
        page = a.word(task + TASK_STACKPAGE);
        ip = a.word(task + TASK_IP);
        sp = a.word(task + TASK_SP);
        args = a.word(task + TASK_ARGS);
        fp = a.word(task + TASK_FP);
    }
    for (;;) {
        op_ip = ip;
        const uint32_t op = *bytes(ip, 1);
        ip += 1;
        if (!step(op)) {
            return;
        }
    }
}

bool Machine::step(uint32_t op)
{
    uint32_t l[3];
    uint32_t r[3];
    switch (op) {
    case INST_NOP:
        break;
    case INST_WAIT: {
        const int32_t delay = static_cast<int32_t>(pop());
        save();
        sync();
        queue_task(c, task, delay);
        return false;
    }
    case INST_RET:
        return leave();
    case INST_RET1:
    case INST_RET2:
    case INST_RET3:
        for (uint32_t i = 0; i <= op - INST_RET1; ++i) {
            c->result[i] = peek(i);
        }
        return leave();
    case INST_START: {
        sync();
        const uint32_t function = pop();
        const uint32_t arg = pop();
        const int32_t delay = static_cast<int32_t>(pop());
        if (function == 0) {
            broken("start of a null function");
        }
        c->result[0] = start_task(c, function, arg, delay);
        break;
    }
    case INST_KILL: {
        sync();
        const uint32_t t = pop();
        if (t == task) {
            broken("a task may not kill itself");
        }
        kill_task(c, t);
        break;
    }
    case INST_KILLARG: {
        const uint32_t arg = pop();
        if (arg == 0) {
            broken("kill of the tasks of argument 0");
        }
        c->result[0] = kill_tasks_with_arg(c, arg);
        break;
    }
    case INST_CALL: {
        const uint32_t function = operand();
        enter(function, ip, sp);
        break;
    }
    case INST_CALLPTR: {
        const uint32_t function = pop();
        enter(function, ip, sp);
        break;
    }
    case INST_CALLMETHOD: {
        const uint32_t offset = operand();
        const uint32_t function = load(load(peek(0) - 4) + offset);
        enter(function, ip, sp);
        break;
    }
    case INST_CALLTABLE: {
        const uint32_t offset = operand();
        const uint32_t function = load(peek(0) + offset);
        enter(function, ip, sp);
        break;
    }
    case INST_CALLNATIVE: {
        const uint32_t handle = operand();
        const uint32_t bytes = operand();
        call_native(handle, bytes);
        break;
    }
    case INST_SETRESULT1:
    case INST_SETRESULT2:
    case INST_SETRESULT3:
        for (uint32_t i = 0; i <= op - INST_SETRESULT1; ++i) {
            c->result[i] = peek(i);
        }
        break;
    case INST_PUSHRESULT1:
    case INST_PUSHRESULT2:
    case INST_PUSHRESULT3:
        push_cells(c->result, static_cast<int>(op - INST_PUSHRESULT1 + 1));
        break;
    case INST_JUMP:
        ip = load(ip);
        break;
    case INST_JZ:
    case INST_JNZ:
    case INST_JGT:
    case INST_JLT:
    case INST_JGE:
    case INST_JLE: {
        const uint32_t target = operand();
        const int32_t x = static_cast<int32_t>(pop());
        bool jump = false;
        switch (op) {
        case INST_JZ: jump = x == 0; break;
        case INST_JNZ: jump = x != 0; break;
        case INST_JGT: jump = x > 0; break;
        case INST_JLT: jump = x < 0; break;
        case INST_JGE: jump = x >= 0; break;
        default: jump = x <= 0; break;
        }
        if (jump) {
            ip = target;
        }
        break;
    }
    case INST_SWITCHTABLE: {
        const uint32_t table = ip;
        const uint32_t x = pop() - load(table + 4);
        ip = x < load(table + 8) ? load(table + 12 + 4 * x) : load(table);
        break;
    }
    case INST_SWITCHSEARCH: {
        const uint32_t table = ip;
        const int32_t x = static_cast<int32_t>(pop());
        const uint32_t n = load(table + 4);
        uint32_t lo = 0;
        uint32_t hi = n;
        ip = load(table);
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            const int32_t key = static_cast<int32_t>(load(table + 8 + 4 * mid));
            if (key == x) {
                ip = load(table + 8 + 4 * static_cast<uint64_t>(n) + 4 * mid);
                break;
            }
            if (key < x) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        break;
    }
    case INST_PUSH1:
    case INST_PUSH2:
    case INST_PUSH3: {
        const int n = static_cast<int>(op - INST_PUSH1 + 1);
        for (int i = 0; i < n; ++i) {
            l[i] = operand();
        }
        push_cells(l, n);
        break;
    }
    case INST_PUSHSP:
        push(sp);
        break;
    case INST_PUSHSPOFS: {
        const uint32_t at = sp + operand();
        push(at);
        break;
    }
    case INST_PUSHARGS:
        push(args);
        break;
    case INST_PUSHARGSOFS:
        push(args + operand());
        break;
    case INST_ADDSP:
        sp += operand();
        if (sp < page) {
            overflow();
        }
        break;
    case INST_DUP1:
    case INST_DUP2:
    case INST_DUP3: {
        const int n = static_cast<int>(op - INST_DUP1 + 1);
        for (int i = 0; i < n; ++i) {
            l[i] = peek(static_cast<uint32_t>(i));
        }
        push_cells(l, n);
        break;
    }
    case INST_NEW: {
        const uint32_t size = operand();
        const uint32_t table = operand();
        if (size < 4) {
            broken("object of fewer than 4 bytes");
        }
        const uint32_t d = cellheap_alloc(c->arena, c->objectheap, size);
        if (d == 0) {
            krun_fail(c, "full object table");
        }
        store(d, table);
        std::memset(bytes(d + 4, size - 4), 0, size - 4);
        push(d + 4);
        break;
    }
    case INST_DELETE: {
        const uint32_t object = pop();
        if (!IsFullHeapCell(c->arena, c->objectheap, object - 4)) {
            broken(pline_format("delete of 0x%08x, which is no object,", object));
        }
        cellheap_free(c->arena, c->objectheap, object - 4);
        break;
    }
    case INST_LOADBYTE:
        store(sp, *bytes(peek(0), 1));
        break;
    case INST_LOAD1:
    case INST_LOAD2:
    case INST_LOAD3: {
        const int n = static_cast<int>(op - INST_LOAD1 + 1);
        const uint32_t at = pop();
        for (int i = 0; i < n; ++i) {
            l[i] = load(at + 4 * static_cast<uint32_t>(i));
        }
        push_cells(l, n);
        break;
    }
    case INST_LOADMETHOD: {
        const uint32_t offset = operand();
        store(sp, load(load(peek(0) - 4) + offset));
        break;
    }
    case INST_STOREBYTE: {
        const uint32_t at = pop();
        *bytes(at, 1) = static_cast<uint8_t>(pop());
        break;
    }
    case INST_STORE1:
    case INST_STORE2:
    case INST_STORE3: {
        const int n = static_cast<int>(op - INST_STORE1 + 1);
        const uint32_t at = pop();
        pop_cells(l, n);
        for (int i = 0; i < n; ++i) {
            store(at + 4 * static_cast<uint32_t>(i), l[i]);
        }
        break;
    }
    case INST_ISZERO:
    case INST_LNOT:
        store(sp, peek(0) == 0);
        break;
    case INST_IDENTITY:
        break;
    case INST_ISPOS: store(sp, static_cast<int32_t>(peek(0)) > 0); break;
    case INST_ISNEG: store(sp, static_cast<int32_t>(peek(0)) < 0); break;
    case INST_ISNONNEG: store(sp, static_cast<int32_t>(peek(0)) >= 0); break;
    case INST_ISNONPOS: store(sp, static_cast<int32_t>(peek(0)) <= 0); break;
    case INST_ISNONZERO: store(sp, peek(0) != 0); break;
    case INST_FSIGN:
    case INST_FSIGN2:
    case INST_FSIGN3: {
        const int n = static_cast<int>(op - INST_FSIGN + 1);
        pop_cells(l, n);
        uint32_t sign = 0;
        for (int i = 0; i < n; ++i) {
            const float x = f_of(l[i]);
            if (x != 0.0f) {
                sign = x < 0.0f ? 0xFFFFFFFFu : 1u;
                break;
            }
        }
        push(sign);
        break;
    }
    case INST_UCMP: {
        const uint32_t a = pop();
        const uint32_t b = pop();
        push(a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u);
        break;
    }
    case INST_ICMP: {
        const int32_t a = static_cast<int32_t>(pop());
        const int32_t b = static_cast<int32_t>(pop());
        push(a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u);
        break;
    }
    case INST_FCMP:
    case INST_FCMP2:
    case INST_FCMP3: {
        const int n = op == INST_FCMP ? 1 : static_cast<int>(op - INST_FCMP2 + 2);
        pop_cells(l, n);
        pop_cells(r, n);
        uint32_t result = 0;
        for (int i = 0; i < n && result == 0; ++i) {
            const float a = f_of(l[i]);
            const float b = f_of(r[i]);
            result = a < b ? 0xFFFFFFFFu : a > b ? 1u : 0u;
        }
        push(result);
        break;
    }
    case INST_AND: { const uint32_t a = pop(); store(sp, a & peek(0)); break; }
    case INST_OR: { const uint32_t a = pop(); store(sp, a | peek(0)); break; }
    case INST_XOR: { const uint32_t a = pop(); store(sp, a ^ peek(0)); break; }
    case INST_LAND: { const uint32_t a = pop(); store(sp, a != 0 && peek(0) != 0); break; }
    case INST_LOR: { const uint32_t a = pop(); store(sp, a != 0 || peek(0) != 0); break; }
    case INST_LXOR: {
        const uint32_t a = pop();
        if (a != 0) {
            store(sp, peek(0) == 0);
        }
        break;
    }
    case INST_NOT: store(sp, ~peek(0)); break;
    case INST_SHL: { const uint32_t a = pop(); store(sp, a << (peek(0) & 31)); break; }
    case INST_SHR: { const uint32_t a = pop(); store(sp, a >> (peek(0) & 31)); break; }
    case INST_SAR: {
        const uint32_t a = pop();
        const uint32_t n = peek(0) & 31;
        store(sp, (a & 0x80000000u) != 0 ? ~(~a >> n) : a >> n);
        break;
    }
    case INST_NEG: store(sp, 0u - peek(0)); break;
    case INST_FNEG:
    case INST_FNEG2:
    case INST_FNEG3: {
        const uint32_t n = op - INST_FNEG + 1;
        for (uint32_t i = 0; i < n; ++i) {
            store(sp + 4 * i, u_of(-f_of(peek(i))));
        }
        break;
    }
    case INST_ADD: { const uint32_t a = pop(); store(sp, a + peek(0)); break; }
    case INST_SUB: { const uint32_t a = pop(); store(sp, a - peek(0)); break; }
    case INST_UMUL:
    case INST_IMUL: { const uint32_t a = pop(); store(sp, a * peek(0)); break; }
    case INST_FADD:
    case INST_FADD2:
    case INST_FADD3:
    case INST_FSUB:
    case INST_FSUB2:
    case INST_FSUB3: {
        const bool sub = op >= INST_FSUB;
        const int n = static_cast<int>(op - (sub ? INST_FSUB : INST_FADD) + 1);
        pop_cells(l, n);
        pop_cells(r, n);
        for (int i = 0; i < n; ++i) {
            l[i] = u_of(sub ? f_of(l[i]) - f_of(r[i]) : f_of(l[i]) + f_of(r[i]));
        }
        push_cells(l, n);
        break;
    }
    case INST_FMUL: { const float a = pop_float(); store(sp, u_of(a * f_of(peek(0)))); break; }
    case INST_CMUL:
    case INST_CDIV: {
        pop_cells(l, 2);
        pop_cells(r, 2);
        const double l0 = f_of(l[0]), l1 = f_of(l[1]), r0 = f_of(r[0]), r1 = f_of(r[1]);
        if (op == INST_CMUL) {
            l[0] = u_of(l0 * r0 - l1 * r1);
            l[1] = u_of(l0 * r1 + l1 * r0);
        } else {
            const double d = checkzero_float(r0 * r0 + r1 * r1);
            l[0] = u_of((l0 * r0 + l1 * r1) / d);
            l[1] = u_of((l1 * r0 - l0 * r1) / d);
        }
        push_cells(l, 2);
        break;
    }
    case INST_DOT: {
        pop_cells(l, 3);
        pop_cells(r, 3);
        double s = 0.0;
        for (int i = 0; i < 3; ++i) {
            s += static_cast<double>(f_of(l[i])) * f_of(r[i]);
        }
        push_float(s);
        break;
    }
    case INST_CROSS: {
        pop_cells(l, 3);
        pop_cells(r, 3);
        const double l0 = f_of(l[0]), l1 = f_of(l[1]), l2 = f_of(l[2]);
        const double r0 = f_of(r[0]), r1 = f_of(r[1]), r2 = f_of(r[2]);
        const uint32_t v[3] = {u_of(l1 * r2 - l2 * r1), u_of(l2 * r0 - l0 * r2), u_of(l0 * r1 - l1 * r0)};
        push_cells(v, 3);
        break;
    }
    case INST_UDIV: { const uint32_t a = pop(); store(sp, a / checkzero_int(peek(0))); break; }
    case INST_UMOD: { const uint32_t a = pop(); store(sp, a % checkzero_int(peek(0))); break; }
    case INST_IDIV:
    case INST_IMOD: {
        const int32_t a = static_cast<int32_t>(pop());
        const int32_t b = static_cast<int32_t>(checkzero_int(peek(0)));
        int32_t v;
        if (b == -1) {
            v = op == INST_IDIV ? wrap_neg(a) : 0;
        } else {
            v = op == INST_IDIV ? a / b : a % b;
        }
        store(sp, static_cast<uint32_t>(v));
        break;
    }
    case INST_FDIV: {
        const float a = pop_float();
        float b = f_of(peek(0));
        if ((u_of(b) & 0x7FFFFFFFu) == 0) {
            report("checkzero()");
            b = 1.0f;
        }
        store(sp, u_of(a / b));
        break;
    }
    case INST_FMOD: { const float a = pop_float(); store(sp, u_of(std::fmod(a, f_of(peek(0))))); break; }
    case INST_SCALE2:
    case INST_SCALE3:
    case INST_DIVSCALAR2:
    case INST_DIVSCALAR3: {
        const bool divide = op >= INST_DIVSCALAR2;
        const int n = static_cast<int>(op - (divide ? INST_DIVSCALAR2 : INST_SCALE2) + 2);
        double s = pop_float();
        if (divide) {
            s = 1.0 / checkzero_float(s);
        }
        pop_cells(l, n);
        for (int i = 0; i < n; ++i) {
            l[i] = u_of(f_of(l[i]) * s);
        }
        push_cells(l, n);
        break;
    }
    case INST_DIVLENGTH3: {
        pop_cells(l, 3);
        pop_cells(r, 3);
        double len = 0.0;
        for (int i = 0; i < 3; ++i) {
            len += static_cast<double>(f_of(r[i])) * f_of(r[i]);
        }
        const double inv = 1.0 / checkzero_float(std::sqrt(len));
        for (int i = 0; i < 3; ++i) {
            l[i] = u_of(f_of(l[i]) * inv);
        }
        push_cells(l, 3);
        break;
    }
    case INST_ABS: {
        const uint32_t a = peek(0);
        store(sp, (a & 0x80000000u) != 0 ? 0u - a : a);
        break;
    }
    case INST_FABS: { const float a = f_of(peek(0)); store(sp, u_of(a < 0.0f ? -a : a)); break; }
    case INST_LENGTH2:
    case INST_LENGTH3: {
        const int n = static_cast<int>(op - INST_LENGTH2 + 2);
        pop_cells(l, n);
        double s = 0.0;
        for (int i = 0; i < n; ++i) {
            s += static_cast<double>(f_of(l[i])) * f_of(l[i]);
        }
        push_float(std::sqrt(s));
        break;
    }
    case INST_SQRT: {
        double a = f_of(peek(0));
        if (a < 0.0) {
            report("checksqrt()");
            a = 0.0;
        }
        store(sp, u_of(std::sqrt(a)));
        break;
    }
    case INST_SIN: store(sp, u_of(std::sin(static_cast<double>(f_of(peek(0)))))); break;
    case INST_COS: store(sp, u_of(std::cos(static_cast<double>(f_of(peek(0)))))); break;
    case INST_LOG: store(sp, u_of(std::log(static_cast<double>(f_of(peek(0)))))); break;
    case INST_EXP: store(sp, u_of(std::exp(static_cast<double>(f_of(peek(0)))))); break;
    case INST_FLOOR: store(sp, u_of(std::floor(f_of(peek(0))))); break;
    case INST_CEIL: store(sp, u_of(std::ceil(f_of(peek(0))))); break;
    case INST_ROUND: store(sp, u_of(std::floor(static_cast<double>(f_of(peek(0))) + 0.5))); break;
    case INST_STRLEN: store(sp, static_cast<uint32_t>(std::strlen(cstr(peek(0))))); break;
    case INST_STRCMP: {
        const char* a = cstr(pop());
        const int v = std::strcmp(a, cstr(peek(0)));
        store(sp, v < 0 ? 0xFFFFFFFFu : v > 0 ? 1u : 0u);
        break;
    }
    case INST_ZEXTBYTE: store(sp, peek(0) & 0xFFu); break;
    case INST_SEXTBYTE: store(sp, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(peek(0) & 0xFFu)))); break;
    case INST_UTOF: store(sp, u_of(static_cast<float>(peek(0)))); break;
    case INST_ITOF: store(sp, u_of(static_cast<float>(static_cast<int32_t>(peek(0))))); break;
    case INST_FTOU: {
        const double a = f_of(peek(0));
        const bool fits = a > -9223372036854775808.0 && a < 9223372036854775808.0;
        store(sp, fits ? static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(a))) : 0u);
        break;
    }
    case INST_FTOI: store(sp, static_cast<uint32_t>(float_to_int_trunc(f_of(peek(0))))); break;
    case INST_NIP: store(sp + 4, peek(0)); sp += 4; break;
    case INST_POP1: sp += 4; break;
    case INST_NIP2: store(sp + 8, peek(0)); sp += 8; break;
    case INST_POPNIP: store(sp + 8, peek(1)); sp += 8; break;
    case INST_POP2: sp += 8; break;
    default:
        sync();
        krun_fail(c, pline_format("unexpected instruction %u at %s", op, format_address(c, c->running_ip)));
    }
    return true;
}

} // namespace

void run_task(kcontext_t* c, uint32_t task)
{
    const uint32_t outer_ip = c->running_ip;
    const uint32_t outer_task = c->running_task;
    c->running_task = task;
    Machine(c, task).run();
    c->running_ip = outer_ip;
    c->running_task = outer_task;
}
