#include "platform/keyboard.h"

#include "core/command_line.h"
#include "core/key_codes.h"

#include <cstddef>

namespace {

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

template <std::size_t N>
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
