// The fatal exit of ostrel_modrender. Defined here, the engine's own (which
// may show a message box, and so links the display and audio libraries) is
// not linked: loading those libraries was most of a short render's cost.
#include "core/kassert.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fatal_exit(const char* context, const char* source, int line, const char* message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "Fatal: %s\"%s\", %d: %s\n", context, source, line, message);
    std::_Exit(1);
}

} // namespace

void _hope_exit(const char* context, const char* source, int line, const char* message)
{
    fatal_exit(context, source, line, message);
}

void _hope_safe_exit(const char* context, const char* source, int line, const char* message)
{
    fatal_exit(context, source, line, message);
}
