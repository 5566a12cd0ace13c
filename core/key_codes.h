#pragma once
// The engine's key codes. Keys that type a character have the code of their
// unshifted ASCII character ('a'..'z', '0'..'9', '-', ' ' ...); the others:
#include <cstdint>

constexpr uint32_t KEY_ESCAPE = 128;
constexpr uint32_t KEY_LCTRL = 129;
constexpr uint32_t KEY_RCTRL = 130;
constexpr uint32_t KEY_LALT = 131;
constexpr uint32_t KEY_RALT = 132;
constexpr uint32_t KEY_LSHIFT = 133;
constexpr uint32_t KEY_RSHIFT = 134;
constexpr uint32_t KEY_BACKSPACE = 135;
constexpr uint32_t KEY_TAB = 136;
constexpr uint32_t KEY_CAPSLOCK = 137;
constexpr uint32_t KEY_ENTER = 138;
constexpr uint32_t KEY_PRINTSCREEN = 139;
constexpr uint32_t KEY_SCROLLLOCK = 140;
constexpr uint32_t KEY_PAUSE = 141;
constexpr uint32_t KEY_INSERT = 142;
constexpr uint32_t KEY_DELETE = 143;
constexpr uint32_t KEY_HOME = 144;
constexpr uint32_t KEY_END = 145;
constexpr uint32_t KEY_PAGEUP = 146;
constexpr uint32_t KEY_PAGEDN = 147;
constexpr uint32_t KEY_LEFT = 148;
constexpr uint32_t KEY_RIGHT = 149;
constexpr uint32_t KEY_UP = 150;
constexpr uint32_t KEY_DOWN = 151;
constexpr uint32_t KEY_NUMLOCK = 152;
constexpr uint32_t KEY_PADSLASH = 153;
constexpr uint32_t KEY_PADASTERISK = 154;
constexpr uint32_t KEY_PADMINUS = 155;
constexpr uint32_t KEY_PADPLUS = 156;
constexpr uint32_t KEY_PAD7 = 157;
constexpr uint32_t KEY_PAD8 = 158;
constexpr uint32_t KEY_PAD9 = 159;
constexpr uint32_t KEY_PAD4 = 160;
constexpr uint32_t KEY_PAD5 = 161;
constexpr uint32_t KEY_PAD6 = 162;
constexpr uint32_t KEY_PAD1 = 163;
constexpr uint32_t KEY_PAD2 = 164;
constexpr uint32_t KEY_PAD3 = 165;
constexpr uint32_t KEY_PAD0 = 166;
constexpr uint32_t KEY_PADDOT = 167;
constexpr uint32_t KEY_PADENTER = 168;
constexpr uint32_t KEY_F1 = 169;  // F1..F24 are 169..192
constexpr uint32_t KEY_OTHER1 = 224; // Other1..Other16 are 224..239
constexpr uint32_t KEY_UNKNOWN = 254;

constexpr uint32_t key_f(int n) { return KEY_F1 + static_cast<uint32_t>(n - 1); }
constexpr uint32_t key_other(int n) { return KEY_OTHER1 + static_cast<uint32_t>(n - 1); }
