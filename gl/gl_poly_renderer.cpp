#include "renderer/poly_renderer.h"

#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/sine_table.h"
#include "gl/gl_bind.h"
#include "gl/gl_fan_start.h"
#include "renderer/screen_projection.h"
#include "world/bsp_tree.h"
#include "world/pvs_decode.h"
#include "world/shared_map.h"
#include "world/view/client_world.h"
#include "world/view/render_object.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

namespace {

struct VariableRow {
    const char* name;
    int type;
    const char* default_text;
    uint32_t flags;
};

// Flags 0x120: put back to their saved value when the client stops cheating.
constexpr VariableRow poly_variables[GLV_COUNT] = {
    {"R_ClipCone", CVTYPE_BOOL, nullptr, 0x100},      {"R_ClipRaster", CVTYPE_BOOL, nullptr, 0x100},
    {"R_Flat", CVTYPE_BOOL, nullptr, 0x120},          {"R_Cells", CVTYPE_INT, nullptr, 0x100},
    {"R_Dynalights", CVTYPE_BOOL, "True", 0x100},     {"GL_Triangles", CVTYPE_BOOL, nullptr, 0x120},
    {"R_Bumps", CVTYPE_BOOL, nullptr, 0x100},         {"R_AnimateBumps", CVTYPE_BOOL, nullptr, 0x100},
    {"GL_SortTextures", CVTYPE_BOOL, "True", 0x100},  {"PolyCount", CVTYPE_BOOL, nullptr, 0x100},
    {"R_PolyOrder", CVTYPE_INT, nullptr, 0x100},      {"EntityCount", CVTYPE_BOOL, nullptr, 0x100},
};

int32_t screen_axis(int32_t centre_fixed, double scale_fixed, float a, float z)
{
    const double s = std::clamp(centre_fixed + scale_fixed * a / z, -16384.0 * 65536.0, 16384.0 * 65536.0);
    return static_cast<int32_t>(std::lrint(s));
}

// The size class of a lightmap of that many texels a side; -1 above 32.
int size_class(int32_t side) { return side > 32 ? -1 : side > 16 ? 0 : side > 8 ? 1 : 2; }

} // namespace

int PolyRenderer::init(ScreenProjection* p)
{
    close();
    projection = p;
    vertex_pool_.reset(new (std::nothrow) Vector[GL_POLY_VERTICES]);
    surface_pool_.reset(new (std::nothrow) SurfaceRecord[GL_POLY_SURFACES]);
    transparent_pool_.reset(new (std::nothrow) SurfaceRecord[GL_POLY_TRANSPARENTS]);
    lit_.reset(new (std::nothrow) SurfaceRecord*[GL_POLY_SURFACES]);
    unlit_.reset(new (std::nothrow) SurfaceRecord*[GL_POLY_SURFACES]);
    entities_.reset(new (std::nothrow) RenderObject*[GL_POLY_ENTITIES]);
    transparents_.reset(new (std::nothrow) TransparentEntry[GL_POLY_TRANSPARENTS + GL_POLY_ENTITIES]);
    if (vertex_pool_ == nullptr || surface_pool_ == nullptr || transparent_pool_ == nullptr || lit_ == nullptr ||
        unlit_ == nullptr || entities_ == nullptr || transparents_ == nullptr || bcp.alloc(GL_POLY_BCP_NODES) == 0 ||
        gaps.alloc(p->max_xres, p->max_yres) == 0) {
        close();
        return 0;
    }
    set_resolution();
    BumpRandom random;
    bump_field_.add_random_bumps(random);
    build_bumps(0.5f, 0.5f, 0.0f);
    K_ASSERT(cvar_list);
    for (int i = 0; i < GLV_COUNT; ++i) {
        const VariableRow& v = poly_variables[i];
        vars[i] = cvar_list->link(v.type, v.flags, v.name, v.default_text, 0);
        if (vars[i] == nullptr) {
            close();
            return 0;
        }
    }
    // A player who may not cheat gets the saved values back: the wire frame
    // is a debugging aid, so it comes back off, not over every frame.
    vars[GLV_FLAT]->set_saved_bool(0);
    vars[GLV_TRIANGLES]->set_saved_bool(0);
    vars[GLV_POLYORDER]->set_saved_int(0);
    return 1;
}

