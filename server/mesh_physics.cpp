#include "server/mesh_physics.h"

#include "server/physics_server.h"

// Only an entity with a motion record keeps forward speeds.
bool ServerMeshPhysics::forward_speeds(int32_t entity, float& plain, float& carried) const
{
    const PhysicalEntity* const e = physics_ != nullptr ? physics_->entity(entity) : nullptr;
    if (e == nullptr || e->motion == nullptr) {
        return false;
    }
    plain = e->motion->forward_speed;
    carried = e->motion->thrust_forward_speed;
    return true;
}

int32_t ServerMeshPhysics::hull_count() const
{
    const VolumeSet* const set = physics_ != nullptr ? physics_->volume_set() : nullptr;
    return set != nullptr && set->hulls != nullptr ? set->trees : 0;
}

Vector ServerMeshPhysics::hull_size(int32_t hull) const { return physics_->volume_set()->hulls[hull]; }
