#pragma once
// The wire widths that both sides of a block cache must agree on.
#include <cstdint>

// The width checks of both sides: 0, or 5 after printing the message
// with the given prefix ("NetSCache" or "NetCCache").
int net_cache_check_widths(const char* prefix, int binary, int32_t blocks, int32_t block_length, int ibits,
                           int dbits);
