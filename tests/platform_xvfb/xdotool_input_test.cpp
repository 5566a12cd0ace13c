// Real key presses sent by xdotool to the engine's window on an X display
// (Xvfb in CI), checked as the key codes the client's input step receives.
#include "console/fake_screen.h"
#include "core/command_line.h"
#include "core/cons_cmd.h"
#include "core/config_variable.h"
#include "core/console.h"
#include "core/key_codes.h"
#include "core/timer.h"
#include "platform/message_pump.h"
#include "platform/mouse.h"
#include "platform/os.h"
#include "platform/win32_sys.h"
#include "support/skip_or_fail.h"
#include "tests/platform/client_slices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* TITLE = "Ostrel -- Win32";

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// The X window id of the engine's window, or "" when xdotool cannot find it.
std::string window_id()
{
    const std::string out = ::testing::TempDir() + "ostrel_xdotool_window.txt";
    if (!run(std::string("timeout 10 xdotool search --sync --name '^") + TITLE + "$' > " + out)) {
        return "";
    }
    std::ifstream in(out);
    std::string id;
    std::getline(in, id);
    std::remove(out.c_str());
    return id;
}

class XdotoolInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* const display = std::getenv("DISPLAY");
        if (display == nullptr || display[0] == '\0' || !run("command -v xdotool > /dev/null")) {
            SKIP_OR_FAIL("needs an X display and xdotool (run under xvfb-run)");
        }
        cvar_list = new ConfigVariableList;
        command_line = new CommandLine;
        const char* argv[] = {"ostrel"};
        ASSERT_EQ(command_line->parse(1, argv), 1);
        ASSERT_EQ(os_init(TITLE), 1);
        started_ = true;
        ConfigVariable* const windowed = cvar_list->find("Mouse_Windowed");
        ASSERT_NE(windowed, nullptr);
        windowed->set_bool(1);
        ASSERT_EQ(win32sys->set_window_mode(320, 240, 0), 0);
        id_ = window_id();
        ASSERT_FALSE(id_.empty()) << "the window \"" << TITLE << "\" was not found";
        ASSERT_TRUE(run("timeout 10 xdotool windowfocus --sync " + id_));
        (void)collect(0);
    }
    void TearDown() override
    {
        if (started_) {
            os_shutdown();
        }
        delete command_line;
        command_line = nullptr;
        delete cvar_list;
        cvar_list = nullptr;
    }

    // Key events until `wanted` presses and releases arrived (NumLock, which
    // xdotool toggles around keypad keys, left out); bounded to about 10 s.
    std::vector<InputEvent> collect(size_t wanted)
    {
        std::vector<InputEvent> got;
        for (int round = 0; round < 1000; ++round) {
            while (const InputEvent* const e = pump_messages(0.0, 1e9)) {
                if (e->key_code != KEY_NUMLOCK) {
                    got.push_back(*e);
                }
            }
            if (got.size() >= wanted) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return got;
    }

    bool started_ = false;
    std::string id_;
};

} // namespace

TEST_F(XdotoolInput, KeysReachTheInputStepAsEngineKeyCodes)
{
    // Right shift and right ctrl by their X keycodes (62, 105): by keysym name
    // xdotool presses the left modifier as well.
    ASSERT_TRUE(run("timeout 10 xdotool key --delay 20 a KP_7 Home 62 KP_Enter 105 Escape"));

    const std::vector<uint32_t> keys = {'a', KEY_PAD7, KEY_HOME, KEY_LSHIFT, KEY_PADENTER, KEY_RCTRL, KEY_ESCAPE};
    const std::vector<InputEvent> got = collect(keys.size() * 2);
    std::vector<uint32_t> pressed;
    double last = 0.0;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_GE(got[i].time, last) << "events come in time order";
        last = got[i].time;
        if (got[i].kind == INPUT_KEY_DOWN) {
            pressed.push_back(got[i].key_code);
        } else {
            EXPECT_EQ(got[i].kind, INPUT_KEY_UP);
            ASSERT_FALSE(pressed.empty());
            EXPECT_EQ(got[i].key_code, pressed.back()) << "each key is released after its press";
        }
    }
    EXPECT_EQ(pressed, keys);
}

TEST_F(XdotoolInput, RelativeMotionAndButtonsReachTheMouse)
{
    ASSERT_EQ(mouse_capture_state(), MOUSE_CAPTURED);
    InputDeviceState state;
    mouse_device()->read(state, 0.0, 1.0); // forget what came before
    ASSERT_TRUE(run("timeout 10 xdotool mousemove_relative -- 40 30 mousedown 1"));
    for (int round = 0; round < 500 && (state.x == 0.0f || state.buttons == 0); ++round) {
        (void)collect(0);
        InputDeviceState s;
        mouse_device()->read(s, 0.0, 1.0);
        state.x += s.x;
        state.y += s.y;
        state.buttons = s.buttons;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(state.x, 0.0f) << "moved right";
    EXPECT_LT(state.y, 0.0f) << "moved down";
    EXPECT_EQ(state.buttons, MOUSE_BUTTON_LEFT);
    ASSERT_TRUE(run("timeout 10 xdotool mouseup 1"));
}

// Typing at an ordinary pace while frames come fast or late: every key of the
// line reaches the console, shift presses and releases included.
TEST_F(XdotoolInput, TextTypedAtAnOrdinaryPaceReachesTheConsoleWhole)
{
    const std::string text = "V_ModeList CVarList R_*";
    struct Pace {
        int key_ms;
        int frame_ms; // the time a frame takes besides its input step
    };
    for (const Pace pace : {Pace{25, 1}, Pace{30, 45}, Pace{80, 0}}) {
        SCOPED_TRACE("a key every " + std::to_string(pace.key_ms) + " ms, frames of " +
                     std::to_string(pace.frame_ms) + " ms");
        FakeScreen screen;
        ConsCmd commands;
        Console console;
        ASSERT_EQ(console.init(&screen, &commands), 1);
        ASSERT_EQ(console.show(1), 1);
        const std::string done = ::testing::TempDir() + "ostrel_xdotool_typed";
        std::remove(done.c_str());
        ASSERT_TRUE(run("(timeout 20 xdotool type --delay " + std::to_string(pace.key_ms) + " '" + text +
                        "'; touch " + done + ") &"));
        ClientSlices slices;
        int after_done = -1;
        // Until the line is whole, or a while after xdotool finished; about 20 s at most.
        for (int frame = 0; frame < 4000 && after_done < 50; ++frame) {
            double from = 0.0;
            double to = 0.0;
            if (slices.next(sys_time(), from, to)) {
                for (int n = 0; n < 1000; ++n) {
                    const InputEvent* const e = pump_messages(from, to);
                    if (e == nullptr) {
                        break;
                    }
                    (void)console.input_key(*e);
                }
            }
            if (console.input_line() == ">" + text) {
                break;
            }
            if (after_done >= 0 || std::ifstream(done).good()) {
                ++after_done;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pace.frame_ms > 0 ? pace.frame_ms : 5));
        }
        console.release_print();
        EXPECT_EQ(std::string(console.input_line()), ">" + text);
        for (int wait = 0; wait < 200 && !std::ifstream(done).good(); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::remove(done.c_str());
    }
}
