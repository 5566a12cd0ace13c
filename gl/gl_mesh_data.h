#pragma once
// The OpenGL program's mesh model data: the model text ("textualModel,version004")
// read into triangle chains that GL draws as strips and fans. Records refer to
// each other by index into the block's arrays, never by pointer, so a block
// may be copied or moved.
//
// Drawing order: groups 0 .. groups-1 emit set k's vertices in turn, then the
// sets from `groups` on emit vertices averaged over their referenced groups;
// a vertex's place in that order is its model vertex index. Everything a load
// accepted holds for drawing: indices in range, counts that add up, every
// pivot emitted by an earlier group, so the draw needs no further test except
// for the pose frames, which come from the server (mesh_frame_of_group).
#include "world/mesh_normals.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int32_t MESH_MAX_VERTS = 2048;
constexpr int32_t INV_TABLE_SIZE = 64; // a shared vertex averages fewer groups
constexpr int32_t MESH_MAX_SKINS = 10;
constexpr int32_t MESH_MAX_GROUPS = 16; // a mesh object keeps one pose a group
constexpr int MESH_SKIN_NAMELEN = 8; // a skin is a texture: its name fits the texture's

struct GLMeshVertex {
    int32_t group; // whose rotation a group pivoting on this vertex copies
    int32_t point;
};

struct GLMeshGroup {
    int32_t pivot_id; // model vertex the group hangs on; 0: none
    int32_t points;   // points in each of its frames
};

// Sets below `groups` are the groups' own: only `vertices` is used.
struct GLMeshSet {
    int32_t first_ref; // into group_ref
    int32_t groups;    // references
    int32_t vertices;  // emitted
};

struct GLMeshFramePoint {
    uint8_t x, y, z; // quantised: offset + scale * byte
    uint8_t n;       // below MESH_NORMALS
};

struct GLMeshFrame {
    int32_t group_id;
    int32_t first_point; // into frame_point; the group's `points` follow
    float offset[3];
    float scale[3];
};

struct GLMeshTriangleVertex {
    int32_t vertex; // model vertex index
    int32_t s;      // skin texels, truncated toward zero
    int32_t t;
};

struct GLMeshTriangleChain {
    int32_t first; // into triangle_vertex
    int32_t count;
};

// A skin's texture is named by the model's resource and `name`; its chains
// are the strips, then straight after them the fans.
struct GLMeshSkin {
    char name[MESH_SKIN_NAMELEN + 1];
    int32_t first_strip; // into triangle_chain
    int32_t strips;
    int32_t first_fan;
    int32_t fans;
};

struct GLMeshData {
    std::vector<GLMeshVertex> vertex;
    std::vector<GLMeshGroup> group;
    std::vector<int32_t> group_ref;
    std::vector<GLMeshSet> set;
    std::vector<GLMeshFrame> frame;
    std::vector<GLMeshFramePoint> frame_point;
    std::vector<GLMeshTriangleVertex> triangle_vertex;
    std::vector<GLMeshTriangleChain> triangle_chain;
    std::vector<GLMeshSkin> skin_image;
    float radius = 0.0f; // largest distance of any decoded frame point from the origin

    int32_t vertices() const { return static_cast<int32_t>(vertex.size()); }
    int32_t groups() const { return static_cast<int32_t>(group.size()); }
    int32_t frames() const { return static_cast<int32_t>(frame.size()); }
};

// Reads a whole model text into data (cleared first). True, or false with
// data cleared and `why` naming the fault and its line.
bool read_mesh_text(std::string_view text, GLMeshData& data, std::string& why);

// Reads "models/<resource>/<name>.txt" ("models/<name>.txt" for an empty
// resource) through the file system. 1, or 0 when the file is missing or
// refused; a refused file is named with its fault on the error stream, the
// caller adds "Mesh: Can't load model '%s:%s'".
int load_mesh_text(GLMeshData& data, const char* resource, const char* name);

// Whether `frame` is a frame of `group`: pose frames come from the server and
// may name any number.
bool mesh_frame_of_group(const GLMeshData& data, int32_t frame, int32_t group);
