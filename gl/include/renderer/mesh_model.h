#pragma once
// MeshModel of the OpenGL program: a model resource whose data (triangle
// chains drawn as strips and fans, groups, frames and skins) is read from
// "models/<directory>/<name>.txt" on the first touch and dropped with the
// heap's cache.
#include "core/cache_owner.h"
#include "gl/gl_mesh_data.h"

#include <cstdint>

constexpr int MESH_NAME_LEN = 8;

class MeshModel final : public CacheOwner {
public:
    MeshModel() = default;
    ~MeshModel() override;

    // 1, or 0 (nothing changed) when a name is missing or too long.
    int set_name(const char* resource, const char* name);
    // Prints "Mesh: Can't load model '%s:%s'" on failure.
    int load(uintptr_t argument) override;
    void drop() override { unload(); }
    void unload();
    // Skins are kept in file order in this program: nothing to convert.
    void convert_skins(const uint8_t*) {}

    GLMeshData* model = nullptr; // null while not loaded
    char resource[MESH_NAME_LEN + 1] = {};
    char name[MESH_NAME_LEN + 1] = {};
};
