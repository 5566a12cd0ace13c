#pragma once
// Colour words whose three channels all differ, each channel taking each of
// the three values once over the rows: a channel read from another's byte,
// or two channels swapped, shows in at least one row.
#include <cstdint>

struct ColourWord {
    uint32_t word; // red in byte 0, green in byte 1, blue in byte 2
    int red, green, blue;
};

inline constexpr ColourWord COLOUR_WORDS[] = {
    {0xE08020u, 0x20, 0x80, 0xE0},
    {0x20E080u, 0x80, 0xE0, 0x20},
    {0x8020E0u, 0xE0, 0x20, 0x80},
};
