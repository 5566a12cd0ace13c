#include "core/kassert.h"
#include "core/log_file.h"
#include "host/host_process.h"
#include "platform/win32_sys.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool exiting = false;

[[noreturn]] void fatal_exit(const char* title, const char* context, const char* source, int line, const char* message)
{
    // A fatal error while the exit hooks run must not run them again.
    if (exiting) {
        std::_Exit(1);
    }
    exiting = true;
    char text[1024];
    std::snprintf(text, sizeof text, "Fatal: %s\"%s\", %d: %s", context, source, line, message);
    if (log_file != nullptr) {
        log_file->write_line(text, LOG_FLUSH);
    }
    if (debug_console_open()) {
        char where[512];
        std::snprintf(where, sizeof where, "line %d, %s", line, source);
        Win32Sys::show_error(title, where);
        Win32Sys::show_error(context, message);
    } else {
        char box[1024];
        std::snprintf(box, sizeof box, "%s\n%s\nline %d, file %s", title, message, line, source);
        host::show_message(context, box);
    }
    host::exit_process(1);
}

} // namespace

void _hope_exit(const char* context, const char* source, int line, const char* message)
{
    fatal_exit("_hope_exit() called", context, source, line, message);
}

void _hope_safe_exit(const char* context, const char* source, int line, const char* message)
{
    fatal_exit("_hope_safe_exit() called", context, source, line, message);
}
