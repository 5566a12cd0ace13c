#include "core/vector.h"

float vec_length(const Vector& v)
{
    const float d = vec_dot(v, v);
    return d > 0.0f ? std::sqrt(d) : 0.0f;
}

float vec_normalize(Vector& out, const Vector& v)
{
    const float d = vec_dot(v, v);
    if (!(d > 0.0f)) {
        vec_set(out, 0.0f, 0.0f, 0.0f);
        return 0.0f;
    }
    const float length = std::sqrt(d);
    vec_set(out, v.x / length, v.y / length, v.z / length);
    return length;
}

void vec_project(Vector& v, const Vector& a)
{
    const float aa = vec_dot(a, a);
    if (aa == 0.0f) {
        return;
    }
    float s = vec_dot(v, a);
    if (aa != 1.0f) {
        s /= aa;
    }
    vec_add_scaled(v, a, -s);
}

void vec_reject_plane(Vector& v, const Vector& a, const Vector& b)
{
    Vector n;
    vec_cross(a, b, n);
    const float nn = vec_dot(n, n);
    if (nn == 0.0f) {
        vec_project(v, a);
        return;
    }
    const float s = vec_dot(v, n) / nn;
    vec_set(v, s * n.x, s * n.y, s * n.z);
}

void vec_cross_normalized_dot(Vector& out, const Vector& c, const Vector& a, const Vector& b)
{
    Vector n;
    vec_cross(a, b, n);
    const float s = 1.0f / vec_dot(c, n);
    vec_set(out, n.x * s, n.y * s, n.z * s);
}

void plane_from_vectors(Plane& out, const Vector& p, const Vector& a, const Vector& b)
{
    Vector n;
    vec_cross(b, a, n);
    const float s = 1.0f / std::sqrt(vec_dot(n, n));
    vec_set(out.normal, n.x * s, n.y * s, n.z * s);
    out.d = -vec_dot(p, out.normal);
}

void sphere_from_box(Sphere& out, const Vector& a, const Vector& b)
{
    vec_set(out.centre, (a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f);
    Vector d = b;
    vec_sub(d, out.centre);
    out.radius = vec_length(d);
}
