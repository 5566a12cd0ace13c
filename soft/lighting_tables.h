#pragma once
// The byte tables of the lit and blending drawers, built once at renderer
// start-up by build_lighting_tables. Light bytes run from 0 to 127; 64 gives a
// half-intensity palette colour its full intensity.
#include <cstdint>

// [light][colour]: min(255, (light * colour) >> 5) for light below 128, 0 above.
extern uint8_t light_mul_table[256][256];
// [weight][x]: low byte of floor(weight * x / 256), x read as a signed byte.
extern uint8_t signed_frac_table[256][256];
// [opacity]: (127 * opacity) >> 8 in all four bytes.
extern uint32_t grey_weight_table[256];

void build_lighting_tables();
