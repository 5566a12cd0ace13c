#pragma once
// Sprites: an animated texture facing the camera, one texel of its first
// level a world unit. Each program draws them its own way (draw).
#include "world/render_record.h"
#include "world/view/render_object.h"
#include "world/view/texture_slot.h"

class ScreenProjection;

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
