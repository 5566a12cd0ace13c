#include "renderer/mesh_model.h"

#include "core/kassert.h"
#include "core/print.h"
#include "renderer/texture.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_memory.h"

#include <cstring>
#include <new>

namespace {

constexpr const char* MODEL_PATH = "models";
constexpr int32_t BLANK_SKIN_SIZE = 16;

} // namespace

void MeshSkin::set_names(const char* r, const char* n)
{
    if (!texture_name_valid(r) || !texture_name_valid(n)) {
        return;
    }
    if (std::strcmp(resource, r) != 0 || std::strcmp(name, n) != 0) {
        flush();
        std::strcpy(resource, r);
        std::strcpy(name, n);
    }
}

int MeshSkin::load(uintptr_t)
{
    K_ASSERT(!texture);
    void* const place = texture_alloc(sizeof(Texture), this, "SkinImage");
    if (place == nullptr) {
        return 0;
    }
    texture = new (place) Texture{};
    texture->name = name;
    if (find_texture_file(*texture, MODEL_PATH, resource, name, this) == 0) {
        print_format(P_WARNING, "Can't load texture '%s:%s'", resource, name);
        if (texture_create_cleared(*texture, this, BLANK_SKIN_SIZE, BLANK_SKIN_SIZE) == 0) {
            unload();
            return 0;
        }
    }
    return 1;
}

void MeshSkin::unload()
{
    if (texture != nullptr) {
        texture_clear(*texture);
        texture_free(texture);
        texture = nullptr;
    }
}

Texture* MeshSkin::bind()
{
    if (touch() == 0 || texture->bind() == 0) {
        return nullptr;
    }
    return texture;
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
    model = new (std::nothrow) GLMeshData;
    if (model == nullptr) {
        return 0;
    }
    if (load_mesh_text(*model, resource, name) == 0) {
        print_format(P_ERROR, "Mesh: Can't load model '%s:%s'", resource, name);
        unload();
        return 0;
    }
    for (size_t i = 0; i < model->skin_image.size(); ++i) {
        skin[i].set_names(resource, model->skin_image[i].name);
    }
    return 1;
}

void MeshModel::unload()
{
    delete model;
    model = nullptr;
}
