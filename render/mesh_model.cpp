#include "renderer/mesh_model.h"

#include "core/kassert.h"
#include "core/print.h"
#include "world/view/palette.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_memory.h"

#include <cstring>
#include <new>

namespace {

bool mesh_name_valid(const char* name)
{
    return name != nullptr && std::strlen(name) <= static_cast<size_t>(MESH_NAME_LEN);
}

template <typename T> void release(T*& array)
{
    if (array != nullptr) {
        texture_free(array);
        array = nullptr;
    }
}

} // namespace

void mesh_data_free(MeshData& data)
{
    if (data.skin_image != nullptr) {
        for (int32_t i = 0; i < data.skin_images; ++i) {
            texture_clear(data.skin_image[i]);
        }
    }
    release(data.skin_image);
    release(data.vertex);
    release(data.group);
    release(data.group_ref);
    release(data.set);
    release(data.frame);
    release(data.frame_point);
    release(data.triangle);
}

void mesh_convert_skins(MeshData& data, const uint8_t layout[4])
{
    K_ASSERT(data.skin_image);
    for (int32_t i = 0; i < data.skin_images; ++i) {
        if (data.skin_image[i].palette != nullptr) {
            palette_rearrange(data.skin_image[i].palette, data.layout, layout);
        }
    }
    std::memcpy(data.layout, layout, 4);
}

MeshModel::~MeshModel() { flush(); }

int MeshModel::set_name(const char* r, const char* n)
{
    if (!mesh_name_valid(r) || !mesh_name_valid(n)) {
        return 0;
    }
    std::strcpy(resource, r);
    std::strcpy(name, n);
    return 1;
}

int MeshModel::load(uintptr_t argument)
{
    K_ASSERT(!model);
    void* const place = texture_alloc(sizeof(MeshData), this, "Mesh");
    if (place == nullptr) {
        return 0;
    }
    model = new (place) MeshData{};
    std::memcpy(model->layout, FILE_ORDER_LAYOUT, 4);
    if (mesh_load_text(*model, this, resource, name) == 0) {
        print_format(P_ERROR, "Mesh: Can't load model '%s:%s'", resource, name);
        unload();
        return 0;
    }
    const uint8_t* const layout = reinterpret_cast<const uint8_t*>(argument);
    if (layout != nullptr) {
        mesh_convert_skins(*model, layout);
    }
    return 1;
}

void MeshModel::unload()
{
    K_ASSERT(model);
    mesh_data_free(*model);
    texture_free(model);
    model = nullptr;
}

void MeshModel::convert_skins(const uint8_t layout[4])
{
    if (model != nullptr) {
        mesh_convert_skins(*model, layout);
    }
}
