#pragma once
// Key messages to engine key codes, by scan code (the default) or by
// virtual-key code ("-use_virtual_codes"), and the table of key names and
// characters.
#include "host/host_events.h"
#include "platform/input_event.h"

#include <cstdint>

constexpr int KEY_TABLE_ROWS = 130;

struct KeyRow {
    uint32_t code;
    uint32_t plain;   // character typed without shift, 0 for none
    uint32_t shifted; // character typed with shift
    const char* name;
};

using KeyTranslator = void (*)(const host::Message& message, InputEvent& event);

// Fills the translation tables and chooses the translator; returns 0.
int keyboard_init();
void keyboard_shutdown();
// The translator keyboard_init chose (translate_scan_message before it ran).
KeyTranslator key_translator();

void translate_key_message(const host::Message& message, InputEvent& event);
void translate_scan_message(const host::Message& message, InputEvent& event);

uint8_t key_to_char(uint32_t code, int shifted);
const char* key_to_name(uint32_t code);
// KEY_UNKNOWN when no key has the name.
uint32_t name_to_key(const char* name);

const KeyRow* key_table();
