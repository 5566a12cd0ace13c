#pragma once
// What the OpenGL program's entity drawers share: textures made from a
// formula and kept in the texture cache, the engine's sine table for angles,
// and the draw of the plain sprite (its class is shared with the software
// program, its drawing is this program's).
#include "core/vector.h"
#include "gl/gl_bind.h"
#include "gl/gl_texture_manager.h"

#include <cstdint>
#include <vector>

class ScreenProjection;
class Sprite;

// Binds the owner's texture; when the cache had lost it (or never had it)
// the side x side RGBA texels of make() are sent again. 0 when no texture
// cache runs: nothing is bound. The owner's size must be set before.
template <typename Make> int bind_generated_texture(GLTextureOwner& owner, int32_t side, int kind, Make make)
{
    const int state = owner.activate();
    if (state < 0) {
        return 0;
    }
    if (state == 0) {
        const std::vector<uint8_t> texels = make();
        GLSys::send_texture(texels.data(), side, side, kind);
    }
    return 1;
}

// p + ka a + kb b: the corners of the camera-facing shapes.
inline Vector vec_combine(const Vector& p, const Vector& a, float ka, const Vector& b, float kb)
{
    return {p.x + ka * a.x + kb * b.x, p.y + ka * a.y + kb * b.y, p.z + ka * a.z + kb * b.z};
}

// Sine and cosine of an angle in radians, from the engine's table when it
// runs (the exact values otherwise).
void table_sine_cosine(float angle, float& sine, float& cosine);

// A sprite's current frame as a camera-facing square of its texels, one
// texel a world unit; only a frame with the transparent flag is drawn, and
// nothing nearer than the near plane's distance along the view axis.
void draw_sprite_transparent(Sprite& sprite, ScreenProjection& projection);

// Binds environment bitmap `level` (0..ENV_BITMAPS-1) for the mesh specular
// pass, building it on first use and after the cache dropped it; 0 for a
// level out of range or without a texture cache.
int get_env_bitmap(int level);
