#include "server/mesh_physics.h"

#include "server/physics_server.h"

int32_t nearest_hull(const MeshPhysics& physics, const Vector& size)
{
    int32_t nearest = -1;
    float best = 0.0f;
    for (int32_t h = 0; h < physics.hull_count(); ++h) {
        const Vector s = physics.hull_size(h);
        const float dx = s.x - size.x;
        const float dy = s.y - size.y;
        const float dz = s.z - size.z;
        const float d = dx * dx + dy * dy + dz * dz;
        if (nearest < 0 || d < best) {
            best = d;
            nearest = h;
        }
    }
    return nearest;
}

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
