#include "render/poly_renderer.h"

#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "world/view/light_surface.h"
#include "world/view/render_object.h"
#include "world/view/rotate_direction.h"
#include "renderer/lamp_sprite.h"
#include "renderer/screen_projection.h"
#include "soft/light_block.h"
#include "soft/lighting_tables.h"
#include "soft/lit_span.h"
#include "soft/span_plan.h"
#include "soft/texture_span.h"
#include "soft/translucent_span.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

constexpr uint32_t RENDER_VARIABLE = 0x100;
constexpr const char* variable_names[PLV_COUNT] = {"R_ClipCone", "R_ClipRaster", "PolyCount", "EdgeCount",
                                                   "EntityCount"};
// Projected coordinates are kept within 2^14 pixels of the window, so that
// 16.16 values and their differences stay in 32 bits.
constexpr double SCREEN_LIMIT = 16384.0 * 65536.0;
constexpr double TWO_TO_32 = 4294967296.0;
constexpr int64_t DEPTH_MAX = 0xFFFFFFFFll;

int32_t project_axis(double centre_fixed, double scale_fixed, double a, double z)
{
    const double s = std::clamp(centre_fixed + scale_fixed * a / z, -SCREEN_LIMIT, SCREEN_LIMIT);
    return float_to_int_round(s);
}

int64_t saturate_round(double v)
{
    if (!(v > -9.0e18 && v < 9.0e18)) {
        return v > 0.0 ? INT64_MAX / 4 : INT64_MIN / 4;
    }
    return std::llrint(v);
}

size_t bucket_index(const void* key)
{
    const uint64_t k = reinterpret_cast<uintptr_t>(key) >> 4;
    return static_cast<size_t>((k * 0x9E3779B97F4A7C15ull) >> 52) & (POLY_TEXTURE_BUCKETS - 1);
}

} // namespace

int PolyRenderer::init(ScreenProjection* p)
{
    close();
    projection = p;
    if (bcp.alloc(POLY_BCP_NODES) == 0 || gaps.alloc(p->xsize, p->max_yres) == 0 ||
        edges.init(p->xsize, p->max_yres) == 0 || mapper.init(p) == 0) {
        close();
        return 0;
    }
    K_ASSERT(cvar_list);
    for (int i = 0; i < PLV_COUNT; ++i) {
        vars[i] = cvar_list->link(CVTYPE_BOOL, RENDER_VARIABLE, variable_names[i], nullptr, 0);
        if (vars[i] == nullptr) {
            close();
            return 0;
        }
    }
    set_resolution();
    build_lighting_tables();
    init_sprite_tables();
    return 1;
}

void PolyRenderer::close()
{
    bcp.free();
    gaps.free();
    mapper.close();
    edges.free();
    for (ConfigVariable*& v : vars) {
        release_variable(v);
    }
}

static_assert(SIDE_COUNT == VIEW_SIDES);

const Plane& PolyRenderer::side_plane(int i) const { return projection->side_planes[i]; }

bool PolyRenderer::var_true(PolyVariable v) const { return vars[v] != nullptr && vars[v]->is_true(); }

void PolyRenderer::set_resolution()
{
    gaps.set_resolution(projection->xsize, projection->ysize);
    edges.set_resolution(projection->xsize, projection->ysize);
}

void PolyRenderer::begin_frame()
{
    opaque_ = nullptr;
    opaque_tail_ = nullptr;
    entity_count_ = 0;
    transparent_count_ = 0;
    bcp.reset(projection->position, projection->side_planes, SIDE_COUNT);
    gaps.reset();
    edges.reset();
    std::memset(surface_light_block, 0, sizeof surface_light_block);
    sky_seen = 0;
    stats = PolyStats{};
    frame_number = static_cast<int32_t>(static_cast<uint32_t>(frame_number) + 1);
    span_reset();
    mapper.begin_frame();
}

void PolyRenderer::set_transform(TransformBlock& block, const Matrix* object) const
{
    set_transform_block(block, projection->transform, projection->position, object);
}

int32_t PolyRenderer::project(const Vector* view, int32_t count, double& depth_sum)
{
    const ScreenProjection& p = *projection;
    depth_sum = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        const Vector& v = view[i];
        points_[2 * i] = project_axis(p.centre_x_fixed, p.xscale_fixed, v.x, v.z);
        points_[2 * i + 1] = project_axis(p.centre_y_fixed, p.yscale_fixed, v.y, v.z);
        depth_sum += v.z;
    }
    return count;
}

