#pragma once
// The engine's console font "small.fnt", from a glyph table of our own:
// printable ASCII on a 5 x 7 grid (lower-case descenders below it), light
// grey strokes with a shadow that mixes toward black at the three weaker
// strengths, six pixels an advance, eleven a line. Character 127 is a
// 16 x 16 chart of every pixel code 0-255.
#include "tools/assets/font_writer.h"

namespace tools {

constexpr int SMALL_FONT_ADVANCE = 6;
constexpr int SMALL_FONT_LINE = 11;
constexpr uint8_t SMALL_FONT_STROKE = 28;  // ramp step 28: 1.75 x the text colour
constexpr uint8_t SMALL_FONT_SHADOW = 32;  // half toward black, below right
constexpr uint8_t SMALL_FONT_BELOW = 64;   // a quarter toward black, below
constexpr uint8_t SMALL_FONT_RIGHT = 96;   // an eighth toward black, right

FontDesign small_font();

// The stroke bits of a printable character: 9 rows of 5 columns (bit 4 the
// left column); rows 7 and 8 hold descenders. False outside 32..126.
bool small_font_strokes(int c, uint8_t rows[9]);

} // namespace tools
