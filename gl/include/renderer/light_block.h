#pragma once
// The block that surfaces are lit into before their lightmap is uploaded:
// 32 rows of 32 light texels, each 32 bits with one light byte (0 to 127)
// a colour channel, padded as the lighting code expects.
#include <cstdint>

constexpr int LIGHT_BLOCK_SIZE = 32;
constexpr int LIGHT_BLOCK_ENTRIES = LIGHT_BLOCK_SIZE * LIGHT_BLOCK_SIZE;
constexpr int LIGHT_BLOCK_PADDED = LIGHT_BLOCK_ENTRIES + LIGHT_BLOCK_SIZE + 1;

extern uint32_t surface_light_block[LIGHT_BLOCK_PADDED];
