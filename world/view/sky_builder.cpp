// The sky around the camera: a box of six textured sides, or a dome of 160
// triangles under two scrolling layers. Both are drawn centred on the camera
// and face inward, wound as every map polygon.
#include "world/view/client_world.h"

#include <array>
#include <cmath>
#include <new>
#include <vector>

namespace {

constexpr float SKY_BOX_HALF = 32768.0f;
constexpr float SKY_BOX_TEXELS = 255.8f;
constexpr float SKY_BOX_BORDER = 0.1f; // texels kept off the texture's edge

constexpr int32_t DOME_VERTICES = 82;
constexpr int32_t DOME_HALF_POLYGONS = 80;
constexpr double DOME_RADIUS = 20000.0;
constexpr double DOME_HALF_HEIGHT = 10000.0;
constexpr double DOME_PROJECTION_HEIGHT = 11250.0;
constexpr double DOME_TEXELS = 256.0;
constexpr int32_t DOME_LOWER_POLE = 41;

// Corners of the box sides in the order of the sky textures.
constexpr int BOX_SIDES[SKY_BOX_POLYGONS][4] = {{2, 3, 1, 0}, {4, 5, 7, 6}, {6, 7, 3, 2},
                                                 {7, 5, 1, 3}, {5, 4, 0, 1}, {4, 6, 2, 0}};

template <typename T>
bool allocate(T*& array, int32_t count)
{
    array = new (std::nothrow) T[count]();
    return array != nullptr;
}

Vector scaled(const Vector& v, float s) { return Vector{v.x * s, v.y * s, v.z * s}; }

Vector difference(const Vector& a, const Vector& b) { return Vector{a.x - b.x, a.y - b.y, a.z - b.z}; }

// The plane of three corners, facing the side that sees them clockwise.
Plane facing_plane(const Vector& a, const Vector& b, const Vector& c)
{
    const Vector e1 = difference(b, a);
    const Vector e2 = difference(c, b);
    Vector n;
    vec_cross(e2, e1, n);
    vec_normalize(n);
    return Plane{n, -vec_dot(n, a)};
}

struct Ring {
    int32_t first;
    int32_t count;
    double height;
    double radius;
    double azimuth0; // of the ring's first vertex
    double step;
};

// Triangles between two rings, ordered by azimuth: each has two corners on
// one ring and one on the other. Triangles with two corners on `upper` go to
// `to_upper`, the others to `to_lower`; every triangle runs positively in
// (azimuth, height), which is clockwise seen from the dome's inside.
void zip_rings(const Ring& upper, const Ring& lower, std::vector<std::array<int32_t, 3>>& to_upper,
               std::vector<std::array<int32_t, 3>>& to_lower)
{
    const double turn = 2.0 * M_PI;
    // The lower ring's vertex nearest in azimuth to the upper ring's first.
    int32_t j0 = 0;
    double best = turn;
    for (int32_t j = 0; j < lower.count; ++j) {
        double d = std::fmod(lower.azimuth0 + j * lower.step - upper.azimuth0 + 3.0 * turn, turn);
        d = d > M_PI ? turn - d : d;
        if (d < best) {
            best = d;
            j0 = j;
        }
    }
    double lower_start = lower.azimuth0 + j0 * lower.step;
    while (lower_start > upper.azimuth0 + M_PI) {
        lower_start -= turn;
    }
    while (lower_start <= upper.azimuth0 - M_PI) {
        lower_start += turn;
    }
    const auto u_at = [&](int32_t i) { return upper.first + i % upper.count; };
    const auto l_at = [&](int32_t k) { return lower.first + (j0 + k) % lower.count; };
    int32_t i = 0;
    int32_t k = 0;
    while (i < upper.count || k < lower.count) {
        const double next_u = upper.azimuth0 + (i + 1) * upper.step;
        const double next_l = lower_start + (k + 1) * lower.step;
        if (i < upper.count && (k == lower.count || next_u <= next_l)) {
            to_upper.push_back({u_at(i), l_at(k), u_at(i + 1)});
            ++i;
        } else {
            to_lower.push_back({u_at(i), l_at(k), l_at(k + 1)});
            ++k;
        }
    }
}

// The face's mapping puts the polygon's first three vertices at the dome's
// projected texture coordinates.
void make_sky_polygon(ClientWorld& world, int32_t index, const std::array<int32_t, 3>& corners)
{
    Vector** const pointers = world.sky_vertex_pointers + 3 * index;
    double uv[3][2];
    double p[3][3];
    for (int k = 0; k < 3; ++k) {
        const Vector& v = world.sky_vertices[corners[static_cast<size_t>(k)]];
        pointers[k] = &world.sky_vertices[corners[static_cast<size_t>(k)]];
        const double w = DOME_TEXELS / (double{v.z} + DOME_PROJECTION_HEIGHT);
        uv[k][0] = w * v.x;
        uv[k][1] = w * v.y;
        p[k][0] = v.x;
        p[k][1] = v.y;
        p[k][2] = v.z;
    }
    const double du1 = uv[1][0] - uv[0][0];
    const double dv1 = uv[1][1] - uv[0][1];
    const double du2 = uv[2][0] - uv[0][0];
    const double dv2 = uv[2][1] - uv[0][1];
    const double det = du1 * dv2 - du2 * dv1;
    double a[3];
    double b[3];
    double o[3];
    for (int c = 0; c < 3; ++c) {
        const double e1 = p[1][c] - p[0][c];
        const double e2 = p[2][c] - p[0][c];
        a[c] = det != 0.0 ? (dv2 * e1 - dv1 * e2) / det : 0.0;
        b[c] = det != 0.0 ? (du1 * e2 - du2 * e1) / det : 0.0;
        o[c] = p[0][c] - uv[0][0] * a[c] - uv[0][1] * b[c];
    }
    const auto vec = [](const double* x) {
        return Vector{static_cast<float>(x[0]), static_cast<float>(x[1]), static_cast<float>(x[2])};
    };
    world.sky_planes[index] = facing_plane(*pointers[0], *pointers[1], *pointers[2]);
    MapFace& face = world.sky_faces[index];
    setup_polygon_face(face, &world.texture_manager, &world.sky_patches[0], &world.sky_planes[index], vec(o),
                       vec(a), vec(b), FACE_SKY_DOME, false);
    face.second_patch = &world.sky_patches[1];
    setup_texture_axes(world.sky_polygons[index], pointers, 3, &face);
}

} // namespace

