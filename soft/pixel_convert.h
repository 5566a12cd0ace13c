#pragma once
// Pixel-format converters from the 32-bit frame buffer into 16-, 15- and
// 24-bit display surfaces, and the choice of converter and rgb_layout from
// the surface's channel masks.
//
// Every converter takes: source pixels, destination, width in pixels, rows
// (at least 1), bytes added to the destination after each row, bytes added
// to the source after each row (the generic converters read rows without
// gaps) and the dither row to start with (used by the MMX forms only).
#include <cstdint>

using PixelConverter = void (*)(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                                int32_t destination_skip, int32_t source_skip, int32_t dither_row);

struct ConverterPair {
    PixelConverter plain;
    PixelConverter mmx;
};

// Generic conversion parameters of one channel: the bits taken from the
// source pixel, and the signed right shift that moves them into the even
// (low 16 bits) and the signed left shift that moves them into the odd
// (high 16 bits) pixel of a destination word.
struct GenericChannel {
    uint32_t mask;
    int32_t even_shift;
    int32_t odd_shift;
};

struct GenericParameters {
    GenericChannel channel[3]; // red, green, blue
};

// Shift and width of a channel mask: zero bits below it, set bits from there.
void channel_shape(uint32_t mask, int32_t& shift, int32_t& width);

// From the surface's red, green and blue masks and its bytes per pixel (2 or
// 3): sets the mode's rgb_layout, the generic parameters and the converter
// pair.
void analyse_channels(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, int32_t bytes_per_pixel,
                      uint8_t rgb_layout[4]);

extern GenericParameters generic_parameters;
extern ConverterPair converter_pair;

// Two source pixels to one 32-bit word through the generic parameters; an
// odd last pixel becomes one 16-bit word.
void convert_generic(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                     int32_t destination_skip, int32_t source_skip, int32_t dither_row);
// One source pixel to three bytes through the generic parameters.
void convert_generic_24(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                        int32_t destination_skip, int32_t source_skip, int32_t dither_row);

void convert_32_to_565(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                       int32_t destination_skip, int32_t source_skip, int32_t dither_row);
void convert_32_to_565_mmx(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                           int32_t destination_skip, int32_t source_skip, int32_t dither_row);
void convert_32_to_555(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                       int32_t destination_skip, int32_t source_skip, int32_t dither_row);
void convert_32_to_555_mmx(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                           int32_t destination_skip, int32_t source_skip, int32_t dither_row);

inline uint32_t pixel_to_565(uint32_t p) { return ((p & 0xF80000u) >> 8) | ((p & 0xFC00u) >> 5) | ((p & 0xF8u) >> 3); }
inline uint32_t pixel_to_555(uint32_t p) { return ((p & 0xF80000u) >> 9) | ((p & 0xF800u) >> 6) | ((p & 0xF8u) >> 3); }
