#pragma once
// Cuts a polygon by a plane in place: a vertex whose distance has its sign bit
// set lies outside. `distance(v)` gives a vertex's signed distance and
// `crossing(a, b, da, db)` the point where edge a-b crosses the plane, so each
// caller keeps its own arithmetic. A convex polygon grows by one vertex at
// most; a larger result would overrun the caller's array, so such a polygon
// is dropped. Answers the new vertex count.
#include "core/vector.h"

#include <cmath>
#include <cstring>
#include <vector>

template <typename Distance, typename Crossing>
int clip_polygon_by_plane(Vector* vertices, int count, Distance distance, Crossing crossing)
{
    constexpr int STACK_VERTICES = 72;
    if (count <= 0) {
        return 0;
    }
    float stack_d[STACK_VERTICES];
    // Each inside run adds two crossings: a polygon that is not convex may
    // yield up to 2 x count vertices here.
    Vector stack_out[2 * STACK_VERTICES];
    std::vector<float> heap_d;
    std::vector<Vector> heap_out;
    float* d = stack_d;
    Vector* out = stack_out;
    if (count > STACK_VERTICES) {
        heap_d.resize(static_cast<size_t>(count));
        heap_out.resize(2 * static_cast<size_t>(count));
        d = heap_d.data();
        out = heap_out.data();
    }
    int outside = 0;
    for (int i = 0; i < count; ++i) {
        d[i] = distance(vertices[i]);
        outside += std::signbit(d[i]) ? 1 : 0;
    }
    if (outside == 0) {
        return count;
    }
    if (outside == count) {
        return 0;
    }
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const int j = i + 1 < count ? i + 1 : 0;
        const bool in_i = !std::signbit(d[i]);
        if (in_i) {
            out[n++] = vertices[i];
        }
        if (in_i != !std::signbit(d[j])) {
            out[n++] = crossing(vertices[i], vertices[j], d[i], d[j]);
        }
    }
    if (n > count + 1) {
        return 0;
    }
    std::memcpy(vertices, out, static_cast<size_t>(n) * sizeof(Vector));
    return n;
}
