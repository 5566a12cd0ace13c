#include "soft/light_block.h"

uint32_t surface_light_block[LIGHT_BLOCK_PADDED];
