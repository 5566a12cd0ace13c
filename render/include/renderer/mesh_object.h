#pragma once
// The render object of a mesh entity: its model, its ambient colour, the
// lights the world renderer found near it, and a pose a group (two key
// frames and a blend factor). Drawing lights the model, blends the frames,
// places the groups, projects every vertex once into mesh_vertex and hands
// the triangles to the mesh triangle drawers.
#include "world/mesh_light.h"
#include "renderer/mesh_model.h"
#include "world/view/render_object.h"
#include "world/bsp_tree.h"
#include "world/render_record.h"

#include <cstdint>

class ScreenProjection;

struct MeshPose {
    int32_t frame1 = 0;
    int32_t frame2 = 0;
    float t = 0.0f; // 0: frame 1, 1: frame 2
    Vector offset = {};
    Vector angles = {};
    Matrix matrix = {};

    void reset();
    void set_frames(int32_t f1, int32_t f2, float blend);
    void set_offset(const Vector& v);
    void set_angles(const Vector& a);
};

// The projected vertices and triangle set-ups of the mesh being drawn.
extern MeshVertex mesh_vertex[MESH_MAX_VERTS];
extern TriangleGradients mesh_setup[MESH_MAX_TRIS];

// Projects, lights and draws one model. A pose frame out of range or of
// another group is drawn as the group's first frame.
void draw_mesh(const MeshData& model, ScreenProjection& projection, const MeshPose* poses, const Matrix& object,
               const MeshLightVector lights[3]);

class MeshObject : public RenderRecord, public RenderObject {
public:
    MeshObject() { init(); }

    int entity_type() const override { return ENTITY_TYPE_MESH; }
    RenderObject* render_object() override { return this; }
    void draw(ScreenProjection& projection);
    void draw(PolyRenderer& renderer) override;

    void init();
    // Loads the model when needed; with data, the radius becomes the model's
    // and every group shows its first frame.
    void attach(MeshModel* model, ScreenProjection& projection);
    // Groups beyond the model's are ignored.
    void set_pose(int32_t gid, int32_t frame1, int32_t frame2, float t);
    void set_skin(uint32_t colour) { ambient = colour; }
    void set_transparency(float) {}
    void set_lighting(float, float) {}

    const EntityLink* light_list_a = nullptr; // LightSource links, lamps optional
    const EntityLink* light_list_b = nullptr; // LightSource links with lamps
    MeshModel* owner = nullptr;
    uint32_t ambient = 0; // red in byte 0
    MeshPose pose[MESH_MAX_GROUPS];
};
