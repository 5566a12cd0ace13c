#include "world/view/bsp_renderer.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "world/view/client_world.h"
#include "world/view/entity_hooks.h"
#include "renderer/mesh_object.h"
#include "world/view/render_object.h"
#include "renderer/screen_projection.h"
#include "world/entity_link.h"
#include "world/light_source.h"
#include "world/model_entity.h"
#include "world/render_record.h"
#include "world/shared_map.h"
#include "world/tree_cast.h"

#include <cmath>

namespace {

constexpr uint32_t BSP_VARIABLE = 0x100;

EntityLink* centre_list(const Placement& entity, int type)
{
    EntityLink* const* const lists = static_cast<EntityLink* const*>(entity.centre_lists);
    return lists != nullptr ? lists[type] : nullptr;
}

} // namespace

int BspRenderer::init(ScreenProjection* screen)
{
    if (PolyRenderer::init(screen) == 0) {
        return 0;
    }
    r_pvs = cvar_list->link(CVTYPE_BOOL, BSP_VARIABLE, "R_PVS", "True", 0);
    r_objects = cvar_list->link(CVTYPE_BOOL, BSP_VARIABLE, "R_Objects", "True", 0);
    r_clip_dynamic = cvar_list->link(CVTYPE_BOOL, BSP_VARIABLE, "R_ClipDynamic", nullptr, 0);
    if (r_pvs == nullptr || r_objects == nullptr || r_clip_dynamic == nullptr) {
        return 0;
    }
    r_objects->set_saved_bool(1);
    return 1;
}

void BspRenderer::close()
{
    release_variable(r_clip_dynamic);
    release_variable(r_objects);
    release_variable(r_pvs);
    PolyRenderer::close();
}

void BspRenderer::set_world(ClientWorld* w)
{
    K_ASSERT(w);
    // A pvs.bin may cover fewer cells than the map: those cells see every
    // cell (unpack_pvs), which draws more but never wrongly.
    world = w;
    prepare_world(*w);
}

uint32_t BspRenderer::test_node(const Sphere& sphere, uint32_t flags) const
{
    uint32_t result = flags & ~(NODE_CROSSES_SIDE | NODE_OUTSIDE);
    float d[VIEW_SIDES];
    for (int i = 0; i < VIEW_SIDES; ++i) {
        d[i] = plane_distance(side_plane(i), sphere.centre);
        if (d[i] < -sphere.radius) {
            return result | NODE_OUTSIDE;
        }
    }
    if ((flags & NODE_CROSSES_SIDE) != 0) {
        for (const float di : d) {
            if (di < sphere.radius) {
                return result | NODE_CROSSES_SIDE;
            }
        }
    }
    return result;
}

void BspRenderer::draw_world()
{
    K_ASSERT(world);
    SharedMap& map = *world->map;
    begin_frame();
    set_transform(world_transform, nullptr);
    mat_translation(sky_matrix, projection->position);
    set_transform(sky_transform, &sky_matrix);
    camera_cell = nullptr;
    met_entities = nullptr;
    order_key = map.cell_count;
    if (map.node_count > 0) {
        traverse(&map.nodes[0], NODE_CROSSES_SIDE);
    } else if (map.cell_count > 0) {
        draw_cell(&map.cells[0], NODE_CROSSES_SIDE);
    }
    if (sky_seen != 0) {
        draw_sky();
    }
    draw_met_entities();
    end_frame();
}

void BspRenderer::traverse(BspNode* node, uint32_t flags)
{
    const Vector& camera = projection->position;
    for (;;) {
        if (camera_cell != nullptr) {
            if ((node->flags & BSP_VISIBLE) == 0) {
                return;
            }
            const uint32_t r = test_node(node->sphere, flags);
            if ((r & NODE_OUTSIDE) != 0) {
                walk_visible_subtree(node);
                return;
            }
            flags = r;
        }
        const bool in_front = !std::signbit(plane_distance(*node->plane, camera));
        const float k = vec_dot(node->plane->normal, projection->forward);
        const uint32_t near_bit = in_front ? BSP_FRONT_NODE : BSP_BACK_NODE;
        const uint32_t far_bit = in_front ? BSP_BACK_NODE : BSP_FRONT_NODE;
        const BspChild near_child = in_front ? node->front : node->back;
        const BspChild far_child = in_front ? node->back : node->front;
        if ((node->flags & near_bit) != 0) {
            traverse(near_child.node, flags);
        } else {
            draw_cell(near_child.cell, flags);
        }
        if (screen_covered()) {
            return;
        }
        // The far side lies beyond the view cone when every view ray leaves the plane.
        const double k_near = in_front ? k : -k;
        if (!(k_near < projection->corner_sine)) {
            return;
        }
        if ((node->flags & far_bit) == 0) {
            draw_cell(far_child.cell, flags);
            return;
        }
        node = far_child.node;
    }
}

void BspRenderer::walk_visible_subtree(BspNode* node)
{
    for (int side = 0; side < 2; ++side) {
        const bool is_node = (node->flags & (side == 0 ? BSP_FRONT_NODE : BSP_BACK_NODE)) != 0;
        const BspChild child = side == 0 ? node->front : node->back;
        if (is_node) {
            walk_visible_subtree(child.node);
        } else {
            draw_leaf(child.cell);
        }
    }
}

