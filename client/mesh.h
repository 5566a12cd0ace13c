#pragma once
// Object class 5: mesh objects. Each places a model of the model table,
// which keeps one row a model name (directory and name) from the first
// object that names it until the map is unloaded. Names come once through
// a named-block cache and then as a block index.
#include "client/entity_manager.h"
#include "net/net_ccache.h"
#include "renderer/mesh_object.h"

#include <memory>

class ScreenProjection;

constexpr int MESH_NAME_BLOCKS = 32;
constexpr int MESH_NAME_SIZE = 32;
constexpr int MESH_MODELS = 64;

class MeshOwner {
public:
    MeshOwner() = default;
    ~MeshOwner() { destroy(); }
    MeshOwner(const MeshOwner&) = delete;
    MeshOwner& operator=(const MeshOwner&) = delete;

    // rows empty rows; 1, or 0 when memory runs out.
    int create(int rows);
    void destroy();
    // Brings every model's skins to the renderer's pixel layout, and back.
    void start(ScreenProjection* renderer);
    void stop();

    MeshModel* row(int i) { return &models_[i]; }
    int count() const { return count_; }
    int capacity() const { return capacity_; }
    ScreenProjection* renderer() const { return sp_; }

private:
    friend class Mesh;

    MeshModel* models_ = nullptr; // rows of the heap: models are cache owners
    int count_ = 0;
    int capacity_ = 0;
    ScreenProjection* sp_ = nullptr;
};

class Mesh final : public EntityManager<MeshObject> {
public:
    Mesh() = default;
    ~Mesh() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(MeshOwner* models, SharedMap* world, int capacity);
    void destroy();
    // Objects that got their model while no renderer was bound take it now.
    void start(ScreenProjection* renderer);

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    // The row of that directory and name (exact comparison), a new row, or
    // null after "Mesh: Too many models loaded" when the table is full (or
    // when a name does not fit a row).
    static MeshModel* find_model(MeshOwner& owner, const char* directory, const char* name);
    // The model row an object names, or null.
    MeshModel* model(int index) const { return models_[index]; }

private:
    void take_model(int index, char* name);
    void attach(int index, ScreenProjection& renderer);

    MeshOwner* owner_ = nullptr;
    std::unique_ptr<MeshModel*[]> models_;
    NetCCache names_;
};
