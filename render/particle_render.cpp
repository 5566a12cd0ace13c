#include "renderer/particle_render.h"

#include "render/poly_renderer.h"
#include "renderer/screen_projection.h"
#include "soft/particle_draw.h"

void draw_particles(const ParticleSystem& system, ScreenProjection& projection)
{
    if (system.particles == nullptr || system.count < 1) {
        return;
    }
    float view[3][4];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            view[r][c] = projection.transform.m[4 * r + c];
        }
    }
    span_draw_particle(system.particles, system.count, view, static_cast<float>(projection.xscale_fixed / 65536.0),
                       static_cast<float>(projection.yscale_fixed / 65536.0), projection.xsize, projection.ysize,
                       projection.centre_x_fixed, projection.centre_y_fixed, projection.window_pixels,
                       projection.line_offset, projection.depth_rows, (system.flags & PARTICLE_BLEND) != 0 ? 1 : 0);
}

ParticleRender::ParticleRender()
{
    RenderObject::entity_type = ENTITY_TYPE_SPRITE;
    render_flags = RENDER_OCCLUSION_TEST;
}

void ParticleRender::draw(PolyRenderer& renderer) { draw_particles(*this, *renderer.projection); }