void BspRenderer::draw_cell(Cell* cell, uint32_t flags)
{
    if (camera_cell == nullptr) {
        camera_cell = cell;
        unpack_pvs(*world->map, r_pvs->is_true() ? cell : nullptr);
    } else if (cell->visible == 0) {
        return;
    }
    draw_leaf(cell);
    const uint32_t base = POLY_HIDDEN_DROP | (flags & POLY_CLIP);
    for (int32_t i = 0; i < cell->polygon_count; ++i) {
        MapPolygon& polygon = world->polygons[cell->first_polygon + i];
        PolygonRef ref;
        ref.polygon = &polygon;
        ref.transform = &world_transform;
        ref.list_b = cell->lists[ENTITY_TYPE_LAMP_LIGHT];
        ref.order_key = order_key;
        add_polygon(ref, (polygon.face->flags & FACE_TRANSPARENT) != 0 ? base : base | POLY_OCCLUDER);
    }
    --order_key;
}

bool BspRenderer::first_sight(RenderRecord& record)
{
    if (record.frame_stamp == frame_number) {
        return false;
    }
    if ((test_node(Sphere{record.position, record.radius}, 0) & NODE_OUTSIDE) != 0) {
        record.stamp_frame(frame_number);
        return false;
    }
    return true;
}

void BspRenderer::queue_records(EntityLink* list, int type)
{
    const EntityHooks* const hooks = entity_hooks(type);
    for (EntityLink* l = list; l != nullptr; l = l->next) {
        RenderRecord& record = static_cast<RenderRecord&>(*l->entity);
        if (hooks == nullptr || !first_sight(record)) {
            continue;
        }
        if (type == ENTITY_TYPE_MESH) {
            MeshObject& mesh = static_cast<MeshObject&>(record);
            mesh.light_list_a = centre_list(mesh, ENTITY_TYPE_MAP_LIGHT);
            mesh.light_list_b = centre_list(mesh, ENTITY_TYPE_LAMP_LIGHT);
        }
        if (type == ENTITY_TYPE_GLOW && !in_sight(record)) {
            record.stamp_frame(frame_number);
            continue;
        }
        hooks->meet(record, *this);
    }
}

void BspRenderer::draw_leaf(Cell* cell)
{
    if (!r_objects->is_true()) {
        return;
    }
    queue_records(cell->lists[ENTITY_TYPE_SPRITE], ENTITY_TYPE_SPRITE);
    queue_records(cell->lists[ENTITY_TYPE_MESH], ENTITY_TYPE_MESH);
    queue_records(cell->lists[ENTITY_TYPE_GLOW], ENTITY_TYPE_GLOW);
    for (EntityLink* l = cell->lists[ENTITY_TYPE_MODEL]; l != nullptr; l = l->next) {
        draw_model(static_cast<ModelEntity&>(*l->entity));
    }
}

bool BspRenderer::in_sight(const RenderRecord& record) const
{
    if (world->world_volume == nullptr) {
        return true;
    }
    const Vector& camera = projection->position;
    Vector to_record = record.position;
    vec_sub(to_record, camera);
    TreeHit hit;
    return tree_cast_segment(world->world_volume[0], hit, camera, to_record, 1.0f, GLOW_BLOCKING_CONTENTS) == 0;
}

void BspRenderer::add_model_polygons(ModelEntity& entity, uint32_t flags, bool occluders)
{
    for (int32_t i = 0; i < entity.polygon_count; ++i) {
        MapPolygon& polygon = entity.polygons[i];
        PolygonRef ref;
        ref.polygon = &polygon;
        ref.transform = &entity.transform_block;
        ref.list_a = centre_list(entity, ENTITY_TYPE_MAP_LIGHT);
        ref.list_b = centre_list(entity, ENTITY_TYPE_LAMP_LIGHT);
        ref.order_key = -1;
        const bool occludes = occluders && (polygon.face->flags & FACE_TRANSPARENT) == 0;
        add_polygon(ref, occludes ? flags | POLY_OCCLUDER : flags);
    }
}

void BspRenderer::draw_model(ModelEntity& entity)
{
    const Sphere sphere{entity.position, entity.radius};
    if (!r_clip_dynamic->is_true()) {
        if (entity.frame_stamp == frame_number) {
            return;
        }
        entity.frame_stamp = frame_number;
        set_transform(entity.transform_block, &entity.transform);
        entity.clip_flags = test_node(sphere, NODE_CROSSES_SIDE);
        if ((entity.clip_flags & NODE_OUTSIDE) != 0) {
            return;
        }
        entity.clip_flags |= POLY_HIDDEN_DROP;
        add_model_polygons(entity, entity.clip_flags, false);
        return;
    }
    if (entity.frame_stamp == frame_number) {
        if ((entity.clip_flags & NODE_OUTSIDE) != 0) {
            return;
        }
        ++entity.traversed_leaves;
    } else {
        entity.traversed_leaves = 1;
        entity.frame_stamp = frame_number;
        set_transform(entity.transform_block, &entity.transform);
        entity.clip_flags = test_node(sphere, NODE_CROSSES_SIDE);
        if ((entity.clip_flags & NODE_OUTSIDE) != 0) {
            return;
        }
        entity.next_met = met_entities;
        met_entities = &entity;
    }
    if (entity.traversed_leaves < entity.linked_leaves) {
        return;
    }
    const bool counted = entity.traversed_leaves == entity.linked_leaves;
    K_ASSERT(counted);
    add_model_polygons(entity, entity.clip_flags, true);
}

void BspRenderer::draw_met_entities()
{
    for (ModelEntity* e = met_entities; e != nullptr; e = e->next_met) {
        if (e->linked_leaves > e->traversed_leaves) {
            add_model_polygons(*e, e->clip_flags, false);
        }
    }
}

void BspRenderer::draw_sky()
{
    for (int32_t i = 0; i < world->sky_polygon_count; ++i) {
        PolygonRef ref;
        ref.polygon = &world->sky_polygons[i];
        ref.transform = &sky_transform;
        ref.order_key = 0;
        add_polygon(ref, POLY_CLIP);
    }
}
