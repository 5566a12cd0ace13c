#pragma once
// The entities of the map's BSP models, one per model, owned by the shared
// map: the object index of a BSP object is its model number.
#include "world/model_entity.h"

#include <cstdint>

class SharedMap;

class WorldModel {
public:
    WorldModel() = default;
    ~WorldModel() { destroy(); }
    WorldModel(const WorldModel&) = delete;
    WorldModel& operator=(const WorldModel&) = delete;

    // count fresh entities, replacing any earlier ones; 1, or 0 when out of memory.
    int create(SharedMap* map, int32_t count);
    void destroy();

    int32_t count() const { return count_; }
    ModelEntity& entity(int32_t i) { return entities_[i]; }
    const ModelEntity& entity(int32_t i) const { return entities_[i]; }
    SharedMap* map() const { return map_; }

private:
    SharedMap* map_ = nullptr;
    ModelEntity* entities_ = nullptr;
    int32_t count_ = 0;
};
