#pragma once
// Taking points and directions into and out of an entity's frame, and the
// finiteness every value from a script is checked for.
#include "core/matrix.h"

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
