#pragma once
// Operations on a whole texture (Texture of soft/texture.h): five mip levels,
// level i of (usize >> i) x (vsize >> i) texels, and an optional palette.
#include "renderer/texture.h"

#include <cstdint>

class CacheOwner;

constexpr int32_t TEXTURE_MIN_SIZE = 16;
constexpr int32_t TEXTURE_MAX_SIZE = 256;

// A level-0 side that files may carry: a power of two from 16 to 256.
bool texture_size_valid(int32_t size);
int32_t texture_log2(int32_t size);

void texture_init(Texture& texture);
// Frees the palette and every level; mipmaps 0.
void texture_clear(Texture& texture);
// Five levels of zero texels from the general heap; for generated textures.
// 1, or 0 when an allocation fails.
int texture_create(Texture& texture, int32_t usize, int32_t vsize, uint32_t flags);
// A grey palette and five levels of zero texels in the owner's cacheable
// blocks ("ClearedTexture"): what is drawn when no file can be had.
int texture_create_cleared(Texture& texture, CacheOwner* owner, int32_t usize, int32_t vsize);
void texture_convert_palette(Texture& texture, const uint8_t layout[4]);
