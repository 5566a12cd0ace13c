#include "renderer/lamp_sprite.h"

#include "core/numerics.h"

LampSpriteRender::LampSpriteRender()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_GLOW;
    render_flags = RENDER_TRANSPARENT | RENDER_OCCLUSION_TEST;
}

void LampSpriteRender::set_colour(uint32_t c)
{
    red = static_cast<float>(c & 0xFF) * (1.0f / 255.0f);
    green = static_cast<float>((c >> 8) & 0xFF) * (1.0f / 255.0f);
    blue = static_cast<float>((c >> 16) & 0xFF) * (1.0f / 255.0f);
}

void LampSpriteRender::set_size(float d)
{
    fade = d;
    inv_fade = d > 0.0f ? 1.0f / d : 0.0f;
}

void LampSpriteRender::set_fade(float strength, float size)
{
    glow_strength = strength;
    glow_size = size * 32.0f;
}

void LampSpriteRender::set_rays(float strength, float length, float count, float length2, float count2)
{
    ray_strength = strength;
    ray_length = length * 64.0f;
    ray_count = float_to_int_trunc(count);
    ray_length2 = length2 * 64.0f;
    ray_count2 = float_to_int_trunc(count2);
}

void LampSpriteRender::set_streak(float strength, float length)
{
    streak_strength = strength;
    streak_length = length * 1024.0f;
}

void LampSpriteRender::set_ghosts(float strength, float size)
{
    ghost_strength = strength;
    ghost_size = size;
}

// The world renderer's passes draw nothing of it yet.
void LampSpriteRender::draw(PolyRenderer&) {}
