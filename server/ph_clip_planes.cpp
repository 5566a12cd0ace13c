#include "server/ph_clip_planes.h"

#include <cmath>

bool clip_planes_add(MotionRecord& m, const Vector& n, float s)
{
    for (int32_t pos = 0; pos < m.clip_count; ++pos) {
        if (vec_dot(m.clip_normals[pos], n) >= 0.0f) {
            for (int32_t k = pos; k + 1 < m.clip_count; ++k) {
                m.clip_normals[k] = m.clip_normals[k + 1];
                m.clip_speeds[k] = m.clip_speeds[k + 1];
            }
            --m.clip_count;
        }
    }
    if (m.clip_count >= MAX_CLIPPING_PLANES) {
        return false;
    }
    m.clip_normals[m.clip_count] = n;
    m.clip_speeds[m.clip_count] = s + 0.005f;
    ++m.clip_count;
    return true;
}

void clip_planes_apply(const MotionRecord& m, Vector& v)
{
    const Vector* const n = m.clip_normals;
    const float* const s = m.clip_speeds;
    switch (m.clip_count) {
    case 0:
        return;
    case 1:
        vec_add_scaled(v, n[0], s[0] - vec_dot(n[0], v));
        return;
    case 2: {
        Vector d;
        vec_cross(n[0], n[1], d);
        const float dd = vec_dot(d, d);
        if (!(std::fabs(dd) >= 0.001f)) {
            v = Vector{0, 0, 0};
            return;
        }
        Vector a;
        Vector b;
        vec_cross_normalized_dot(a, n[0], n[1], d);
        vec_cross_normalized_dot(b, n[1], n[0], d);
        const float along = vec_dot(d, v) / dd;
        v = Vector{d.x * along, d.y * along, d.z * along};
        vec_add_scaled(v, a, s[0]);
        vec_add_scaled(v, b, s[1]);
        return;
    }
    case 3: {
        Vector c12;
        Vector c20;
        Vector c01;
        vec_cross(n[1], n[2], c12);
        vec_cross(n[2], n[0], c20);
        vec_cross(n[0], n[1], c01);
        const float det = vec_dot(n[0], c12);
        if (!(std::fabs(det) >= 0.001f)) {
            v = Vector{0, 0, 0};
            return;
        }
        v = Vector{0, 0, 0};
        vec_add_scaled(v, c12, s[0] / det);
        vec_add_scaled(v, c20, s[1] / det);
        vec_add_scaled(v, c01, s[2] / det);
        return;
    }
    default:
        v = Vector{0, 0, 0};
        return;
    }
}
