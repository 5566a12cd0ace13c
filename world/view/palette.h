#pragma once
// Palettes of 256 u32 entries. Read from a file an entry holds red, green,
// blue and green again in bytes 0-3 (file order); conversion by an
// rgb_layout moves byte k to bit shift layout[k] of the pixel.
//
// An arrangement is the layout a palette is in now: the shift of each file
// byte (identity {0, 8, 16, 24} in file order). Tracking it lets a palette be
// brought to a target arrangement any number of times without converting twice.
#include <cstdint>

class FileStream;

constexpr int PALETTE_ENTRIES = 256;
constexpr uint32_t PALETTE_GREY = 0x40404040;
inline constexpr uint8_t FILE_ORDER_LAYOUT[4] = {0, 8, 16, 24};

void palette_fill_grey(uint32_t* palette);
// 256 x {r, g, b}, each shifted left by `shift`, packed r | g << 8 | b << 16 | g << 24.
// 1 when all 768 bytes were read.
int palette_read(uint32_t* palette, FileStream* stream, int shift);
// One entry: byte k moved to bit shift layout[k].
uint32_t colour_convert(uint32_t entry, const uint8_t layout[4]);
void palette_convert(uint32_t* palette, const uint8_t layout[4]);
// Every byte shifted right by 1: the renderer's lighting headroom.
void palette_halve(uint32_t* palette);

// Moves every entry from arrangement `from` to arrangement `to`.
void palette_rearrange(uint32_t* palette, const uint8_t from[4], const uint8_t to[4]);
// The arrangement of a palette in `have` after palette_convert by `applied`:
// each byte moves from byte shift have[k] to applied[have[k] / 8].
void layout_compose(uint8_t out[4], const uint8_t have[4], const uint8_t applied[4]);
bool layout_equal(const uint8_t a[4], const uint8_t b[4]);
