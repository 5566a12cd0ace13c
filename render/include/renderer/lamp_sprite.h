#pragma once
// Lamp glows: the corona of a lamp, a disc blended toward the lamp's colour
// from one of four glow images. Whether the glow shows is decided once a
// frame at its centre (project), not per pixel.
#include "world/view/render_object.h"
#include "world/render_record.h"

#include <cstdint>

class ScreenProjection;
class LampData;

constexpr int GLOW_LEVELS = 4;
constexpr int GLOW_SIZE = 64;
// A row of zeros beyond the right and bottom edges takes the last step's rounding.
constexpr int GLOW_STRIDE = GLOW_SIZE + 1;

// The glow images: level L, texel (x, y) at glow_image[L][y * GLOW_STRIDE + x].
extern uint8_t glow_image[GLOW_LEVELS][GLOW_STRIDE * GLOW_STRIDE];
// Builds the glow images; once is enough, again is harmless.
void init_sprite_tables();

class LampSpriteRender : public RenderRecord, public RenderObject {
public:
    LampSpriteRender();

    int entity_type() const override { return ENTITY_TYPE_GLOW; }
    RenderObject* render_object() override { return this; }
    // Projects the centre; the glow shows when the centre is on the window,
    // in front of the eye, not hidden and the glow has a size. 1 when it shows.
    int project(ScreenProjection& projection);
    // On the transparent list: the centre test once the opaque surfaces
    // have laid their depths, then the glow.
    void draw_first(PolyRenderer& renderer) override;
    void draw(PolyRenderer& renderer) override;

    void set_mode(const LampData* l) { lamp = l; }
    void set_colour(uint32_t c) { colour = c; }
    void set_scale(float s) { scale = s; }
    void set_size(float n);
    // level = round(a x 4) within 0..3, radius = b x 32.
    void set_fade(float a, float b);
    // Lens flare parts, drawn by the other renderer only.
    void set_rays(float, float, float, float, float) {}
    void set_streak(float, float) {}
    void set_ghosts(float, float) {}

    const LampData* lamp = nullptr; // its intensity scales the glow, its pixel colour colours it
    uint32_t colour = 0xFFFFFF; // red in byte 0
    float scale = 1.0f;
    float near = 0.0f;
    float inv_near = 0.0f;
    float glow_radius = 1.0f; // half size in world units
    int32_t level = 3;
    // Filled by project.
    Vector view_position = {};
    float inv_z = 0.0f;
    int32_t screen_x = 0; // 16.16
    int32_t screen_y = 0;
    int32_t half_width = 0; // 16.16
    int32_t half_height = 0;
};

void draw_sprite(LampSpriteRender& glow, ScreenProjection& projection);
