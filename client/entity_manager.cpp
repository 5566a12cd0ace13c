#include "client/entity_manager.h"

#include "world/entity_link.h"

void unlink_from_world(SharedMap& world, Placement& record) { unlink_entity(world, record); }

void place_entity(SharedMap& world, Placement& record, const CObjCommon& common)
{
    record.compose_transform(common.pose);
    link_entity(world, record);
}
