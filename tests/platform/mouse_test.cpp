#include "platform_fixture.h"

// The mouse with the engine holding it: full screen on a 1024 x 768 desktop.
class MouseTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        capture.show_all();
        mouse_capture(0);
    }
    InputDeviceState read(double dt)
    {
        InputDeviceState s;
        mouse_device()->read(s, 10.0, 10.0 + dt);
        return s;
    }
    void move(int dx, int dy)
    {
        pointer.x += dx;
        pointer.y += dy;
    }
};

TEST_F(MouseTest, CaptureHidesTheCursorAtTheCentre)
{
    EXPECT_EQ(mouse_capture_state(), MOUSE_CAPTURED);
    int x = 0;
    int y = 0;
    mouse_centre(x, y);
    EXPECT_EQ(x, 512);
    EXPECT_EQ(y, 384);
    EXPECT_EQ(pointer.x, 512);
    EXPECT_EQ(pointer.y, 384);
    EXPECT_EQ(pointer.counter, -1);
    EXPECT_TRUE(capture.contains("Decremented cursor counter -1"));
    ASSERT_EQ(win32sys->device_count, 1);
    EXPECT_EQ(win32sys->devices[0], mouse_device());
    EXPECT_EQ(win32sys->devices[0]->valid, 1);
    EXPECT_STREQ(win32sys->devices[0]->name, "Mouse");
}

TEST_F(MouseTest, MotionIsScaledBySensitivityAndTimeAndRecentred)
{
    set_variable("Mouse_XSensitivity", "2.0");
    move(10, -5);
    const int moves = pointer.moves;
    InputDeviceState s = read(0.02);
    EXPECT_FLOAT_EQ(s.x, 10 * 2.0f / (0.02f * 256.0f));
    EXPECT_FLOAT_EQ(s.y, -5 / (0.02f * -256.0f)) << "screen-down is negative";
    EXPECT_EQ(pointer.moves, moves + 1);
    EXPECT_EQ(pointer.x, 512);

    s = read(0.02);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 0.0f);
    EXPECT_EQ(pointer.moves, moves + 1) << "a still cursor is not put back";
}

TEST_F(MouseTest, WheelNotchesAreAReadsWorth)
{
    events.push(host::WM_MOUSEWHEEL, host::wheel_wparam(120), 0, at(0.01));
    events.push(host::WM_MOUSEWHEEL, host::wheel_wparam(120), 0, at(0.01));
    EXPECT_EQ(pump_messages(0.0, 1.0), nullptr);
    EXPECT_FLOAT_EQ(read(0.02).z, 12.0f);
    EXPECT_EQ(read(0.02).z, 0.0f);
    mouse_message({host::WM_MOUSEWHEEL, host::wheel_wparam(-120), 0, 0});
    EXPECT_FLOAT_EQ(read(0.02).z, -6.0f);
}

TEST_F(MouseTest, ButtonsFollowTheirMessages)
{
    const struct {
        uint32_t type;
        uint32_t buttons;
    } steps[] = {
        {host::WM_LBUTTONDOWN, 1}, {host::WM_RBUTTONDOWN, 3}, {host::WM_MBUTTONDOWN, 7}, {host::WM_LBUTTONUP, 6},
        {host::WM_MOUSEMOVE, 6},   {host::WM_RBUTTONUP, 4},   {host::WM_MBUTTONUP, 0},
    };
    for (const auto& s : steps) {
        mouse_message({s.type, 0, 0, 0});
        EXPECT_EQ(read(0.02).buttons, s.buttons) << std::hex << s.type;
    }
}

TEST_F(MouseTest, EmptyTimeSliceGivesNoMotionAndKeepsIt)
{
    move(7, 3);
    mouse_message({host::WM_MOUSEWHEEL, host::wheel_wparam(120), 0, 0});
    for (const double dt : {0.0, -0.5}) {
        const InputDeviceState s = read(dt);
        EXPECT_EQ(s.x, 0.0f);
        EXPECT_EQ(s.y, 0.0f);
        EXPECT_EQ(s.z, 0.0f);
    }
    const InputDeviceState s = read(0.01);
    EXPECT_GT(s.x, 0.0f) << "the motion counts in the next slice";
    EXPECT_GT(s.z, 0.0f);
}

TEST_F(MouseTest, WindowedWithoutMouseWindowedLeavesTheCursorToTheDesktop)
{
    show_cursor();
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_TRUE(capture.contains("Incremented cursor counter 0"));
    mouse_capture(1); // no window: nothing to clip to, and Mouse_Windowed is off anyway
    EXPECT_EQ(mouse_capture_state(), MOUSE_FREE);
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_FALSE(pointer.clipped);

    const int moves = pointer.moves;
    move(40, 40);
    const InputDeviceState s = read(0.02);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 0.0f);
    EXPECT_EQ(pointer.moves, moves) << "the desktop pointer is never moved while not held";
}

TEST_F(MouseTest, EachCaptureHidesOnceAndEachReleaseShowsOnce)
{
    mouse_capture(0); // captured twice in a row: hidden once
    EXPECT_EQ(pointer.counter, -1);
    show_cursor();
    show_cursor();
    EXPECT_EQ(pointer.counter, 0);
    mouse_capture(0);
    show_cursor();
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_EQ(capture.count("Decremented cursor counter"), 2);
    EXPECT_EQ(capture.count("Incremented cursor counter"), 2);
}

TEST_F(MouseTest, DestroyingTheMouseShowsTheCursor)
{
    mouse_shutdown();
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_EQ(mouse_device(), nullptr);
    EXPECT_EQ(win32sys->device_count, 0);
}

TEST_F(PlatformTest, NoMouseOption)
{
    start({"-no_mouse"});
    EXPECT_EQ(mouse_device(), nullptr);
    EXPECT_EQ(win32sys->device_count, 0);
    mouse_capture(0);
    show_cursor();
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_EQ(pointer.moves, 0);
}

TEST_F(PlatformTest, MouseWhoseVariablesCannotLinkIsInvalidAndNeverCaptures)
{
    stop();
    start({});
    mouse_shutdown();
    // A variable of another type under the mouse's name makes its link fail.
    ConfigVariable* const clash = cvar_list->link(CVTYPE_STRING, 0, "Mouse_Windowed", "x", 1);
    ASSERT_NE(clash, nullptr);
    ASSERT_EQ(mouse_init(), 0);
    ASSERT_NE(mouse_device(), nullptr);
    EXPECT_EQ(mouse_device()->valid, 0);
    EXPECT_EQ(win32sys->device_count, 1) << "listed, but not to be read";
    mouse_capture(0);
    EXPECT_EQ(pointer.counter, 0);
    EXPECT_EQ(mouse_capture_state(), MOUSE_FREE);
    mouse_shutdown();
    cvar_list->release(clash);
}
