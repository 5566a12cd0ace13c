#pragma once
// The OpenGL program's surroundings for tests: variables, a fake display and
// pointer, the platform with its window, the OpenGL video start-up and, for
// tests that draw, a windowed mode with its context current. Tests that need
// a context are skipped, with the reason, where the driver makes none (and
// fail with it under `make test`: see support/skip_or_fail.h).
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/video_drivers.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "gl/gl_bind.h"
#include "gl/gl_video_mode.h"
#include "host/host_display.h"
#include "tests/support/host_guards.h"
#include "host/host_pointer.h"
#include "platform/os.h"
#include "platform/win32_sys.h"
#include "platform/video_registry.h"
#include "support/print_capture.h"
#include "support/skip_or_fail.h"
#include "tools/assets/demo_assets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Red, green and blue of a picture as the software screen stretches it over
// a screen of width x height pixels.
inline std::vector<int> stretched_picture_pixel(const tools::PictureDesign& p, int32_t width, int32_t height,
                                                int32_t x, int32_t y)
{
    const int64_t xstep = (static_cast<int64_t>(p.width) << 16) / width;
    const int64_t ystep = (static_cast<int64_t>(p.height) << 16) / height;
    const uint8_t index = p.data[static_cast<size_t>(((y * ystep) >> 16) * p.width + ((x * xstep) >> 16))];
    return {p.palette[3 * index], p.palette[3 * index + 1], p.palette[3 * index + 2]};
}

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
        if (demo_base != nullptr) {
            delete fsys;
            fsys = nullptr;
            cvar_list->release(demo_base);
            demo_base = nullptr;
        }
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
        open_mode(video_create_mode(index), width, height);
    }
    // The same for a mode the test made (taken over).
    void open_mode(KVideoMode* own, int32_t width, int32_t height)
    {
        mode.reset(own);
        ASSERT_NE(mode, nullptr);
        if (mode->init_mode(width, height) == 0) {
            const std::string reason = std::string("no OpenGL context: ") + host::gl_error_text();
            no_context.note(reason);
            GTEST_SKIP() << reason;
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

    // A scratch base directory "kavrin" (mounted, and named by the variable
    // Base) with the demo's font and pictures, entered as the working one.
    void mount_demo_base()
    {
        tree.enter();
        ASSERT_TRUE(tools::write_demo_assets(tree.path("kavrin")));
        demo_base = cvar_list->link(CVTYPE_STRING, 0x40, "Base", "kavrin", 1);
        fsys = new FSys;
        ASSERT_EQ(fsys->init(), 1);
        ASSERT_EQ(fsys->mount("kavrin", 1, 10), 1);
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
    TempTree tree;
    ConfigVariable* demo_base = nullptr;
    host::FakeDisplay display;
    host::FakePointer pointer;
    std::unique_ptr<KVideoMode> mode;
    bool platform_started = false;
    bool video_started = false;

private:
    test_support::SkipThatFails no_context;
    DisplayGuard display_guard{&display};
    PointerGuard pointer_guard{&pointer};
};
