#pragma once
// Particle systems as the software renderer draws them: every particle with
// life left becomes a depth-tested square (the depth buffer is not written).
#include "world/view/render_object.h"
#include "world/particle_system.h"

class ScreenProjection;

void draw_particles(const ParticleSystem& system, ScreenProjection& projection);

class ParticleRender final : public ParticleSystem, public RenderObject {
public:
    ParticleRender();

    RenderObject* render_object() override { return this; }
    void draw(ScreenProjection& projection) { draw_particles(*this, projection); }
    void draw(PolyRenderer& renderer) override;
};
