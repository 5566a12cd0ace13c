// Console commands from scripts and the chaining of camera colour filters.
#include "core/cons_cmd.h"
#include "core/numerics.h"
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/server.h"

#include <cstdint>

namespace {

uint32_t filter_byte(uint32_t filter, int k) { return (filter >> (8 * k)) & 0xFFu; }

} // namespace

// b laid over a; the strengths (bits 24-31) are opacities in 256ths.
static uint32_t chain_filters(uint32_t a, uint32_t b)
{
    const float fa = static_cast<float>(filter_byte(a, 3)) / 256.0f;
    const float fb = static_cast<float>(filter_byte(b, 3)) / 256.0f;
    const float alpha = fb + (1.0f - fb) * fa;
    if (alpha == 0.0f) {
        // Neither filter shows: keep the first rather than divide by nothing.
        return a;
    }
    const float wa = (1.0f - fb) * fa / alpha;
    const float wb = fb / alpha;
    uint32_t out = static_cast<uint32_t>(float_to_int_trunc(static_cast<double>(alpha * 256.0f))) << 24;
    for (int k = 0; k < 3; ++k) {
        const float c = static_cast<float>(filter_byte(a, k)) * wa + static_cast<float>(filter_byte(b, k)) * wb;
        out |= (static_cast<uint32_t>(float_to_int_trunc(static_cast<double>(c))) & 0xFFu) << (8 * k);
    }
    return out;
}

DEFINE_BUILTIN(chain_filters, 2) { builtin_result(a.context(), chain_filters(a.u32(0), a.u32(1))); }

DEFINE_BUILTIN(server_command, 1)
{
    BUILTIN_CHECK(a.context(), s.cmd != nullptr);
    s.cmd->add_text(a.str(0));
}

DEFINE_BUILTIN(exit, 0)
{
    BUILTIN_CHECK(a.context(), s.cmd != nullptr);
    s.cmd->add_text("CloseMap");
}