void PolyRenderer::close()
{
    release_world();
    bcp.free();
    gaps.free();
    vertex_pool_.reset();
    surface_pool_.reset();
    transparent_pool_.reset();
    lit_.reset();
    unlit_.reset();
    entities_.reset();
    transparents_.reset();
    bump_owner_.release();
    for (ConfigVariable*& v : vars) {
        release_variable(v);
    }
}

bool PolyRenderer::var_true(GLPolyVariable v) const { return vars[v] != nullptr && vars[v]->is_true(); }

int32_t PolyRenderer::var_int(GLPolyVariable v) const { return vars[v] != nullptr ? vars[v]->int_value() : 0; }

void PolyRenderer::set_resolution() { gaps.set_resolution(projection->width, projection->height); }

const Plane& PolyRenderer::side_plane(int i) const { return projection->world_planes[GCP_LEFT + i]; }

void PolyRenderer::begin_frame()
{
    lit_count_ = 0;
    unlit_count_ = 0;
    entity_count_ = 0;
    transparent_count_ = 0;
    // The tree takes the four side planes through the eye; the near plane
    // lies in front of it and is OpenGL's to clip.
    bcp.reset(projection->position, &projection->world_planes[GCP_LEFT], VIEW_SIDES);
    gaps.reset();
    const int32_t order = var_int(GLV_POLYORDER);
    polygon_limit_ = order != 0 ? (projection->time >> 2) % order : GL_POLY_SURFACES;
    if (var_true(GLV_ANIMATEBUMPS) && sine_table != nullptr && sine_table->values != nullptr) {
        float light[3];
        bump_light_direction(*sine_table, projection->time, light);
        build_bumps(light[0], light[1], light[2]);
    }
    active_vertices_ = 0;
    active_surfaces_ = 0;
    active_transparents_ = 0;
    sky_seen = 0;
    frame_number = static_cast<int32_t>(static_cast<uint32_t>(frame_number) + 1);
    GLSys::check_texture_variables();
    stats = GLPolyStats{};
}

void PolyRenderer::build_bumps(float x, float y, float z)
{
    build_bump_images(bump_field_, x, y, z, bump_images_);
    // The next bump pass uploads the new images.
    bump_owner_.release();
}

void PolyRenderer::set_transform(TransformBlock& block, const Matrix* object) const
{
    Matrix view;
    std::copy(projection->view, projection->view + 12, view.m);
    set_transform_block(block, view, projection->position, object);
}

bool PolyRenderer::project_point(const Vector& v, int32_t& x, int32_t& y) const
{
    const ScreenProjection& p = *projection;
    const float* m = p.view;
    const float vx = m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3];
    const float vy = m[4] * v.x + m[5] * v.y + m[6] * v.z + m[7];
    const float vz = m[8] * v.x + m[9] * v.y + m[10] * v.z + m[11];
    if (!(vz > 0.001f)) {
        return false;
    }
    x = screen_axis(p.cx_fixed, p.sx_fixed, vx, vz);
    y = screen_axis(p.cy_fixed, p.sy_fixed, vy, vz);
    return true;
}

bool PolyRenderer::raster_visible(const Vector* vertices, int32_t count, uint32_t flags)
{
    screen_points_.resize(static_cast<size_t>(2 * count));
    for (int32_t i = 0; i < count; ++i) {
        // At the eye a polygon has no screen shape to test: it is seen.
        if (!project_point(vertices[i], screen_points_[static_cast<size_t>(2 * i)],
                           screen_points_[static_cast<size_t>(2 * i + 1)])) {
            return true;
        }
    }
    const int seen = (flags & POLY_OCCLUDER) != 0 ? gaps.clip_polygon(screen_points_.data(), count)
                                                  : gaps.test_polygon(screen_points_.data(), count);
    return seen != 0;
}

