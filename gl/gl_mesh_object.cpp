#include "renderer/mesh_object.h"
#include "renderer/poly_renderer.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "renderer/screen_projection.h"

#include <algorithm>

namespace {

// The first frame of a group: a model of several groups keeps each group's
// frames apart, so frame 0 would belong to group 0 only.
int32_t first_frame_of(const GLMeshData& data, int32_t group)
{
    for (int32_t f = 0; f < data.frames(); ++f) {
        if (data.frame[static_cast<size_t>(f)].group_id == group) {
            return f;
        }
    }
    return 0;
}

} // namespace

void MeshObject::init()
{
    render_object_init(*this);
    RenderObject::entity_type = ENTITY_TYPE_MESH;
    render_flags = RENDER_NO_RASTER_TEST;
    owner = nullptr;
    skin_colour = 0;
    opacity = 1.0f;
    specular_strength = 0.0f;
    specular_level = 0;
    mesh_flags = 0x08;
    light_list_a = light_list_b = nullptr;
}

void MeshObject::attach(MeshModel* model, ScreenProjection&)
{
    K_ASSERT(model);
    owner = model;
    if (owner->touch() == 0) {
        return;
    }
    const GLMeshData& data = *owner->model;
    radius = data.radius;
    for (int32_t k = 0; k < MESH_MAX_GROUPS; ++k) {
        MeshPose& p = pose[k];
        p = MeshPose{};
        if (k < data.groups()) {
            p.frame1 = p.frame2 = first_frame_of(data, k);
        }
        mat_from_angles(p.matrix, Vector{0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, 0.0f);
    }
}

void MeshObject::set_pose(int32_t gid, int32_t frame1, int32_t frame2, float t)
{
    // Poses come from the server: a group the model lacks is ignored.
    if (gid >= 0 && gid < MESH_MAX_GROUPS) {
        pose[gid].frame1 = frame1;
        pose[gid].frame2 = frame2;
        pose[gid].t = t;
    }
}

void MeshObject::set_transparency(float x)
{
    if (!(x > 0.0f)) {
        opacity = 1.0f;
        mesh_flags &= ~MESH_TRANSLUCENT;
    } else {
        opacity = 1.0f - x;
        mesh_flags |= MESH_TRANSLUCENT;
    }
}

void MeshObject::set_lighting(float strength, float sharpness)
{
    specular_strength = strength;
    specular_level = std::clamp(float_to_int_round(static_cast<double>(sharpness) * 8.0), 0,
                                MESH_SPECULAR_LEVELS - 1);
}

void MeshObject::draw(PolyRenderer& renderer) { draw(*renderer.projection); }
