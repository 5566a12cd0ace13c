#include "client/client_input.h"
#include "support/scan_codes.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/timer.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "platform/input_device.h"
#include "platform/keyboard.h"
#include "platform/message_pump.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {


// A device that reports what the test set, once per read.
class FakeDevice final : public InputDevice {
public:
    explicit FakeDevice(const char* device_name)
    {
        name = device_name;
        valid = 1;
    }
    void read(InputDeviceState& s, double, double) override
    {
        s = state;
        ++reads;
    }
    InputDeviceState state;
    int reads = 0;
};

class InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvar_list = &variables_;
        capture_.show_all();
        ASSERT_EQ(keyboard_init(), 0);
        pump_reset();
        ASSERT_EQ(input_.init_input(InputDevices{devices_, 2}), 1);
    }
    void TearDown() override
    {
        pump_reset();
        cvar_list = nullptr;
    }

    void key(uint32_t type, uint32_t scan, double seconds, bool previous_down = false)
    {
        ASSERT_TRUE(events_.push(type, 0, host::key_lparam(scan, false, previous_down, type == host::WM_KEYUP),
                                 timer_base() + static_cast<uint32_t>(seconds * 1000.0 + 0.5)));
    }
    void bind(const char* key_name, const char* action)
    {
        int code = 0;
        int second = 0;
        ASSERT_NE(input_.parse_name(key_name, code, second), INPUT_NAME_NONE) << key_name;
        input_.bind_action(code, parse_input_action(action));
        if (second != INPUT_CODE_NONE) {
            input_.bind_action(second, opposite_analog_action(parse_input_action(action)));
        }
    }
    void build(double from, double to) { ASSERT_EQ(input_.build_input(from, to, &console_, &commands_), 1); }

    ConfigVariableList variables_;
    PrintCapture capture_;
    host::QueueEventSource events_;
    host::ScopedEventSource events_guard_{&events_};
    Console console_;
    ConsCmd commands_;
    FakeDevice mouse_{"Mouse"};
    FakeDevice pad_{"Joy"};
    InputDevice* devices_[2] = {&mouse_, &pad_};
    ClientInput input_;
};

TEST(InputNames, ActionsAndInputs)
{
    struct Case {
        const char* name;
        int action;
    };
    const Case actions[] = {
        {"Forward", 0}, {"vector3negative", 17}, {"Fire1", 18}, {"ZoomOut", 30}, {"State 3", 20},
        {"State 32", 49}, {"State3", -1}, {"State 33", -1}, {"State 0", -1}, {"Impulse 0x10", 65},
        {"Impulse 128", 177}, {"Impulse 129", -1}, {"Player1", 51}, {"Weapon10", 69}, {"ToggleLight", 70},
        {"NoClipping", 71}, {"Nothing", -1},
    };
    for (const Case& c : actions) {
        EXPECT_EQ(parse_input_action(c.name), c.action) << c.name;
    }
    EXPECT_STREQ(input_action_name(17), "Vector3Negative");
    EXPECT_STREQ(input_action_name(14), "Vector2Positive");
    EXPECT_STREQ(input_action_name(20), "State 3");
    EXPECT_STREQ(input_action_name(65), "Impulse 16");
    EXPECT_STREQ(input_action_name(178), "");
    EXPECT_EQ(opposite_analog_action(4), 5);
    EXPECT_EQ(opposite_analog_action(17), 16);
    EXPECT_EQ(opposite_analog_action(18), -1);

    FakeDevice mouse("Mouse");
    FakeDevice pad("Joy");
    InputDevice* list[2] = {&mouse, &pad};
    const InputDevices devices{list, 2};
    struct Input {
        const char* name;
        int kind;
        int first;
        int second;
    };
    const Input inputs[] = {
        {"W", INPUT_NAME_KEY, 'w', INPUT_CODE_NONE},
        {"Mouse1", INPUT_NAME_BUTTON, 256, INPUT_CODE_NONE},
        {"mouse32", INPUT_NAME_BUTTON, 256 + 31, INPUT_CODE_NONE},
        {"Mouse33", INPUT_NAME_NONE, INPUT_CODE_NONE, INPUT_CODE_NONE},
        {"Mouse-Y", INPUT_NAME_AXIS, 288 + 2 + 1, INPUT_CODE_NONE},
        {"Mouse+x", INPUT_NAME_AXIS, 288, INPUT_CODE_NONE},
        {"Mouse_X", INPUT_NAME_AXIS, 288, 289},
        {"Mouse_Q", INPUT_NAME_NONE, INPUT_CODE_NONE, INPUT_CODE_NONE},
        {"Joy2", INPUT_NAME_BUTTON, 256 + 44 + 1, INPUT_CODE_NONE},
        {"Joy-V", INPUT_NAME_AXIS, 288 + 44 + 10 + 1, INPUT_CODE_NONE},
        {"Mouse", INPUT_NAME_NONE, INPUT_CODE_NONE, INPUT_CODE_NONE},
    };
    for (const Input& i : inputs) {
        int first = 0;
        int second = 0;
        EXPECT_EQ(parse_input_name(i.name, devices, first, second), i.kind) << i.name;
        EXPECT_EQ(first, i.first) << i.name;
        EXPECT_EQ(second, i.second) << i.name;
    }
}

