#pragma once
// Input actions and input codes, and their names.
//
// Actions: 0-17 analog (in opposite pairs 0/1 ... 16/17), 18-49 state, 50-177
// impulse, 178 none. Codes: 0-255 keys; then per input device d, 256 + 44 d + b
// for button b (0-31) and 288 + 44 d + 2 a (+1 for the negative direction)
// for axis a (X, Y, Z, R, U, V).
#include <cstdint>

class InputDevice;

constexpr int IA_ANALOG_COUNT = 18;
constexpr int IA_STATE_FIRST = 18;
constexpr int IA_STATE_COUNT = 32;
constexpr int IA_IMPULSE_FIRST = 50;
constexpr int IA_IMPULSECOUNT = 128;
constexpr int IA_COUNT = 178;
constexpr int IA_HELD_COUNT = IA_IMPULSE_FIRST; // analog and state actions

constexpr int INPUT_KEY_CODES = 256;
constexpr int INPUT_CODES_PER_DEVICE = 44;
constexpr int INPUT_DEVICE_BUTTONS = 32;
constexpr int INPUT_DEVICE_AXES = 6;
constexpr int INPUT_AXIS_BASE = 32; // first axis code within a device's codes
constexpr int INPUT_CODE_NONE = 254;
// The code the console's Press and Release hold actions with; no key has it.
constexpr int INPUT_CODE_CONSOLE = 0x1000;

// Results of parse_input_name.
constexpr int INPUT_NAME_NONE = 0;
constexpr int INPUT_NAME_KEY = 1;
constexpr int INPUT_NAME_BUTTON = 2;
constexpr int INPUT_NAME_AXIS = 3;

constexpr bool is_impulse_action(int action) { return action >= IA_IMPULSE_FIRST && action < IA_COUNT; }
constexpr bool is_held_action(int action) { return action >= 0 && action < IA_IMPULSE_FIRST; }

// The input devices whose names parse_input_name knows, in order.
struct InputDevices {
    InputDevice* const* devices = nullptr;
    int count = 0;
};

int parse_input_name(const char* name, const InputDevices& devices, int& first, int& second);
// The action, or -1.
int parse_input_action(const char* name);
// Formatted names share one buffer, valid until the next call.
const char* input_action_name(int action);
int opposite_analog_action(int action);
