#pragma once
// MeshObject of the OpenGL program: the drawable of a mesh entity, its
// model, its own light colour, its translucency and specular lighting, the
// lights the world renderer found near it and one pose a group.
#include "core/matrix.h"
#include "renderer/mesh_model.h"
#include "world/bsp_tree.h"
#include "world/render_record.h"
#include "world/view/render_object.h"

#include <cstdint>

class ScreenProjection;

constexpr uint32_t MESH_TRANSLUCENT = 0x01;
constexpr int32_t MESH_VERTEX_FLOATS = 17;
constexpr int32_t MESH_SPECULAR_LEVELS = 8;

struct MeshPose {
    int32_t frame1 = 0;
    int32_t frame2 = 0;
    float t = 0.0f; // 0: frame 1, 1: frame 2
    int32_t cleared[3] = {};
    Vector angles = {};
    Matrix matrix = {};
};

class MeshObject : public RenderRecord, public RenderObject {
public:
    MeshObject() { init(); }

    int entity_type() const override { return ENTITY_TYPE_MESH; }
    RenderObject* render_object() override { return this; }
    void draw(PolyRenderer& renderer) override;
    // Interpolates, places and lights every vertex once into the frame's
    // vertex array, then draws the chains of each skin, and the specular
    // pass when R_MeshSpecular is on and the strength is not 0. Nothing
    // without R_MeshModels or model data, or when a pose frame is out of
    // range or of another group (poses come from the server).
    void draw(ScreenProjection& projection);

    void init();
    // With the model's data loaded, the radius becomes the model's and every
    // group starts at its own first frame.
    void attach(MeshModel* model, ScreenProjection& projection);
    // Groups beyond the model's are ignored.
    void set_pose(int32_t gid, int32_t frame1, int32_t frame2, float t);
    // The object's own light, red in byte 0.
    void set_skin(uint32_t colour) { skin_colour = colour; }
    // x not above 0 is opaque; otherwise the opacity is 1 - x.
    void set_transparency(float x);
    // The specular pass's strength and its level round(sharpness x 8) within 0..7.
    void set_lighting(float strength, float sharpness);

    MeshModel* owner = nullptr;
    uint32_t skin_colour = 0;
    float opacity = 1.0f;
    float specular_strength = 0.0f;
    int32_t specular_level = 0;
    uint32_t mesh_flags = 0x08;
    const EntityLink* light_list_a = nullptr; // LightSource links, lamps optional
    const EntityLink* light_list_b = nullptr; // LightSource links with lamps
    MeshPose pose[MESH_MAX_GROUPS];
};

// What the client's mesh entity and the model's unload call where nothing
// is left to do in this program.
inline void mesh_noop() {}

// One vertex of the frame's vertex array, as the chains send it to GL.
struct MeshVertexOut {
    float position[3];   // world space
    float normal[3];     // not renormalised after blending
    float reflection[3]; // the specular pass's texture coordinates are the first two
    float diffuse[4];    // alpha: the opacity
    float specular[4];
};
static_assert(sizeof(MeshVertexOut) == MESH_VERTEX_FLOATS * sizeof(float));

// The vertex array of the mesh drawn last (MESH_MAX_VERTS records).
const MeshVertexOut* mesh_vertex_array();
