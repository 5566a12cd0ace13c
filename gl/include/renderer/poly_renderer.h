#pragma once
// The OpenGL program's polygon renderer. It keeps the software renderer's
// interface and its screen-space culling (the clip tree and the scan-line
// gaps) but draws nothing while polygons arrive: each visible polygon
// becomes a record of the frame, copied into fixed pools, and the end of the
// frame draws the records in passes, each polygon one triangle fan (flat
// colours, textures, second layers, lightmaps, bumps, wire frame), then the
// entities and, back to front, the transparent surfaces.
//
// What this program adds to a polygon of the world (the map's and its
// models') lies beside it here, since the map polygon is shared with the
// server and the software program: its lightmap slot in the OpenGL lightmap
// cache and the vertex its fan starts from, chosen at map load. A lightmap
// is lit by the shared light_surface code and uploaded only when its slot is
// new or its lighting signature changed.
//
// Nothing is allocated per frame. What no pool can take is dropped and
// counted: a full frame loses its farthest polygons, never asserts.
#include "gl/gl_bump_images.h"
#include "gl/gl_lightmap_manager.h"
#include "world/map_polygon.h"
#include "world/view/bcp_tree.h"
#include "world/view/clip_gaps.h"
#include "world/view/polygon_flags.h"

#include <cstdint>
#include <memory>
#include <vector>

class ClientWorld;
class ConfigVariable;
class RenderObject;
class ScreenProjection;

constexpr int32_t GL_POLY_BCP_NODES = 1024;
constexpr int32_t GL_POLY_VERTICES = 4096;
constexpr int32_t GL_POLY_SURFACES = 4096;
constexpr int32_t GL_POLY_TRANSPARENTS = 1024;
constexpr int32_t GL_POLY_ENTITIES = 1024;
constexpr int32_t GL_LIGHTMAP_SIDE = 32; // the largest lightmap, texels a side
// Lightmap slots of each size class for a map without a PVS to size them by.
constexpr int32_t GL_DEFAULT_LIGHTMAPS[LMAP_SIZES] = {512, 1024, 2048};

enum GLPolyVariable {
    GLV_CLIPCONE,
    GLV_CLIPRASTER,
    GLV_FLAT,
    GLV_CELLS,
    GLV_DYNALIGHTS,
    GLV_TRIANGLES,
    GLV_BUMPS,
    GLV_ANIMATEBUMPS,
    GLV_SORTTEXTURES,
    GLV_POLYCOUNT,
    GLV_POLYORDER,
    GLV_ENTITYCOUNT,
    GLV_COUNT
};

// The passes over the surface lists, as each record draws itself.
enum GLPass { GLP_FLAT, GLP_LIGHTMAP, GLP_BUMP, GLP_WIRE, GLP_TEXTURE, GLP_OVERLAY };

// One polygon of the frame: the traversal's reference and its vertices in
// world space (a model's polygons moved by the model's matrix), starting at
// the polygon's fan start.
struct SurfaceRecord {
    PolygonRef ref;
    const Vector* vertices = nullptr; // into the vertex pool
    int32_t count = 0;
    int32_t first = 0; // the map polygon's vertex that vertices[0] is
};

// An entry of the transparent list: a surface or an entity.
struct TransparentEntry {
    SurfaceRecord* surface;
    RenderObject* entity;
};

// What this program keeps of a polygon of the world beside the map
// polygon: the lightmap slot of a lit one (with its size class), whether
// its lightmap was last built with moving lights, which must be taken off
// again when they leave, and the vertex its fan starts from.
struct GLPolygonData {
    GLLightmapOwner slot;
    bool lit_by_lights = false;
    int32_t fan_start = 0;
};

struct GLPolyStats {
    int32_t total = 0;
    int32_t facing = 0;
    int32_t rasterized = 0;
    int32_t rendered = 0;
    int32_t lightmaps_rendered = 0;
    int32_t lightmaps_updated = 0;
    int32_t lightmaps_built = 0; // lit again by build_lightmap, uploaded or not
    int32_t entities[7] = {};
    int32_t dropped = 0; // polygons and entities no pool could take
};

class PolyRenderer {
public:
    PolyRenderer() = default;
    virtual ~PolyRenderer() { close(); }
    PolyRenderer(const PolyRenderer&) = delete;
    PolyRenderer& operator=(const PolyRenderer&) = delete;

    // 1, or 0 when memory or a variable is missing; needs GL started.
    int init(ScreenProjection* projection);
    void close();
    // After a change of the window's size.
    void set_resolution();
    void begin_frame();
    // block = the object's transform (the world's when object is null).
    void set_transform(TransformBlock& block, const Matrix* object) const;
    void add_polygon(const PolygonRef& ref, uint32_t flags);
    void add_entity(RenderObject* entity);
    // Queues an entity that is drawn with the transparent surfaces.
    void add_transparent(RenderObject* entity);
    void end_frame();
    void print_stats() const;

