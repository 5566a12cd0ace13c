#pragma once
// Operations on a whole texture of the OpenGL program: every level from the
// full image halving down to 1 x 1, and an optional palette.
#include "renderer/texture.h"

#include <cstdint>

class CacheOwner;

// Level 0 and each level halved ((side + 1) / 2) after it, down to 1 x 1.
int texture_level_count(int32_t width, int32_t height);
// The smallest n with 1 << n not below size.
int32_t texture_log2(int32_t size);
// Frees the palette and every level, and gives the GL name back.
void texture_clear(Texture& texture);
// Levels of zero texels and no palette, for generated textures; 1, or 0
// when the size is refused or an allocation fails.
int texture_create(Texture& texture, int32_t usize, int32_t vsize, uint32_t flags);
// A blank texture with a cleared palette: what is drawn when no file can be
// had. Its blocks belong to `owner` (null: persistent blocks).
int texture_create_cleared(Texture& texture, CacheOwner* owner, int32_t usize, int32_t vsize);
