#pragma once
// Sprites: transparent textures facing the camera, one texel of level 0 a
// world unit, drawn with a per-pixel depth test (the depth buffer is not
// written) and blended by the texels' opacity.
#include "render/render_object.h"
#include "render/texture_slot.h"
#include "world/render_record.h"

#include <cstdint>

class ScreenProjection;

// Nearer than this a sprite is not drawn.
constexpr float SPRITE_NEAR = 4.0f;

class Sprite : public RenderRecord, public RenderObject {
public:
    Sprite();

    int entity_type() const override { return ENTITY_TYPE_SPRITE; }
    RenderObject* render_object() override { return this; }
    void draw(PolyRenderer& renderer) override;

    // Starts the animation at its first frame now; the radius covers the
    // first frame. A null slot leaves the sprite without a texture.
    void set_texture(TextureSlot* slot, ScreenProjection& projection);

    TextureAnim anim;
};

// The level whose texels cover at least a pixel at depth z (at most 4), and
// the texel steps per pixel of that level in 16.16.
int sprite_mip_level(double z, const ScreenProjection& projection, int64_t* du = nullptr, int64_t* dv = nullptr);

// A sprite without a texture, or with one that has no opacity, draws nothing.
void draw_sprite_transparent(Sprite& sprite, ScreenProjection& projection);
