#pragma once
// The video drivers' surroundings for tests: variables, the command line, a
// fake display and pointer, the emulated DirectDraw, and optionally the
// platform with its window on SDL's dummy driver.
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/video_drivers.h"
#include "host/host_ddraw.h"
#include "host/host_display.h"
#include "tests/support/host_guards.h"
#include "host/host_pointer.h"
#include "host/host_window.h"
#include "platform/os.h"
#include "platform/win32_sys.h"
#include "platform/video_registry.h"
#include "soft/windowed_dib.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvar_list = new ConfigVariableList;
        set_options({});
        host::ddraw::configure(host::ddraw::Config{});
        video_reset_registry();
        desktop_width = 1024;
        desktop_height = 768;
        debug_console_clear();
        start_platform();
    }

    void TearDown() override
    {
        stop_video();
        stop_platform();
        video_reset_registry();
        host::ddraw::configure_default();
        delete command_line;
        command_line = nullptr;
        delete cvar_list;
        cvar_list = nullptr;
    }

    void set_options(const std::vector<const char*>& options)
    {
        delete command_line;
        command_line = new CommandLine;
        std::vector<const char*> argv{"ostrel"};
        argv.insert(argv.end(), options.begin(), options.end());
        ASSERT_EQ(command_line->parse(static_cast<int>(argv.size()), argv.data()), 1);
    }

    // Whether the debugging console showed a line that contains the text.
    bool shown(const std::string& text) const
    {
        for (int i = 0; i < debug_console_line_count(); ++i) {
            if (std::string(debug_console_line(i)).find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    int count_shown(const std::string& text) const
    {
        int n = 0;
        for (int i = 0; i < debug_console_line_count(); ++i) {
            n += std::string(debug_console_line(i)).find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }
    struct WindowRect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    static WindowRect window_rect()
    {
        WindowRect r;
        EXPECT_TRUE(host::window_client_rect(r.x, r.y, r.width, r.height));
        return r;
    }

    // Opens the console again after start-up closed it, so that later messages land there.
    void reopen_console()
    {
        debug_console_clear();
        ASSERT_EQ(win32sys->debug_start(), 0);
    }

    // The window, console, timer, keyboard and mouse, as the engine starts them.
    void start_platform()
    {
        ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
        platform_started = true;
    }
    void stop_platform()
    {
        if (platform_started) {
            os_shutdown();
            platform_started = false;
        }
    }

    int start_video()
    {
        video_started = true;
        return video_init();
    }
    void stop_video()
    {
        if (video_started) {
            video_done();
            video_started = false;
        }
    }

    std::vector<std::string> driver_names() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < video_driver_count(); ++i) {
            names.emplace_back(video_driver(i)->name);
        }
        return names;
    }

    PrintCapture capture;
    host::FakeDisplay display;
    host::FakePointer pointer;
    bool platform_started = false;
    bool video_started = false;

private:
    DisplayGuard display_guard{&display};
    PointerGuard pointer_guard{&pointer};
};
