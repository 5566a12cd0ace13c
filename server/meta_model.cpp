#include "server/meta_model.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/print.h"

#include <cstring>
#include <new>

int32_t MetaModel::find_tag_index(const char* tag_name) const
{
    for (int32_t t = 0; t < tags; ++t) {
        if (std::strcmp(tag[t].name, tag_name) == 0) {
            return t;
        }
    }
    return -1;
}

const int32_t* MetaModel::find_tag(const char* tag_name) const
{
    const int32_t t = find_tag_index(tag_name);
    return t >= 0 ? &tag[t].value : nullptr;
}

void MetaModel::clear()
{
    std::memset(name, 0, sizeof name);
    size = collision_size = hook = Vector{};
    radius = 0.0f;
    tag.reset();
    cycle.reset();
    frame.reset();
    tags = second_count = cycles = frames = poses = 0;
    flags = 0;
}

int SMeshManager::start(int32_t max)
{
    stop();
    models_.reset(new (std::nothrow) MetaModel[static_cast<size_t>(max)]);
    if (models_ == nullptr) {
        print_string(P_ERROR, "Server: Can't allocate meshes!");
        return 0;
    }
    max_meshes = max;
    return 1;
}

void SMeshManager::stop()
{
    models_.reset();
    meshes = 0;
    max_meshes = 0;
}

const MetaModel* SMeshManager::get(const char* name)
{
    K_ASSERT(name);
    for (int32_t i = 0; i < meshes; ++i) {
        if (compare_nocase_n(models_[i].name, name, SMESH_NAME_SIZE) == 0) {
            return &models_[i];
        }
    }
    if (meshes >= max_meshes) {
        return nullptr;
    }
    if (!read_meta_model(models_[meshes], name)) {
        return nullptr;
    }
    return &models_[meshes++];
}

int32_t SMeshManager::index_of(const MetaModel* model) const
{
    for (int32_t i = 0; i < meshes; ++i) {
        if (&models_[i] == model) {
            return i;
        }
    }
    return -1;
}
