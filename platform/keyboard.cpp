#include "platform/keyboard.h"

#include "core/command_line.h"
#include "core/compare_nocase.h"
#include "platform/key_codes.h"

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

// One entry of a translation list: the key for a normal and for an extended message.
struct KeyMapping {
    uint8_t index;
    uint32_t normal;
    uint32_t extended;
};

constexpr KeyMapping one(uint8_t index, uint32_t code) { return {index, code, code}; }

constexpr KeyMapping virtual_key_list[] = {
    one(0x08, KEY_BACKSPACE), one(0x09, KEY_TAB), one(0x0C, KEY_PAD5), one(0x10, KEY_LSHIFT),
    one(0x14, KEY_CAPSLOCK), one(0x1B, KEY_ESCAPE), one(0x20, ' '),
    one(0x60, KEY_PAD0), one(0x61, KEY_PAD1), one(0x62, KEY_PAD2), one(0x63, KEY_PAD3), one(0x64, KEY_PAD4),
    one(0x65, KEY_PAD5), one(0x66, KEY_PAD6), one(0x67, KEY_PAD7), one(0x68, KEY_PAD8), one(0x69, KEY_PAD9),
    one(0x6A, KEY_PADASTERISK), one(0x6B, KEY_PADPLUS), one(0x6D, KEY_PADMINUS), one(0x6E, KEY_PADDOT),
    one(0x6F, KEY_PADSLASH), one(0x90, KEY_NUMLOCK), one(0x91, KEY_SCROLLLOCK),
    one(0xBA, ';'), one(0xBB, '='), one(0xBC, ','), one(0xBD, '-'), one(0xBE, '.'), one(0xBF, '/'), one(0xE2, '/'),
    one(0xC0, '`'), one(0xDB, '['), one(0xDC, '\\'), one(0xDD, ']'), one(0xDE, '\''), one(0x13, KEY_PAUSE),
    {0x0D, KEY_ENTER, KEY_PADENTER}, {0x11, KEY_LCTRL, KEY_RCTRL}, {0x12, KEY_LALT, KEY_RALT},
    {0x21, KEY_PAD9, KEY_PAGEUP}, {0x22, KEY_PAD3, KEY_PAGEDN}, {0x23, KEY_PAD1, KEY_END},
    {0x24, KEY_PAD7, KEY_HOME}, {0x25, KEY_PAD4, KEY_LEFT}, {0x26, KEY_PAD8, KEY_UP},
    {0x27, KEY_PAD6, KEY_RIGHT}, {0x28, KEY_PAD2, KEY_DOWN}, {0x2D, KEY_PAD0, KEY_INSERT},
    {0x2E, KEY_PADDOT, KEY_DELETE},
};

