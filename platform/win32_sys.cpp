#include "platform/win32_sys.h"

#include "core/command_line.h"
#include "core/kassert.h"
#include "host/host_process.h"
#include "host/host_window.h"
#include "platform/mouse.h"

#include <cstdio>
#include <deque>
#include <string>

Win32Sys* win32sys = nullptr;

namespace {

constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr int WINDOW_WIDTH = 500;
constexpr int WINDOW_HEIGHT = 340;
// Where the pause's failure is reported from, as the engine always did.
constexpr int DEBUG_END_FAILURE_LINE = 120;

// Wait state of the console's pause: 2 waits for a key press, 1 for its release.
int wait_state = 0;
bool console_open = false;
std::deque<std::string> console_lines;

void console_add(const char* text)
{
    if (console_lines.size() >= static_cast<size_t>(DEBUG_CONSOLE_MAX_LINES)) {
        console_lines.pop_front();
    }
    console_lines.emplace_back(text);
    host::debug_output(text);
}

bool is_pause_key(const host::Message& m) { return m.wparam == VK_ESCAPE || m.wparam == VK_RETURN; }

} // namespace

int Win32Sys::window_init(const char* title)
{
    bool init_failed = false;
    if (!host::window_open(title, WINDOW_WIDTH, WINDOW_HEIGHT, init_failed)) {
        show_error("Win32Sys::window_init()",
                   init_failed ? "Can't register window class" : "Can't open application window");
        return 1;
    }
    return 0;
}

void Win32Sys::window_close() { host::window_close(); }

void Win32Sys::window_proc(const host::Message& message)
{
    if (message.type == host::WM_PAINT) {
        host::window_set_repaint();
    }
}

int Win32Sys::set_window_mode(int width, int height, uint32_t flags)
{
    const bool full_screen = (flags & WINDOW_FULL_SCREEN) != 0;
    if (!host::window_set_shape(width, height, full_screen)) {
        return 1;
    }
    mouse_capture(full_screen ? 0 : 1);
    return 0;
}

int Win32Sys::debug_start()
{
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    if (!host::window_client_rect(x, y, w, h)) {
        show_error("Win32Sys::debug_start()", "Can't measure window");
        return 1;
    }
    console_open = true;
    wait_state = 0;
    if (command_line != nullptr) {
        if (command_line->find_option("-wait_on_init")) {
            wait_state = 2;
        }
        command_line->end_search();
    }
    console_add("Debugging console initialized");
    return 0;
}

void Win32Sys::debug_end()
{
    if (!console_open) {
        return;
    }
    if (wait_state != 0) {
        show_error("Init done", "Press ESC or Enter to continue");
    }
    while (wait_state != 0) {
        host::Message m;
        const int r = host::event_source().wait(m);
        if (r < 0) {
            _hope_safe_exit("Win32Sys::debug_end()", k_source_name(__FILE__), DEBUG_END_FAILURE_LINE,
                            "GetMessage() failed");
        }
        if (r == 0) {
            // The window was closed during the pause: the engine quits on its first frame.
            wait_state = 0;
            break;
        }
        if ((m.type == host::WM_KEYDOWN || m.type == host::WM_SYSKEYDOWN) && wait_state == 2 && is_pause_key(m)) {
            wait_state = 1;
        } else if ((m.type == host::WM_KEYUP || m.type == host::WM_SYSKEYUP) && wait_state == 1 && is_pause_key(m)) {
            wait_state = 0;
        }
        window_proc(m);
    }
    console_open = false;
}

void Win32Sys::show_error(const char* title, const char* text)
{
    if (console_open) {
        char line[1024];
        std::snprintf(line, sizeof line, "%s: %s", title, text);
        console_add(line);
        return;
    }
    host::show_message(title, text);
}

bool debug_console_open() { return console_open; }

void debug_console_close()
{
    console_open = false;
    wait_state = 0;
}

int debug_console_line_count() { return static_cast<int>(console_lines.size()); }

const char* debug_console_line(int i)
{
    return (i >= 0 && i < debug_console_line_count()) ? console_lines[static_cast<size_t>(i)].c_str() : nullptr;
}

void debug_console_clear() { console_lines.clear(); }
