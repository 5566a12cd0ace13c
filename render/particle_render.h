#pragma once
// Particle systems as the software renderer draws them: every particle with
// life left becomes a depth-tested square (the depth buffer is not written).
#include "world/particle_system.h"

class ScreenProjection;

void draw_particles(const ParticleSystem& system, ScreenProjection& projection);

class ParticleRender final : public ParticleSystem {
public:
    void draw(ScreenProjection& projection) override { draw_particles(*this, projection); }
};
