#include "renderer/light_block.h"
#include "renderer/lighting_tables.h"

uint32_t surface_light_block[LIGHT_BLOCK_PADDED];
uint32_t grey_weight_table[256];

namespace {

// Filled before main: the table has no start-up call of its own here.
const bool grey_weights_built = [] {
    for (uint32_t a = 0; a < 256; ++a) {
        grey_weight_table[a] = ((127u * a) >> 8) * 0x01010101u;
    }
    return true;
}();

} // namespace
