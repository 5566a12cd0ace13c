#include "soft/lighting_tables.h"

uint8_t light_mul_table[256][256];
uint8_t signed_frac_table[256][256];
uint32_t grey_weight_table[256];

void build_lighting_tables()
{
    for (int l = 0; l < 256; ++l) {
        for (int c = 0; c < 256; ++c) {
            const int product = l < 128 ? (l * c) >> 5 : 0;
            light_mul_table[l][c] = static_cast<uint8_t>(product > 255 ? 255 : product);
        }
    }
    for (int f = 0; f < 256; ++f) {
        for (int x = 0; x < 256; ++x) {
            const int signed_x = x < 128 ? x : x - 256;
            // Arithmetic shift is floor division by 256, for negative products too.
            signed_frac_table[f][x] = static_cast<uint8_t>(static_cast<uint32_t>((f * signed_x) >> 8) & 0xFF);
        }
    }
    for (int a = 0; a < 256; ++a) {
        const uint32_t g = static_cast<uint32_t>((127 * a) >> 8);
        grey_weight_table[a] = g * 0x01010101u;
    }
}
