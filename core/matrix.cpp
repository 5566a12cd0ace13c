#include "core/matrix.h"

#include "core/kassert.h"
#include "core/sine_table.h"

#include <cmath>

namespace {

struct AngleTerms {
    float sa, ca, sb, cb, sc, cc;
};

AngleTerms table_terms(float a, float b, float c)
{
    K_ASSERT(sine_table && sine_table->values);
    const SineTable& t = *sine_table;
    const int32_t ka = t.index(a);
    const int32_t kb = t.index(b);
    const int32_t kc = t.index(c);
    return {t.sine_at(ka), t.cosine_at(ka), t.sine_at(kb), t.cosine_at(kb), t.sine_at(kc), t.cosine_at(kc)};
}

AngleTerms exact_terms(float a, float b, float c)
{
    return {std::sin(a), std::cos(a), std::sin(b), std::cos(b), std::sin(c), std::cos(c)};
}

void set_rotation(Matrix& m, const float (&r)[9])
{
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            m.m[4 * row + col] = r[3 * row + col];
        }
    }
}

void rotation_from_angles(float (&r)[9], const AngleTerms& t)
{
    r[0] = t.sa * t.sb * t.sc + t.ca * t.cc;
    r[1] = -t.sa * t.cb;
    r[2] = t.sa * t.sb * t.cc - t.ca * t.sc;
    r[3] = t.sa * t.cc - t.ca * t.sb * t.sc;
    r[4] = t.ca * t.cb;
    r[5] = -t.sa * t.sc - t.ca * t.sb * t.cc;
    r[6] = t.cb * t.sc;
    r[7] = t.sb;
    r[8] = t.cb * t.cc;
}

void rotation_from_angles_alt(float (&r)[9], const AngleTerms& t)
{
    r[0] = t.ca * t.cc + t.sa * t.sb * t.sc;
    r[1] = t.ca * t.sc - t.sa * t.sb * t.cc;
    r[2] = -t.sa * t.cb;
    r[3] = t.sa * t.cc - t.ca * t.sb * t.sc;
    r[4] = t.sa * t.sc + t.ca * t.sb * t.cc;
    r[5] = t.ca * t.cb;
    r[6] = t.cb * t.sc;
    r[7] = -t.cb * t.cc;
    r[8] = t.sb;
}

// Stores the transposed rotation and the translation -(R p) with the new R.
void set_inverse(Matrix& m, const float (&r)[9], const Vector& p)
{
    const float rt[9] = {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
    set_rotation(m, rt);
    m.m[3] = -(rt[0] * p.x + rt[1] * p.y + rt[2] * p.z);
    m.m[7] = -(rt[3] * p.x + rt[4] * p.y + rt[5] * p.z);
    m.m[11] = -(rt[6] * p.x + rt[7] * p.y + rt[8] * p.z);
}

using RotationBuilder = void (*)(float (&r)[9], const AngleTerms& t);

void table_form(Matrix& m, const Vector& p, const AngleTerms& t, RotationBuilder build)
{
    float r[9];
    build(r, t);
    set_rotation(m, r);
    mat_set_translation(m, p);
}

void inverse_form(Matrix& m, const Vector& p, const AngleTerms& t, RotationBuilder build)
{
    float r[9];
    build(r, t);
    set_inverse(m, r, p);
}

} // namespace

void mat_identity(Matrix& m)
{
    static const Matrix identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
    m = identity;
}

void mat_translation(Matrix& m, const Vector& v)
{
    mat_identity(m);
    mat_set_translation(m, v);
}

void mat_set_translation(Matrix& m, const Vector& v)
{
    m.m[3] = v.x;
    m.m[7] = v.y;
    m.m[11] = v.z;
}

void mat_get_translation(Vector& out, const Matrix& m) { vec_set(out, m.m[3], m.m[7], m.m[11]); }

void mat_get_column0(Vector& out, const Matrix& m) { vec_set(out, m.m[0], m.m[4], m.m[8]); }
void mat_get_column1(Vector& out, const Matrix& m) { vec_set(out, m.m[1], m.m[5], m.m[9]); }
void mat_get_column2(Vector& out, const Matrix& m) { vec_set(out, m.m[2], m.m[6], m.m[10]); }
void mat_get_row0(Vector& out, const Matrix& m) { vec_set(out, m.m[0], m.m[1], m.m[2]); }
void mat_get_row1(Vector& out, const Matrix& m) { vec_set(out, m.m[4], m.m[5], m.m[6]); }
void mat_get_row2(Vector& out, const Matrix& m) { vec_set(out, m.m[8], m.m[9], m.m[10]); }

void mat_rotate_vector(Vector& out, const Matrix& m, const Vector& p)
{
    const Vector r = {m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3],
                      m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7],
                      m.m[8] * p.x + m.m[9] * p.y + m.m[10] * p.z + m.m[11]};
    out = r;
}

void mat_unrotate_vector(Vector& out, const Matrix& m, const Vector& v)
{
    const Vector r = {m.m[0] * v.x + m.m[4] * v.y + m.m[8] * v.z, m.m[1] * v.x + m.m[5] * v.y + m.m[9] * v.z,
                      m.m[2] * v.x + m.m[6] * v.y + m.m[10] * v.z};
    out = r;
}

void mat_inverse_translation(Vector& out, const Matrix& m)
{
    Vector t;
    mat_get_translation(t, m);
    mat_unrotate_vector(out, m, t);
    vec_negate(out, out);
}

void mat_multiply(Matrix& out, const Matrix& a, const Matrix& b)
{
    Matrix r;
    for (int row = 0; row < 3; ++row) {
        const float* ar = &a.m[4 * row];
        for (int col = 0; col < 4; ++col) {
            r.m[4 * row + col] = ar[0] * b.m[col] + ar[1] * b.m[4 + col] + ar[2] * b.m[8 + col];
        }
        r.m[4 * row + 3] += ar[3];
    }
    out = r;
}

void mat_from_direction(Matrix& m, const Vector& d)
{
    Vector f;
    vec_normalize(f, d);
    Vector s;
    vec_cross(f, Vector{1.0f, 0.0f, 0.0f}, s);
    Vector u;
    if (vec_length(s) < 0.001f) {
        vec_set(u, 0.0f, 1.0f, 0.0f);
        vec_set(s, 0.0f, 0.0f, 1.0f);
    } else {
        vec_normalize(s);
        vec_cross(s, f, u);
    }
    const float r[9] = {u.x, u.y, u.z, s.x, s.y, s.z, f.x, f.y, f.z};
    set_rotation(m, r);
    mat_set_translation(m, Vector{0.0f, 0.0f, 0.0f});
}

void mat_from_angles(Matrix& m, const Vector& p, float a, float b, float c)
{
    table_form(m, p, table_terms(a, b, c), rotation_from_angles);
}

void mat_from_angles_inv(Matrix& m, const Vector& p, float a, float b, float c)
{
    inverse_form(m, p, exact_terms(a, b, c), rotation_from_angles);
}

void mat_from_angles_alt(Matrix& m, const Vector& p, float a, float b, float c)
{
    table_form(m, p, table_terms(a, b, c), rotation_from_angles_alt);
}

void mat_from_angles_alt_inv(Matrix& m, const Vector& p, float a, float b, float c)
{
    inverse_form(m, p, exact_terms(a, b, c), rotation_from_angles_alt);
}
