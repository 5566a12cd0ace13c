#pragma once
// The world renderer of the loaded world, the same in both programs over
// their own polygon renderers. It walks the shared map's BSP
// tree front to back from the camera, skips subtrees outside the camera
// cell's PVS and node spheres outside the view, hands every polygon of each
// reached cell to the polygon renderer (whose clip structures let nearer
// polygons hide farther ones), queues the entities linked into those cells,
// adds the sky only when a sky polygon was seen, and lets the polygon
// renderer rasterize the frame. Nothing is allocated per frame.
//
// Variables: R_PVS (use the camera cell's PVS), R_Objects (draw the entities
// of the cells), R_ClipDynamic (BSP models are drawn when their last linked
// cell is reached, and occlude).
#include "renderer/poly_renderer.h"
#include "world/bsp_tree.h"

#include <cstdint>

class ClientWorld;
class ConfigVariable;
class ModelEntity;
class RenderRecord;
struct EntityLink;

// Results of test_node, over the flags passed in.
constexpr uint32_t NODE_CROSSES_SIDE = 1;
constexpr uint32_t NODE_OUTSIDE = 2;

// Lamp glows are hidden by leaves whose contents lie above this.
constexpr int32_t GLOW_BLOCKING_CONTENTS = 0x20FF;

class BspRenderer : public PolyRenderer {
public:
    BspRenderer() = default;
    ~BspRenderer() override { close(); }

    // 1, or 0 when the polygon renderer or a variable can't be had.
    int init(ScreenProjection* screen);
    void close();

    // Binds a loaded world (required).
    void set_world(ClientWorld* w);
    void clear_world()
    {
        world = nullptr;
        release_world();
    }
    // One frame, after the projection's begin_frame.
    void draw_world();

    // The sphere against the four side planes: NODE_OUTSIDE, or, when asked
    // by NODE_CROSSES_SIDE in flags, whether it crosses a side.
    uint32_t test_node(const Sphere& sphere, uint32_t flags) const;

    ClientWorld* world = nullptr;
    TransformBlock world_transform;
    TransformBlock sky_transform;
    Matrix sky_matrix = {};
    Cell* camera_cell = nullptr;
    ModelEntity* met_entities = nullptr;
    int32_t order_key = 0;
    ConfigVariable* r_pvs = nullptr;
    ConfigVariable* r_objects = nullptr;
    ConfigVariable* r_clip_dynamic = nullptr;

private:
    void traverse(BspNode* node, uint32_t flags);
    void draw_cell(Cell* cell, uint32_t flags);
    void draw_leaf(Cell* cell);
    void walk_visible_subtree(BspNode* node);
    void draw_model(ModelEntity& entity);
    // False when the record was met this frame already or lies outside the
    // view (then it is stamped).
    bool first_sight(RenderRecord& record);
    // A lamp glow is seen when no solid of the world volume lies between it and the eye.
    bool in_sight(const RenderRecord& record) const;
    // Meets the drawable records of one type linked into a cell.
    void queue_records(EntityLink* list, int type);
    void draw_met_entities();
    void draw_sky();
    void add_model_polygons(ModelEntity& entity, uint32_t flags, bool occluders);
};
