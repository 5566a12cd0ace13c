#include "world/world_model.h"

#include <algorithm>
#include <new>

void ModelEntity::reset()
{
    Placement::reset();
    frame_stamp = -1;
    traversed_leaves = 0;
    clip_flags = 0;
    next_met = nullptr;
}

void ModelEntity::fit_radius()
{
    float largest = 0.0f;
    for (int32_t p = 0; p < polygon_count; ++p) {
        const MapPolygon& polygon = polygons[p];
        for (int32_t v = 0; v < polygon.vertex_count; ++v) {
            largest = std::max(largest, vec_length(*polygon.vertices[v]));
        }
    }
    radius = largest;
}

int WorldModel::create(SharedMap* map, int32_t count)
{
    destroy();
    if (count < 0) {
        return 0;
    }
    entities_ = new (std::nothrow) ModelEntity[count > 0 ? count : 1];
    if (entities_ == nullptr) {
        return 0;
    }
    map_ = map;
    count_ = count;
    return 1;
}

void WorldModel::destroy()
{
    delete[] entities_;
    entities_ = nullptr;
    count_ = 0;
    map_ = nullptr;
}
