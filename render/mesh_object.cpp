#include "renderer/mesh_object.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "render/poly_renderer.h"
#include "renderer/screen_projection.h"
#include "world/mesh_normals.h"

#include <cmath>

MeshVertex mesh_vertex[MESH_MAX_VERTS];
TriangleGradients mesh_setup[MESH_MAX_TRIS];

namespace {

// The cone |x| + |y| <= 4z stands in for clipping.
constexpr float MESH_CONE = 4.0f;

Vector rotate(const Matrix& m, const Vector& p)
{
    const float* r = m.m;
    return {r[0] * p.x + r[1] * p.y + r[2] * p.z, r[4] * p.x + r[5] * p.y + r[6] * p.z,
            r[8] * p.x + r[9] * p.y + r[10] * p.z};
}

struct GroupState {
    const MeshFramePoint* point1;
    const MeshFramePoint* point2;
    float w1;
    float w2;
    Vector scale1;
    Vector scale2;
    Matrix m; // group space to camera space
};

int32_t valid_frame(const MeshData& model, int32_t frame, int32_t group)
{
    return frame >= 0 && frame < model.frames && model.frame[frame].group_id == group ? frame
                                                                                      : model.first_frame[group];
}

Vector mul(const Vector& a, const Vector& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

// Position (camera space) and normal that one group gives its next vertex.
void group_point(GroupState& g, Vector& position, Vector& normal)
{
    const MeshFramePoint& p1 = *g.point1++;
    const MeshFramePoint& p2 = *g.point2++;
    const Vector q1 = mul(g.scale1, {float(p1.x), float(p1.y), float(p1.z)});
    const Vector q2 = mul(g.scale2, {float(p2.x), float(p2.y), float(p2.z)});
    Vector local = q1;
    vec_add(local, q2);
    mat_rotate_vector(position, g.m, local);
    Vector n = {0.0f, 0.0f, 0.0f};
    vec_add_scaled(n, mesh_normals[p1.n], g.w1);
    vec_add_scaled(n, mesh_normals[p2.n], g.w2);
    normal = rotate(g.m, n);
}

void finish_vertex(MeshVertex& v, const Vector& p, const Vector& normal, const ScreenProjection& projection,
                   const MeshLightVector lights[3])
{
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    const float q = MESH_CONE * p.z - std::fabs(p.y) - std::fabs(p.x);
    v.w = q;
    if (std::signbit(q) || std::isnan(q)) {
        return;
    }
    if (!(p.z > 0.0f)) {
        v.w = -1.0f; // the eye itself: inside the cone, but nowhere on the screen
        return;
    }
    const double iz = 1.0 / static_cast<double>(p.z);
    v.sx = wrap_add(float_to_int_round(p.x * projection.xscale_fixed * iz), projection.centre_x_fixed);
    v.sy = wrap_add(float_to_int_round(p.y * projection.yscale_fixed * iz), projection.centre_y_fixed);
    v.w = static_cast<float>(std::ldexp(iz, 32));
    for (int k = 0; k < 3; ++k) {
        v.light[k] = mesh_vertex_light(lights[k], normal);
    }
}

DrawWindow window_of(const ScreenProjection& projection)
{
    DrawWindow w{};
    w.pixels = projection.window_pixels;
    w.line_offset = projection.line_offset;
    w.depth_rows = projection.depth_rows;
    w.width = projection.xsize;
    w.height = projection.ysize;
    for (int k = 0; k < 4; ++k) {
        w.rgb_layout[k] = projection.rgb_layout[k];
    }
    w.palette = projection.palette;
    w.textures = projection.var_true(PV_TEXTURE);
    w.mmx = projection.var_true(PV_MMX);
    return w;
}

} // namespace

void MeshPose::reset()
{
    frame1 = frame2 = 0;
    t = 0.0f;
    offset = angles = Vector{};
    mat_identity(matrix);
}

void MeshPose::set_frames(int32_t f1, int32_t f2, float blend)
{
    frame1 = f1;
    frame2 = f2;
    t = blend;
}

void MeshPose::set_offset(const Vector& v)
{
    offset = v;
    mat_from_angles(matrix, offset, angles.x, angles.y, angles.z);
}

void MeshPose::set_angles(const Vector& a)
{
    angles = a;
    mat_from_angles(matrix, offset, angles.x, angles.y, angles.z);
}

void draw_mesh(const MeshData& model, ScreenProjection& projection, const MeshPose* poses, const Matrix& object,
               const MeshLightVector lights[3])
{
    K_ASSERT(model.vertices <= MESH_MAX_VERTS && model.triangles <= MESH_MAX_TRIS);
    GroupState groups[MESH_MAX_GROUPS];
    MeshVertex* next = mesh_vertex;
    for (int32_t k = 0; k < model.groups; ++k) {
        GroupState& g = groups[k];
        const MeshPose& pose = poses[k];
        const MeshFrame& f1 = model.frame[valid_frame(model, pose.frame1, k)];
        const MeshFrame& f2 = model.frame[valid_frame(model, pose.frame2, k)];
        g.w1 = 1.0f - pose.t;
        g.w2 = pose.t;
        g.point1 = f1.first;
        g.point2 = f2.first;
        g.scale1 = {f1.scale.x * g.w1, f1.scale.y * g.w1, f1.scale.z * g.w1};
        g.scale2 = {f2.scale.x * g.w2, f2.scale.y * g.w2, f2.scale.z * g.w2};
        Vector origin = {0.0f, 0.0f, 0.0f};
        vec_add_scaled(origin, f1.origin, g.w1);
        vec_add_scaled(origin, f2.origin, g.w2);

        const uint32_t pivot = model.group[k].pivot_id;
        if (pivot != 0) {
            K_ASSERT(mesh_vertex + pivot < next);
            g.m = groups[model.vertex[pivot].group].m;
            Vector t = rotate(g.m, origin);
            vec_add(t, {mesh_vertex[pivot].x, mesh_vertex[pivot].y, mesh_vertex[pivot].z});
            mat_set_translation(g.m, t);
        } else {
            Matrix placed;
            Matrix shift;
            mat_translation(shift, origin);
            mat_multiply(placed, object, shift);
            mat_multiply(g.m, projection.transform, placed);
        }
        for (uint32_t i = 0; i < model.set[k].vertices; ++i) {
            Vector position;
            Vector normal;
            group_point(g, position, normal);
            finish_vertex(*next++, position, normal, projection, lights);
        }
    }
    for (int32_t k = model.groups; k < model.sets; ++k) {
        const MeshSet& set = model.set[k];
        const float share = projection.reciprocal[set.groups];
        for (uint32_t i = 0; i < set.vertices; ++i) {
            Vector position = {0.0f, 0.0f, 0.0f};
            Vector normal = {0.0f, 0.0f, 0.0f};
            for (uint32_t m = 0; m < set.groups; ++m) {
                Vector p;
                Vector n;
                group_point(groups[set.first[m]], p, n);
                vec_add(position, p);
                vec_add(normal, n);
            }
            finish_vertex(*next++, {position.x * share, position.y * share, position.z * share},
                          {normal.x * share, normal.y * share, normal.z * share}, projection, lights);
        }
    }

    const DrawWindow window = window_of(projection);
    if (projection.var_true(PV_PERSPMESH)) {
        for (int32_t i = 0; i < model.triangles; ++i) {
            mesh_triangle_draw_persp(&model.triangle[i], mesh_vertex, &window);
        }
        return;
    }
    int32_t set_up = 0;
    for (int32_t i = 0; i < model.triangles; ++i) {
        set_up += mesh_triangle_draw_inline(&mesh_setup[set_up], &model.triangle[i], mesh_vertex, &window);
    }
    for (int32_t i = 0; i < set_up; ++i) {
        mesh_triangle_draw_affine(&mesh_setup[i], &window);
    }
}

void MeshObject::init()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_MESH;
    render_flags = RENDER_NO_RASTER_TEST;
    light_list_a = light_list_b = nullptr;
    owner = nullptr;
    ambient = 0;
}

