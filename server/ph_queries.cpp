// What lies at a point or along a segment, among the map and the volumes
// that entities carry; and the find cursors.
#include "core/print.h"
#include "server/ph_frame.h"
#include "server/physics_server.h"

#include <cmath>
#include <limits>

namespace {

// Whether o's tree may hold the point: a point farther from o than its box
// reaches is outside it, whatever o's turn.
bool may_hold(const PhysicalEntity& o, const VolumeTree& tree, const Vector& p)
{
    const Vector d = {p.x - o.position.x, p.y - o.position.y, p.z - o.position.z};
    return vec_dot(d, d) <= tree.reach_squared;
}

} // namespace

int32_t PhysicsServer::point_contents(int32_t tree, const Vector& point, const EntityList& near)
{
    ++stats_.locates;
    int32_t contents = tree_point_contents(volumes_->tree(0, tree), point);
    for (int32_t k = 0; k < near.count; ++k) {
        const PhysicalEntity* const o = near.items[k];
        if (!o->alive() || o->volume == nullptr || tree >= o->volume->tree_count) {
            continue;
        }
        ++stats_.locate_volume_tests;
        const VolumeTree& t = o->volume->trees[tree];
        const int32_t c = may_hold(*o, t, point) && !clear_of_tree(*o, t, point, point)
                              ? tree_point_contents(t, into_frame(o->transform, point))
                              : VOLUME_OUTSIDE_CONTENTS;
        contents = c > contents ? c : contents;
    }
    return contents;
}

int32_t PhysicsServer::physical_point_material(int32_t number, const Vector& point)
{
    if (!running() || !finite(point)) {
        return 0;
    }
    const PhysicalEntity* const e = entity(number);
    EntityList none;
    return point_contents(e != nullptr && e->motion != nullptr ? e->motion->tree : 0, point, none);
}

int PhysicsServer::cast_segment(RayHit& hit, const Vector& start, const Vector& direction, float length,
                                int32_t threshold, int32_t tree, const EntityList& near)
{
    hit.object = 0;
    hit.entity = nullptr;
    ++stats_.ray_casts;
    float limit = length;
    int found = tree_cast_segment(volumes_->tree(0, tree), hit, start, direction, length, threshold);
    if (found != 0) {
        limit = hit.fraction;
    }
    Vector end = start;
    vec_add_scaled(end, direction, length);
    Vector lo;
    Vector hi;
    segment_box(start, end, lo, hi);
    for (int32_t k = 0; k < near.count; ++k) {
        PhysicalEntity* const o = near.items[k];
        if (!o->alive() || o->volume == nullptr || tree >= o->volume->tree_count) {
            continue;
        }
        ++stats_.ray_volume_tests;
        // A volume whose reach the segment's box misses cannot be hit.
        const float reach = o->volume->trees[tree].reach;
        const Vector& c = o->position;
        if (c.x + reach < lo.x || c.x - reach > hi.x || c.y + reach < lo.y || c.y - reach > hi.y ||
            c.z + reach < lo.z || c.z - reach > hi.z ||
            clear_of_tree(*o, o->volume->trees[tree], lo, hi)) {
            continue;
        }
        // A walk of its own, so that one that misses leaves the kept hit whole.
        TreeHit local;
        const Vector local_direction = unturned(o->transform, direction);
        if (tree_cast_segment(o->volume->trees[tree], local, into_frame(o->transform, start), local_direction, limit,
                              threshold) == 0) {
            continue;
        }
        static_cast<TreeHit&>(hit) = local;
        mat_rotate_vector(hit.point, o->transform, local.point);
        if (local.normal_valid != 0) {
            hit.normal = turned(o->transform, local.normal);
        }
        hit.entity = o;
        hit.object = o->object;
        limit = local.fraction;
        found = 1;
    }
    return found;
}

int PhysicsServer::cast_ray(RayHit& hit, const Vector& start, const Vector& direction, float length, int32_t material,
                            const Vector& size, int32_t excluded)
{
    hit.object = 0;
    hit.entity = nullptr;
    if (!running() || !finite(start) || !finite(direction) || !std::isfinite(length) || !finite(size)) {
        return 0;
    }
    Vector end = start;
    vec_add_scaled(end, direction, length);
    Vector lo;
    Vector hi;
    segment_box(start, end, lo, hi);
    EntityList near;
    locator_.in_box(lo, hi, near);
    const PhysicalEntity* const skip = entity(excluded);
    int32_t kept = 0;
    for (int32_t k = 0; k < near.count; ++k) {
        if (near.items[k] != skip) {
            near.items[kept++] = near.items[k];
        }
    }
    near.count = kept;
    // Contents of m and above stop the ray; the lowest m a script can give stops it at everything.
    const int32_t threshold = material == std::numeric_limits<int32_t>::min() ? material : material - 1;
    return cast_segment(hit, start, direction, length, threshold, volumes_->nearest_tree(size), near);
}

int32_t PhysicsServer::find_entity(const Vector& centre, float radius, uint32_t mask, uint32_t value)
{
    if (!running() || !finite(centre) || !std::isfinite(radius)) {
        return -1;
    }
    const int32_t c = cursor_list_.alloc();
    if (c < 0) {
        print_format(P_WARNING, "Physics: All %d find cursors in use", PHYS_FIND_CURSORS);
        return -1;
    }
    FindCursor& cursor = cursors_[c];
    cursor.list.clear();
    cursor.read = 0;
    EntityList near;
    locator_.within(centre, radius, near);
    for (int32_t k = 0; k < near.count; ++k) {
        PhysicalEntity* const o = near.items[k];
        if (o->object != 0 && script_ != nullptr && (script_->class_flags(o->object) & mask) == value) {
            cursor.list.add(o);
        }
    }
    return c;
}

uint32_t PhysicsServer::find_first(int32_t c)
{
    if (c < 0 || c >= PHYS_FIND_CURSORS || !cursor_list_.contains(c)) {
        return 0;
    }
    cursors_[c].read = 0;
    return find_next(c);
}

uint32_t PhysicsServer::find_next(int32_t c)
{
    if (c < 0 || c >= PHYS_FIND_CURSORS || !cursor_list_.contains(c)) {
        return 0;
    }
    FindCursor& cursor = cursors_[c];
    // Entities destroyed since the find are passed over.
    while (cursor.read < cursor.list.count) {
        const PhysicalEntity* const o = cursor.list.items[cursor.read++];
        if (o->alive() && o->object != 0) {
            return o->object;
        }
    }
    return 0;
}

void PhysicsServer::find_done(int32_t c)
{
    if (c >= 0 && c < PHYS_FIND_CURSORS && cursor_list_.contains(c)) {
        cursors_[c].list.clear();
        cursor_list_.free(c);
    }
}
