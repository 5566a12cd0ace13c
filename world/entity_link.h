#pragma once
// Linking of entities into the cells of the shared map that their bounding
// spheres touch, and the potentially visible set of a cell.
//
// A sphere (c, r) touches the front of a plane when distance(c) + r is in
// front and the back when distance(c) - r is behind; every side is decided by
// the sign bit of the float (+0.0 in front, -0.0 behind). A negative radius
// links as 0, so that every sphere touches at least one side.
//
// Links come from the map's fixed pool; when it runs dry the link is refused
// (the entity is missing from that cell) and this is reported once per map.
#include "core/placement.h"
#include "world/shared_map.h"

#include <cstdint>

// The cell that holds the point.
Cell* find_leaf(const SharedMap& map, const Vector& point);

// Links, or relinks after the sphere changed, then sets the centre lists.
void link_entity(SharedMap& map, Placement& entity);
// Links an entity that holds no links; one that holds links keeps them as
// they are. Then sets the centre lists.
void link_new_entity(SharedMap& map, Placement& entity);
void unlink_entity(SharedMap& map, Placement& entity);

// The marks (cell visible words, node BSP_VISIBLE bits) of the cell's PVS,
// or of every cell for a null cell or one without PVS; cached by PVS pointer.
void unpack_pvs(SharedMap& map, const Cell* cell);
// Visits (slot 1, with arg) the entities of the type linked into the cells
// visible from the cell, once per link; every linked entity of the type for
// a null cell or one without PVS. The marks are not touched.
void for_each_visible_entity(SharedMap& map, const Cell* cell, int type, uint32_t arg);

// The radius that linking uses for a sphere's radius.
inline float link_radius(float radius) { return radius > 0.0f ? radius : 0.0f; }
