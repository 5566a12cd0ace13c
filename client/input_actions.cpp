#include "client/input_actions.h"

#include "core/compare_nocase.h"
#include "core/key_codes.h"
#include "core/key_names.h"
#include "core/scan.h"
#include "platform/input_device.h"

#include <cstdio>
#include <cstring>

namespace {

struct ActionName {
    int code;
    const char* name;
};

constexpr ActionName action_names[] = {
    {0, "Forward"},          {1, "Backward"},         {2, "MoveLeft"},         {3, "MoveRight"},
    {4, "MoveUp"},           {5, "MoveDown"},         {6, "HeadingLeft"},      {7, "HeadingRight"},
    {8, "PitchUp"},          {9, "PitchDown"},        {10, "BankLeft"},        {11, "BankRight"},
    {12, "Vector1Positive"}, {13, "Vector1Negative"}, {14, "Vector2Positive"}, {15, "Vector2Negative"},
    {16, "Vector3Positive"}, {17, "Vector3Negative"}, {18, "Fire1"},           {19, "Fire2"},
    {20, "Action1"},         {21, "Action2"},         {22, "SideStep"},        {23, "Run"},
    {24, "Safe"},            {25, "Jump"},            {26, "Duck"},            {27, "Center"},
    {28, "VCenter"},         {29, "ZoomIn"},          {30, "ZoomOut"},         {51, "Player1"},
    {52, "Player2"},         {53, "Player3"},         {54, "Player4"},         {55, "Player5"},
    {56, "Player6"},         {60, "Weapon1"},         {61, "Weapon2"},         {62, "Weapon3"},
    {63, "Weapon4"},         {64, "Weapon5"},         {65, "Weapon6"},         {66, "Weapon7"},
    {67, "Weapon8"},         {68, "Weapon9"},         {69, "Weapon10"},        {70, "ToggleLight"},
    {71, "NoClipping"},      {-1, nullptr},
};
static_assert(sizeof action_names / sizeof action_names[0] == 50);

constexpr char axis_letters[INPUT_DEVICE_AXES + 1] = "XYZRUV";

// "<prefix> n": the text after the prefix and one more character, read with
// "%i"; the number when it lies in 1 ... limit, else 0.
int numbered(const char* name, const char* prefix, int limit)
{
    const size_t n = std::strlen(prefix);
    if (compare_nocase_n(name, prefix, n) != 0 || std::strlen(name) < n + 2) {
        return 0;
    }
    int32_t value = 0;
    if (!scan_int(name + n + 1, value) || value < 1 || value > limit) {
        return 0;
    }
    return value;
}

int axis_index(char c)
{
    for (int a = 0; a < INPUT_DEVICE_AXES; ++a) {
        if (fold_ascii(c) == fold_ascii(axis_letters[a])) {
            return a;
        }
    }
    return -1;
}

} // namespace

int parse_input_name(const char* name, const InputDevices& devices, int& first, int& second)
{
    first = INPUT_CODE_NONE;
    second = INPUT_CODE_NONE;
    const uint32_t key = name_to_key(name);
    if (key != KEY_UNKNOWN) {
        first = static_cast<int>(key);
        return INPUT_NAME_KEY;
    }
    const size_t length = std::strlen(name);
    for (int d = 0; d < devices.count; ++d) {
        const InputDevice* const device = devices.devices[d];
        if (device == nullptr || device->name == nullptr) {
            continue;
        }
        const size_t n = std::strlen(device->name);
        if (n == 0 || length <= n || compare_nocase_n(name, device->name, n) != 0) {
            continue;
        }
        const int base = INPUT_KEY_CODES + INPUT_CODES_PER_DEVICE * d;
        const char sign = name[n];
        if (length == n + 2 && (sign == '_' || sign == '+' || sign == '-')) {
            const int a = axis_index(name[n + 1]);
            if (a < 0) {
                continue;
            }
            first = base + INPUT_AXIS_BASE + 2 * a + (sign == '-' ? 1 : 0);
            if (sign == '_') {
                second = first + 1;
            }
            return INPUT_NAME_AXIS;
        }
        int32_t button = 0;
        if (scan_decimal(name + n, button) && button >= 1 && button <= INPUT_DEVICE_BUTTONS) {
            first = base + button - 1;
            return INPUT_NAME_BUTTON;
        }
    }
    return INPUT_NAME_NONE;
}

int parse_input_action(const char* name)
{
    for (const ActionName* row = action_names; row->code >= 0; ++row) {
        if (compare_nocase(row->name, name) == 0) {
            return row->code;
        }
    }
    if (const int n = numbered(name, "State", IA_STATE_COUNT); n != 0) {
        return IA_STATE_FIRST - 1 + n;
    }
    if (const int n = numbered(name, "Impulse", IA_IMPULSECOUNT); n != 0) {
        return IA_IMPULSE_FIRST - 1 + n;
    }
    return -1;
}

const char* input_action_name(int action)
{
    static char text[32];
    if (action >= IA_COUNT || action < 0) {
        return "";
    }
    if (action >= IA_IMPULSE_FIRST) {
        std::snprintf(text, sizeof text, "Impulse %d", action - IA_IMPULSE_FIRST + 1);
        return text;
    }
    if (action >= IA_STATE_FIRST) {
        std::snprintf(text, sizeof text, "State %d", action - IA_STATE_FIRST + 1);
        return text;
    }
    for (const ActionName* row = action_names; row->code >= 0; ++row) {
        if (row->code == action) {
            return row->name;
        }
    }
    return "";
}

int opposite_analog_action(int action)
{
    if (action < 0 || action >= IA_ANALOG_COUNT) {
        return -1;
    }
    return action ^ 1;
}
