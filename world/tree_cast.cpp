#include "world/tree_cast.h"

namespace {

constexpr int32_t SEEN_NOTHING = -1;
constexpr int32_t SEEN_CHANGE = -2;

bool in_box(const VolumeTree& tree, const Vector& p)
{
    return p.x >= tree.box_min.x && p.x <= tree.box_max.x && p.y >= tree.box_min.y && p.y <= tree.box_max.y &&
           p.z >= tree.box_min.z && p.z <= tree.box_max.z;
}

// The walk's state; kept here rather than in the tree so that walks of one
// set never disturb each other.
struct SegmentWalk {
    TreeHit& hit;
    const Vector& direction;
    int32_t threshold;
    int32_t seen = SEEN_NOTHING;

    // The sub-segment from p over the parameters t0 .. t0 + length. A node
    // the sub-segment does not cross, and the far side of one it crosses,
    // are walked in the loop; only the near side of a crossing recurses, so
    // the depth is bounded by the tree's, which the reader checked.
    int walk(const VolumeElement* e, Vector p, float t0, float length)
    {
        // A copy the hit's stores cannot touch, so it stays in registers.
        const Vector d = direction;
        for (;;) {
            if (e->is_leaf()) {
                return leaf(e->contents, p, t0);
            }
            const Plane& plane = e->split;
            float dist = plane_distance(plane, p);
            Vector n = plane.normal;
            const VolumeElement* near = e->front;
            const VolumeElement* far = e->back;
            if (dist <= 0.0f) {
                dist = -dist;
                vec_negate(n, n);
                near = e->back;
                far = e->front;
            }
            const float speed = -vec_dot(d, n);
            float tc = length;
            if (speed * 1e30f > dist) {
                tc = dist / speed;
                if (tc > length) {
                    tc = length;
                }
            }
            if (!(tc < length)) {
                e = near;
                length = tc;
                continue;
            }
            if (walk(near, p, t0, tc) != 0) {
                return 1;
            }
            hit.normal = n;
            hit.normal_valid = 1;
            vec_add_scaled(p, d, tc);
            e = far;
            t0 = t0 + tc;
            length = length - tc;
        }
    }

    int leaf(int32_t c, const Vector& p, float t0)
    {
        if (seen == SEEN_NOTHING) {
            seen = c;
            return 0;
        }
        if (c == seen) {
            return 0;
        }
        seen = SEEN_CHANGE;
        if (c <= threshold) {
            return 0;
        }
        hit.contents = c;
        hit.fraction = t0;
        hit.point = p;
        return 1;
    }
};

} // namespace

const VolumeElement* tree_leaf_at(const VolumeTree& tree, const Vector& point)
{
    const VolumeElement* e = tree.root;
    if (e == nullptr) {
        return nullptr;
    }
    while (!e->is_leaf()) {
        e = plane_distance(e->split, point) > 0.0f ? e->front : e->back;
    }
    return e;
}

int32_t tree_point_contents(const VolumeTree& tree, const Vector& point)
{
    if (!in_box(tree, point)) {
        return VOLUME_OUTSIDE_CONTENTS;
    }
    const VolumeElement* const leaf = tree_leaf_at(tree, point);
    return leaf != nullptr ? leaf->contents : VOLUME_OUTSIDE_CONTENTS;
}

int tree_cast_segment(const VolumeTree& tree, TreeHit& hit, const Vector& start, const Vector& direction, float scale,
                      int32_t threshold)
{
    Vector end = start;
    vec_add_scaled(end, direction, scale);
    Vector lo;
    Vector hi;
    segment_box(start, end, lo, hi);
    if (hi.x < tree.box_min.x || lo.x > tree.box_max.x || hi.y < tree.box_min.y || lo.y > tree.box_max.y ||
        hi.z < tree.box_min.z || lo.z > tree.box_max.z) {
        return 0;
    }
    if (tree.root == nullptr) {
        return 0;
    }
    hit.normal_valid = 0;
    SegmentWalk w{hit, direction, threshold};
    return w.walk(tree.root, start, 0.0f, scale);
}
