#include "platform/message_pump.h"

#include "core/config_variable.h"
#include "core/print.h"
#include "core/timer.h"
#include "host/host_events.h"
#include "host/host_window.h"
#include "platform/keyboard.h"
#include "platform/mouse.h"
#include "platform/win32_sys.h"

namespace {

bool has_pending = false;
host::Message pending;
InputEvent current_event;

// Closing the window raises the client's Quit; the request waits until the client exists.
void pass_on_quit_request()
{
    if (!host::take_quit_request()) {
        return;
    }
    ConfigVariable* const quit = cvar_list != nullptr ? cvar_list->find("Quit") : nullptr;
    if (quit == nullptr) {
        host::request_quit();
        return;
    }
    quit->set_bool(1);
}

double event_time(const host::Message& m)
{
    const uint32_t elapsed = m.time - timer_base();
    if (elapsed > 0x7FFFFFFFu) {
        print_string(P_DEBUG, "Win32 pump: avoiding negative event");
        return 0.0;
    }
    return elapsed * 0.001;
}

bool is_key_message(uint32_t type)
{
    return type == host::WM_KEYDOWN || type == host::WM_KEYUP || type == host::WM_SYSKEYDOWN ||
           type == host::WM_SYSKEYUP;
}

} // namespace

InputEvent* pump_messages(double from, double to)
{
    pass_on_quit_request();
    for (;;) {
        if (!has_pending) {
            if (!host::event_source().next(pending)) {
                return nullptr;
            }
            has_pending = true;
        }
        const double time = event_time(pending);
        if (time < from) {
            has_pending = false;
            continue;
        }
        if (time > to) {
            return nullptr;
        }
        has_pending = false;
        current_event.time = time;
        current_event.kind = 0;
        if (pending.type >= host::WM_MOUSEMOVE && pending.type <= host::WM_MOUSEWHEEL) {
            mouse_hook()(pending);
        } else if (is_key_message(pending.type)) {
            key_translator()(pending, current_event);
        }
        if (current_event.kind == 0) {
            Win32Sys::window_proc(pending);
            continue;
        }
        return &current_event;
    }
}

void pump_reset() { has_pending = false; }
