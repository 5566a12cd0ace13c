#pragma once
// What the lighting code reads of the lighting tables in this program: the
// colour of a light byte of a lightmap without colours.
#include <cstdint>

// [opacity]: (127 * opacity) >> 8 in all four bytes.
extern uint32_t grey_weight_table[256];
