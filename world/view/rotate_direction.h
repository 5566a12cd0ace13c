#pragma once
// A direction (normal or axis) through the rotation of a 3x4 matrix, without
// its translation.
#include "core/matrix.h"

inline Vector rotate_direction(const Matrix& m, const Vector& v)
{
    const float* r = m.m;
    return Vector{r[0] * v.x + r[1] * v.y + r[2] * v.z, r[4] * v.x + r[5] * v.y + r[6] * v.z,
                  r[8] * v.x + r[9] * v.y + r[10] * v.z};
}
