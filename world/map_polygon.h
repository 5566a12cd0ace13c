#pragma once
// The drawable geometry of a map: faces (a plane, a texture patch and a
// texture mapping) and convex polygons on them, with each polygon's lightmap
// and lamps; and the record by which a polygon reaches a renderer.
//
// Texture mapping: a point of a face is origin + u * u_axis + v * v_axis with
// u and v in level-0 texels. A light texel spans 16 x 16 texels; lightmap
// column c, row r sits at texture coordinates (s0 + 16 c, t0 + 16 r).
//
// Winding: seen from the front of its plane, a polygon's vertices run
// clockwise (on the y-down screen: clockwise too), so that
// (v[i] - v[i-1]) x (v[i+1] - v[i]) points away from the front, against the
// plane normal.
#include "core/matrix.h"
#include "core/vector.h"
#include "world/light_source.h"

#include <cstdint>

class AlgoTexture;
class TextureManager;
struct EntityLink;
struct Surface;

constexpr int POLYGON_MAX_VERTICES = 64;

// Face flags.
constexpr uint32_t FACE_OPPOSITE_PLANE = 0x10;
constexpr uint32_t FACE_SKY = 0x400;          // never drawn; asks for the sky
constexpr uint32_t FACE_TRANSPARENT = 0x1000; // the texture has opacity; never an occluder
constexpr uint32_t FACE_TWO_LAYERS = 0x100000;
constexpr uint32_t FACE_SURFACE_BITS = 0x0F000000; // copied from the frame's first surface

struct MapFace {
    AlgoTexture* patch = nullptr;
    AlgoTexture* second_patch = nullptr; // the second layer of a FACE_TWO_LAYERS face, or null
    const Plane* plane = nullptr;
    TextureManager* manager = nullptr;
    Vector origin = {0.0f, 0.0f, 0.0f};
    Vector u_axis = {0.0f, 0.0f, 0.0f};
    Vector v_axis = {0.0f, 0.0f, 0.0f};
    Vector normal = {0.0f, 0.0f, 0.0f}; // u_axis x v_axis
    float area = 0.0f;                  // |u_axis x v_axis|
    uint32_t flags = 0;

    // The renderer's per-frame state: its surfaces this frame and the next
    // face drawn with the same texture.
    int32_t frame_stamp = -1;
    Surface* surfaces = nullptr;
    MapFace* next_drawn = nullptr;
};

struct MapPolygon {
    Vector* const* vertices = nullptr;
    int32_t vertex_count = 0;
    MapFace* face = nullptr;
    const Plane* plane = nullptr;

    // Lighting, filled by the lightmap reader; samples null: no lightmap.
    LightRows lightmap;
    const uint8_t* samples = nullptr;
    const uint32_t* colours = nullptr; // null: the grey ramp
    const uint8_t* const* lamp_layers = nullptr;
    LampData* const* lamps = nullptr;
    int32_t lamp_count = 0;
    int32_t s0 = 0;
    int32_t t0 = 0;
    int32_t cell = 0;
    int32_t cell_pvs_offset = 0;
};

// The object-to-view transform of the polygons of one object (the world's is
// the view matrix itself).
struct TransformBlock {
    Matrix matrix;                      // object to view
    Matrix object;                      // object to world (lighting); identity for the world
    Vector camera = {0.0f, 0.0f, 0.0f}; // the camera in object coordinates
    int32_t has_object = 0;             // 0: world coordinates, the clip tree may be used
};

// The block of an object's polygons seen through the view matrix (view x
// object, the camera brought into the object's coordinates), or, with no
// object, of the world's.
void set_transform_block(TransformBlock& block, const Matrix& view, const Vector& camera, const Matrix* object);

// Reciprocal depth across the screen, scaled by 2^32: value(x, y) =
// c0 + cx x + cy y, x and y in pixels.
struct DepthPlane {
    int64_t c0 = 0;
    int64_t cx = 0;
    int64_t cy = 0;
};

struct PolygonRef {
    MapPolygon* polygon = nullptr;
    const TransformBlock* transform = nullptr;
    EntityLink* list_a = nullptr; // map lights (type 3), for model polygons
    EntityLink* list_b = nullptr; // lamp lights (type 0)
    int32_t order_key = 0;        // larger is nearer; -1 for model polygons, ordered by depth
    float camera_distance = 0.0f; // written by the renderer: plane distance of the camera
    DepthPlane depth;
    float mean_depth = 0.0f;
};

// Polygon set-up at map load: stores the vertices, count, face and its plane
// and clears the lighting fields; 1 when the polygon is convex in the winding
// above, 0 (with a warning) when a corner turns the other way.
int setup_texture_axes(MapPolygon& polygon, Vector* const* vertices, int32_t count, MapFace* face);
// Face set-up: FACE_TRANSPARENT follows whether the patch's texture has
// opacity (the caller, who holds the texture, tells).
void setup_polygon_face(MapFace& face, TextureManager* manager, AlgoTexture* patch, const Plane* plane,
                        const Vector& origin, const Vector& u_axis, const Vector& v_axis, uint32_t flags,
                        bool transparent_texture);
