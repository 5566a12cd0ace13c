#pragma once
// A BSP model of the map as an entity of the world: linked into the leaves
// under entity type 2, centred at its origin, with the polygons the renderer
// draws for it (model 0, the world itself, is drawn through the cells).
#include "core/placement.h"
#include "world/map_polygon.h"

#include <cstdint>

constexpr int ENTITY_TYPE_MODEL = 2;

class ModelEntity : public Placement {
public:
    ModelEntity() = default;

    int entity_type() const override { return ENTITY_TYPE_MODEL; }
    // Placement cleared and the frame stamp forgotten; the polygons stay.
    void reset();

    void set_polygons(MapPolygon* first, int32_t count)
    {
        polygons = first;
        polygon_count = count;
    }
    // The radius becomes the largest distance of a polygon vertex from the origin.
    void fit_radius();

    int32_t traversed_leaves = 0;
    MapPolygon* polygons = nullptr;
    int32_t polygon_count = 0;
    TransformBlock transform_block;
    uint32_t clip_flags = 0;  // the last node test of a frame
    int32_t frame_stamp = -1; // -1: not met in any frame yet
    ModelEntity* next_met = nullptr;
};
