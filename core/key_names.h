#pragma once
// The table of key names and the characters the keys type.
#include <cstdint>

constexpr int KEY_TABLE_ROWS = 130;

struct KeyRow {
    uint32_t code;
    uint32_t plain;   // character typed without shift, 0 for none
    uint32_t shifted; // character typed with shift
    const char* name;
};

uint8_t key_to_char(uint32_t code, int shifted);
const char* key_to_name(uint32_t code);
// KEY_UNKNOWN when no key has the name.
uint32_t name_to_key(const char* name);

const KeyRow* key_table();