int build_sky_box(ClientWorld& world)
{
    if (!allocate(world.sky_vertices, 8) || !allocate(world.sky_vertex_pointers, 4 * SKY_BOX_POLYGONS) ||
        !allocate(world.sky_planes, SKY_BOX_POLYGONS) || !allocate(world.sky_patches, SKY_BOX_POLYGONS) ||
        !allocate(world.sky_faces, SKY_BOX_POLYGONS) || !allocate(world.sky_polygons, SKY_BOX_POLYGONS) ||
        world.sky_texture_count < SKY_BOX_POLYGONS) {
        return 0;
    }
    world.sky_polygon_count = SKY_BOX_POLYGONS;
    for (int i = 0; i < 8; ++i) {
        world.sky_vertices[i] = Vector{(i & 1) != 0 ? SKY_BOX_HALF : -SKY_BOX_HALF,
                                       (i & 2) != 0 ? SKY_BOX_HALF : -SKY_BOX_HALF,
                                       (i & 4) != 0 ? SKY_BOX_HALF : -SKY_BOX_HALF};
    }
    for (int k = 0; k < SKY_BOX_POLYGONS; ++k) {
        Vector** const corners = world.sky_vertex_pointers + 4 * k;
        for (int c = 0; c < 4; ++c) {
            corners[c] = &world.sky_vertices[BOX_SIDES[k][c]];
        }
        if (world.sky_patches[k].init(&world.sky_textures[k], 0.0f, 0.0f, 0, 0.0f, 0.0f, 0.0f, 0.0f) == 0) {
            return 0;
        }
        const Vector first = scaled(difference(*corners[1], *corners[0]), 1.0f / SKY_BOX_TEXELS);
        const Vector second = scaled(difference(*corners[3], *corners[0]), 1.0f / SKY_BOX_TEXELS);
        Vector origin = *corners[0];
        vec_add_scaled(origin, first, -SKY_BOX_BORDER);
        vec_add_scaled(origin, second, -SKY_BOX_BORDER);
        Vector normal;
        vec_cross(second, first, normal);
        vec_normalize(normal);
        world.sky_planes[k] = Plane{normal, -vec_dot(normal, origin)};
        setup_polygon_face(world.sky_faces[k], &world.texture_manager, &world.sky_patches[k], &world.sky_planes[k],
                           origin, first, second, FACE_SKY_BOX, false);
        setup_texture_axes(world.sky_polygons[k], corners, 4, &world.sky_faces[k]);
    }
    return 1;
}

