#include "world/world_model.h"

#include <new>

void ModelEntity::reset()
{
    Placement::reset();
    frame_stamp = -1;
    traversed_leaves = 0;
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
