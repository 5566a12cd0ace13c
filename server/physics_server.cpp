#include "server/physics_server.h"

int PhysicsServer::init(ShareManager*, const char*, kcontext_t*, uint32_t)
{
    running_ = true;
    return 1;
}

void PhysicsServer::done() { running_ = false; }

void PhysicsServer::tick() {}

int PhysicsServer::entity_pose(int32_t, bool, Vector&, float*) const { return 0; }
