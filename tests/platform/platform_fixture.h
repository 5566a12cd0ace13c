#pragma once
// The platform layer's services without a window: variables, command line,
// an injected clock, event source, pointer and display, and the timer,
// keyboard and mouse started as os_init would.
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/timer.h"
#include "host/host_clock.h"
#include "host/host_display.h"
#include "tests/support/host_guards.h"
#include "host/host_events.h"
#include "host/host_pointer.h"
#include "host/host_window.h"
#include "platform/keyboard.h"
#include "platform/message_pump.h"
#include "platform/mouse.h"
#include "platform/win32_sys.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <vector>

class PlatformTest : public ::testing::Test {
protected:
    // Message times are host milliseconds; the timer base is taken here.
    static constexpr uint32_t BASE_MS = 5000;

    void SetUp() override { start({}); }
    void TearDown() override { stop(); }

    void start(const std::vector<const char*>& options)
    {
        stop();
        clock.set_micros(static_cast<int64_t>(BASE_MS) * 1000);
        cvar_list = new ConfigVariableList;
        command_line = new CommandLine;
        std::vector<const char*> argv{"ostrel"};
        argv.insert(argv.end(), options.begin(), options.end());
        ASSERT_EQ(command_line->parse(static_cast<int>(argv.size()), argv.data()), 1);
        win32sys = new Win32Sys;
        pump_reset();
        (void)host::window_take_repaint();
        ASSERT_EQ(timer_init(), 0);
        ASSERT_EQ(keyboard_init(), 0);
        ASSERT_EQ(mouse_init(), 0);
        started = true;
    }

    void stop()
    {
        if (!started) {
            return;
        }
        mouse_shutdown();
        timer_shutdown();
        debug_console_close();
        debug_console_clear();
        delete win32sys;
        win32sys = nullptr;
        delete command_line;
        command_line = nullptr;
        delete cvar_list;
        cvar_list = nullptr;
        events.clear();
        started = false;
    }

    // A key message at a time in seconds after the timer base.
    void push_key(uint32_t type, uint32_t vk, uint32_t scan, bool extended, bool previous, double seconds)
    {
        push(type, vk, host::key_lparam(scan, extended, previous, type == host::WM_KEYUP || type == host::WM_SYSKEYUP),
             seconds);
    }
    void push(uint32_t type, uint32_t wparam, uint32_t lparam, double seconds)
    {
        ASSERT_TRUE(events.push(type, wparam, lparam, at(seconds)));
    }
    static uint32_t at(double seconds) { return BASE_MS + static_cast<uint32_t>(seconds * 1000.0 + 0.5); }

    // Every event of the slice.
    std::vector<InputEvent> drain(double from, double to)
    {
        std::vector<InputEvent> out;
        for (int i = 0; i < 1000; ++i) {
            const InputEvent* const e = pump_messages(from, to);
            if (e == nullptr) {
                break;
            }
            out.push_back(*e);
        }
        return out;
    }

    void set_variable(const char* name, const char* value)
    {
        ConfigVariable* const v = cvar_list->find(name);
        ASSERT_NE(v, nullptr) << name;
        ASSERT_EQ(v->set_string(value), 1) << name;
    }

    PrintCapture capture;
    host::ManualClock clock;
    host::ScopedClock clock_guard{&clock};
    host::QueueEventSource events;
    host::ScopedEventSource events_guard{&events};
    host::FakePointer pointer;
    host::FakeDisplay display;
    bool started = false;

private:
    PointerGuard pointer_guard{&pointer};
    DisplayGuard display_guard{&display};
};
