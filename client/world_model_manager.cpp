#include "client/world_model_manager.h"

#include "client/entity_manager.h"
#include "world/entity_link.h"
#include "world/shared_map.h"

int WorldModelManager::create(SharedMap* world)
{
    destroy();
    if (world == nullptr || CObjManager::create(world->models.count(), 0) == 0) {
        return 0;
    }
    world_ = world;
    return 1;
}

void WorldModelManager::destroy()
{
    // The entities belong to the shared map, which may outlive this hold on it.
    if (world_ != nullptr) {
        for (int i = first_used(); i >= 0; i = common(i).next) {
            unlink_entity(*world_, world_->models.entity(i));
        }
    }
    world_ = nullptr;
    CObjManager::destroy();
}

int WorldModelManager::link(int index)
{
    ModelEntity& e = world_->models.entity(index);
    unlink_entity(*world_, e);
    e.reset();
    // The reset clears the sphere; the model's polygons give its radius
    // again, so that it is linked into every leaf it reaches.
    e.fit_radius();
    link_new_entity(*world_, e);
    return 1;
}

int WorldModelManager::unlink(int index, int)
{
    unlink_entity(*world_, world_->models.entity(index));
    return 1;
}

int WorldModelManager::net_update(int index, uint32_t mask, NetStreamIn&)
{
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        place_entity(*world_, world_->models.entity(index), common(index));
    }
    return 1;
}