constexpr KeyMapping scan_list[] = {
    one(0x01, KEY_ESCAPE),
    one(0x02, '1'), one(0x03, '2'), one(0x04, '3'), one(0x05, '4'), one(0x06, '5'), one(0x07, '6'),
    one(0x08, '7'), one(0x09, '8'), one(0x0A, '9'), one(0x0B, '0'), one(0x0C, '-'), one(0x0D, '='),
    one(0x0E, KEY_BACKSPACE), one(0x0F, KEY_TAB),
    one(0x10, 'q'), one(0x11, 'w'), one(0x12, 'e'), one(0x13, 'r'), one(0x14, 't'), one(0x15, 'y'),
    one(0x16, 'u'), one(0x17, 'i'), one(0x18, 'o'), one(0x19, 'p'), one(0x1A, '['), one(0x1B, ']'),
    one(0x1E, 'a'), one(0x1F, 's'), one(0x20, 'd'), one(0x21, 'f'), one(0x22, 'g'), one(0x23, 'h'),
    one(0x24, 'j'), one(0x25, 'k'), one(0x26, 'l'), one(0x27, ';'), one(0x28, '\''), one(0x29, '`'),
    one(0x2A, KEY_LSHIFT), one(0x2B, '\\'),
    one(0x2C, 'z'), one(0x2D, 'x'), one(0x2E, 'c'), one(0x2F, 'v'), one(0x30, 'b'), one(0x31, 'n'),
    one(0x32, 'm'), one(0x33, ','), one(0x34, '.'), one(0x36, KEY_LSHIFT), one(0x39, ' '),
    one(0x3A, KEY_CAPSLOCK),
    one(0x3B, key_f(1)), one(0x3C, key_f(2)), one(0x3D, key_f(3)), one(0x3E, key_f(4)), one(0x3F, key_f(5)),
    one(0x40, key_f(6)), one(0x41, key_f(7)), one(0x42, key_f(8)), one(0x43, key_f(9)), one(0x44, key_f(10)),
    one(0x4A, KEY_PADMINUS), one(0x4C, KEY_PAD5), one(0x4E, KEY_PADPLUS), one(0x56, '/'),
    one(0x57, key_f(11)), one(0x58, key_f(12)),
    one(0x5B, key_other(1)), one(0x5C, key_other(2)), one(0x5D, key_other(3)),
    {0x1C, KEY_ENTER, KEY_PADENTER}, {0x1D, KEY_LCTRL, KEY_RCTRL}, {0x35, '/', KEY_PADSLASH},
    {0x37, KEY_PADASTERISK, KEY_PRINTSCREEN}, {0x38, KEY_LALT, KEY_RALT}, {0x45, KEY_PAUSE, KEY_NUMLOCK},
    {0x46, KEY_SCROLLLOCK, KEY_PAUSE}, {0x47, KEY_PAD7, KEY_HOME}, {0x48, KEY_PAD8, KEY_UP},
    {0x49, KEY_PAD9, KEY_PAGEUP}, {0x4B, KEY_PAD4, KEY_LEFT}, {0x4D, KEY_PAD6, KEY_RIGHT},
    {0x4F, KEY_PAD1, KEY_END}, {0x50, KEY_PAD2, KEY_DOWN}, {0x51, KEY_PAD3, KEY_PAGEDN},
    {0x52, KEY_PAD0, KEY_INSERT}, {0x53, KEY_PADDOT, KEY_DELETE},
};

uint32_t virtual_normal[256];
uint32_t virtual_extended[256];
uint32_t scan_normal[256];
uint32_t scan_extended[256];
KeyTranslator translator = translate_scan_message;

template <size_t N>
void fill(const KeyMapping (&list)[N], uint32_t* normal, uint32_t* extended)
{
    for (const KeyMapping& m : list) {
        normal[m.index] = m.normal;
        extended[m.index] = m.extended;
    }
}

void clear(uint32_t* table)
{
    for (int i = 0; i < 256; ++i) {
        table[i] = 0;
    }
}

void translate(const host::Message& message, uint32_t index, const uint32_t* normal, const uint32_t* extended,
               InputEvent& event)
{
    const uint32_t code = ((message.lparam & host::KEY_EXTENDED) != 0 ? extended : normal)[index & 0xFF];
    if (code == 0) {
        return;
    }
    event.key_code = code;
    if (message.type == host::WM_KEYDOWN || message.type == host::WM_SYSKEYDOWN) {
        event.kind = (message.lparam & host::KEY_PREVIOUS_DOWN) != 0 ? INPUT_KEY_REPEAT : INPUT_KEY_DOWN;
    } else {
        event.kind = INPUT_KEY_UP;
    }
}

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

int keyboard_init()
{
    clear(virtual_normal);
    clear(virtual_extended);
    clear(scan_normal);
    clear(scan_extended);
    fill(virtual_key_list, virtual_normal, virtual_extended);
    // The digit and letter keys: their virtual codes are the ASCII digits and capitals.
    for (uint32_t c = '0'; c <= '9'; ++c) {
        virtual_normal[c] = virtual_extended[c] = c;
    }
    for (uint32_t c = 'A'; c <= 'Z'; ++c) {
        virtual_normal[c] = virtual_extended[c] = c - 'A' + 'a';
    }
    for (int f = 1; f <= 24; ++f) {
        virtual_normal[0x6F + f] = virtual_extended[0x6F + f] = key_f(f);
    }
    fill(scan_list, scan_normal, scan_extended);

    translator = translate_scan_message;
    if (command_line != nullptr) {
        if (command_line->find_option("-use_virtual_codes")) {
            translator = translate_key_message;
        }
        command_line->end_search();
    }
    return 0;
}

void keyboard_shutdown() {}

KeyTranslator key_translator() { return translator; }

void translate_key_message(const host::Message& message, InputEvent& event)
{
    translate(message, message.wparam, virtual_normal, virtual_extended, event);
}

void translate_scan_message(const host::Message& message, InputEvent& event)
{
    translate(message, message.lparam >> 16, scan_normal, scan_extended, event);
}

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