TEST_F(InputTest, KeyPressedInTheMiddleOfASlice)
{
    bind("W", "Forward");
    key(host::WM_KEYDOWN, SCAN_W, 1.05);
    build(1.0, 1.1);
    EXPECT_NEAR(input_.value(0), 0.5f, 1e-5);
    build(1.1, 1.2);
    EXPECT_EQ(input_.value(0), 1.0f) << "held through the next slice";
    key(host::WM_KEYDOWN, SCAN_W, 1.21, true);
    key(host::WM_KEYUP, SCAN_W, 1.28);
    build(1.2, 1.3);
    EXPECT_NEAR(input_.value(0), 0.8f, 1e-5) << "the repeat adds nothing; the release takes its rest";
    build(1.3, 1.4);
    EXPECT_EQ(input_.value(0), 0.0f);
}

TEST_F(InputTest, PressAndReleaseInOneSlice)
{
    bind("S", "Backward");
    key(host::WM_KEYDOWN, SCAN_S, 2.02);
    key(host::WM_KEYUP, SCAN_S, 2.07);
    build(2.0, 2.1);
    EXPECT_NEAR(input_.value(1), 0.5f, 1e-5);
}

TEST_F(InputTest, TwoKeysHoldOneAction)
{
    bind("A", "Jump");
    bind("D", "Jump");
    key(host::WM_KEYDOWN, SCAN_A, 3.02);
    key(host::WM_KEYDOWN, SCAN_D, 3.04);
    build(3.0, 3.1);
    EXPECT_NEAR(input_.value(25), 0.8f, 1e-5) << "the second press adds nothing";
    key(host::WM_KEYUP, SCAN_A, 3.15);
    build(3.1, 3.2);
    EXPECT_NEAR(input_.value(25), 0.5f, 1e-5) << "the first release takes its rest while the second holds";
    EXPECT_EQ(input_.holder(25, 0), -1);
    EXPECT_EQ(input_.holder(25, 1), 'd');
    build(3.2, 3.3);
    EXPECT_EQ(input_.value(25), 1.0f);
}

TEST_F(InputTest, ImpulsesQueueUpToTheLimit)
{
    bind("W", "Impulse 5");
    for (int i = 0; i < 20; ++i) {
        key(host::WM_KEYDOWN, SCAN_W, 4.0 + 0.002 * i);
        key(host::WM_KEYUP, SCAN_W, 4.001 + 0.002 * i);
    }
    build(3.99, 4.1);
    ASSERT_EQ(input_.impulse_count(), INPUT_IMPULSES) << "the 33rd impulse of a slice is dropped";
    EXPECT_EQ(input_.impulse(0), 4);
    EXPECT_EQ(input_.impulse(1), 4 | NETM_IMF_RELEASE);
    build(4.1, 4.2);
    EXPECT_EQ(input_.impulse_count(), 0) << "every slice starts empty";
}

