#include "platform_fixture.h"

#include "core/kassert.h"
#include "platform/os.h"

#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_RETURN = 0x0D;

std::vector<std::string> console_lines()
{
    std::vector<std::string> out;
    for (int i = 0; i < debug_console_line_count(); ++i) {
        out.emplace_back(debug_console_line(i));
    }
    return out;
}

} // namespace

// The platform started for real on SDL's dummy video driver.
class OsTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        stop_platform_only();
    }
    void TearDown() override
    {
        os_shutdown();
        PlatformTest::TearDown();
    }
    // The fixture's own start stands in for os_init; undo it so os_init runs whole.
    void stop_platform_only()
    {
        mouse_shutdown();
        timer_shutdown();
        delete win32sys;
        win32sys = nullptr;
    }
    void restart(const std::vector<const char*>& options)
    {
        os_shutdown();
        start(options);
        stop_platform_only();
    }
};

TEST_F(OsTest, StartsWindowConsoleTimerKeyboardAndMouse)
{
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    ASSERT_NE(win32sys, nullptr);
    EXPECT_TRUE(host::window_exists());
    EXPECT_TRUE(debug_console_open());
    EXPECT_EQ(console_lines(), (std::vector<std::string>{"Debugging console initialized"}));
    EXPECT_EQ(win32sys->device_count, 1);

    win32sys->show_error("VideoDIB::create_dib()", "Allocation failed");
    EXPECT_EQ(console_lines().back(), "VideoDIB::create_dib(): Allocation failed");
    win32sys->debug_end();
    EXPECT_FALSE(debug_console_open());

    os_shutdown();
    EXPECT_EQ(win32sys, nullptr);
    EXPECT_FALSE(host::window_exists());
    EXPECT_EQ(mouse_device(), nullptr);
}

