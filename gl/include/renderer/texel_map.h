#pragma once
// Operations on one mip level of the OpenGL program's textures.
#include "renderer/texture.h"

// After a generator rewrote a level's texels: the texture is uploaded again
// when next bound.
inline void texels_rewritten(Texture& texture, TexelMap&) { texture.dirty = 1; }
