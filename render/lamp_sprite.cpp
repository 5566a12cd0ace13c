#include "renderer/lamp_sprite.h"

#include "core/numerics.h"
#include "world/light_source.h"
#include "render/poly_renderer.h"
#include "renderer/screen_projection.h"
#include "soft/row_draw.h"

#include <algorithm>
#include <cmath>

uint8_t glow_image[GLOW_LEVELS][GLOW_STRIDE * GLOW_STRIDE];

namespace {

// Below this half size (16.16) the image step leaves 32 bits; such a glow is
// far smaller than a pixel. Above the other, nothing of the window is left out.
constexpr int64_t GLOW_MIN_HALF = 64;
constexpr double GLOW_MAX_HALF = 1073741824.0;

int64_t ceil_fixed(int64_t v) { return (v + 0xFFFF) >> 16; }

// The glow's brightness at squared distance d (1 at the rim) from its centre.
double glow_falloff(double d)
{
    if (d < 0.5) {
        return 1.0 / (1.0 + 14.0 * d);
    }
    if (d < 1.0) {
        return 0.25 - 0.25 * d;
    }
    return 0.0;
}

int32_t half_size(double radius, double scale_fixed, double k, double z)
{
    const double h = radius * scale_fixed * k / z;
    return h >= GLOW_MAX_HALF ? static_cast<int32_t>(GLOW_MAX_HALF) : float_to_int_round(h);
}

} // namespace

void init_sprite_tables()
{
    for (int level = 0; level < GLOW_LEVELS; ++level) {
        uint8_t* const image = glow_image[level];
        std::fill(image, image + GLOW_STRIDE * GLOW_STRIDE, uint8_t{0});
        for (int y = 0; y < GLOW_SIZE; ++y) {
            for (int x = 0; x < GLOW_SIZE; ++x) {
                const double X = 2 * x - 63;
                const double Y = 2 * y - 63;
                const double g = glow_falloff((X * X + Y * Y) / 4096.0);
                const double byte = std::trunc((level + 1) * 0.25 * g * 256.0);
                image[y * GLOW_STRIDE + x] = static_cast<uint8_t>(std::min(byte, 255.0));
            }
        }
    }
}

LampSpriteRender::LampSpriteRender()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_GLOW;
    render_flags = RENDER_TRANSPARENT | 0x02 | RENDER_OCCLUSION_TEST;
}

void LampSpriteRender::set_size(float n)
{
    near = n;
    inv_near = n > 0.0f ? 1.0f / n : 0.0f;
}

void LampSpriteRender::set_fade(float a, float b)
{
    level = std::clamp(float_to_int_round(static_cast<double>(a) * 4.0), 0, GLOW_LEVELS - 1);
    glow_radius = b * 32.0f;
}

int LampSpriteRender::project(ScreenProjection& projection)
{
    render_flags &= ~RENDER_GLOW_VISIBLE;
    mat_rotate_vector(view_position, projection.transform, position);
    const double z = view_position.z;
    // Behind the eye or at it the glow has no place on the screen.
    if (!(z > 0.0)) {
        return 0;
    }
    inv_z = static_cast<float>(1.0 / z);
    screen_x = wrap_add(projection.centre_x_fixed, float_to_int_round(view_position.x * projection.xscale_fixed / z));
    screen_y = wrap_add(projection.centre_y_fixed, float_to_int_round(view_position.y * projection.yscale_fixed / z));
    const int32_t px = screen_x >> 16;
    const int32_t py = screen_y >> 16;
    if (px <= 0 || px >= projection.xsize || py <= 0 || py >= projection.ysize) {
        return 0;
    }
    if (projection.depth_rows[py][px] > 65536.0 / z) {
        return 0;
    }
    double k = scale;
    if (lamp != nullptr) {
        k *= lamp->intensity;
    }
    if (z < near) {
        k = (2.0 * near - z) * z * inv_near * inv_near * k;
    }
    half_width = half_size(glow_radius, projection.xscale_fixed, k, z);
    half_height = half_size(glow_radius, projection.yscale_fixed, k, z);
    if (half_width <= GLOW_MIN_HALF || half_height <= GLOW_MIN_HALF) {
        return 0;
    }
    render_flags |= RENDER_GLOW_VISIBLE;
    return 1;
}

void LampSpriteRender::draw_first(PolyRenderer& renderer) { project(*renderer.projection); }

void LampSpriteRender::draw(PolyRenderer& renderer) { draw_sprite(*this, *renderer.projection); }

void draw_sprite(LampSpriteRender& glow, ScreenProjection& projection)
{
    if ((glow.render_flags & RENDER_GLOW_VISIBLE) == 0) {
        return;
    }
    const int64_t sx = glow.screen_x;
    const int64_t sy = glow.screen_y;
    const int64_t x0 = std::max<int64_t>(ceil_fixed(sx - glow.half_width), 0);
    const int64_t x1 = std::min<int64_t>(ceil_fixed(sx + glow.half_width), projection.xsize);
    const int64_t y0 = std::max<int64_t>(ceil_fixed(sy - glow.half_height), 0);
    const int64_t y1 = std::min<int64_t>(ceil_fixed(sy + glow.half_height), projection.ysize);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    const uint32_t colour = glow.lamp != nullptr ? glow.lamp->pixel_colour : pack_colour(glow.colour, projection.rgb_layout);
    const int64_t du = (int64_t{1} << 37) / glow.half_width;
    const int64_t dv = (int64_t{1} << 37) / glow.half_height;
    const int64_t centre = int64_t{GLOW_SIZE / 2} << 16;
    const int64_t u = ((((x0 << 16) - sx) * du) >> 16) + centre;
    int64_t v = ((((y0 << 16) - sy) * dv) >> 16) + centre;
    const uint8_t* const image = glow_image[glow.level];
    const bool mmx = projection.var_true(PV_MMX);
    const int count = static_cast<int>(x1 - x0);
    for (int64_t y = y0; y < y1; ++y, v += dv) {
        const int64_t row = std::clamp<int64_t>(v >> 16, 0, GLOW_SIZE);
        uint32_t* const destination = projection.window_pixels + projection.line_offset[y] + x0;
        const uint8_t* const weights = image + row * GLOW_STRIDE;
        if (mmx) {
            row_draw_blend_mmx(destination, count, weights, colour, static_cast<int32_t>(u), static_cast<int32_t>(du));
        } else {
            row_draw_blend(destination, count, weights, colour, static_cast<int32_t>(u), static_cast<int32_t>(du));
        }
    }
}
