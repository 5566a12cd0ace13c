#include "renderer/lamp_sprite.h"
#include "renderer/poly_renderer.h"

#include "core/numerics.h"
#include "gl/gl_entity_draw.h"
#include "gl/gl_generated_textures.h"
#include "host/host_gl.h"
#include "renderer/screen_projection.h"
#include "world/light_source.h"

#include <algorithm>
#include <cmath>

namespace {

// Bytes the cache charges each flare texture with.
constexpr int32_t FLARE_TEXTURE_BYTES = 2048;
constexpr float FLARE_TWO_PI = 6.28f;

struct GhostRow {
    float size;  // times the ghost size and the light's depth
    float place; // along the line from the view axis (-1) through the light (0)
    float colour[3];
};

constexpr GhostRow ghost_rows[6] = {
    {0.08f, -2.2f, {1.0f, 0.8f, 0.8f}}, {0.04f, -1.6f, {1.0f, 0.8f, 1.0f}}, {0.06f, -1.4f, {0.8f, 0.8f, 1.0f}},
    {0.03f, -1.1f, {0.8f, 1.0f, 1.0f}}, {0.02f, -0.7f, {0.8f, 0.8f, 1.0f}}, {0.03f, 0.4f, {1.0f, 0.8f, 0.5f}},
};

enum FlareTexture { FLARE_GLOW, FLARE_RING };

GLTextureOwner& flare_owner(FlareTexture which)
{
    static GLTextureOwner owners[2];
    return owners[which];
}

int bind_flare_texture(FlareTexture which)
{
    return bind_generated_texture(flare_owner(which), FLARE_TEXTURE_SIZE, GLTEX_LIGHTMAP,
                                  which == FLARE_GLOW ? flare_glow_texels : flare_ring_texels);
}

void vertex(const Vector& v, float s, float t)
{
    glTexCoord2f(s, t);
    glVertex3fv(&v.x);
}

// A square of half size h about c along the camera's axes, as two triangles.
void square(const Vector& c, const Vector& r, const Vector& u, float h)
{
    vertex(vec_combine(c, r, -h, u, -h), 0.0f, 0.0f);
    vertex(vec_combine(c, r, -h, u, h), 0.0f, 1.0f);
    vertex(vec_combine(c, r, h, u, -h), 1.0f, 0.0f);
    vertex(vec_combine(c, r, h, u, -h), 1.0f, 0.0f);
    vertex(vec_combine(c, r, -h, u, h), 0.0f, 1.0f);
    vertex(vec_combine(c, r, h, u, h), 1.0f, 1.0f);
}

} // namespace

LampSpriteRender::LampSpriteRender()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_GLOW;
    render_flags = RENDER_TRANSPARENT | RENDER_OCCLUSION_TEST;
    flare_owner(FLARE_GLOW).set_size(FLARE_TEXTURE_BYTES);
    flare_owner(FLARE_RING).set_size(FLARE_TEXTURE_BYTES);
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

void LampSpriteRender::project(ScreenProjection& projection)
{
    flare_flags &= ~FLARE_VISIBLE;
    if (!projection.var_true(GPV_LENSFLARES)) {
        return;
    }
    const float* const m = projection.view;
    const Vector& p = position;
    view_position = {m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
                     m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]};
    const float z = view_position.z;
    // A light at or behind the eye has no place on the screen: hidden.
    if (!(z > 0.0f)) {
        return;
    }
    inv_z = 1.0f / z;
    const double x = view_position.x * projection.sx / z;
    const double y = view_position.y * projection.sy / z;
    // Far outside the window (or not a number): hidden before any rounding.
    const double limit = 1 << 24;
    if (!(std::fabs(x) < limit && std::fabs(y) < limit)) {
        return;
    }
    const int32_t sx = projection.cx + float_to_int_round(x);
    const int32_t sy = projection.cy - float_to_int_round(y);
    if (sx < 0 || sx >= projection.width || sy < 0 || sy >= projection.height) {
        return;
    }
    const float depth = GLSys::read_depth(projection.origin_x + sx, projection.origin_y + sy);
    if (1.0f - depth <= 8.0f * inv_z) {
        flare_flags |= FLARE_VISIBLE;
    }
}

