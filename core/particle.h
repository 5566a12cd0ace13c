#pragma once
// A particle of a particle system's pool (40 bytes). Drawers read the
// position, `intensity` as the size in world units, the colour (pixel
// layout), `phase` as the minimum half-size in 16.16 pixels below which a
// sub-pixel particle is not drawn, and `life` (0 or less: not drawn).
#include <cstdint>

struct Particle {
    float pos[3];
    float vel[3];
    float intensity;
    uint32_t colour;
    int32_t phase;
    int32_t life;
};
static_assert(sizeof(Particle) == 40);
