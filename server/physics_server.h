#pragma once
// Stand-in for the physics server until volumes, entities and the physics
// tick exist: it holds no entities, so no object can be carried.
#include "core/vector.h"

#include <cstdint>

class ShareManager;
struct kcontext_t;

class PhysicsServer {
public:
    PhysicsServer() = default;
    PhysicsServer(const PhysicsServer&) = delete;
    PhysicsServer& operator=(const PhysicsServer&) = delete;

    // 1 on success. The volume set of the map is not read yet.
    int init(ShareManager* share, const char* volume_path, kcontext_t* context, uint32_t map_id);
    void done();
    void tick();

    // Position and three angles (radians) of an entity, the view angles for a
    // camera: 1, or 0 when there is no such entity.
    int entity_pose(int32_t entity, bool camera, Vector& position, float angles[3]) const;

    // Models of the volume set.
    int32_t model_count() const { return 0; }
    bool running() const { return running_; }

private:
    bool running_ = false;
};
