#include "world/map_polygon.h"

#include "core/print.h"

#include <cmath>

namespace {

// Below this, a corner turns against the winding: the polygon is not convex.
constexpr double CONVEX_TOLERANCE = 0.001;

} // namespace

int setup_texture_axes(MapPolygon& polygon, Vector* const* vertices, int32_t count, MapFace* face)
{
    polygon.vertices = vertices;
    polygon.vertex_count = count;
    polygon.face = face;
    polygon.plane = face != nullptr ? face->plane : nullptr;
    polygon.lightmap = LightRows{};
    polygon.samples = nullptr;
    polygon.colours = nullptr;
    polygon.lamp_layers = nullptr;
    polygon.lamps = nullptr;
    polygon.lamp_count = 0;
    polygon.s0 = 0;
    polygon.t0 = 0;
    if (polygon.plane == nullptr) {
        return 1;
    }
    const Vector& n = polygon.plane->normal;
    for (int32_t i = 0; i < count; ++i) {
        const Vector& a = *vertices[(i + count - 1) % count];
        const Vector& b = *vertices[i];
        const Vector& c = *vertices[(i + 1) % count];
        const double e1[3] = {double{b.x} - a.x, double{b.y} - a.y, double{b.z} - a.z};
        const double e2[3] = {double{c.x} - b.x, double{c.y} - b.y, double{c.z} - b.z};
        const double cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
        const double l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
        const double l2 = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
        if (!(l1 > 0.0 && l2 > 0.0)) {
            continue; // a repeated vertex turns no corner
        }
        // Clockwise seen from the front: each turn points against the normal.
        const double s = -(cross[0] * n.x + cross[1] * n.y + cross[2] * n.z) / (l1 * l2);
        if (s < -CONVEX_TOLERANCE) {
            print_format(2, "KLoad: Angle magic value is %.3f ->\n", s);
            return 0;
        }
    }
    return 1;
}

void setup_polygon_face(MapFace& face, TextureManager* manager, AlgoTexture* patch, const Plane* plane,
                        const Vector& origin, const Vector& u_axis, const Vector& v_axis, uint32_t flags,
                        bool transparent_texture)
{
    face.manager = manager;
    face.patch = patch;
    face.plane = plane;
    face.origin = origin;
    face.u_axis = u_axis;
    face.v_axis = v_axis;
    vec_cross(u_axis, v_axis, face.normal);
    face.area = vec_length(face.normal);
    face.flags = transparent_texture ? flags | FACE_TRANSPARENT : flags & ~FACE_TRANSPARENT;
    face.frame_stamp = -1;
    face.surfaces = nullptr;
    face.next_drawn = nullptr;
}

void set_transform_block(TransformBlock& block, const Matrix& view, const Vector& camera, const Matrix* object)
{
    if (object == nullptr) {
        block.matrix = view;
        mat_identity(block.object);
        block.camera = camera;
        block.has_object = 0;
        return;
    }
    mat_multiply(block.matrix, view, *object);
    block.object = *object;
    Vector t;
    mat_get_translation(t, *object);
    Vector relative = camera;
    vec_sub(relative, t);
    mat_unrotate_vector(block.camera, *object, relative);
    block.has_object = 1;
}
