// Text output of scripts: print streams, the tagged-line hook, clients, and
// temporary texts that scripts read back.
#include "core/print.h"
#include "server/builtin_call.h"
#include "server/builtin_format.h"
#include "server/builtin_table.h"
#include "server/script_glue.h"
#include "server/server.h"

#include <cmath>
#include <cstring>

namespace {

// A client refuses formats longer than this without formatting them.
constexpr size_t CPRINT_FORMAT_MAX = 128;

int stream_of(kcontext_t* c, int32_t stream)
{
    BUILTIN_CHECK(c, stream >= 0 && stream < P_STREAMS);
    return stream;
}

// The text in the arena's ring of temporary texts, where scripts can read it;
// it stays until about a ring's length of further texts.
uint32_t temp_text(Server& s, kcontext_t* c, const char* formatted)
{
    // The shared ring cuts the text to fit and drops trailing newlines.
    const char* const text = format_temp("%s", formatted);
    const uint32_t bytes = static_cast<uint32_t>(std::strlen(text)) + 1;
    uint32_t& used = s.k_exports.texts_used;
    if (bytes > PRINT_RING_SIZE - used) {
        used = 0;
    }
    const uint32_t at = s.k_exports.texts + used;
    std::memcpy(k_bytes(c, at, bytes), text, bytes);
    used += bytes;
    if (used >= PRINT_RING_SIZE) {
        used = 0;
    }
    return at;
}

} // namespace

DEFINE_BUILTIN(print, 2)
{
    const int stream = stream_of(a.context(), a.i32(0));
    char text[FORMAT_CELLS_TEXT];
    format_cells(a, a.str(1), 2, text);
    print_format(stream, "%s", text);
}

DEFINE_BUILTIN(sprint, 2)
{
    char text[FORMAT_CELLS_TEXT];
    format_cells(a, a.str(1), 2, text);
    print_tagged(a.u32(0), "%s", text);
}

DEFINE_BUILTIN(cprint, 3)
{
    const int32_t audience = a.i32(0);
    const int stream = stream_of(a.context(), a.i32(1));
    const char* const format = a.str(2);
    if (std::strlen(format) > CPRINT_FORMAT_MAX) {
        return;
    }
    char text[FORMAT_CELLS_TEXT];
    format_cells(a, format, 3, text);
    s.send_text(audience, stream, text);
}

DEFINE_BUILTIN(pfloat, 1)
{
    const float x = a.f32(0);
    const char* text;
    if (x == 0.0f) {
        text = "0";
    } else if (std::trunc(x) == x) {
        // Whole numbers in full, also those beyond 32 bits.
        text = format_temp("%.0f", static_cast<double>(x));
    } else {
        text = format_temp("%.2f", static_cast<double>(x));
    }
    builtin_result(a.context(), temp_text(s, a.context(), text));
}

DEFINE_BUILTIN(pvector, 3)
{
    const Vector v = a.vec(0);
    const char* const text =
        format_temp("%.2f,%.2f,%.2f", static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z));
    builtin_result(a.context(), temp_text(s, a.context(), text));
}

DEFINE_BUILTIN(pline, 1)
{
    char text[FORMAT_CELLS_TEXT];
    format_cells(a, a.str(0), 1, text);
    builtin_result(a.context(), temp_text(s, a.context(), text));
}