bool PolyRenderer::entity_visible(const RenderObject& entity)
{
    // The box of the bounding sphere (its centre, the radius each way), its
    // corners' screen rectangle tested against the gaps.
    const Vector& c = entity.sphere.centre;
    const float r = entity.sphere.radius;
    if (!(r >= 0.0f)) {
        return true;
    }
    int32_t x0 = INT32_MAX;
    int32_t y0 = INT32_MAX;
    int32_t x1 = INT32_MIN;
    int32_t y1 = INT32_MIN;
    for (int i = 0; i < 8; ++i) {
        const Vector corner{c.x + ((i & 1) != 0 ? r : -r), c.y + ((i & 2) != 0 ? r : -r),
                            c.z + ((i & 4) != 0 ? r : -r)};
        int32_t x;
        int32_t y;
        // A box reaching the eye cannot be projected: it is not tested.
        if (!project_point(corner, x, y)) {
            return true;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    const int32_t rectangle[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    return gaps.test_polygon(rectangle, 4) != 0;
}

void PolyRenderer::add_polygon(const PolygonRef& ref, uint32_t flags)
{
    ++stats.total;
    const MapPolygon& polygon = *ref.polygon;
    const TransformBlock& block = *ref.transform;
    const float distance = plane_distance(*polygon.plane, block.camera);
    if (std::signbit(distance + 1.0f)) {
        return;
    }
    const int32_t count = polygon.vertex_count;
    if (count < 3 || active_vertices_ + count > GL_POLY_VERTICES) {
        ++stats.dropped;
        return;
    }
    // The copy starts at the polygon's fan start.
    const int32_t first = fan_start(&polygon);
    Vector* const vertices = &vertex_pool_[static_cast<size_t>(active_vertices_)];
    for (int32_t i = 0, k = first; i < count; ++i, k = k + 1 < count ? k + 1 : 0) {
        if (block.has_object != 0) {
            mat_rotate_vector(vertices[i], block.object, *polygon.vertices[k]);
        } else {
            vertices[i] = *polygon.vertices[k];
        }
    }
    active_vertices_ += count;
    ++stats.facing;
    // The tests see the polygon clipped to the view; OpenGL clips what it draws.
    const Vector* test = vertices;
    int32_t test_count = count;
    if ((flags & POLY_CLIP) != 0) {
        test_vertices_.resize(std::max(test_vertices_.size(), static_cast<size_t>(count + GL_CLIP_PLANES)));
        std::copy(vertices, vertices + count, test_vertices_.begin());
        test_count = projection->clip_polygon(test_vertices_.data(), count);
        if (test_count == 0) {
            return;
        }
        test = test_vertices_.data();
    }
    ++stats.rasterized;
    // A model's polygons stay out of the tree, as in the software program:
    // the tree takes the map polygon's own vertices, which for a model lie in
    // the model's space, and they arrive before the polygons of the leaf that
    // holds the model, out of the front-to-back order the tree relies on.
    if (var_true(GLV_CLIPCONE) && block.has_object == 0 && (flags & POLY_OCCLUDER) != 0) {
        if (bcp.insert_polygon(polygon.vertices, count, static_cast<int>(flags & POLY_CLIP)) == 0 &&
            (flags & POLY_HIDDEN_DROP) != 0) {
            return;
        }
    }
    if (var_true(GLV_CLIPRASTER) && (flags & (POLY_OCCLUDER | POLY_HIDDEN_DROP)) != 0) {
        if (!raster_visible(test, test_count, flags) && (flags & POLY_HIDDEN_DROP) != 0) {
            return;
        }
    }
    const MapFace& face = *polygon.face;
    if ((face.flags & FACE_SKY) != 0) {
        sky_seen = 1;
        return;
    }
    if (stats.rendered > polygon_limit_) {
        return;
    }
    // A transparent surface that isn't drawn still counts against the limit.
    const bool transparent = (face.flags & FACE_TRANSPARENT) != 0;
    if (transparent && (var_true(GLV_FLAT) || !projection->var_true(GPV_TEXTURE))) {
        ++stats.rendered;
        return;
    }
    SurfaceRecord* record = nullptr;
    if (transparent) {
        if (active_transparents_ >= GL_POLY_TRANSPARENTS) {
            ++stats.dropped;
            return;
        }
        record = &transparent_pool_[static_cast<size_t>(active_transparents_++)];
        transparents_[static_cast<size_t>(transparent_count_++)] = TransparentEntry{record, nullptr};
    } else {
        if (active_surfaces_ >= GL_POLY_SURFACES) {
            ++stats.dropped;
            return;
        }
        record = &surface_pool_[static_cast<size_t>(active_surfaces_++)];
        const GLPolygonData* data = polygon.samples != nullptr ? polygon_data(&polygon) : nullptr;
        if (data != nullptr && data->slot.size_id >= 0) {
            lit_[static_cast<size_t>(lit_count_++)] = record;
        } else {
            unlit_[static_cast<size_t>(unlit_count_++)] = record;
        }
    }
    ++stats.rendered;
    record->ref = ref;
    record->ref.camera_distance = distance;
    record->vertices = vertices;
    record->count = count;
    record->first = first;
}

void PolyRenderer::add_entity(RenderObject* entity)
{
    if (var_true(GLV_CLIPRASTER) && (entity->render_flags & RENDER_OCCLUSION_TEST) != 0 &&
        (entity->render_flags & RENDER_NO_RASTER_TEST) == 0 && !entity_visible(*entity)) {
        return;
    }
    if (entity_count_ >= GL_POLY_ENTITIES) {
        ++stats.dropped;
        return;
    }
    entities_[static_cast<size_t>(entity_count_++)] = entity;
    ++stats.entities[std::clamp(entity->entity_type, 0, 6)];
}

void PolyRenderer::add_transparent(RenderObject* entity)
{
    if (transparent_count_ >= GL_POLY_TRANSPARENTS + GL_POLY_ENTITIES) {
        ++stats.dropped;
        return;
    }
    transparents_[static_cast<size_t>(transparent_count_++)] = TransparentEntry{nullptr, entity};
    ++stats.entities[std::clamp(entity->entity_type, 0, 6)];
}

void PolyRenderer::end_frame()
{
    // Each list is drawn in the reverse of arrival; lit surfaces may then be
    // grouped by texture, then face, so that each pass binds a texture once.
    std::reverse(lit_.get(), lit_.get() + lit_count_);
    std::reverse(unlit_.get(), unlit_.get() + unlit_count_);
    if (var_true(GLV_SORTTEXTURES)) {
        // Within a face the reverse of arrival holds, so the frame is drawn
        // the same each time.
        const auto by_texture = [](const SurfaceRecord* a, const SurfaceRecord* b) {
            const MapFace* fa = a->ref.polygon->face;
            const MapFace* fb = b->ref.polygon->face;
            if (fa->patch != fb->patch) {
                return std::less<const void*>()(fa->patch, fb->patch);
            }
            if (fa != fb) {
                return std::less<const void*>()(fa, fb);
            }
            return std::greater<const void*>()(a, b);
        };
        std::sort(lit_.get(), lit_.get() + lit_count_, by_texture);
    }
    draw_opaque();
    for (int32_t i = 0; i < entity_count_; ++i) {
        entities_[static_cast<size_t>(i)]->draw(*this);
    }
    // Nearest arrived first: drawn last, over what lies behind.
    for (int32_t i = transparent_count_ - 1; i >= 0; --i) {
        if (transparents_[static_cast<size_t>(i)].entity != nullptr) {
            transparents_[static_cast<size_t>(i)].entity->draw_first(*this);
        }
    }
    for (int32_t i = transparent_count_ - 1; i >= 0; --i) {
        const TransparentEntry& e = transparents_[static_cast<size_t>(i)];
        if (e.entity != nullptr) {
            e.entity->draw(*this);
        } else {
            draw_textured(*e.surface);
        }
    }
    projection->post_process_frame();
}

void PolyRenderer::print_stats() const
{
    if (var_true(GLV_POLYCOUNT)) {
        print_tagged(four_cc("PlCn"), "Polygons: %d total, %d front-facing, %d rasterized, %d rendered", stats.total,
                     stats.facing, stats.rasterized, stats.rendered);
        print_tagged(four_cc("LmCn"), "Lightmaps: %d rendered, %d updated", stats.lightmaps_rendered,
                     stats.lightmaps_updated);
    }
    if (var_true(GLV_ENTITYCOUNT)) {
        print_tagged(four_cc("EnCn"), "Entities: %d meshes, %d sprites, %d lights", stats.entities[4],
                     stats.entities[1], stats.entities[5]);
    }
}

GLPolygonData* PolyRenderer::polygon_data(const MapPolygon* polygon) const
{
    if (polygon_data_ == nullptr || polygon < world_polygons_ || polygon >= world_polygons_ + world_polygon_count_) {
        return nullptr;
    }
    return &polygon_data_[static_cast<size_t>(polygon - world_polygons_)];
}

int32_t PolyRenderer::fan_start(const MapPolygon* polygon) const
{
    const GLPolygonData* data = polygon_data(polygon);
    return data != nullptr ? data->fan_start : 0;
}

void PolyRenderer::prepare_world(ClientWorld& world)
{
    // The client binds a loaded world twice (at load and when it attaches
    // the entities): the second time finds it prepared.
    if (polygon_data_ != nullptr && world_polygons_ == world.polygons && world_polygon_count_ == world.polygon_count) {
        return;
    }
    release_world();
    if (world.polygon_count > 0) {
        polygon_data_.reset(new (std::nothrow) GLPolygonData[static_cast<size_t>(world.polygon_count)]);
    }
    if (polygon_data_ != nullptr) {
        world_polygons_ = world.polygons;
        world_polygon_count_ = world.polygon_count;
        for (int32_t i = 0; i < world.polygon_count; ++i) {
            const MapPolygon& polygon = world.polygons[i];
            GLPolygonData& data = polygon_data_[static_cast<size_t>(i)];
            data.fan_start = choose_fan_start(polygon.vertices, polygon.vertex_count);
            GLLightmapOwner& slot = data.slot;
            if (polygon.samples == nullptr) {
                slot.size_id = -1;
                continue;
            }
            // A lightmap the cache refuses is drawn unlit.
            slot.set_size(std::max(polygon.lightmap.width, polygon.lightmap.height), 0);
        }
    }
    clear_lightmap_maxima();
    SharedMap* map = world.map;
    if (map == nullptr || !map->has_pvs()) {
        return;
    }
    const uint8_t* const end = map->pvs_data + map->pvs_size;
    const auto count_cell = [this, map](int32_t c) {
        const Cell& cell = map->cells[c];
        for (int32_t i = 0; i < cell.polygon_count; ++i) {
            count_lightmap(world_polygons_[cell.first_polygon + i]);
        }
    };
    for (int32_t c = 0; c < map->cell_count; ++c) {
        reset_lightmap_counts();
        const Cell& cell = map->cells[c];
        // Cells the PVS does not cover see every cell, and are seen by every cell.
        if (cell.pvs == nullptr) {
            for (int32_t k = 0; k < map->cell_count; ++k) {
                count_cell(k);
            }
        } else {
            pvs_decode(
                cell.pvs, end, map->pvs_cells, [](int32_t, int32_t) {},
                [&count_cell](int32_t first, uint32_t byte, int32_t n) {
                    for (int32_t k = 0; k < n; ++k) {
                        if (((byte >> k) & 1u) != 0) {
                            count_cell(first + k);
                        }
                    }
                });
            for (int32_t k = map->pvs_cells; k < map->cell_count; ++k) {
                count_cell(k);
            }
        }
        update_lightmap_maxima();
    }
    report_lightmap_maxima();
}

void PolyRenderer::release_world()
{
    // The slots go back to the cache before the owners go.
    polygon_data_.reset();
    world_polygons_ = nullptr;
    world_polygon_count_ = 0;
}

void PolyRenderer::reset_lightmap_counts() { std::fill_n(lightmap_counts, LMAP_SIZES, 0); }

void PolyRenderer::count_lightmap(const MapPolygon& polygon)
{
    if (polygon.samples == nullptr) {
        return;
    }
    const int s = size_class(std::max(polygon.lightmap.width, polygon.lightmap.height));
    if (s >= 0) {
        ++lightmap_counts[s];
    }
}

void PolyRenderer::update_lightmap_maxima()
{
    for (int s = 0; s < LMAP_SIZES; ++s) {
        lightmap_maxima[s] = std::max(lightmap_maxima[s], lightmap_counts[s]);
    }
}

void PolyRenderer::clear_lightmap_maxima()
{
    std::fill_n(lightmap_maxima, LMAP_SIZES, 0);
    size_lightmap_cache(GL_DEFAULT_LIGHTMAPS);
}

void PolyRenderer::report_lightmap_maxima()
{
    int32_t slots[LMAP_SIZES];
    for (int s = 0; s < LMAP_SIZES; ++s) {
        print_format(P_DEBUG, "PVS: max %d lightmaps of size %dx%d", lightmap_maxima[s], 32 >> s, 32 >> s);
        // The cache gives the least recently used slot away once a class is
        // one short of full, so the worst cell's lightmaps need one more.
        slots[s] = lightmap_maxima[s] + 1;
    }
    size_lightmap_cache(slots);
}

void PolyRenderer::size_lightmap_cache(const int32_t slots[LMAP_SIZES])
{
    if (gl_lightmap_manager.init(slots) == 0) {
        print_format(P_ERROR, "OpenGL: no lightmap cache of %d, %d and %d slots", slots[0], slots[1], slots[2]);
    }
}
