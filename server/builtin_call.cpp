#include "server/builtin_call.h"

#include "script/kio.h"
#include "script/krun.h"

const char* builtin_name(kcontext_t* c)
{
    // The call instruction: one opcode byte, then the native's handle.
    const uint32_t at = c->running_ip + 1;
    if (c->running_ip == 0 || !c->arena.contains(at, 4)) {
        return "a builtin";
    }
    const uint32_t handle = c->arena.word(at);
    const uint32_t row = knative_row(handle);
    if (!knative_is_handle(handle) || row >= c->builtin_count) {
        return "a builtin";
    }
    return c->builtins[row].name;
}

void builtin_fault(kcontext_t* c, const char* condition)
{
    krun_fail(c, pline_format("%s: %s failed at %s", builtin_name(c), condition, format_address(c, c->running_ip)));
}

void builtin_short_block(kcontext_t* c, uint32_t bytes, uint32_t needed)
{
    krun_fail(c, pline_format("%s: %u argument bytes given, %u needed, at %s", builtin_name(c), bytes, needed,
                              format_address(c, c->running_ip)));
}
