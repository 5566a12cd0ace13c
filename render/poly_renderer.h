#pragma once
// The software polygon renderer. Polygons arrive nearest first; each is
// culled by its facing, tested against (and, as an occluder, entered into)
// the clip structures, clipped to the view, projected and added to the edge
// list as a surface. At the end of the frame the edge list gives each surface
// its visible spans, which are drawn face by face with perspective-correct
// texturing and the light block, then the queued entities and the
// transparent surfaces.
//
// Nothing is allocated per frame. Polygons that no pool or buffer can take
// (too many vertices, a full edge list, vertices at or behind the eye) are
// dropped and counted.
#include "world/view/bcp_tree.h"
#include "world/view/clip_gaps.h"
#include "world/view/polygon_flags.h"
#include "render/edge_list.h"
#include "render/persp_mapper.h"
#include "soft/span_plan.h"

#include <cstdint>

class ClientWorld;
class ConfigVariable;
class RenderObject;
class ScreenProjection;

constexpr int32_t POLY_BCP_NODES = 0x400;
constexpr int32_t POLY_VIEW_VERTICES = POLYGON_MAX_VERTICES + 8; // room for clipping
constexpr int32_t POLY_ENTITIES = 1024;
constexpr int32_t POLY_TEXTURE_BUCKETS = 4096; // twice the surfaces of a frame
constexpr size_t POLY_PLAN_BYTES = 256 * 1024;

enum PolyVariable { PLV_CLIPCONE, PLV_CLIPRASTER, PLV_POLYCOUNT, PLV_EDGECOUNT, PLV_ENTITYCOUNT, PLV_COUNT };

struct TextureBucket {
    const void* key;
    int32_t stamp;
    MapFace* faces;
    TextureBucket* next;
};

// A transparent surface or a transparent entity.
struct TransparentItem {
    Surface* surface;
    RenderObject* entity;
};

struct PolyStats {
    int32_t offered = 0;
    int32_t facing = 0;
    int32_t rasterized = 0;
    int32_t drawn = 0;
    int32_t entities[7] = {};
    int32_t dropped = 0; // polygons no buffer or pool could take
};

class PolyRenderer {
public:
    PolyRenderer() = default;
    virtual ~PolyRenderer() { close(); }
    PolyRenderer(const PolyRenderer&) = delete;
    PolyRenderer& operator=(const PolyRenderer&) = delete;

    // 1, or 0 when memory or a variable is missing.
    int init(ScreenProjection* projection);
    void close();
    void set_resolution();
    void begin_frame();
    // block = view x object (the view alone when object is null).
    void set_transform(TransformBlock& block, const Matrix* object) const;
    void add_polygon(const PolygonRef& ref, uint32_t flags);
    void add_entity(RenderObject* entity);
    // Queues an entity that is drawn with the transparent surfaces.
    void add_transparent(RenderObject* entity);
    void end_frame();
    void draw_surface(Surface* surface);
    void print_stats() const;

    bool var_true(PolyVariable v) const;
    // The screen is wholly covered: far subtrees need no visit.
    bool screen_covered() const { return gaps.covered() || bcp.covered(); }
    // Side plane i of the view (left, right, top, bottom), inside positive.
    const Plane& side_plane(int i) const;
    // The world renderer binds and unbinds a world: nothing to keep here.
    void prepare_world(ClientWorld&) {}
    void release_world() {}

    ScreenProjection* projection = nullptr;
    int32_t frame_number = 0;
    BcpTree bcp;
    ClipGaps gaps;
    EdgeList edges;
    PerspMapper mapper;
    uint32_t sky_seen = 0;
    PolyStats stats;
    ConfigVariable* vars[PLV_COUNT] = {};

private:
    int32_t project(const Vector* view, int32_t count, double& depth_sum);
    DepthPlane depth_plane(const PolygonRef& ref, float mean_depth) const;
    void queue_surface(Surface* s);
    void draw_spans(Surface* s, bool transparent);
    void flush_plans(int count, bool transparent);

    Vector view_[POLY_VIEW_VERTICES];
    int32_t points_[2 * POLY_VIEW_VERTICES];
    TextureBucket buckets_[POLY_TEXTURE_BUCKETS] = {};
    TextureBucket* opaque_ = nullptr;
    TextureBucket* opaque_tail_ = nullptr;
    RenderObject* entities_[POLY_ENTITIES] = {};
    int32_t entity_count_ = 0;
    TransparentItem transparent_[EDGE_LIST_MAX_SURFACES + POLY_ENTITIES] = {};
    int32_t transparent_count_ = 0;
    alignas(SpanPlan) unsigned char plans_[POLY_PLAN_BYTES];
};
