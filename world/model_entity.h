#pragma once
// A BSP model of the map as an entity of the world: linked into the leaves
// under entity type 2, centred at its origin.
#include "core/placement.h"

#include <cstdint>

constexpr int ENTITY_TYPE_MODEL = 2;

class ModelEntity : public Placement {
public:
    ModelEntity() = default;

    int entity_type() const override { return ENTITY_TYPE_MODEL; }
    // Placement cleared and the frame stamp forgotten; the polygons stay.
    void reset();

    int32_t traversed_leaves = 0;
    int32_t frame_stamp = -1; // -1: not met in any frame yet
};
