#pragma once
// The PC keyboard as the engine reads it: each SDL scancode (the USB usage
// number) mapped to a virtual-key code, a set-1 scan code and the extended flag.
#include "host/host_events.h"

#include <cstdint>

namespace host {

struct KeyCodes {
    uint32_t virtual_key = 0;
    uint32_t scan = 0;
    bool extended = false;
};

// False for keys the PC keyboard does not have. The keypad's digits and dot
// give the navigation keys' virtual codes while NumLock is off.
bool key_codes(int sdl_scancode, bool numlock, KeyCodes& codes);

// The key message of one SDL key event: WM_SYSKEY* for the Alt keys, F10 and
// any key while Alt is held, as the PC system did. False for unmapped keys.
bool key_message(int sdl_scancode, bool down, bool repeat, bool numlock, bool alt_held, uint32_t time,
                 Message& message);

} // namespace host
