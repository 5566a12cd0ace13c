#include "server/mesh_physics.h"

#include "server/physics_server.h"

// The physics server keeps no entities and no volume set yet: no entity
// drives an animation and no hull corrects a hook point.
bool ServerMeshPhysics::forward_speeds(int32_t, float&, float&) const { return false; }

int32_t ServerMeshPhysics::hull_count() const { return 0; }

Vector ServerMeshPhysics::hull_size(int32_t) const { return Vector{0.0f, 0.0f, 0.0f}; }