int build_sky_dome(ClientWorld& world)
{
    if (!allocate(world.sky_vertices, DOME_VERTICES) || !allocate(world.sky_vertex_pointers, 3 * SKY_DOME_POLYGONS) ||
        !allocate(world.sky_planes, SKY_DOME_POLYGONS) || !allocate(world.sky_faces, SKY_DOME_POLYGONS) ||
        !allocate(world.sky_patches, 2) || !allocate(world.sky_polygons, SKY_DOME_POLYGONS) ||
        world.sky_texture_count < 2) {
        return 0;
    }
    world.sky_polygon_count = SKY_DOME_POLYGONS;
    const double e = M_PI / 7.0;
    // Rings of each half, from the pole toward the equator; the lower half's
    // third ring is turned by a sixteenth of a turn against the upper one's.
    Ring rings[2][3];
    for (int half = 0; half < 2; ++half) {
        const double sign = half == 0 ? 1.0 : -1.0;
        const int32_t base = half == 0 ? 1 : 42;
        rings[half][0] = Ring{base, 8, sign * DOME_HALF_HEIGHT * std::cos(e), DOME_RADIUS * std::sin(e), 0.0, M_PI / 4};
        rings[half][1] = Ring{base + 8, 16, sign * DOME_HALF_HEIGHT * std::cos(2 * e), DOME_RADIUS * std::sin(2 * e),
                              0.0, M_PI / 8};
        rings[half][2] = Ring{base + 24, 16, sign * DOME_HALF_HEIGHT * std::cos(3 * e), DOME_RADIUS * std::sin(3 * e),
                              sign * -M_PI / 32, M_PI / 8};
    }
    world.sky_vertices[0] = Vector{0.0f, 0.0f, static_cast<float>(DOME_HALF_HEIGHT)};
    world.sky_vertices[DOME_LOWER_POLE] = Vector{0.0f, 0.0f, static_cast<float>(-DOME_HALF_HEIGHT)};
    for (const auto& half : rings) {
        for (const Ring& ring : half) {
            for (int32_t j = 0; j < ring.count; ++j) {
                const double a = ring.azimuth0 + j * ring.step;
                world.sky_vertices[ring.first + j] =
                    Vector{static_cast<float>(ring.radius * std::cos(a)), static_cast<float>(ring.radius * std::sin(a)),
                           static_cast<float>(ring.height)};
            }
        }
    }
    if (world.sky_patches[0].init(&world.sky_textures[0], 5.0f, 5.0f, 0, 0.0f, 0.0f, 0.0f, 0.0f) == 0 ||
        world.sky_patches[1].init(&world.sky_textures[1], 10.0f, 10.0f, 0, 0.0f, 0.0f, 0.0f, 0.0f) == 0) {
        return 0;
    }
    std::vector<std::array<int32_t, 3>> upper;
    std::vector<std::array<int32_t, 3>> lower;
    for (int32_t i = 0; i < 8; ++i) {
        upper.push_back({0, 1 + i, 1 + (i + 1) % 8});
    }
    for (int32_t i = 0; i < 8; ++i) {
        lower.push_back({DOME_LOWER_POLE, 42 + (i + 1) % 8, 42 + i});
    }
    zip_rings(rings[0][0], rings[0][1], upper, upper);
    zip_rings(rings[0][1], rings[0][2], upper, upper);
    zip_rings(rings[1][1], rings[1][0], lower, lower);
    zip_rings(rings[1][2], rings[1][1], lower, lower);
    // The equator band: triangles with two upper corners belong to the upper half.
    zip_rings(rings[0][2], rings[1][2], upper, lower);
    if (static_cast<int32_t>(upper.size()) != DOME_HALF_POLYGONS ||
        static_cast<int32_t>(lower.size()) != DOME_HALF_POLYGONS) {
        return 0;
    }
    for (int32_t i = 0; i < DOME_HALF_POLYGONS; ++i) {
        make_sky_polygon(world, i, upper[static_cast<size_t>(i)]);
        make_sky_polygon(world, DOME_HALF_POLYGONS + i, lower[static_cast<size_t>(i)]);
    }
    return 1;
}