void MeshObject::attach(MeshModel* model, ScreenProjection& projection)
{
    K_ASSERT(model);
    owner = model;
    if (owner->touch(reinterpret_cast<uintptr_t>(projection.rgb_layout)) == 0) {
        return;
    }
    const MeshData& data = *owner->model;
    radius = data.radius;
    for (int32_t k = 0; k < MESH_MAX_GROUPS; ++k) {
        pose[k].reset();
        if (k < data.groups) {
            pose[k].frame1 = pose[k].frame2 = data.first_frame[k];
        }
    }
}

void MeshObject::set_pose(int32_t gid, int32_t frame1, int32_t frame2, float t)
{
    if (gid >= 0 && gid < MESH_MAX_GROUPS) {
        pose[gid].set_frames(frame1, frame2, t);
    }
}

void MeshObject::draw(PolyRenderer& renderer) { draw(*renderer.projection); }

void MeshObject::draw(ScreenProjection& projection)
{
    if (owner == nullptr || owner->touch(reinterpret_cast<uintptr_t>(projection.rgb_layout)) == 0) {
        return;
    }
    MeshLightVector lights[3];
    if (!projection.var_true(PV_LIGHTING)) {
        for (MeshLightVector& v : lights) {
            v = {{0.0f, 0.0f, 0.0f}, MESH_LIGHT_UNLIT};
        }
    } else {
        mesh_light_start(lights, ambient);
        for (const EntityLink* l = light_list_a; l != nullptr; l = l->next) {
            mesh_light_add(lights, *static_cast<const LightSource*>(l->entity), projection.transform, position, false);
        }
        for (const EntityLink* l = light_list_b; l != nullptr; l = l->next) {
            mesh_light_add(lights, *static_cast<const LightSource*>(l->entity), projection.transform, position, true);
        }
    }
    draw_mesh(*owner->model, projection, pose, transform, lights);
}