DepthPlane PolyRenderer::depth_plane(const PolygonRef& ref, float mean_depth) const
{
    DepthPlane plane;
    const float d = ref.camera_distance;
    if (d > 1.0f) {
        const Vector n = rotate_direction(ref.transform->matrix, ref.polygon->plane->normal);
        const double k = -TWO_TO_32 / d;
        const ScreenProjection& p = *projection;
        plane.cx = saturate_round(n.x * k * p.inv_xscale);
        plane.cy = saturate_round(n.y * k * p.inv_yscale);
        plane.c0 = saturate_round(n.z * k) - plane.cx * p.centre_x - plane.cy * p.centre_y;
    } else {
        plane.c0 = mean_depth > 1.0f ? saturate_round(TWO_TO_32 / mean_depth) : -(int64_t{1} << 31);
    }
    return plane;
}

void PolyRenderer::add_polygon(const PolygonRef& ref, uint32_t flags)
{
    ++stats.offered;
    const MapPolygon& polygon = *ref.polygon;
    const TransformBlock& block = *ref.transform;
    PolygonRef r = ref;
    r.camera_distance = plane_distance(*polygon.plane, block.camera);
    if (std::signbit(r.camera_distance + 1.0f)) {
        return;
    }
    ++stats.facing;
    int32_t count = polygon.vertex_count;
    if (count < 3 || count > POLYGON_MAX_VERTICES) {
        ++stats.dropped;
        return;
    }
    if (var_true(PLV_CLIPCONE) && block.has_object == 0 && (flags & POLY_OCCLUDER) != 0) {
        if (bcp.insert_polygon(polygon.vertices, count, static_cast<int>(flags & POLY_CLIP)) == 0 &&
            (flags & POLY_HIDDEN_DROP) != 0) {
            return;
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        mat_rotate_vector(view_[i], block.matrix, *polygon.vertices[i]);
    }
    if ((flags & POLY_CLIP) != 0) {
        count = projection->clip_to_frustum(view_, count);
        if (count == 0) {
            return;
        }
    }
    // No near plane: a vertex at or behind the eye cannot be projected.
    for (int32_t i = 0; i < count; ++i) {
        if (!(view_[i].z > 0.0f)) {
            ++stats.dropped;
            return;
        }
    }
    ++stats.rasterized;
    double depth_sum = 0.0;
    bool projected = false;
    if (var_true(PLV_CLIPRASTER) && (flags & (POLY_OCCLUDER | POLY_HIDDEN_DROP)) != 0) {
        project(view_, count, depth_sum);
        projected = true;
        const int seen = (flags & POLY_OCCLUDER) != 0 ? gaps.clip_polygon(points_, count)
                                                      : gaps.test_polygon(points_, count);
        if (seen == 0 && (flags & POLY_HIDDEN_DROP) != 0) {
            return;
        }
    }
    if ((polygon.face->flags & FACE_SKY) != 0) {
        sky_seen = 1;
        return;
    }
    if (count >= POLYGON_MAX_VERTICES) {
        ++stats.dropped;
        return;
    }
    if (!projected) {
        project(view_, count, depth_sum);
    }
    const float mean_depth = static_cast<float>(depth_sum) * projection->reciprocal[count];
    r.depth = depth_plane(r, mean_depth);
    r.mean_depth = mean_depth;
    Surface* s = edges.add_surface(r, points_, count, mean_depth);
    if (s == nullptr) {
        ++stats.dropped;
        return;
    }
    queue_surface(s);
}

void PolyRenderer::queue_surface(Surface* s)
{
    if ((s->flags & SURFACE_TRANSPARENT) != 0) {
        transparent_[transparent_count_++] = TransparentItem{s, nullptr};
        return;
    }
    MapFace* face = s->ref.polygon->face;
    if (face->frame_stamp == frame_number) {
        s->next_in_face = face->surfaces;
        face->surfaces = s;
        return;
    }
    face->frame_stamp = frame_number;
    face->surfaces = s;
    s->next_in_face = nullptr;
    face->flags = (face->flags & ~FACE_SURFACE_BITS) | (s->flags & FACE_SURFACE_BITS);
    const void* key = face->patch != nullptr ? static_cast<const void*>(face->patch) : face;
    size_t i = bucket_index(key);
    while (buckets_[i].stamp == frame_number && buckets_[i].key != key) {
        i = (i + 1) & (POLY_TEXTURE_BUCKETS - 1);
    }
    TextureBucket& b = buckets_[i];
    if (b.stamp != frame_number) {
        b = TextureBucket{key, frame_number, nullptr, nullptr};
        (opaque_tail_ != nullptr ? opaque_tail_->next : opaque_) = &b;
        opaque_tail_ = &b;
    }
    face->next_drawn = b.faces;
    b.faces = face;
}

void PolyRenderer::add_entity(RenderObject* entity)
{
    if (var_true(PLV_CLIPRASTER) && (entity->render_flags & RENDER_OCCLUSION_TEST) != 0) {
        Vector c;
        mat_rotate_vector(c, projection->transform, entity->sphere.centre);
        const float r = entity->sphere.radius;
        // A sphere reaching the eye cannot be projected: it is not tested.
        if (c.z > r && r >= 0.0f) {
            const ScreenProjection& p = *projection;
            const int32_t x = project_axis(p.centre_x_fixed, p.xscale_fixed, c.x, c.z);
            const int32_t y = project_axis(p.centre_y_fixed, p.yscale_fixed, c.y, c.z);
            const int32_t rx = project_axis(0.0, p.xscale_fixed, r, c.z);
            const int32_t ry = project_axis(0.0, p.yscale_fixed, r, c.z);
            const int32_t square[8] = {wrap_sub(x, rx), wrap_sub(y, ry), wrap_add(x, rx), wrap_sub(y, ry),
                                       wrap_add(x, rx), wrap_add(y, ry), wrap_sub(x, rx), wrap_add(y, ry)};
            if (gaps.test_polygon(square, 4) == 0) {
                return;
            }
        }
    }
    if (entity_count_ >= POLY_ENTITIES) {
        ++stats.dropped;
        return;
    }
    entities_[entity_count_++] = entity;
    ++stats.entities[std::clamp(entity->entity_type, 0, 6)];
}

void PolyRenderer::add_transparent(RenderObject* entity)
{
    if (transparent_count_ >= static_cast<int32_t>(std::size(transparent_))) {
        ++stats.dropped;
        return;
    }
    transparent_[transparent_count_++] = TransparentItem{nullptr, entity};
}

void PolyRenderer::end_frame()
{
    edges.scan();
    for (TextureBucket* b = opaque_; b != nullptr; b = b->next) {
        for (MapFace* face = b->faces; face != nullptr; face = face->next_drawn) {
            for (Surface* s = face->surfaces; s != nullptr; s = s->next_in_face) {
                draw_surface(s);
            }
        }
    }
    for (int32_t i = 0; i < entity_count_; ++i) {
        entities_[i]->draw(*this);
    }
    for (int32_t i = 0; i < transparent_count_; ++i) {
        if (transparent_[i].entity != nullptr) {
            transparent_[i].entity->draw_first(*this);
        }
    }
    for (int32_t i = 0; i < transparent_count_; ++i) {
        if (transparent_[i].entity != nullptr) {
            transparent_[i].entity->draw(*this);
        } else {
            draw_surface(transparent_[i].surface);
        }
    }
    projection->apply_tint();
}

void PolyRenderer::draw_surface(Surface* s)
{
    if (s->spans == nullptr || !mapper.set_texture_scale(*s)) {
        return;
    }
    ++stats.drawn;
    const bool transparent = (s->flags & SURFACE_TRANSPARENT) != 0;
    if (!transparent && projection->var_true(PV_LIGHTING)) {
        light_surface(s->ref, projection->time);
    }
    draw_spans(s, transparent);
}

void PolyRenderer::draw_spans(Surface* s, bool transparent)
{
    const ScreenProjection& p = *projection;
    const DepthPlane& plane = s->ref.depth;
    unsigned char* const end = plans_ + sizeof plans_;
    SpanPlan* at = reinterpret_cast<SpanPlan*>(plans_);
    int count = 0;
    for (const Span* span = s->spans; span != nullptr; span = span->next) {
        const int n = span->count;
        if (reinterpret_cast<unsigned char*>(at) + span_plan_max_bytes(n) > end) {
            flush_plans(count, transparent);
            at = reinterpret_cast<SpanPlan*>(plans_);
            count = 0;
        }
        const int32_t x = span->x;
        const int32_t y = span->y;
        const double W = mapper.w.at(x, y);
        const double W_end = W + mapper.w.dx * (n - 1);
        if (!(W > 0.0 && W_end > 0.0)) {
            continue; // at the horizon of its plane: no texture coordinate
        }
        const double U = mapper.u.at(x, y);
        const double V = mapper.v.at(x, y);
        const double cu = mapper.u.dx * W - mapper.w.dx * U;
        const double cv = mapper.v.dx * W - mapper.w.dx * V;
        // 2^32 / z, saturated where the eye is nearer than 1 unit.
        const int64_t z0 = std::clamp<int64_t>(plane.c0 + plane.cx * x + plane.cy * y, 0, DEPTH_MAX);
        const int64_t z1 = std::clamp<int64_t>(plane.c0 + plane.cx * (x + n - 1) + plane.cy * y, 0, DEPTH_MAX);
        const int64_t step = n > 1 ? (z1 - z0) / (n - 1) : 0;
        uint32_t* const destination = p.window_pixels + p.line_offset[y] + x;
        uint16_t* const depth_row = p.depth_rows[y] + x;
        const int32_t depth = static_cast<int32_t>(static_cast<uint32_t>(z0));
        const int32_t depth_step = static_cast<int32_t>(step);
        if (transparent) {
            at = span_setup_persp(at, destination, depth_row, n, depth, depth_step, static_cast<float>(U),
                                  static_cast<float>(V), static_cast<float>(cu), static_cast<float>(cv),
                                  static_cast<float>(W), static_cast<float>(mapper.w.dx));
        } else {
            at = span_setup_persp_z(at, destination, depth_row, n, depth, depth_step, static_cast<float>(U),
                                    static_cast<float>(V), static_cast<float>(cu), static_cast<float>(cv),
                                    static_cast<float>(W), static_cast<float>(mapper.w.dx));
        }
        ++count;
    }
    flush_plans(count, transparent);
}

void PolyRenderer::flush_plans(int count, bool transparent)
{
    if (count == 0) {
        return;
    }
    SpanPlan* plans = reinterpret_cast<SpanPlan*>(plans_);
    const PerspMapper& m = mapper;
    const bool mmx = projection->var_true(PV_MMX);
    if (transparent) {
        if ((m.texture->flags & TEXTURE_TRANSPARENT) != 0) {
            const uint16_t* texels = reinterpret_cast<const uint16_t*>(m.texels);
            (mmx ? span_draw_ztest_mmx : span_draw_ztest)(plans, count, texels, m.palette, m.ulog, m.vsize, m.level,
                                                          nullptr, nullptr);
        } else {
            span_draw_texture(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, nullptr, nullptr);
        }
        return;
    }
    if (m.flat()) {
        span_fill_flat(plans, count, m.flat_colour);
        return;
    }
    if (m.second != nullptr) {
        span_draw_texture_alt(plans, count, m.texture->levels[0].texels, m.texture->palette,
                              m.second->levels[0].texels, m.second->palette, m.texture->ulog, m.texture->vsize,
                              m.second_offset_u, m.second_offset_v);
        return;
    }
    // Lit drawers need the texels of one-byte maps; others are drawn unlit.
    const bool lit = projection->var_true(PV_LIGHTING) && m.polygon->samples != nullptr &&
                     (m.texture->flags & TEXTURE_TRANSPARENT) == 0;
    if (!lit) {
        span_draw_texture(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, nullptr, nullptr);
    } else if (!projection->var_true(PV_LFILTER)) {
        span_draw_lit(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, m.light_s, m.light_t, nullptr,
                      nullptr);
    } else if (projection->var_true(PV_TFILTER)) {
        span_draw_lit_filtered(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, m.light_s, m.light_t,
                               nullptr, nullptr);
    } else if (mmx) {
        span_draw_lit_mmx(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, m.light_s, m.light_t,
                          nullptr, nullptr);
    } else {
        span_draw_lit_blend(plans, count, m.texels, m.palette, m.ulog, m.vsize, m.level, m.light_s, m.light_t,
                            nullptr, nullptr);
    }
}

void PolyRenderer::print_stats() const
{
    if (var_true(PLV_POLYCOUNT)) {
        print_tagged(four_cc("PlCn"), "Polygons: %d total, %d rasterized, %d visible", stats.offered,
                     stats.rasterized, stats.drawn);
    }
    if (var_true(PLV_EDGECOUNT)) {
        edges.print_stats();
    }
    if (var_true(PLV_ENTITYCOUNT)) {
        print_tagged(four_cc("EnCn"), "Entities: %d meshes, %d sprites, %d lights", stats.entities[4],
                     stats.entities[1], stats.entities[5]);
    }
}
