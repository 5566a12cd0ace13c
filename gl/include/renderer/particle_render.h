#pragma once
// Particle systems as the OpenGL program draws them: every live particle
// one textured triangle facing the camera with a soft round spot, coloured by
// the particle and faded as it shrinks, blended without writing depth.
#include "world/particle_system.h"
#include "world/view/render_object.h"

#include <cstdint>

class ScreenProjection;

// Draws the first `count` particles of which those with life left show.
// `size` is the size at birth (each particle's alpha is its size over it,
// 0.3 of that when dimmed); nearer than size x the projection's scale a
// particle spans 5 size world units a texture unit, beyond it 5 pixels, and
// a far particle whose limit word times its depth ratio passes 32768 is left
// out. Nothing without R_Particles or with a size not above 0.
void render_particle_system(const Particle* particles, int32_t count, float size, bool dim,
                            ScreenProjection& projection);

class ParticleRender final : public ParticleSystem, public RenderObject {
public:
    ParticleRender();

    RenderObject* render_object() override { return this; }
    void draw(ScreenProjection& projection);
    void draw(PolyRenderer& renderer) override;
};
