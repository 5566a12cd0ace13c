#pragma once
// Textures made from a formula rather than a file: the mesh specular pass's
// environment bitmaps, the particles' round spot and the lens flare's glow
// and ring. Each is a square of RGBA texels, four bytes a texel, rows top
// first, as the texture upload takes them.
#include <cstdint>
#include <vector>

constexpr int ENV_BITMAPS = 8;
constexpr int32_t ENV_BITMAP_SIZE = 64;
constexpr int32_t PARTICLE_SPOT_SIZE = 16;
constexpr int32_t FLARE_TEXTURE_SIZE = 32;

// Specular level 0..7 (empty outside): a grey Gaussian peak about texel
// (32, 32), sharper and brighter with the level, opaque. With n = level + 1,
// I = 0.0125 n^2 + 0.2 and k = 256 I^2 / 4096, the texel at x, y = -32..31 is
// exp(-k (x^2 + y^2)) 255 I, rounded to nearest.
std::vector<uint8_t> env_bitmap_texels(int level);

// White, with alpha exp(-5 (x^2 + y^2) / 256) 255 truncated, at x, y = -15,
// -13, .., 15.
std::vector<uint8_t> particle_spot_texels();

// Opaque greys at x, y = -31, -29, .., 31 with q = (x^2 + y^2) / 1024:
// 1 / (14 q + 1) below q = 0.5, then 0.25 - 0.25 q, 0 from q = 1 on;
// times 255, truncated.
std::vector<uint8_t> flare_glow_texels();

// Opaque greys with q = (x^2 + y^2) / 819: 0.5 + 0.5 sqrt(q) inside q < 1, a
// ring brightest at its rim, 0 outside; times 255, truncated.
std::vector<uint8_t> flare_ring_texels();
