#pragma once
// What mesh objects ask of the physics: an entity's forward speeds (for
// playback driven by motion) and the hull sizes of the collision volume set
// (for hook points). The server hands its physics server over through this.
#include "core/vector.h"

#include <cstdint>

class PhysicsServer;

class MeshPhysics {
public:
    virtual ~MeshPhysics() = default;
    // The entity's plain and carried forward speeds as the last physics tick
    // left them: true, or false when no entity of the number is in use.
    virtual bool forward_speeds(int32_t entity, float& plain, float& carried) const = 0;
    virtual int32_t hull_count() const = 0;
    virtual Vector hull_size(int32_t hull) const = 0;
};

// The hull whose size is nearest to the size (least squared distance; the
// first of equals), or -1 when there is none.
int32_t nearest_hull(const MeshPhysics& physics, const Vector& size);

// The server's physics server seen through MeshPhysics.
class ServerMeshPhysics final : public MeshPhysics {
public:
    explicit ServerMeshPhysics(const PhysicsServer* physics) : physics_(physics) {}

    bool forward_speeds(int32_t entity, float& plain, float& carried) const override;
    int32_t hull_count() const override;
    Vector hull_size(int32_t hull) const override;

private:
    const PhysicsServer* physics_;
};
