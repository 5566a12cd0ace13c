#pragma once
// The OpenGL program's surroundings for tests: variables, a fake display and
// pointer, the platform with its window, the OpenGL video start-up and, for
// tests that draw, a windowed mode with its context current. Tests that need
// a context are skipped, with the reason, where the driver makes none.
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/video_drivers.h"
#include "gl/gl_bind.h"
#include "gl/gl_video_mode.h"
#include "host/host_display.h"
#include "tests/support/host_guards.h"
#include "host/host_pointer.h"
#include "platform/os.h"
#include "platform/win32_sys.h"
#include "platform/video_registry.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class GLVideoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvar_list = new ConfigVariableList;
        command_line = new CommandLine;
        const char* argv[] = {"ostrel_gl"};
        ASSERT_EQ(command_line->parse(1, argv), 1);
        display.add_mode(32, 640, 480, 60);
        display.add_mode(32, 800, 600, 60);
        display.add_mode(32, 1024, 768, 60);
        debug_console_clear();
        ASSERT_EQ(os_init(GL_SYSTEM_NAME), 1);
        platform_started = true;
        ASSERT_EQ(video_init(), 1);
        video_started = true;
        // Start-up closed the console: later messages land in it again.
        debug_console_clear();
        ASSERT_EQ(win32sys->debug_start(), 0);
    }

    void TearDown() override
    {
        GLSys::close();
        mode.reset();
        if (video_started) {
            video_done();
        }
        if (platform_started) {
            os_shutdown();
        }
        video_clear_registry();
        delete command_line;
        command_line = nullptr;
        delete cvar_list;
        cvar_list = nullptr;
    }

    // A mode of the named driver, set to width x height; skips the test when
    // the driver can make no OpenGL context.
    void open_mode(const char* driver, int32_t width, int32_t height)
    {
        const int index = video_find_driver(driver);
        ASSERT_GE(index, 0) << driver;
        mode.reset(video_create_mode(index));
        ASSERT_NE(mode, nullptr);
        if (mode->init_mode(width, height) == 0) {
            GTEST_SKIP() << "no OpenGL context: " << host::gl_error_text();
        }
    }

    // A windowed mode with GLSys started on it.
    void start_gl()
    {
        open_mode("WIN", 64, 64);
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(GLSys::init(), 1);
    }

    bool shown(const std::string& text) const
    {
        for (int i = 0; i < debug_console_line_count(); ++i) {
            if (std::string(debug_console_line(i)).find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    PrintCapture capture;
    host::FakeDisplay display;
    host::FakePointer pointer;
    std::unique_ptr<KVideoMode> mode;
    bool platform_started = false;
    bool video_started = false;

private:
    DisplayGuard display_guard{&display};
    PointerGuard pointer_guard{&pointer};
};
