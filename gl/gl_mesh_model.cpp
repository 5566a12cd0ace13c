#include "renderer/mesh_model.h"

#include "core/kassert.h"
#include "core/print.h"
#include "world/view/texture_resource.h"

#include <cstring>
#include <new>

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
    return 1;
}

void MeshModel::unload()
{
    delete model;
    model = nullptr;
}
