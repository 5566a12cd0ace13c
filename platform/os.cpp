#include "platform/os.h"

#include "core/timer.h"
#include "platform/keyboard.h"
#include "platform/message_pump.h"
#include "platform/mouse.h"
#include "platform/win32_sys.h"

#include <new>

namespace {

void destroy_platform()
{
    delete win32sys;
    win32sys = nullptr;
}

} // namespace

int os_init(const char* title)
{
    win32sys = new (std::nothrow) Win32Sys;
    if (win32sys == nullptr) {
        return 0;
    }
    pump_reset();
    if (win32sys->window_init(title) != 0) {
        destroy_platform();
        return 0;
    }
    if (win32sys->debug_start() != 0 || timer_init() != 0 || keyboard_init() != 0 || mouse_init() != 0) {
        // Undo what did start, so that a later start finds nothing left over.
        mouse_shutdown();
        timer_shutdown();
        debug_console_close();
        win32sys->window_close();
        destroy_platform();
        return 0;
    }
    return 1;
}

void os_shutdown()
{
    if (win32sys == nullptr) {
        return;
    }
    mouse_shutdown();
    keyboard_shutdown();
    win32sys->debug_end();
    win32sys->window_close();
    timer_shutdown();
    pump_reset();
    destroy_platform();
}
