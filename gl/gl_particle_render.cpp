#include "renderer/particle_render.h"
#include "renderer/poly_renderer.h"

#include "gl/gl_entity_draw.h"
#include "gl/gl_generated_textures.h"
#include "host/host_gl.h"
#include "renderer/screen_projection.h"

namespace {

constexpr int32_t SPOT_TEXTURE_BYTES = 512;
// A texture unit covers this many particle sizes near by, or pixels far away.
constexpr float PARTICLE_SPAN = 5.0f;
constexpr float PARTICLE_LIMIT = 32768.0f;
constexpr float DIM_ALPHA = 0.3f;

// Texture corners of every particle's triangle.
constexpr float corner_st[3][2] = {{-0.25f, 0.0f}, {1.25f, 0.0f}, {0.5f, 1.0f}};

} // namespace

void render_particle_system(const Particle* particles, int32_t count, float size, bool dim,
                            ScreenProjection& projection)
{
    if (!projection.var_true(GPV_PARTICLES) || particles == nullptr || count < 1 || !(size > 0.0f)) {
        return;
    }
    // d = view depth x (world units a pixel at depth 1) / size: 1 where a
    // texture unit's world span is PARTICLE_SPAN pixels.
    const float k = static_cast<float>(projection.inv_sx) / size;
    const Plane depth = {{projection.view_plane.normal.x * k, projection.view_plane.normal.y * k,
                          projection.view_plane.normal.z * k},
                         projection.view_plane.d * k};
    const float alpha = (dim ? DIM_ALPHA : 1.0f) / size;
    const float a = PARTICLE_SPAN * size;
    Vector offset[3];
    for (int i = 0; i < 3; ++i) {
        offset[i] = vec_combine({0.0f, 0.0f, 0.0f}, projection.right, a * (corner_st[i][0] - 0.5f), projection.down,
                                a * (corner_st[i][1] - 0.5f));
    }

    GLSys::set_culling(0);
    GLSys::set_texturing(2);
    GLSys::set_blending(1);
    GLSys::set_depth(5);
    static GLTextureOwner spot;
    spot.set_size(SPOT_TEXTURE_BYTES);
    if (bind_generated_texture(spot, PARTICLE_SPOT_SIZE, GLTEX_RGBA, particle_spot_texels) == 0) {
        return;
    }

    glBegin(GL_TRIANGLES);
    for (int32_t n = 0; n < count; ++n) {
        const Particle& p = particles[n];
        if (p.life <= 0) {
            continue;
        }
        const Vector at = {p.pos[0], p.pos[1], p.pos[2]};
        const float d = plane_distance(depth, at);
        float scale = 1.0f;
        if (d > 1.0f) {
            if (static_cast<float>(p.phase) * d > PARTICLE_LIMIT) {
                continue;
            }
            scale = d;
        }
        const float colour[4] = {static_cast<float>(p.colour & 0xFFu) * (1.0f / 255.0f),
                                 static_cast<float>((p.colour >> 8) & 0xFFu) * (1.0f / 255.0f),
                                 static_cast<float>((p.colour >> 16) & 0xFFu) * (1.0f / 255.0f),
                                 p.intensity * alpha};
        glColor4fv(colour);
        for (int i = 0; i < 3; ++i) {
            const Vector v = vec_combine(at, offset[i], scale, offset[i], 0.0f);
            glTexCoord2fv(corner_st[i]);
            glVertex3fv(&v.x);
        }
    }
    glEnd();
    GLSys::report_errors("render_particle_system()");
}

ParticleRender::ParticleRender()
{
    RenderObject::entity_type = ENTITY_TYPE_SPRITE;
    render_flags = RENDER_OCCLUSION_TEST;
}

void ParticleRender::draw(ScreenProjection& projection)
{
    render_particle_system(particles, count, intensity_base, (flags & PARTICLE_BLEND) != 0, projection);
}

void ParticleRender::draw(PolyRenderer& renderer) { draw(*renderer.projection); }
