#include "core/key_names.h"

#include "core/compare_nocase.h"
#include "core/key_codes.h"

namespace {

constexpr KeyRow key_rows[KEY_TABLE_ROWS] = {
    {KEY_ESCAPE, 0, 0, "Escape"},
    {key_f(1), 0, 0, "F1"}, {key_f(2), 0, 0, "F2"}, {key_f(3), 0, 0, "F3"}, {key_f(4), 0, 0, "F4"},
    {key_f(5), 0, 0, "F5"}, {key_f(6), 0, 0, "F6"}, {key_f(7), 0, 0, "F7"}, {key_f(8), 0, 0, "F8"},
    {key_f(9), 0, 0, "F9"}, {key_f(10), 0, 0, "F10"}, {key_f(11), 0, 0, "F11"}, {key_f(12), 0, 0, "F12"},
    {key_f(13), 0, 0, "F13"}, {key_f(14), 0, 0, "F14"}, {key_f(15), 0, 0, "F15"}, {key_f(16), 0, 0, "F16"},
    {key_f(17), 0, 0, "F17"}, {key_f(18), 0, 0, "F18"}, {key_f(19), 0, 0, "F19"}, {key_f(20), 0, 0, "F20"},
    {key_f(21), 0, 0, "F21"}, {key_f(22), 0, 0, "F22"}, {key_f(23), 0, 0, "F23"}, {key_f(24), 0, 0, "F24"},
    {'`', '`', '~', "Tilde"},
    {'1', '1', '!', "1"}, {'2', '2', '@', "2"}, {'3', '3', '#', "3"}, {'4', '4', '$', "4"}, {'5', '5', '%', "5"},
    {'6', '6', '^', "6"}, {'7', '7', '&', "7"}, {'8', '8', '*', "8"}, {'9', '9', '(', "9"}, {'0', '0', ')', "0"},
    {'-', '-', '_', "Minus"}, {'=', '=', '+', "Equal"}, {'\\', '\\', '|', "BackSlash"},
    {KEY_BACKSPACE, 0, 0, "BackSpace"}, {KEY_TAB, 0, 0, "Tab"},
    {'q', 'q', 'Q', "Q"}, {'w', 'w', 'W', "W"}, {'e', 'e', 'E', "E"}, {'r', 'r', 'R', "R"}, {'t', 't', 'T', "T"},
    {'y', 'y', 'Y', "Y"}, {'u', 'u', 'U', "U"}, {'i', 'i', 'I', "I"}, {'o', 'o', 'O', "O"}, {'p', 'p', 'P', "P"},
    {'[', '[', '{', "LBracket"}, {']', ']', '}', "RBracket"}, {KEY_CAPSLOCK, 0, 0, "CapsLock"},
    {'a', 'a', 'A', "A"}, {'s', 's', 'S', "S"}, {'d', 'd', 'D', "D"}, {'f', 'f', 'F', "F"}, {'g', 'g', 'G', "G"},
    {'h', 'h', 'H', "H"}, {'j', 'j', 'J', "J"}, {'k', 'k', 'K', "K"}, {'l', 'l', 'L', "L"},
    {';', ';', ':', "Semicolon"}, {'\'', '\'', '"', "Apostrophe"}, {KEY_ENTER, 0, 0, "Enter"},
    {'z', 'z', 'Z', "Z"}, {'x', 'x', 'X', "X"}, {'c', 'c', 'C', "C"}, {'v', 'v', 'V', "V"}, {'b', 'b', 'B', "B"},
    {'n', 'n', 'N', "N"}, {'m', 'm', 'M', "M"},
    {',', ',', '<', "Comma"}, {'.', '.', '>', "Dot"}, {'/', '/', '?', "Slash"}, {' ', ' ', ' ', "Space"},
    {KEY_LCTRL, 0, 0, "LCtrl"}, {KEY_RCTRL, 0, 0, "RCtrl"}, {KEY_LALT, 0, 0, "LAlt"}, {KEY_RALT, 0, 0, "RAlt"},
    {KEY_LSHIFT, 0, 0, "LShift"}, {KEY_RSHIFT, 0, 0, "RShift"},
    {KEY_PRINTSCREEN, 0, 0, "PrintScreen"}, {KEY_SCROLLLOCK, 0, 0, "ScrollLock"}, {KEY_PAUSE, 0, 0, "Pause"},
    {KEY_INSERT, 0, 0, "Insert"}, {KEY_DELETE, 0, 0, "Delete"}, {KEY_HOME, 0, 0, "Home"}, {KEY_END, 0, 0, "End"},
    {KEY_PAGEUP, 0, 0, "PageUp"}, {KEY_PAGEDN, 0, 0, "PageDn"},
    {KEY_LEFT, 0, 0, "Left"}, {KEY_RIGHT, 0, 0, "Right"}, {KEY_UP, 0, 0, "Up"}, {KEY_DOWN, 0, 0, "Down"},
    {KEY_NUMLOCK, 0, 0, "NumLock"}, {KEY_PADSLASH, 0, 0, "PadSlash"}, {KEY_PADASTERISK, 0, 0, "PadAsterisk"},
    {KEY_PADMINUS, 0, 0, "PadMinus"}, {KEY_PADPLUS, 0, 0, "PadPlus"},
    {KEY_PAD7, 0, 0, "Pad7"}, {KEY_PAD8, 0, 0, "Pad8"}, {KEY_PAD9, 0, 0, "Pad9"},
    {KEY_PAD4, 0, 0, "Pad4"}, {KEY_PAD5, 0, 0, "Pad5"}, {KEY_PAD6, 0, 0, "Pad6"},
    {KEY_PAD1, 0, 0, "Pad1"}, {KEY_PAD2, 0, 0, "Pad2"}, {KEY_PAD3, 0, 0, "Pad3"},
    {KEY_PAD0, 0, 0, "Pad0"}, {KEY_PADDOT, 0, 0, "PadDot"}, {KEY_PADENTER, 0, 0, "PadEnter"},
    {key_other(1), 0, 0, "Other1"}, {key_other(2), 0, 0, "Other2"}, {key_other(3), 0, 0, "Other3"},
    {key_other(4), 0, 0, "Other4"}, {key_other(5), 0, 0, "Other5"}, {key_other(6), 0, 0, "Other6"},
    {key_other(7), 0, 0, "Other7"}, {key_other(8), 0, 0, "Other8"}, {key_other(9), 0, 0, "Other9"},
    {key_other(10), 0, 0, "Other10"}, {key_other(11), 0, 0, "Other11"}, {key_other(12), 0, 0, "Other12"},
    {key_other(13), 0, 0, "Other13"}, {key_other(14), 0, 0, "Other14"}, {key_other(15), 0, 0, "Other15"},
    {key_other(16), 0, 0, "Other16"},
    {KEY_UNKNOWN, 0, 0, "Unknown"},
};

const KeyRow& row_of(uint32_t code)
{
    for (const KeyRow& row : key_rows) {
        if (row.code == code) {
            return row;
        }
    }
    return key_rows[KEY_TABLE_ROWS - 1];
}

} // namespace

uint8_t key_to_char(uint32_t code, int shifted)
{
    const KeyRow& row = row_of(code);
    return static_cast<uint8_t>(shifted != 0 ? row.shifted : row.plain);
}

const char* key_to_name(uint32_t code) { return row_of(code).name; }

uint32_t name_to_key(const char* name)
{
    if (name == nullptr) {
        return KEY_UNKNOWN;
    }
    for (const KeyRow& row : key_rows) {
        if (compare_nocase(row.name, name) == 0) {
            return row.code;
        }
    }
    return KEY_UNKNOWN;
}

const KeyRow* key_table() { return key_rows; }
