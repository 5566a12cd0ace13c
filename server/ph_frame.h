#pragma once
// Taking points and directions into and out of an entity's frame, and the
// finiteness every value from a script is checked for.
#include "core/matrix.h"
#include "server/physics_entity.h"
#include "world/volume_set.h"

#include <cmath>

// The direction in the frame of m: the transposed rotation applied to v
// (mat_unrotate_vector's sums, inline for the walks' inner loops).
inline Vector unturned(const Matrix& m, const Vector& v)
{
    return Vector{m.m[0] * v.x + m.m[4] * v.y + m.m[8] * v.z, m.m[1] * v.x + m.m[5] * v.y + m.m[9] * v.z,
                  m.m[2] * v.x + m.m[6] * v.y + m.m[10] * v.z};
}

// The point in the frame of m: the transposed rotation applied to p - translation.
inline Vector into_frame(const Matrix& m, const Vector& p)
{
    return unturned(m, Vector{p.x - m.m[3], p.y - m.m[7], p.z - m.m[11]});
}

// The direction turned by m's rotation, without its translation.
inline Vector turned(const Matrix& m, const Vector& v)
{
    return Vector{m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z, m.m[4] * v.x + m.m[5] * v.y + m.m[6] * v.z,
                  m.m[8] * v.x + m.m[9] * v.y + m.m[10] * v.z};
}

inline bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Whether m's rotation is exactly none, so that a frame differs from the
// world by the translation alone.
inline bool turns_not(const Matrix& m)
{
    return m.m[0] == 1.0f && m.m[1] == 0.0f && m.m[2] == 0.0f && m.m[4] == 0.0f && m.m[5] == 1.0f &&
           m.m[6] == 0.0f && m.m[8] == 0.0f && m.m[9] == 0.0f && m.m[10] == 1.0f;
}

// Whether the world box lo .. hi lies outside the tree of the upright
// entity o by more than rounding could close, so that no walk of the tree
// from inside that box can find anything but the outside (contents 1, no
// hit). Checked in world space, it spares the turn into the frame. Not
// upright: false, the walk decides. The bounds are kept in o until it moves.
inline bool clear_of_tree(const PhysicalEntity& o, const VolumeTree& tree, const Vector& lo, const Vector& hi)
{
    if (!o.upright) {
        return false;
    }
    if (o.clear_tree != &tree) {
        const Matrix& m = o.transform;
        const float margin = 1.0f + 1e-4f * (std::fabs(m.m[3]) + std::fabs(m.m[7]) + std::fabs(m.m[11]) + tree.reach);
        o.clear_lo = Vector{m.m[3] + tree.box_min.x - margin, m.m[7] + tree.box_min.y - margin,
                            m.m[11] + tree.box_min.z - margin};
        o.clear_hi = Vector{m.m[3] + tree.box_max.x + margin, m.m[7] + tree.box_max.y + margin,
                            m.m[11] + tree.box_max.z + margin};
        o.clear_tree = &tree;
    }
    return hi.x < o.clear_lo.x || lo.x > o.clear_hi.x || hi.y < o.clear_lo.y || lo.y > o.clear_hi.y ||
           hi.z < o.clear_lo.z || lo.z > o.clear_hi.z;
}
