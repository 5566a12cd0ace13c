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
#include "world/view/texture_memory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

class CacheOwner;

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

// One array of a model's data in a block of its own: with a heap and an
// owner a cacheable block of the owner, dropped with the model's data, else
// from the general heap.
template <typename T> class MeshArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    MeshArray() = default;
    ~MeshArray() { clear(); }
    MeshArray(const MeshArray&) = delete;
    MeshArray& operator=(const MeshArray&) = delete;

    // n zeroed elements in a new block named `name`; false, empty, when
    // there is no room.
    bool allocate(size_t n, CacheOwner* owner, const char* name)
    {
        clear();
        if (n == 0) {
            return true;
        }
        if (n > SIZE_MAX / sizeof(T)) {
            return false;
        }
        data_ = static_cast<T*>(texture_alloc(n * sizeof(T), owner, name));
        if (data_ == nullptr) {
            return false;
        }
        std::memset(static_cast<void*>(data_), 0, n * sizeof(T));
        size_ = n;
        return true;
    }
    void clear()
    {
        if (data_ != nullptr) {
            texture_free(data_);
        }
        data_ = nullptr;
        size_ = 0;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
};

// The arrays are blocks named "MeshData", the skins' "SkinImage"; blocks of
// `owner` (the model) while the heap runs.
struct GLMeshData {
    GLMeshData() = default;
    explicit GLMeshData(CacheOwner* o) : owner(o) {}
    // Frees every array; the owner stays.
    void clear();

    CacheOwner* owner = nullptr;
    MeshArray<GLMeshVertex> vertex;
    MeshArray<GLMeshGroup> group;
    MeshArray<int32_t> group_ref;
    MeshArray<GLMeshSet> set;
    MeshArray<GLMeshFrame> frame;
    MeshArray<GLMeshFramePoint> frame_point;
    MeshArray<GLMeshTriangleVertex> triangle_vertex;
    MeshArray<GLMeshTriangleChain> triangle_chain;
    MeshArray<GLMeshSkin> skin_image;
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