TEST_F(OsTest, WindowModesCaptureAndReleaseTheMouse)
{
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    capture.show_all();
    set_variable("Mouse_Windowed", "1");
    ASSERT_EQ(win32sys->set_window_mode(640, 480, 0), 0);
    EXPECT_EQ(mouse_capture_state(), MOUSE_CAPTURED);
    EXPECT_TRUE(pointer.clipped);
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(host::window_client_rect(x, y, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(pointer.clip_rect.right - pointer.clip_rect.left, 640);
    int cx = 0;
    int cy = 0;
    mouse_centre(cx, cy);
    EXPECT_EQ(cx, x + 320);
    EXPECT_EQ(cy, y + 240);

    show_cursor();
    set_variable("Mouse_Windowed", "0");
    ASSERT_EQ(win32sys->set_window_mode(320, 240, 0), 0);
    EXPECT_EQ(mouse_capture_state(), MOUSE_FREE);
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_FALSE(pointer.clipped);

    ASSERT_EQ(win32sys->set_window_mode(800, 600, WINDOW_FULL_SCREEN), 0);
    EXPECT_EQ(mouse_capture_state(), MOUSE_CAPTURED);
    EXPECT_EQ(pointer.counter, -1);
    EXPECT_EQ(win32sys->set_window_mode(0, 480, 0), 1) << "a window call that fails";
}

TEST_F(OsTest, SwitchingShapesHidesOncePerCaptureAndShowsOncePerRelease)
{
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    capture.show_all();
    enum Step { FULL, WINDOWED, RELEASE };
    struct {
        const char* why;
        const char* mouse_windowed;
        Step step;
        int state;
        int counter;
        int hidden; // "Decremented cursor counter" notes so far
        int shown;  // "Incremented cursor counter" notes so far
    } const rows[] = {
        {"full screen captures", "1", FULL, MOUSE_CAPTURED, -1, 1, 0},
        {"to a captured window: already hidden", "1", WINDOWED, MOUSE_CAPTURED, -1, 1, 0},
        {"released by the video mode", "1", RELEASE, MOUSE_CLIPPED, 0, 1, 1},
        {"released twice: shown once", "1", RELEASE, MOUSE_CLIPPED, 0, 1, 1},
        {"full screen again", "1", FULL, MOUSE_CAPTURED, -1, 2, 1},
        {"to a window the mouse may not hold: shown again", "0", WINDOWED, MOUSE_FREE, 0, 2, 2},
        {"and back to full screen", "0", FULL, MOUSE_CAPTURED, -1, 3, 2},
    };
    for (const auto& r : rows) {
        set_variable("Mouse_Windowed", r.mouse_windowed);
        if (r.step == RELEASE) {
            show_cursor();
        } else {
            ASSERT_EQ(win32sys->set_window_mode(320, 240, r.step == FULL ? WINDOW_FULL_SCREEN : 0), 0) << r.why;
        }
        EXPECT_EQ(mouse_capture_state(), r.state) << r.why;
        EXPECT_EQ(pointer.counter, r.counter) << r.why;
        EXPECT_EQ(capture.count("Decremented cursor counter"), r.hidden) << r.why;
        EXPECT_EQ(capture.count("Incremented cursor counter"), r.shown) << r.why;
    }
    EXPECT_FALSE(pointer.clipped) << "nothing confines the pointer but a captured window";
}

TEST_F(OsTest, PresentCopiesTheFrameBufferIntoTheWindow)
{
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    ASSERT_EQ(win32sys->set_window_mode(64, 48, 0), 0);
    std::vector<uint32_t> frame(32 * 24, 0x00FF8040u);
    EXPECT_TRUE(host::window_present(frame.data(), 32, 0, 32, 0, 24, 2, 2));
    EXPECT_TRUE(host::window_present(frame.data(), 32, 16, 32, 12, 24, 3, 3)) << "cut at the window's edge";
    EXPECT_FALSE(host::window_present(frame.data(), 32, 0, 33, 0, 1, 1, 1)) << "wider than a line";
    EXPECT_FALSE(host::window_present(frame.data(), 32, 0, 8, 0, 8, 0, 1));
}

TEST_F(OsTest, WaitOnInitEndsOnlyAfterEscapeOrEnterIsPressedAndReleased)
{
    restart({"-wait_on_init"});
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    // A release without a press first, other keys, then Enter down and up; one message stays.
    push(host::WM_KEYUP, VK_ESCAPE, host::key_lparam(0x01, false, true, true), 0.1);
    push(host::WM_KEYDOWN, 'A', host::key_lparam(0x1E, false, false, false), 0.1);
    push(host::WM_KEYUP, 'A', host::key_lparam(0x1E, false, true, true), 0.1);
    push(host::WM_KEYDOWN, VK_RETURN, host::key_lparam(0x1C, false, false, false), 0.2);
    push(host::WM_KEYUP, VK_RETURN, host::key_lparam(0x1C, false, true, true), 0.3);
    push(host::WM_KEYDOWN, VK_ESCAPE, host::key_lparam(0x01, false, false, false), 0.4);
    win32sys->debug_end();
    EXPECT_FALSE(debug_console_open());
    EXPECT_EQ(events.size(), 1);
    EXPECT_EQ(console_lines().back(), "Init done: Press ESC or Enter to continue");
}

TEST_F(OsTest, WaitOnInitWhoseMessageWaitFailsIsFatal)
{
    restart({"-wait_on_init"});
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    EXPECT_EXIT(win32sys->debug_end(), ::testing::ExitedWithCode(1), "GetMessage\\(\\) failed");
    // This process still pauses at shutdown: let it go on.
    push(host::WM_KEYDOWN, VK_ESCAPE, host::key_lparam(0x01, false, false, false), 0.1);
    push(host::WM_KEYUP, VK_ESCAPE, host::key_lparam(0x01, false, true, true), 0.2);
}

TEST_F(OsTest, WindowThatCannotOpenIsShownAndStartFails)
{
    const char* const driver = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = driver != nullptr ? driver : "";
    setenv("SDL_VIDEODRIVER", "no_such_driver", 1);
    setenv("OSTREL_NO_MESSAGE_BOX", "1", 1);
    ::testing::internal::CaptureStderr();
    const int started = os_init("Ostrel -- Win32");
    const std::string shown = ::testing::internal::GetCapturedStderr();
    if (driver != nullptr) {
        setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    } else {
        unsetenv("SDL_VIDEODRIVER");
    }
    EXPECT_EQ(started, 0);
    EXPECT_NE(shown.find("Win32Sys::window_init()\nCan't register window class"), std::string::npos) << shown;
    EXPECT_EQ(win32sys, nullptr);
    EXPECT_FALSE(host::window_exists());
    EXPECT_FALSE(debug_console_open());
    EXPECT_EQ(mouse_device(), nullptr);
}

TEST_F(OsTest, StartFailsWithoutVariables)
{
    delete cvar_list;
    cvar_list = nullptr;
    EXPECT_EQ(os_init("Ostrel -- Win32"), 0);
    EXPECT_EQ(win32sys, nullptr);
    EXPECT_FALSE(host::window_exists());
    EXPECT_FALSE(debug_console_open());
}

TEST(FatalExit, FailedAssertionWithoutConsoleShowsTheBoxTextAndExitsWithOne)
{
    EXPECT_EXIT(K_ASSERT(1 + 1 == 3), ::testing::ExitedWithCode(1),
                "_hope_exit\\(\\) called\n1 \\+ 1 == 3\nline [0-9]+, file console_test.cpp");
}

TEST_F(OsTest, FailedAssertionWithConsoleWritesToTheConsole)
{
    ASSERT_EQ(os_init("Ostrel -- Win32"), 1);
    EXPECT_EXIT(K_ASSERT(sizeof(int) == 1), ::testing::ExitedWithCode(1),
                "_hope_exit\\(\\) called: line [0-9]+, console_test.cpp\nAssertion failed: : sizeof\\(int\\) == 1");
}

TEST(FatalExit, SafeExitHasItsOwnTitle)
{
    EXPECT_EXIT(_hope_safe_exit("Serious error", "karch", 7, "Can't run here"), ::testing::ExitedWithCode(1),
                "_hope_safe_exit\\(\\) called\nCan't run here\nline 7, file karch");
}
