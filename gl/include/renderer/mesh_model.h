#pragma once
// MeshModel of the OpenGL program: a model resource whose data (triangle
// chains drawn as strips and fans, groups, frames and skins) is read from
// "models/<directory>/<name>.txt" on the first touch into cacheable blocks of
// the model ("MeshData") and dropped with the heap's cache. Its skins are texture resources of their own in the same cache.
#include "core/cache_owner.h"
#include "gl/gl_mesh_data.h"
#include "world/view/texture_resource.h"

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
    // Textures of kind "model" named by the loaded data, read with it and
    // again on the first bind after the heap dropped them; they outlive the
    // data's drops.
    TextureResource skin[MESH_MAX_SKINS];
};

// Loads the skin when needed and binds it; null when it can't be drawn.
Texture* bind_skin(TextureResource& skin);