TEST_F(InputTest, CommandsRunOnPressAndRelease)
{
    int code = 0;
    int second = 0;
    ASSERT_EQ(input_.parse_name("W", code, second), INPUT_NAME_KEY);
    ASSERT_EQ(input_.bind_press_command(code, "Echo down"), 1);
    ASSERT_EQ(input_.bind_release_command(code, "Echo up"), 1);
    key(host::WM_KEYDOWN, SCAN_W, 5.01);
    key(host::WM_KEYDOWN, SCAN_W, 5.02, true);
    key(host::WM_KEYUP, SCAN_W, 5.03);
    build(5.0, 5.1);
    EXPECT_STREQ(commands_.buffer(), "Echo down\nEcho up\n");
    input_.bind_action(code, 0);
    EXPECT_EQ(input_.press_command(code), nullptr) << "an action clears both commands";
    EXPECT_EQ(input_.release_command(code), nullptr);
}

TEST_F(InputTest, EventsOutsideTheSlice)
{
    bind("W", "Forward");
    key(host::WM_KEYDOWN, SCAN_W, 0.5);
    build(1.0, 1.1);
    EXPECT_EQ(input_.value(0), 0.0f) << "the pump drops what is older than the slice";
    key(host::WM_KEYDOWN, SCAN_W, 1.25);
    build(1.1, 1.2);
    EXPECT_EQ(input_.value(0), 0.0f) << "a later event waits for its slice";
    build(1.2, 1.3);
    EXPECT_NEAR(input_.value(0), 0.5f, 1e-5);
}

TEST_F(InputTest, DeviceButtonsAndAxes)
{
    bind("Mouse1", "Fire1");
    bind("Mouse2", "Impulse 128");
    bind("Mouse_X", "HeadingRight");
    bind("Joy-Y", "PitchDown");
    mouse_.state.buttons = 3;
    mouse_.state.x = 0.25f;
    pad_.state.y = -0.75f;
    build(6.0, 6.1);
    EXPECT_EQ(input_.value(18), 1.0f);
    ASSERT_EQ(input_.impulse_count(), 1);
    EXPECT_EQ(input_.impulse(0), 127) << "Impulse 128 queues number 127";
    EXPECT_FLOAT_EQ(input_.value(7), 0.25f);
    EXPECT_FLOAT_EQ(input_.value(9), 0.75f);
    mouse_.state.x = -0.5f;
    pad_.state.y = 0.0f;
    build(6.1, 6.2);
    EXPECT_EQ(input_.impulse_count(), 0) << "a held button queues once";
    EXPECT_FLOAT_EQ(input_.value(6), 0.5f) << "the negative direction has the partner action";
    mouse_.state.buttons = 0;
    build(6.2, 6.3);
    ASSERT_EQ(input_.impulse_count(), 1);
    EXPECT_EQ(input_.impulse(0), 127 | NETM_IMF_RELEASE);
    EXPECT_EQ(input_.value(18), 0.0f);
    pad_.valid = 0;
    const int reads = pad_.reads;
    build(6.3, 6.4);
    EXPECT_EQ(pad_.reads, reads) << "a disabled device is not read";
}

TEST_F(InputTest, HoldersOfTheConsole)
{
    EXPECT_EQ(input_.press_action(23, INPUT_CODE_CONSOLE), 1);
    EXPECT_EQ(input_.press_action(23, INPUT_CODE_CONSOLE), 0);
    EXPECT_TRUE(capture_.contains("Duplicate input code (4096) for action 'State 6' !"));
    for (int code = 1; code < 4; ++code) {
        EXPECT_EQ(input_.press_action(23, code), 1);
    }
    EXPECT_EQ(input_.press_action(23, 9), 0);
    EXPECT_TRUE(capture_.contains("Too many events are causing Kavrin action 'State 6' !"));
    build(7.0, 7.1);
    EXPECT_EQ(input_.value(23), 1.0f);
    EXPECT_EQ(input_.release_action(23, INPUT_CODE_CONSOLE), 1);
    EXPECT_EQ(input_.release_action(23, INPUT_CODE_CONSOLE), 0);
    build(7.0, 7.0);
    EXPECT_EQ(input_.value(23), 1.0f) << "an empty slice still sets the held values";
}

} // namespace
