#pragma once
// Object class 7: the map's BSP models, whose entities the shared map owns
// (one a model, found by the object's index, its model number). The client
// places them and links them into the map's cells.
#include "client/cobj_manager.h"

class SharedMap;

class WorldModelManager final : public CObjManager {
public:
    WorldModelManager() = default;
    ~WorldModelManager() override { destroy(); }

    // One directly addressed slot a model of the map; 1 or 0.
    int create(SharedMap* world);
    void destroy();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

private:
    SharedMap* world_ = nullptr;
};
