#pragma once
// An input device of the platform object, read once per frame by the client.
#include <cstdint>

// What a read fills for a time slice: the button bits and six axes (X, Y, Z,
// R, U, V); the mouse fills X, Y and Z and leaves the others 0.
struct InputDeviceState {
    uint32_t buttons = 0;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float r = 0.0f;
    float u = 0.0f;
    float v = 0.0f;
};

class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual void read(InputDeviceState& state, double from, double to) = 0;

    int valid = 0; // 1 when the device may be read
    const char* name = "";
};
