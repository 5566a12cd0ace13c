#include "client/mesh.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "render/screen_projection.h"
#include "world/entity_link.h"

#include <cstring>
#include <new>

int MeshOwner::create(int rows)
{
    destroy();
    models_.reset(new (std::nothrow) MeshModelRow[static_cast<size_t>(rows > 0 ? rows : 1)]);
    if (models_ == nullptr) {
        return 0;
    }
    capacity_ = rows;
    return 1;
}

void MeshOwner::destroy()
{
    models_.reset();
    count_ = 0;
    capacity_ = 0;
    sp_ = nullptr;
}

void MeshOwner::start(ScreenProjection* renderer)
{
    K_ASSERT(!sp_);
    sp_ = renderer;
    for (int i = 0; i < count_; ++i) {
        models_[i].select_skin(sp_->rgb_layout);
    }
}

void MeshOwner::stop()
{
    K_ASSERT(sp_);
    for (int i = 0; i < count_; ++i) {
        models_[i].select_skin(sp_->layout_inverse);
    }
    sp_ = nullptr;
}

MeshModelRow* Mesh::find_model(MeshOwner& owner, const char* directory, const char* name)
{
    for (int i = 0; i < owner.count_; ++i) {
        MeshModelRow& row = owner.models_[i];
        if (std::strcmp(row.directory, directory) == 0 && std::strcmp(row.name, name) == 0) {
            return &row;
        }
    }
    if (owner.count_ >= owner.capacity_) {
        print_string(P_ERROR, "Mesh: Too many models loaded");
        return nullptr;
    }
    MeshModelRow& row = owner.models_[owner.count_++];
    row.set_name(directory, name);
    return &row;
}

int Mesh::create(MeshOwner* models, SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(models && world);
    if (create_records(world, capacity, 1) == 0) {
        return 0;
    }
    models_.reset(new (std::nothrow) MeshModelRow*[static_cast<size_t>(capacity > 0 ? capacity : 1)]());
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
        if (models_[i] != nullptr && record(i).model == nullptr) {
            record(i).attach(models_[i], renderer);
        }
    }
}

int Mesh::link(int index)
{
    MeshRender& mesh = record(index);
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
    MeshModelRow* const row = find_model(*owner_, directory, model);
    if (row == nullptr) {
        return;
    }
    models_[index] = row;
    // Without a renderer the model is attached when one starts.
    if (owner_->renderer() != nullptr) {
        record(index).attach(row, owner_->renderer());
    }
}

int Mesh::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    MeshRender& mesh = record(index);
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
        mesh.set_lighting(strength, sharpness);
        mesh.set_transparency(read_fraction(stream, 5, 31.0f));
    }
    return 1;
}
