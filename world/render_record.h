#pragma once
// The common part of the drawable records (sprites, lamp glows, particle
// systems, meshes): placed and linked in the world, chained into the
// renderers' frame lists, and stamped with the frame that last met them so
// that a record linked into several cells is handled once a frame.
//
// The renderer that draws a record overrides project and draw; the world
// code only simulates and links.
#include "core/placement.h"
#include "world/span_bucket.h"

#include <cstdint>

class ScreenProjection;

constexpr int ENTITY_TYPE_SPRITE = 1; // sprites and particle systems
constexpr int ENTITY_TYPE_MESH = 4;
constexpr int ENTITY_TYPE_GLOW = 5;

// Bits of render_flags.
constexpr uint8_t RENDER_TRANSPARENT = 0x01;
constexpr uint8_t RENDER_GLOW_VISIBLE = 0x04;
constexpr uint8_t RENDER_NO_RASTER_TEST = 0x08;

class RenderRecord : public Placement {
public:
    RenderRecord() = default;

    // Met in a visible cell this frame, before anything is drawn: 1 when the
    // record has something to draw.
    virtual int project(ScreenProjection&) { return 1; }
    virtual void draw(ScreenProjection&) {}

    // 1 the first time a frame asks, 0 after: the caller handles the record once.
    int stamp_frame(int32_t frame);

    BucketItem link;
    int32_t frame_stamp = -1; // -1: never met
    uint8_t render_flags = 0;
};

// Placement cleared, transform the identity, links cleared, never met.
void render_object_init(RenderRecord& record);
