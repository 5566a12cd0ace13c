#pragma once
// Palettes of 256 u32 entries whose bytes 0..3 are colour components; the
// screen's rgb_layout gives the bit shift at which each component lands in a
// frame-buffer pixel.
#include <cstdint>

constexpr int PALETTE_ENTRIES = 256;

// One entry: byte k moved to bit shift layout[k].
uint32_t colour_convert(uint32_t entry, const uint8_t layout[4]);
void palette_convert(uint32_t* palette, const uint8_t layout[4]);
