#pragma once
// What the polygon renderer needs of a drawable entity (sprites, meshes, lamp
// glows): its type, flags and bounding sphere for the occlusion test, and its
// draw operations, run after the opaque surfaces of the frame.
#include "core/vector.h"

#include <cstdint>

class PolyRenderer;

// Asks add_entity to test the entity's screen square against the clip gaps.
constexpr uint32_t RENDER_OCCLUSION_TEST = 0x8000000;
// Flags of the drawable records.
constexpr uint32_t RENDER_TRANSPARENT = 0x01;    // queued with the transparent surfaces
constexpr uint32_t RENDER_GLOW_VISIBLE = 0x04;   // a lamp glow that passed its centre test
constexpr uint32_t RENDER_NO_RASTER_TEST = 0x08; // never tested against the clip gaps

class RenderObject {
public:
    virtual ~RenderObject() = default;
    // Entities on the transparent list run both, the first for all of them
    // before any second; entities on the entity list run draw only.
    virtual void draw_first(PolyRenderer&) {}
    virtual void draw(PolyRenderer& renderer) = 0;

    int32_t entity_type = 0; // 0..6 of the entity links
    uint32_t render_flags = 0;
    Sphere sphere = {{0.0f, 0.0f, 0.0f}, 0.0f}; // world space
};
