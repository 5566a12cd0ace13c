#pragma once
// The platform object: the application window, the start-up debugging
// console, error messages and the input devices.
#include "host/host_events.h"

class InputDevice;

constexpr uint32_t WINDOW_FULL_SCREEN = 1; // flag bit of set_window_mode
constexpr int DEBUG_CONSOLE_MAX_LINES = 1024;

class Win32Sys {
public:
    Win32Sys() = default;
    ~Win32Sys() = default;
    Win32Sys(const Win32Sys&) = delete;
    Win32Sys& operator=(const Win32Sys&) = delete;

    // 0 on success, 1 on failure (shown).
    int window_init(const char* title);
    void window_close();
    static void window_proc(const host::Message& message);
    // 0 on success, 1 when a window call fails.
    int set_window_mode(int width, int height, uint32_t flags);

    // 0 on success, 1 on failure (shown).
    int debug_start();
    // Pauses when "-wait_on_init" asked for it, then closes the console.
    void debug_end();
    // Usable before the platform object exists and after it is gone.
    static void show_error(const char* title, const char* text);

    int device_count = 0;
    InputDevice** devices = nullptr;
};

extern Win32Sys* win32sys;

// The debugging console: open between debug_start and debug_end; its lines
// also go to stderr. The oldest lines are dropped beyond DEBUG_CONSOLE_MAX_LINES.
bool debug_console_open();
// Closes the console without the pause; for a start-up that failed.
void debug_console_close();
int debug_console_line_count();
const char* debug_console_line(int i);
void debug_console_clear();