void LampSpriteRender::draw(ScreenProjection& projection)
{
    if ((flare_flags & FLARE_VISIBLE) == 0) {
        return;
    }
    GLSys::set_culling(0);
    GLSys::set_texturing(2);
    GLSys::set_blending(3);
    GLSys::set_depth(0);

    float b = intensity;
    float colour[3] = {red, green, blue};
    if (lamp != nullptr) {
        b *= lamp->intensity;
        for (int k = 0; k < 3; ++k) {
            colour[k] = static_cast<float>((lamp->colour >> (8 * k)) & 0xFFu) * (1.0f / 255.0f);
        }
    }
    const float x = view_position.x;
    const float y = view_position.y;
    const float z = view_position.z;
    // Nearer than the fade distance the flare dims to nothing at the eye.
    if (z < fade) {
        b *= (2.0f * fade - z) * z * inv_fade * inv_fade;
    }
    const Vector& p = position;
    const Vector& r = projection.right;
    const Vector& u = projection.down;

    float g = ghost_strength * 128.0f * b * inv_z;
    if (g > 0.01f && bind_flare_texture(FLARE_RING) != 0) {
        g = std::min(g, 0.2f);
        glBegin(GL_TRIANGLES);
        for (const GhostRow& row : ghost_rows) {
            glColor3f(g * row.colour[0] * colour[0], g * row.colour[1] * colour[1], g * row.colour[2] * colour[2]);
            const Vector c = vec_combine(p, r, row.place * x, u, row.place * y);
            square(c, r, u, ghost_size * row.size * z);
        }
        glEnd();
        GLSys::report_errors("End from draw_sprite()");
    }

    if (bind_flare_texture(FLARE_GLOW) == 0) {
        return;
    }
    glBegin(GL_TRIANGLES);
    if (streak_strength > 0.0f) {
        glColor3f(0.0f, 0.2f * streak_strength, streak_strength);
        for (const float side : {-1.0f, 1.0f}) {
            vertex(vec_combine(p, r, side * streak_length * b, u, 0.0f), 0.5f, 0.1f);
            vertex(vec_combine(p, r, 0.0f, u, 8.0f * b), 0.1f, 0.5f);
            vertex(vec_combine(p, r, 0.0f, u, -8.0f * b), 0.9f, 0.5f);
        }
    }
    if (ray_strength > 0.0f) {
        glColor3f(colour[0] * ray_strength, colour[1] * ray_strength, colour[2] * ray_strength);
        // Rays lean with the light's height in the view.
        const float bend = 2.0f * y * inv_z * inv_z;
        const struct {
            int32_t count;
            float length;
            float start; // in steps
        } sets[2] = {{ray_count, ray_length, 0.0f}, {ray_count2, ray_length2, 0.5f}};
        for (const auto& set : sets) {
            const int32_t n = std::min(set.count, FLARE_MAX_RAYS);
            for (int32_t i = 0; i < n; ++i) {
                float sa = 0.0f;
                float ca = 0.0f;
                table_sine_cosine((static_cast<float>(i) + set.start) * FLARE_TWO_PI / static_cast<float>(n), sa,
                                  ca);
                // D along the ray, W across it; the tip leans along W.
                const Vector zero = {0.0f, 0.0f, 0.0f};
                const Vector w = vec_combine(zero, r, ca, u, -sa);
                const Vector d = vec_combine(zero, u, ca, r, sa);
                const Vector tip = vec_combine(p, d, set.length * b, w, set.length * b * bend);
                vertex(tip, 0.5f, 0.1f);
                vertex(vec_combine(p, w, 4.0f * b, zero, 0.0f), -0.2f, 0.7f);
                vertex(vec_combine(p, w, -4.0f * b, zero, 0.0f), 1.2f, 0.7f);
            }
        }
    }
    if (glow_strength > 0.0f) {
        glColor3f(colour[0] * glow_strength, colour[1] * glow_strength, colour[2] * glow_strength);
        square(p, r, u, glow_size * b);
    }
    glEnd();
    GLSys::report_errors("End from draw_sprite()");
}

// On the transparent list: the visibility test once the opaque surfaces
// have laid their depths, then the flare.
void LampSpriteRender::draw_first(PolyRenderer& renderer) { project(*renderer.projection); }

void LampSpriteRender::draw(PolyRenderer& renderer) { draw(*renderer.projection); }
