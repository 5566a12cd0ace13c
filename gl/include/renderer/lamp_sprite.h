#pragma once
// The lamp sprite of the OpenGL program, a lens flare: a glow, two sets of
// rays, a horizontal streak and a chain of ghost images along the line
// through the light, shown only while a depth read says the light is not
// hidden. Its colour follows a lamp, or its own without one.
#include "core/vector.h"
#include "world/render_record.h"
#include "world/view/render_object.h"

#include <cstdint>

class LampData;
class ScreenProjection;

// Flag bits of the flare.
constexpr uint32_t FLARE_VISIBLE = 0x04; // set by the visibility test this frame
// Rays a set draws at most: the count comes from the server.
constexpr int32_t FLARE_MAX_RAYS = 64;

class LampSpriteRender : public RenderRecord, public RenderObject {
public:
    LampSpriteRender();

    int entity_type() const override { return ENTITY_TYPE_GLOW; }
    RenderObject* render_object() override { return this; }
    void draw_first(PolyRenderer& renderer) override;
    void draw(PolyRenderer& renderer) override;

    // The visibility test of the frame: the light's view position, and the
    // visible flag when the light is in front of the camera, inside the
    // window and not behind what the depth buffer holds at its pixel.
    void project(ScreenProjection& projection);
    // Ghosts, streak, rays and glow, added onto the frame, when visible.
    void draw(ScreenProjection& projection);

    // The lamp whose intensity and colour the flare follows, or none.
    void set_mode(const LampData* l) { lamp = l; }
    void set_scale(float s) { intensity = s; }
    // Red in byte 0; used when there is no lamp.
    void set_colour(uint32_t c);
    // The fade distance; its reciprocal is 0 when it is not above 0.
    void set_size(float d);
    void set_fade(float strength, float size);
    void set_rays(float strength, float length, float count, float length2, float count2);
    void set_streak(float strength, float length);
    void set_ghosts(float strength, float size);

    const LampData* lamp = nullptr;
    float intensity = 1.0f;
    float red = 1.0f;
    float green = 1.0f;
    float blue = 1.0f;
    float fade = 0.0f;
    float inv_fade = 0.0f;
    float glow_strength = 1.0f;
    float ray_strength = 0.25f;
    float streak_strength = 0.125f;
    float ghost_strength = 0.25f;
    float glow_size = 32.0f;
    float ray_length = 64.0f;
    float ray_length2 = 32.0f;
    float streak_length = 1024.0f;
    float ghost_size = 1.0f;
    int32_t ray_count = 6;
    int32_t ray_count2 = 0;
    Vector view_position = {};
    float inv_z = 0.0f;
    uint32_t flare_flags = 0x03;
};
