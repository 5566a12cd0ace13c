#pragma once
// Walks of one hull tree of a volume set: the leaf that holds a point, and the
// first leaf a segment enters whose contents lie above a threshold. Sides: a
// point is in front of a plane only when n.p + d > 0; a distance of 0 or less
// is behind (unlike the renderer, which goes by the sign bit).
#include "core/vector.h"
#include "world/volume_set.h"

#include <cstdint>

// What a segment walk found.
struct TreeHit {
    int32_t contents = 0;  // of the leaf entered
    float fraction = 0.0f; // segment parameter of the hit, in direction vectors
    Vector point = {0.0f, 0.0f, 0.0f}; // where the segment entered that leaf
    Vector normal = {0.0f, 0.0f, 0.0f}; // of the last plane crossed, facing the side it came from
    int32_t normal_valid = 0;           // 1 when a plane was crossed before the hit
};

// The box of the segment a .. b, each bound taken as fmin and fmax take it
// (a NaN end gives way to the other) without their calls.
inline void segment_box(const Vector& a, const Vector& b, Vector& lo, Vector& hi)
{
    // Written so that they compile to min and max without branches.
    const auto lesser = [](float x, float y) {
        const float m = y < x ? y : x;
        return x == x ? m : y;
    };
    const auto greater = [](float x, float y) {
        const float m = y > x ? y : x;
        return x == x ? m : y;
    };
    lo = Vector{lesser(a.x, b.x), lesser(a.y, b.y), lesser(a.z, b.z)};
    hi = Vector{greater(a.x, b.x), greater(a.y, b.y), greater(a.z, b.z)};
}

// The leaf that holds the point; null for an empty tree.
const VolumeElement* tree_leaf_at(const VolumeTree& tree, const Vector& point);
// The contents at the point: 1 outside the tree's box or in an empty tree.
int32_t tree_point_contents(const VolumeTree& tree, const Vector& point);

// The segment start .. start + direction x scale. The leaf where it starts
// never stops it, nor do later leaves of that same contents until another
// contents came between; the first leaf after that whose contents exceed the
// threshold is the hit. 1 on a hit (filled in), else 0.
int tree_cast_segment(const VolumeTree& tree, TreeHit& hit, const Vector& start, const Vector& direction, float scale,
                      int32_t threshold);
