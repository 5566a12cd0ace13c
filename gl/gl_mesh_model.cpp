#include "renderer/mesh_model.h"

#include "core/kassert.h"
#include "core/print.h"
#include "renderer/texture.h"
#include "world/view/texture_memory.h"

#include <cstring>
#include <new>

Texture* bind_skin(TextureResource& skin)
{
    if (skin.touch() == 0 || skin.texture == nullptr || skin.texture->bind() == 0) {
        return nullptr;
    }
    return skin.texture;
}

MeshModel::~MeshModel() { flush(); }

int MeshModel::set_name(const char* r, const char* n)
{
    if (!texture_name_valid(r) || !texture_name_valid(n)) {
        return 0;
    }
    std::strcpy(resource, r);
    std::strcpy(name, n);
    return 1;
}

int MeshModel::load(uintptr_t)
{
    K_ASSERT(!model);
    void* const place = texture_alloc(sizeof(GLMeshData), this, "MeshData");
    if (place == nullptr) {
        return 0;
    }
    model = new (place) GLMeshData(this);
    if (load_mesh_text(*model, resource, name) == 0) {
        print_format(P_ERROR, "Mesh: Can't load model '%s:%s'", resource, name);
        unload();
        return 0;
    }
    for (size_t i = 0; i < model->skin_image.size(); ++i) {
        TextureResource& s = skin[i];
        const char* const skin_name = model->skin_image[i].name;
        // A new name drops the texture of the old one.
        if (std::strcmp(s.resource, resource) != 0 || std::strcmp(s.name, skin_name) != 0) {
            s.flush();
            s.set_names(resource, skin_name);
        }
        s.kind = TEXTURE_KIND_MODEL;
        // Read with the model, so that a skin that can't be is named (with
        // its file and why) when the map loads, not at the first draw.
        s.touch();
    }
    return 1;
}

void MeshModel::unload()
{
    if (model != nullptr) {
        model->~GLMeshData();
        texture_free(model);
    }
    model = nullptr;
}
