#pragma once
// 3x4 affine matrices: three rows of four floats, row-major. Row r holds the
// rotation m[4r..4r+2] and the translation m[4r+3]; a point p maps to R p + t.
#include "core/vector.h"

struct Matrix {
    float m[12];
};

void mat_identity(Matrix& m);
void mat_translation(Matrix& m, const Vector& v);
inline void mat_copy(Matrix& out, const Matrix& m) { out = m; }
void mat_set_translation(Matrix& m, const Vector& v);
void mat_get_translation(Vector& out, const Matrix& m);
void mat_get_column0(Vector& out, const Matrix& m);
void mat_get_column1(Vector& out, const Matrix& m);
void mat_get_column2(Vector& out, const Matrix& m);
void mat_get_row0(Vector& out, const Matrix& m);
void mat_get_row1(Vector& out, const Matrix& m);
void mat_get_row2(Vector& out, const Matrix& m);
// out = R p + t; out may be p.
void mat_rotate_vector(Vector& out, const Matrix& m, const Vector& p);
// out = R-transposed v, without translation; out may be v.
void mat_unrotate_vector(Vector& out, const Matrix& m, const Vector& v);
// The translation of the inverse of a rigid matrix: -(R-transposed t).
void mat_inverse_translation(Vector& out, const Matrix& m);
// out = a b (b applied first); out may be a or b.
void mat_multiply(Matrix& out, const Matrix& a, const Matrix& b);
// Rows u, s, f with f the normalised direction; no translation.
void mat_from_direction(Matrix& m, const Vector& d);

// Rotations from three angles in radians through the sine table, and their
// exact inverses. The table forms need the global sine table.
void mat_from_angles(Matrix& m, const Vector& p, float a, float b, float c);
void mat_from_angles_inv(Matrix& m, const Vector& p, float a, float b, float c);
void mat_from_angles_alt(Matrix& m, const Vector& p, float a, float b, float c);
void mat_from_angles_alt_inv(Matrix& m, const Vector& p, float a, float b, float c);
