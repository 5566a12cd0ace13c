#pragma once
// Random convex polygons for the clip structure and renderer tests, in camera
// space (x right, y down, z forward) seen from the eye at the origin, wound
// clockwise on the screen unless asked otherwise.
#include "core/vector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

struct SoupPolygon {
    std::vector<Vector> vertices;
    bool clockwise = true;
};

// A convex polygon of n corners around screen direction (sx, sy) = (x/z, y/z),
// of angular radius r, on a plane tilted by (tx, ty) through depth z at its
// centre: every corner lies on that plane, so the polygon is planar.
inline SoupPolygon soup_polygon(std::mt19937& rng, double sx, double sy, double r, double z, double tx, double ty,
                                int n, bool clockwise)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) {
        angles.push_back(unit(rng) * 2.0 * M_PI);
    }
    std::sort(angles.begin(), angles.end());
    SoupPolygon p;
    p.clockwise = clockwise;
    // Plane: z = z0 + tx (X - X0) + ty (Y - Y0) in camera space, through the centre ray.
    const double x0 = sx * z;
    const double y0 = sy * z;
    for (int i = 0; i < n; ++i) {
        const double a = angles[static_cast<size_t>(clockwise ? i : n - 1 - i)];
        // Increasing angle with y down turns clockwise on the screen.
        const double dx = sx + r * std::cos(a);
        const double dy = sy + r * std::sin(a);
        // Ray t (dx, dy, 1) meets the plane: t = (z0 - tx X0 - ty Y0) / (1 - tx dx - ty dy).
        const double t = (z - tx * x0 - ty * y0) / (1.0 - tx * dx - ty * dy);
        p.vertices.push_back(Vector{static_cast<float>(t * dx), static_cast<float>(t * dy), static_cast<float>(t)});
    }
    return p;
}

// The plane of a polygon with its normal toward the eye side that sees it clockwise.
inline Plane soup_plane(const SoupPolygon& p)
{
    const Vector& a = p.vertices[0];
    const Vector& b = p.vertices[1];
    const Vector& c = p.vertices[2];
    const double e1[3] = {double{b.x} - a.x, double{b.y} - a.y, double{b.z} - a.z};
    const double e2[3] = {double{c.x} - b.x, double{c.y} - b.y, double{c.z} - b.z};
    // Clockwise seen from the front: the turn points away from the viewer, so
    // the front normal is the opposite of e1 x e2.
    double n[3] = {-(e1[1] * e2[2] - e1[2] * e2[1]), -(e1[2] * e2[0] - e1[0] * e2[2]),
                   -(e1[0] * e2[1] - e1[1] * e2[0])};
    const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    Plane pl;
    pl.normal = Vector{static_cast<float>(n[0] / l), static_cast<float>(n[1] / l), static_cast<float>(n[2] / l)};
    pl.d = -(pl.normal.x * a.x + pl.normal.y * a.y + pl.normal.z * a.z);
    return pl;
}

// Whether the ray through screen direction (dx, dy) passes inside the
// polygon's cone, and at what depth; the margin keeps away from its edges
// (in units of the direction), negative to include a border.
inline bool ray_hits(const SoupPolygon& p, double dx, double dy, double margin, double* depth = nullptr)
{
    const size_t n = p.vertices.size();
    const double d[3] = {dx, dy, 1.0};
    for (size_t i = 0; i < n; ++i) {
        const Vector& a = p.vertices[i];
        const Vector& b = p.vertices[(i + 1) % n];
        // Plane through the eye and the edge; inside is where the clockwise
        // polygon's interior lies: (a x b) . d >= 0 seen on the y-down screen.
        const double nx = double{a.y} * b.z - double{a.z} * b.y;
        const double ny = double{a.z} * b.x - double{a.x} * b.z;
        const double nz = double{a.x} * b.y - double{a.y} * b.x;
        const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
        const double s = (nx * d[0] + ny * d[1] + nz * d[2]) / len;
        if ((p.clockwise ? s : -s) < margin) {
            return false;
        }
    }
    if (depth != nullptr) {
        const Plane pl = soup_plane(p);
        // z along the ray: t with n . (t d) + dist = 0.
        *depth = -pl.d / (pl.normal.x * d[0] + pl.normal.y * d[1] + pl.normal.z * d[2]);
    }
    return true;
}
