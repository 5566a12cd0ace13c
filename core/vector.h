#pragma once
// Vectors of three floats, planes and spheres. All values are 32-bit floats;
// sums may be kept in higher precision.
#include <cmath>

struct Vector {
    float x, y, z;
};

// A point p lies at signed distance normal.p + d.
struct Plane {
    Vector normal;
    float d;
};

struct Sphere {
    Vector centre;
    float radius;
};

inline void vec_copy(Vector& out, const Vector& v) { out = v; }

inline void vec_set(Vector& v, float x, float y, float z)
{
    v.x = x;
    v.y = y;
    v.z = z;
}

inline float vec_dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// v += w
inline void vec_add(Vector& v, const Vector& w)
{
    v.x += w.x;
    v.y += w.y;
    v.z += w.z;
}

// v += s w
inline void vec_add_scaled(Vector& v, const Vector& w, float s)
{
    v.x += s * w.x;
    v.y += s * w.y;
    v.z += s * w.z;
}

// v -= w
inline void vec_sub(Vector& v, const Vector& w)
{
    v.x -= w.x;
    v.y -= w.y;
    v.z -= w.z;
}

inline void vec_negate(Vector& out, const Vector& v)
{
    out.x = -v.x;
    out.y = -v.y;
    out.z = -v.z;
}

// out = a x b; out may be a or b.
inline void vec_cross(const Vector& a, const Vector& b, Vector& out)
{
    const Vector r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    out = r;
}

inline float vec_abs_difference(const Vector& a, const Vector& b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

inline int vec_differs(const Vector& a, const Vector& b) { return vec_abs_difference(a, b) > 0.0f ? 1 : 0; }

inline int vec_equal(const Vector& a, const Vector& b) { return vec_abs_difference(a, b) == 0.0f ? 1 : 0; }

// c . (a x b)
inline float vec_triple(const Vector& c, const Vector& a, const Vector& b)
{
    Vector n;
    vec_cross(a, b, n);
    return vec_dot(c, n);
}

// 0 unless v.v is above 0.
float vec_length(const Vector& v);
// out = v / |v|, the zero vector when v.v is not above 0; out may be v.
// Returns the length of v.
float vec_normalize(Vector& out, const Vector& v);
inline float vec_normalize(Vector& v) { return vec_normalize(v, v); }
// Removes from v its component along a; v is unchanged when a.a is 0.
void vec_project(Vector& v, const Vector& a);
// Keeps only the part of v along n = a x b; vec_project (v, a) when n.n is 0.
void vec_reject_plane(Vector& v, const Vector& a, const Vector& b);
// out = (a x b) / (c . (a x b))
void vec_cross_normalized_dot(Vector& out, const Vector& c, const Vector& a, const Vector& b);

inline float plane_distance(const Plane& plane, const Vector& p) { return vec_dot(plane.normal, p) + plane.d; }
// normal = b x a scaled to length 1, d = -(p . normal); a and b must not be parallel.
void plane_from_vectors(Plane& out, const Vector& p, const Vector& a, const Vector& b);
// The sphere around the box with corners a and b.
void sphere_from_box(Sphere& out, const Vector& a, const Vector& b);
