#pragma once
// MeshModel of the OpenGL program: a model resource whose data (triangle
// chains drawn as strips and fans, groups, frames and skins) is read from
// "models/<directory>/<name>.txt" on the first touch and dropped with the
// heap's cache. Its skins are textures of their own in the same cache.
#include "core/cache_owner.h"
#include "gl/gl_mesh_data.h"
#include "world/view/texture_resource.h"

#include <cstdint>

class Texture;

constexpr int MESH_NAME_LEN = 8;

// One skin: the texture "models/<directory>/<name>", read on the first bind
// after the heap dropped it, or a blank one when it can't be read.
class MeshSkin final : public CacheOwner {
public:
    MeshSkin() = default;
    ~MeshSkin() override { flush(); }

    // A change of name drops the texture of the old one.
    void set_names(const char* resource, const char* name);
    int load(uintptr_t argument) override;
    void drop() override { unload(); }
    void unload();
    // Loads when needed and binds; null when it can't be drawn.
    Texture* bind();

    Texture* texture = nullptr; // null while not loaded
    char resource[TEXTURE_NAME_LEN + 1] = {};
    char name[TEXTURE_NAME_LEN + 1] = {};
};

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
    // Named by the loaded data; they outlive its drops.
    MeshSkin skin[MESH_MAX_SKINS];
};
