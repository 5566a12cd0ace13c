#pragma once
// Byte-wise arithmetic of 32-bit pixels shared by the blending drawers. Every
// helper treats the four bytes alike and never asks which channel is which.
#include <cstdint>

#include "soft/lighting_tables.h"

inline uint32_t byte_of(uint32_t x, int k) { return (x >> (8 * k)) & 0xFF; }

// The four bytes of a pixel in four 16-bit lanes, and back.
constexpr uint64_t LANE_LOW_BYTES = 0x00FF00FF00FF00FFull;
constexpr uint64_t LANE_ONES = 0x0001000100010001ull;

inline uint64_t spread_bytes(uint32_t x)
{
    uint64_t w = x;
    w = (w | (w << 16)) & 0x0000FFFF0000FFFFull;
    return (w | (w << 8)) & LANE_LOW_BYTES;
}

inline uint32_t pack_lanes(uint64_t w)
{
    w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>(w | (w >> 16));
}

// a + F[f][b - a] in each lane, modulo 256, without the table: with x the
// difference as an unsigned byte, floor(f * signed(x) / 256) is
// floor(f * x / 256) - f when x is 128 or more. No lane carries into the next.
inline uint64_t lerp_lanes(uint64_t a, uint64_t b, uint32_t f)
{
    const uint64_t x = ((b | (LANE_ONES << 8)) - a) & LANE_LOW_BYTES;
    const uint64_t q = ((x * f) >> 8) & LANE_LOW_BYTES;
    const uint64_t negative = (x >> 7) & LANE_ONES;
    return (a + q + negative * (256 - f)) & LANE_LOW_BYTES;
}

// a + F[f][b - a] in each byte, modulo 256: a moved toward b by f/256.
inline uint32_t lerp_bytes(uint32_t a, uint32_t b, uint32_t f)
{
    return pack_lanes(lerp_lanes(spread_bytes(a), spread_bytes(b), f));
}

// The half-precision blend: each destination byte d, halved to d', becomes
// 2 * ((d' + F[w_k][t_k - d']) mod 256), moving toward 2t by w_k/256, where
// the target t holds half-intensity bytes. Weights are one byte each of `w`.
inline uint32_t blend_half_bytes(uint32_t d, uint32_t t, uint32_t w)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const uint32_t dk = byte_of(d, k) >> 1;
        const uint32_t r = (dk + signed_frac_table[byte_of(w, k)][(byte_of(t, k) - dk) & 0xFF]) & 0xFF;
        out |= ((2 * r) & 0xFF) << (8 * k);
    }
    return out;
}

// The same blend with one weight for all four bytes.
inline uint32_t blend_half(uint32_t d, uint32_t t, uint32_t weight)
{
    const uint64_t half = (spread_bytes(d) >> 1) & 0x007F007F007F007Full;
    return pack_lanes((lerp_lanes(half, spread_bytes(t), weight) << 1) & LANE_LOW_BYTES);
}

inline uint32_t saturate_byte(int32_t x) { return x < 0 ? 0u : (x > 255 ? 255u : static_cast<uint32_t>(x)); }

// The MMX form of the blend toward a half-intensity colour p:
// d + ((2p - d) * g) / 128 with the floor of an arithmetic shift, saturated.
inline uint32_t blend_wide(uint32_t d, uint32_t p, uint32_t g)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const int32_t dk = static_cast<int32_t>(byte_of(d, k));
        const int32_t diff = 2 * static_cast<int32_t>(byte_of(p, k)) - dk;
        out |= saturate_byte(dk + ((diff * static_cast<int32_t>(g)) >> 7)) << (8 * k);
    }
    return out;
}

// light_mul_table[l_k][p_k] in each byte.
inline uint32_t light_bytes(uint32_t light, uint32_t p)
{
    return static_cast<uint32_t>(light_mul_table[light & 0xFF][p & 0xFF]) |
           static_cast<uint32_t>(light_mul_table[(light >> 8) & 0xFF][(p >> 8) & 0xFF]) << 8 |
           static_cast<uint32_t>(light_mul_table[(light >> 16) & 0xFF][(p >> 16) & 0xFF]) << 16 |
           static_cast<uint32_t>(light_mul_table[light >> 24][p >> 24]) << 24;
}
