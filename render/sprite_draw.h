#pragma once
// How the software program draws sprites: transparent textures with a
// per-pixel depth test (the depth buffer is not written), blended by the
// texels' opacity.
#include "world/view/sprite.h"

#include <cstdint>

class ScreenProjection;

// Nearer than this a sprite is not drawn.
constexpr float SPRITE_NEAR = 4.0f;

// The level whose texels cover at least a pixel at depth z (at most 4), and
// the texel steps per pixel of that level in 16.16.
int sprite_mip_level(double z, const ScreenProjection& projection, int64_t* du = nullptr, int64_t* dv = nullptr);

// A sprite without a texture, or with one that has no opacity, draws nothing.
void draw_sprite_transparent(Sprite& sprite, ScreenProjection& projection);
