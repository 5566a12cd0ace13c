#pragma once
// A map's collision geometry, shared by the server and the client of one
// process under "VolT": for each volume model (the world first) and each hull
// tree (one per hull size), a BSP tree whose leaves carry a contents value
// (a material number in the low byte) and a run of trigger numbers.
//
// Acquired through the share manager with either
//   (const char* file name, uint32_t* identifier word): read from the file;
//     a later request for the same name shares the set;
//   (nullptr, const Vector* minimum, const Vector* maximum, const Vector* hull
//     vectors, int tree count, int32_t contents): a box built in code, never
//     shared with another request.
#include "core/share_object.h"
#include "core/vector.h"
#include "fsys/file_stream.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>

constexpr uint32_t VOLUME_SHARE_ID = share_type_id("VolT");
// File names are kept and compared whole, so that two maps whose names share
// a long beginning never share a set; longer names are refused.
constexpr int VOLUME_NAME_SIZE = 1056;
// The trigger number by which a volume names the box trigger of the entity
// that carries it; never a map trigger.
constexpr int32_t VOLUME_BOX_TRIGGER = 0x10000000;
// Map trigger numbers lie below this; the trigger table is sized by them.
constexpr int32_t VOLUME_TRIGGER_LIMIT = 0x10000;
// Deeper trees are refused: the walks recurse.
constexpr int32_t VOLUME_TREE_DEPTH_MAX = 1024;
constexpr int32_t VOLUME_OUTSIDE_CONTENTS = 1;

// A node (front child set) or a leaf (front child null). A node keeps a
// copy of its plane beside its children, so that a walk reads one record a
// level.
struct alignas(64) VolumeElement {
    Plane split = {{0.0f, 0.0f, 0.0f}, 0.0f}; // *plane
    const VolumeElement* front = nullptr;
    const VolumeElement* back = nullptr;
    const Plane* plane = nullptr;
    int32_t contents = 0;
    const int32_t* triggers = nullptr; // the leaf's run of the pool
    int32_t trigger_count = 0;

    bool is_leaf() const { return front == nullptr; }
};

// One hull tree of one model. The box is inclusive; a point outside it has
// contents 1.
struct VolumeTree {
    const VolumeElement* root = nullptr; // null: the tree is empty
    Vector box_min = {0.0f, 0.0f, 0.0f};
    Vector box_max = {0.0f, 0.0f, 0.0f};
    // The squared radius around the model's origin that holds the box, so
    // that a walk of a far volume can be skipped without turning into its frame.
    float reach_squared = 0.0f;
    float reach = 0.0f; // its square root

    void set_box(const Vector& lo, const Vector& hi)
    {
        box_min = lo;
        box_max = hi;
        const float a = vec_dot(lo, lo);
        const float b = vec_dot(hi, hi);
        reach_squared = a > b ? a : b;
        reach = std::sqrt(reach_squared);
    }
};

class VolumeSet final : public ShareObject {
public:
    VolumeSet() = default;
    ~VolumeSet() override;

    int match(uint32_t id, va_list args) override;
    static ShareObject* create(va_list args);

    // One model of `trees` hull trees, each the box widened once by its hull
    // vector, inside of the given contents with the box trigger, outside 1.
    // 1, or 0 when out of memory.
    int build_box(int32_t tree_count, int32_t contents, const Vector& minimum, const Vector& maximum,
                  const Vector* hull_vectors);
    void free_arrays();

    // The largest map trigger number in the leaf lists plus 1; 0 when none.
    int32_t trigger_count() const;
    // The tree whose hull vector is nearest to size (the first on a tie).
    int32_t nearest_tree(const Vector& size) const;
    const VolumeTree* model_trees(int32_t model) const { return records + static_cast<int64_t>(model) * trees; }
    const VolumeTree& tree(int32_t model, int32_t t) const { return model_trees(model)[t]; }

    char name[VOLUME_NAME_SIZE] = {}; // empty for a set built in code

    int32_t node_count = 0;
    int32_t leaf_count = 0;
    Plane* planes = nullptr;             // node_count
    VolumeElement* elements = nullptr;   // nodes, then leaves
    int32_t* pool = nullptr;             // trigger numbers of all leaves
    int32_t pool_length = 0;
    int32_t trees = 0;
    int32_t models = 0;
    Vector* hulls = nullptr;             // trees
    VolumeTree* records = nullptr;       // models x trees, model-major

    // What a box set was built from, so that a box can be reused.
    int32_t box_contents = 0;
    Vector box_min = {0.0f, 0.0f, 0.0f};
    Vector box_max = {0.0f, 0.0f, 0.0f};
};

// Reads "volume.txt" into the set (after freeing its arrays); 1 or 0 after a
// message. The identifier word is fixed by the file when it is still 0.
int read_volume(VolumeSet& set, FileStream* stream, uint32_t* identifier);
