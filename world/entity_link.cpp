#include "world/entity_link.h"

#include "core/kassert.h"
#include "core/print.h"

#include <cmath>

namespace {

struct Touch {
    bool front;
    bool back;
};

Touch touches(const Plane& plane, const Vector& centre, float radius)
{
    const float d = plane_distance(plane, centre);
    return {!std::signbit(d + radius), std::signbit(d - radius)};
}

int entity_type_of(const Placement& entity)
{
    const int ent_type = entity.entity_type();
    K_ASSERT(ent_type >= 0 && ent_type < L_ENTITY_TYPES);
    return ent_type;
}

void add_entity_link(SharedMap& map, Cell& cell, Placement& entity)
{
    const int type = entity_type_of(entity);
    const int32_t id = map.link_list.alloc();
    if (id < 0) {
        if (!map.link_pool_reported) {
            print_format(P_ERROR, "KLoad: All %d entity links are in use; entities are missing from cells", MAP_LINKS);
            map.link_pool_reported = true;
        }
        ++map.links_refused;
        return;
    }
    EntityLink& link = map.links[id];
    link.entity = &entity;
    link.next = cell.lists[type];
    cell.lists[type] = &link;
    ++entity.linked_leaves;
}

void remove_entity_link(SharedMap& map, Cell& cell, Placement& entity)
{
    const int type = entity_type_of(entity);
    EntityLink** at = &cell.lists[type];
    while (*at != nullptr && (*at)->entity != &entity) {
        at = &(*at)->next;
    }
    if (*at == nullptr) {
        // Only a link that the empty pool refused may be missing.
        const int32_t links_refused = map.links_refused;
        K_ASSERT(links_refused);
        return;
    }
    EntityLink* const link = *at;
    *at = link->next;
    map.link_list.free(static_cast<int32_t>(link - map.links));
    --entity.linked_leaves;
}

void insert_entity_links(SharedMap& map, const BspNode* node, Placement& entity)
{
    const float radius = link_radius(entity.radius);
    for (;;) {
        const Touch t = touches(*node->plane, entity.position, radius);
        if (t.front) {
            if ((node->flags & BSP_FRONT_NODE) != 0) {
                insert_entity_links(map, node->front.node, entity);
            } else {
                add_entity_link(map, *node->front.cell, entity);
            }
        }
        if (!t.back) {
            return;
        }
        if ((node->flags & BSP_BACK_NODE) == 0) {
            add_entity_link(map, *node->back.cell, entity);
            return;
        }
        node = node->back.node;
    }
}

void remove_entity_links(SharedMap& map, const BspNode* node, Placement& entity)
{
    const float radius = link_radius(entity.linked_radius);
    for (;;) {
        const Touch t = touches(*node->plane, entity.linked_centre, radius);
        if (t.front) {
            if ((node->flags & BSP_FRONT_NODE) != 0) {
                remove_entity_links(map, node->front.node, entity);
            } else {
                remove_entity_link(map, *node->front.cell, entity);
            }
        }
        if (!t.back) {
            return;
        }
        if ((node->flags & BSP_BACK_NODE) == 0) {
            remove_entity_link(map, *node->back.cell, entity);
            return;
        }
        node = node->back.node;
    }
}

// One child under the new (now) and the old (was) sphere.
void relink_child(SharedMap& map, bool now, bool was, bool is_node, BspChild child, Placement& entity);

void relink_entity(SharedMap& map, const BspNode* node, Placement& entity)
{
    const float radius = link_radius(entity.radius);
    const float old_radius = link_radius(entity.linked_radius);
    for (;;) {
        const Touch now = touches(*node->plane, entity.position, radius);
        const Touch was = touches(*node->plane, entity.linked_centre, old_radius);
        relink_child(map, now.front, was.front, (node->flags & BSP_FRONT_NODE) != 0, node->front, entity);
        const bool back_is_node = (node->flags & BSP_BACK_NODE) != 0;
        if (now.back && was.back && back_is_node) {
            node = node->back.node;
            continue;
        }
        relink_child(map, now.back, was.back, back_is_node, node->back, entity);
        return;
    }
}

void relink_child(SharedMap& map, bool now, bool was, bool is_node, BspChild child, Placement& entity)
{
    if (now && was) {
        if (is_node) {
            relink_entity(map, child.node, entity);
        }
    } else if (now) {
        if (is_node) {
            insert_entity_links(map, child.node, entity);
        } else {
            add_entity_link(map, *child.cell, entity);
        }
    } else if (was) {
        if (is_node) {
            remove_entity_links(map, child.node, entity);
        } else {
            remove_entity_link(map, *child.cell, entity);
        }
    }
}

void remember_sphere(Placement& entity)
{
    entity.linked_centre = entity.position;
    entity.linked_radius = entity.radius;
}

// Links from nothing; the pool may have refused every link.
void insert_from_root(SharedMap& map, Placement& entity)
{
    insert_entity_links(map, map.nodes, entity);
    remember_sphere(entity);
    const bool linked = entity.linked_leaves != 0 || map.links_refused != 0;
    K_ASSERT(linked);
}

void set_centre_lists(const SharedMap& map, Placement& entity)
{
    entity.centre_lists = find_leaf(map, entity.position)->lists;
}

} // namespace

Cell* find_leaf(const SharedMap& map, const Vector& point)
{
    const BspNode* node = map.nodes;
    for (;;) {
        if (!std::signbit(plane_distance(*node->plane, point))) {
            if ((node->flags & BSP_FRONT_NODE) == 0) {
                return node->front.cell;
            }
            node = node->front.node;
        } else {
            if ((node->flags & BSP_BACK_NODE) == 0) {
                return node->back.cell;
            }
            node = node->back.node;
        }
    }
}

void link_entity(SharedMap& map, Placement& entity)
{
    if (entity.linked_leaves != 0) {
        const float moved = vec_abs_difference(entity.position, entity.linked_centre) +
                            std::fabs(entity.radius - entity.linked_radius);
        if (moved > 0.0f) {
            relink_entity(map, map.nodes, entity);
            remember_sphere(entity);
            const bool linked = entity.linked_leaves != 0 || map.links_refused != 0;
            K_ASSERT(linked);
        }
    } else {
        insert_from_root(map, entity);
    }
    set_centre_lists(map, entity);
}

void link_new_entity(SharedMap& map, Placement& entity)
{
    if (entity.linked_leaves == 0) {
        insert_from_root(map, entity);
    }
    set_centre_lists(map, entity);
}

void unlink_entity(SharedMap& map, Placement& entity)
{
    if (entity.linked_leaves != 0) {
        remove_entity_links(map, map.nodes, entity);
        const bool unlinked = entity.linked_leaves == 0;
        K_ASSERT(unlinked);
    }
    entity.centre_lists = nullptr;
}
