#include "world/view/sprite.h"

#include "renderer/screen_projection.h"

Sprite::Sprite()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_SPRITE;
    render_flags = RENDER_OCCLUSION_TEST;
}

void Sprite::set_texture(TextureSlot* slot, ScreenProjection& projection)
{
    radius = start_anim(anim, slot, projection.time);
}
