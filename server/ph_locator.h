#pragma once
// The locator: a kd-tree of 511 nodes over the map's box that finds entities
// near a point or a box. An entity is held by the deepest node whose split
// plane its bounding sphere does not cross; a query visits a node's entities
// and descends to each child its extent reaches.
#include "server/physics_entity.h"

#include <cstdint>

constexpr int LOCATOR_DEPTH = 8;
constexpr int32_t LOCATOR_NODES = (1 << (LOCATOR_DEPTH + 1)) - 1;

struct LocatorNode {
    int axis = 0;
    float split = 0.0f;
    LocatorNode* children[2] = {nullptr, nullptr}; // below, above; none at the leaves
    PhysicalEntity* entities = nullptr;
};

// Whether o is e itself, e's owner or owned by e.
inline bool related(const PhysicalEntity* o, const PhysicalEntity* e)
{
    return o == e || o->number == e->owner || o->owner == e->number;
}

// A query's result: every entity at most once, so it always fits.
struct EntityList {
    int32_t count = 0;
    PhysicalEntity* items[PHYS_ENTITIES];

    void add(PhysicalEntity* e) { items[count++] = e; }
    void clear() { count = 0; }
    // Leaves out the entity, its owner and every entity it owns.
    void drop_related(const PhysicalEntity* e);
};

class PhysicsLocator {
public:
    void build(const Vector& box_min, const Vector& box_max);
    void clear();

    // Fits the boxes that pass over runs of entities to where they are now
    // (they widen as entities move); the tick calls it once a pass.
    void tighten();

    void link(PhysicalEntity* e);
    void unlink(PhysicalEntity* e);

    // Entities whose sphere holds the point (distance squared <= radius squared).
    void at_point(const Vector& p, EntityList& out) const;
    // Entities whose sphere's box meets the box.
    void in_box(const Vector& lo, const Vector& hi, EntityList& out) const;
    // Of those, entities with a motion record and either no volume or a radius not above r.
    void moving_in_box(const Vector& lo, const Vector& hi, float r, EntityList& out) const;
    // Entities with a volume and either no motion record or a radius not below r.
    void volumes_in_box(const Vector& lo, const Vector& hi, float r, EntityList& out) const;
    // Entities whose centre lies within the radius of the centre.
    void within(const Vector& centre, float radius, EntityList& out) const;
    // Both candidate lists of a move in one walk: into volumes, when given,
    // the volume entities not smaller than r (or, all_volumes, every entity
    // met); into moving, when given, the moving entities not larger than r
    // (or, all_moving, every entity met).
    // Entities related to `apart` (itself, its owner, what it owns) are left
    // out of both, as drop_related leaves them out.
    void candidates_in_box(const Vector& lo, const Vector& hi, float r, EntityList* volumes, bool all_volumes,
                           EntityList* moving, bool all_moving, const PhysicalEntity* apart = nullptr) const;

private:
    template <typename Visit>
    void query(const float (&lo)[3], const float (&hi)[3], const Visit& visit) const;
    void unlist(PhysicalEntity* e);
    void add_slot(PhysicalEntity* e, int32_t from, int32_t to);
    void drop_slot(PhysicalEntity* e, int32_t rank);
    void put(PhysicalEntity* e, int32_t slot);
    void shift(int32_t from, int32_t to, int32_t n);
    void empty_slots();

    LocatorNode nodes_[LOCATOR_NODES];
    int32_t rank_[LOCATOR_NODES]; // place of each node in the walk's order

    // Every linked entity's sphere box, side by side in the walk's order:
    // node by node by rank, each node's run in its list's order. The tick's
    // box query scans them instead of chasing the nodes' lists. Slots past
    // count_ hold NaN, which meets nothing, so that a scan may read four at
    // a time past the end.
    // Every run of GROUP slots has a box that holds all of theirs, so that
    // a scan passes over the runs the query box misses. Boxes only grow as
    // entities move, until tighten.
    static constexpr int32_t GROUP = 16;
    static constexpr int32_t GROUPS = PHYS_ENTITIES / GROUP;
    void widen_group(int32_t slot);
    bool widened_ = false;  // since the last tighten
    int32_t widest_ = -1;   // the highest slot widened or in use since then
    alignas(16) float group_minus_[3][GROUPS];
    alignas(16) float group_plus_[3][GROUPS];

    int32_t count_ = 0;
    int32_t unslotted_ = 0; // linked beyond the table: the lists serve then
    int32_t begin_[LOCATOR_NODES + 1]; // first slot of each rank's run
    alignas(16) float minus_[3][PHYS_ENTITIES + 4];
    alignas(16) float plus_[3][PHYS_ENTITIES + 4];
    PhysicalEntity* slots_[PHYS_ENTITIES];
};
