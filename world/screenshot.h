#pragma once
// Numbered screenshots: uncompressed 24-bit BMP files named "%s/%s%05d.bmp"
// from the base directory (the variable Base), a prefix and a number, written
// from a frame of 32-bit pixels. A number is never reused: the first free one
// from `first` on is taken, so earlier shots are never overwritten.
#include <cstdint>

// Pixel lines are stored bottom line first (as OpenGL reads them back).
constexpr uint32_t SHOT_BOTTOM_UP = 0x1;

// Bytes of one BMP pixel row: 3 x width padded to a multiple of 4.
constexpr int64_t shot_row_size(int32_t width) { return (3 * static_cast<int64_t>(width) + 3) & ~int64_t{3}; }

// line_width: pixels from one line to the next; rgb_layout: the shifts of red,
// green, blue and the fourth byte in a pixel. Returns the number used, or -1
// when no file was written (no free number, the file can't be created or
// written, or no memory).
int32_t save_screenshot(const char* prefix, int32_t first, const uint32_t* pixels, int32_t width, int32_t height,
                        int32_t line_width, const uint8_t rgb_layout[4], uint32_t flags);
