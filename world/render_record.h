#pragma once
// The common part of the drawable records (sprites, lamp glows, particle
// systems, meshes): placed and linked in the world, chained into the
// renderers' frame lists, and stamped with the frame that last met them so
// that a record linked into several cells is handled once a frame.
//
// The world code only simulates and links; a renderer's records are also
// its render objects, which it reaches through render_object.
#include "core/placement.h"
#include "world/span_bucket.h"

#include <cstdint>

class RenderObject;

constexpr int ENTITY_TYPE_SPRITE = 1; // sprites and particle systems
constexpr int ENTITY_TYPE_MESH = 4;
constexpr int ENTITY_TYPE_GLOW = 5;

class RenderRecord : public Placement {
public:
    RenderRecord() = default;

    // What the renderer draws of the record; null for none.
    virtual RenderObject* render_object() { return nullptr; }

    // 1 the first time a frame asks, 0 after: the caller handles the record once.
    int stamp_frame(int32_t frame);

    BucketItem link;
    int32_t frame_stamp = -1; // -1: never met
};

// Placement cleared, transform the identity, links cleared, never met.
void render_object_init(RenderRecord& record);
