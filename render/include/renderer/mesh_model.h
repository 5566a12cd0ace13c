#pragma once
// Animated mesh models: one textual file a model, named by a resource
// (directory, may be empty) and a model name. MeshModel is a cache owner
// whose data lives in cacheable blocks, loaded at the first touch, dropped by
// the heap under pressure and read again at the next touch.
//
// A model has up to ten skins, triangles that index vertices, groups of
// vertices that move as one (a group may hang on a vertex of an earlier
// group), sets that produce the vertices (set k < groups: group k alone; a
// later set blends the positions its member groups give), and key frames of
// quantised points with normal numbers, one frame a group at a time.
#include "core/cache_owner.h"
#include "core/vector.h"
#include "soft/mesh_triangle.h"
#include "renderer/texture.h"

#include <cstdint>

constexpr int MESH_NAME_LEN = 8;
constexpr int32_t MESH_MAX_VERTS = 2048;
constexpr int32_t MESH_MAX_TRIS = 2048;
constexpr int32_t MESH_MAX_GROUPS = 16;
constexpr int32_t MESH_MAX_SKINS = 10;
constexpr int32_t INV_TABLE_SIZE = 64; // a blended set has fewer members
// Files larger than these are refused before anything is allocated.
constexpr int32_t MESH_MAX_SETS = 4096;
constexpr int32_t MESH_MAX_GROUP_REFS = 65536;
constexpr int32_t MESH_MAX_FRAMES = 65536;
constexpr int32_t MESH_MAX_FRAME_POINTS = 1 << 22;

struct MeshVertexRecord {
    uint32_t group;  // whose transform a group hanging on this vertex takes over
    uint32_t second; // kept, not used
};

struct MeshGroup {
    uint32_t pivot_id; // the vertex the group hangs on; 0: none
    uint32_t points;   // points in each of the group's frames
};

struct MeshSet {
    const uint32_t* first; // its members in group_ref
    uint32_t groups;       // member count
    uint32_t vertices;     // vertices it produces
};

struct MeshFramePoint {
    uint8_t x, y, z;
    uint8_t n; // below MESH_NORMALS
};

struct MeshFrame {
    int32_t group_id;
    const MeshFramePoint* first;
    Vector origin;
    Vector scale;
};

// Everything a load checked: indices in range, counts that add up, pivots on
// vertices of earlier sets, so that drawing needs no further test.
struct MeshData {
    MeshVertexRecord* vertex;
    int32_t vertices;
    MeshGroup* group;
    int32_t groups;
    uint32_t* group_ref;
    int32_t group_refs;
    MeshSet* set;
    int32_t sets;
    MeshFrame* frame;
    int32_t frames;
    MeshFramePoint* frame_point;
    int32_t frame_points;
    MeshTriangle* triangle;
    int32_t triangles;
    Texture* skin_image;
    int32_t skin_images;
    float radius;               // largest distance of any point of any frame from the origin
    int32_t first_frame[MESH_MAX_GROUPS]; // each group's first frame
    uint8_t layout[4];          // the arrangement the skin palettes are in
};

// Reads a model file into a cleared data block; the blocks belong to owner
// (null: the general heap). 1, or 0 after printing why, with whatever was
// allocated still in the block for mesh_data_free.
int mesh_load_text(MeshData& data, CacheOwner* owner, const char* resource, const char* name);
// Frees every array and skin of the block, not the block.
void mesh_data_free(MeshData& data);
// Brings every skin palette from the arrangement it is in to `layout`.
void mesh_convert_skins(MeshData& data, const uint8_t layout[4]);

class MeshModel final : public CacheOwner {
public:
    MeshModel() = default;
    ~MeshModel() override;

    // 1, or 0 (nothing changed) when a name is missing or too long.
    int set_name(const char* resource, const char* name);

    // argument: the rgb_layout (const uint8_t[4]) the skins are converted
    // to, or 0. Prints "Mesh: Can't load model '%s:%s'" on failure.
    int load(uintptr_t layout) override;
    void drop() override { unload(); }
    void unload();
    void convert_skins(const uint8_t layout[4]);

    MeshData* model = nullptr; // null while not loaded
    char resource[MESH_NAME_LEN + 1] = {};
    char name[MESH_NAME_LEN + 1] = {};
};
