#pragma once
// Particle systems as the OpenGL program draws them: every live particle
// one textured triangle facing the camera with a soft round spot, coloured by
// the particle and faded as it shrinks, blended without writing depth.
#include "world/particle_system.h"
#include "world/view/render_object.h"

#include <cstdint>

class ScreenProjection;

class ParticleRender final : public ParticleSystem, public RenderObject {
public:
    ParticleRender();

    RenderObject* render_object() override { return this; }
    void draw(PolyRenderer& renderer) override;
};