    bool screen_covered() const { return gaps.covered() || bcp.covered(); }
    const Plane& side_plane(int i) const;
    // The world renderer binds a world: each polygon's fan start, lightmap
    // slots for its lit polygons, and the lightmap cache sized from its PVS.
    void prepare_world(ClientWorld& world);
    void release_world();

    // Lightmap statistics over the PVS: counts of the current cell and the
    // maxima over all cells, per size class.
    void reset_lightmap_counts();
    void count_lightmap(const MapPolygon& polygon);
    void update_lightmap_maxima();
    // Both size the lightmap cache: the maxima, or, without a PVS, the defaults.
    void clear_lightmap_maxima();
    void report_lightmap_maxima();

    // This program's data of a polygon of the bound world, null for others.
    GLPolygonData* polygon_data(const MapPolygon* polygon) const;
    // The vertex the polygon's fan starts from: 0 outside the bound world.
    int32_t fan_start(const MapPolygon* polygon) const;
    // The frame's opaque records so far, in arrival order.
    int32_t surface_count() const { return active_surfaces_; }
    const SurfaceRecord& surface(int32_t i) const { return surface_pool_[static_cast<size_t>(i)]; }
    // After end_frame: the lit and the unlit records in the order drawn.
    int32_t lit_count() const { return lit_count_; }
    const SurfaceRecord& lit(int32_t i) const { return *lit_[static_cast<size_t>(i)]; }
    int32_t unlit_count() const { return unlit_count_; }
    const SurfaceRecord& unlit(int32_t i) const { return *unlit_[static_cast<size_t>(i)]; }
    // Lights the reference's polygon into the upload buffer; the signature.
    uint32_t build_lightmap(const PolygonRef& ref);

    // The bump images' texture, uploaded by the first bump pass.
    const GLTextureOwner& bump_texture() const { return bump_owner_; }

    bool var_true(GLPolyVariable v) const;
    int32_t var_int(GLPolyVariable v) const;

    ScreenProjection* projection = nullptr;
    int32_t frame_number = 0;
    int pass = GLP_FLAT;
    BcpTree bcp;
    ClipGaps gaps;
    uint32_t sky_seen = 0;
    GLPolyStats stats;
    int32_t lightmap_counts[LMAP_SIZES] = {};
    int32_t lightmap_maxima[LMAP_SIZES] = {};
    ConfigVariable* vars[GLV_COUNT] = {};
    // One texel a lightmap texel (the lightmap with its padding column and
    // row), the light doubled into 0..254.
    uint32_t lightmap_upload[(GL_LIGHTMAP_SIDE + 1) * (GL_LIGHTMAP_SIDE + 1)] = {};

private:
    // The point's screen place in 16.16; false at or behind the eye.
    bool project_point(const Vector& v, int32_t& x, int32_t& y) const;
    bool raster_visible(const Vector* vertices, int32_t count, uint32_t flags);
    bool entity_visible(const RenderObject& entity);
    void size_lightmap_cache(const int32_t slots[LMAP_SIZES]);
    void draw_opaque();
    void draw_list(SurfaceRecord* const* list, int32_t count);
    void draw_record(SurfaceRecord& record);
    void draw_textured(SurfaceRecord& record);
    void draw_flat(const SurfaceRecord& record);
    void draw_lightmapped(SurfaceRecord& record);
    void draw_bumps(const SurfaceRecord& record);
    bool draw_texture_layer(const SurfaceRecord& record, bool second);
    void draw_fan(const SurfaceRecord& record);
    void build_bumps(float x, float y, float z);

    // The pools of the frame.
    std::unique_ptr<Vector[]> vertex_pool_;
    int32_t active_vertices_ = 0;
    std::unique_ptr<SurfaceRecord[]> surface_pool_;
    int32_t active_surfaces_ = 0;
    std::unique_ptr<SurfaceRecord[]> transparent_pool_;
    int32_t active_transparents_ = 0;
    // The lists of the frame, in arrival order until end_frame puts them in
    // the order they are drawn.
    std::unique_ptr<SurfaceRecord*[]> lit_;
    int32_t lit_count_ = 0;
    std::unique_ptr<SurfaceRecord*[]> unlit_;
    int32_t unlit_count_ = 0;
    std::unique_ptr<RenderObject*[]> entities_;
    int32_t entity_count_ = 0;
    std::unique_ptr<TransparentEntry[]> transparents_;
    int32_t transparent_count_ = 0;
    int32_t polygon_limit_ = 0;
    // The clipped copy of a polygon for the tests, and its screen points:
    // grown to the largest polygon met (five planes add five vertices).
    std::vector<Vector> test_vertices_;
    std::vector<const Vector*> test_pointers_;
    std::vector<int32_t> screen_points_;

    // The bound world's polygons and their data.
    MapPolygon* world_polygons_ = nullptr;
    int32_t world_polygon_count_ = 0;
    std::unique_ptr<GLPolygonData[]> polygon_data_;

    BumpField bump_field_;
    BumpImages bump_images_;
    GLTextureOwner bump_owner_;
};
