#pragma once
// One input event of a frame's time slice, as the message pump hands it out.
#include <cstdint>

constexpr uint32_t INPUT_KEY_DOWN = 1;
constexpr uint32_t INPUT_KEY_REPEAT = 2;
constexpr uint32_t INPUT_KEY_UP = 4;

struct InputEvent {
    uint32_t key_code = 0; // core/key_codes.h
    uint32_t kind = 0;     // INPUT_KEY_*, 0 while no event
    double time = 0.0;     // seconds on the engine clock
};
