#include "renderer/particle_render.h"

ParticleRender::ParticleRender()
{
    RenderObject::entity_type = ENTITY_TYPE_SPRITE;
    render_flags = RENDER_OCCLUSION_TEST;
}

// The world renderer's passes draw nothing of it yet.
void ParticleRender::draw(PolyRenderer&) {}
