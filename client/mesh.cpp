#include "client/mesh.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "renderer/screen_projection.h"
#include "world/entity_link.h"

#include <cstring>
#include <new>

int MeshOwner::create(int rows)
{
    destroy();
    const int n = rows > 0 ? rows : 1;
    void* const block = kheap_alloc(sizeof(MeshModel) * static_cast<size_t>(n), KHEAP_FROM_BOTTOM, "MeshOwner");
    if (block == nullptr) {
        return 0;
    }
    models_ = static_cast<MeshModel*>(block);
    for (int i = 0; i < n; ++i) {
        new (&models_[i]) MeshModel;
    }
    capacity_ = rows;
    return 1;
}

void MeshOwner::destroy()
{
    if (models_ != nullptr) {
        for (int i = (capacity_ > 0 ? capacity_ : 1) - 1; i >= 0; --i) {
            models_[i].~MeshModel();
        }
        kheap_release(models_);
        models_ = nullptr;
    }
    count_ = 0;
    capacity_ = 0;
    sp_ = nullptr;
}

void MeshOwner::start(ScreenProjection* renderer)
{
    K_ASSERT(!sp_);
    sp_ = renderer;
    for (int i = 0; i < count_; ++i) {
        models_[i].convert_skins(sp_->rgb_layout);
    }
}

void MeshOwner::stop()
{
    K_ASSERT(sp_);
    // Skins are kept in file order while no renderer is bound.
    const uint8_t file_order[4] = {0, 8, 16, 24};
    for (int i = 0; i < count_; ++i) {
        models_[i].convert_skins(file_order);
    }
    sp_ = nullptr;
}

MeshModel* Mesh::find_model(MeshOwner& owner, const char* directory, const char* name)
{
    for (int i = 0; i < owner.count_; ++i) {
        MeshModel& row = owner.models_[i];
        if (std::strcmp(row.resource, directory) == 0 && std::strcmp(row.name, name) == 0) {
            return &row;
        }
    }
    if (owner.count_ >= owner.capacity_) {
        print_string(P_ERROR, "Mesh: Too many models loaded");
        return nullptr;
    }
    MeshModel& row = owner.models_[owner.count_];
    if (row.set_name(directory, name) == 0) {
        print_format(P_WARNING, "Mesh: Can't use model name '%s/%s'", directory, name);
        return nullptr;
    }
    ++owner.count_;
    return &row;
}

int Mesh::create(MeshOwner* models, SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(models && world);
    if (create_records(world, capacity, 1) == 0) {
        return 0;
    }
    models_.reset(new (std::nothrow) MeshModel*[static_cast<size_t>(capacity > 0 ? capacity : 1)]());
    if (models_ == nullptr || names_.create(0, MESH_NAME_BLOCKS, MESH_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    owner_ = models;
    return 1;
}

void Mesh::destroy()
{
    unlink_records();
    names_.clear();
    models_.reset();
    owner_ = nullptr;
    destroy_records();
}

void Mesh::start(ScreenProjection* renderer)
{
    for (int i = first_used(); i >= 0; i = common(i).next) {
        if (models_[i] != nullptr && record(i).owner == nullptr) {
            attach(i, *renderer);
        }
    }
}

int Mesh::link(int index)
{
    MeshObject& mesh = record(index);
    mesh.init();
    mesh.set_pose(0, 0, 0, 0.0f);
    mesh.set_skin(0);
    mesh.set_lighting(0.5f, 0.5f);
    mesh.set_transparency(0.0f);
    models_[index] = nullptr;
    link_new_entity(*world_, mesh);
    return 1;
}

int Mesh::unlink(int index, int)
{
    unlink_entity(*world_, record(index));
    models_[index] = nullptr;
    return 1;
}

void Mesh::attach(int index, ScreenProjection& renderer)
{
    // Attaching shows every group's first frame: the pose received so far stays.
    MeshObject& mesh = record(index);
    const MeshPose pose = mesh.pose[0];
    mesh.attach(models_[index], renderer);
    mesh.set_pose(0, pose.frame1, pose.frame2, pose.t);
    // The model's radius is the record's now.
    link_entity(*world_, mesh);
}

void Mesh::take_model(int index, char* name)
{
    // "directory/model", "directory\model" or the model alone.
    char* const separator = std::strpbrk(name, "/\\");
    const char* directory = "";
    const char* model = name;
    if (separator != nullptr) {
        *separator = '\0';
        directory = name;
        model = separator + 1;
    }
    // The two names become a path under "models".
    if (!is_plain_name(model) || (directory[0] != '\0' && !is_plain_name(directory))) {
        print_format(P_WARNING, "Mesh: Can't use model name '%s'", model);
        return;
    }
    K_ASSERT(owner_);
    MeshModel* const row = find_model(*owner_, directory, model);
    if (row == nullptr) {
        return;
    }
    models_[index] = row;
    // Without a renderer the model is attached when one starts.
    if (owner_->renderer() != nullptr) {
        attach(index, *owner_->renderer());
    }
}

int Mesh::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    MeshObject& mesh = record(index);
    if ((mask & UPD_CREATE) != 0) {
        char name[MESH_NAME_SIZE];
        if (names_.read(&stream, name, 5, 0) != 0) {
            return 0;
        }
        if (models_[index] != nullptr) {
            print_string(P_DEBUG2, "Mesh: Got duplicate create message");
        } else {
            take_model(index, name);
        }
    }
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        place_entity(*world_, mesh, common(index));
    }
    if (read_present(stream)) {
        const auto frame1 = static_cast<int32_t>(stream.read_bits(8));
        const auto frame2 = static_cast<int32_t>(stream.read_bits(8));
        mesh.set_pose(0, frame1, frame2, read_fraction(stream, 4, 16.0f));
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return 1;
    }
    if (read_present(stream)) {
        mesh.set_skin(read_colour12(stream));
    }
    if (read_present(stream)) {
        const float strength = read_fraction(stream, 4, 15.0f);
        const float sharpness = read_fraction(stream, 3, 8.0f);
        // Lighting and transparency are the OpenGL program's; the software mesh ignores them.
        mesh.set_lighting(strength, sharpness);
        mesh.set_transparency(read_fraction(stream, 5, 31.0f));
    }
    return 1;
}
