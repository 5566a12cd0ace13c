#include "world/volume_set.h"

#include "core/kassert.h"
#include "fsys/fsys.h"

#include <cstring>
#include <new>

namespace {

constexpr int BOX_NODES = 6;
constexpr int BOX_ELEMENTS = 8;
constexpr int BOX_INSIDE = 6;
constexpr int BOX_OUTSIDE = 7;

float axis_of(const Vector& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }

Vector widened(const Vector& v, const Vector& h, float sign)
{
    return Vector{v.x + sign * h.x, v.y + sign * h.y, v.z + sign * h.z};
}

VolumeSet* read_volume_file(const char* file_name, uint32_t* identifier)
{
    if (std::strlen(file_name) >= VOLUME_NAME_SIZE) {
        return nullptr;
    }
    VolumeSet* const set = new (std::nothrow) VolumeSet;
    if (set == nullptr) {
        return nullptr;
    }
    std::strcpy(set->name, file_name);
    FileStream* const stream = fsys != nullptr ? fsys->open(file_name, FSYS_TEXT) : nullptr;
    uint32_t none = 0;
    const int ok = stream != nullptr && read_volume(*set, stream, identifier != nullptr ? identifier : &none) != 0;
    if (stream != nullptr) {
        stream->close();
    }
    if (!ok) {
        delete set;
        return nullptr;
    }
    return set;
}

} // namespace

VolumeSet::~VolumeSet() { free_arrays(); }

int VolumeSet::match(uint32_t id, va_list args)
{
    const char* const file_name = va_arg(args, const char*);
    return id == VOLUME_SHARE_ID && file_name != nullptr && name[0] != '\0' && std::strcmp(file_name, name) == 0 ? 1 : 0;
}

ShareObject* VolumeSet::create(va_list args)
{
    const char* const file_name = va_arg(args, const char*);
    if (file_name != nullptr) {
        uint32_t* const identifier = va_arg(args, uint32_t*);
        return read_volume_file(file_name, identifier);
    }
    const Vector* const minimum = va_arg(args, const Vector*);
    const Vector* const maximum = va_arg(args, const Vector*);
    const Vector* const hull_vectors = va_arg(args, const Vector*);
    const int tree_count = va_arg(args, int);
    const int32_t contents = va_arg(args, int32_t);
    VolumeSet* const set = new (std::nothrow) VolumeSet;
    if (set == nullptr) {
        return nullptr;
    }
    if (set->build_box(tree_count, contents, *minimum, *maximum, hull_vectors) == 0) {
        delete set;
        return nullptr;
    }
    return set;
}

void VolumeSet::free_arrays()
{
    delete[] records;
    records = nullptr;
    delete[] hulls;
    hulls = nullptr;
    delete[] pool;
    pool = nullptr;
    delete[] elements;
    elements = nullptr;
    delete[] planes;
    planes = nullptr;
    // Counts go with their arrays, so that nothing walks an array that is gone.
    pool_length = 0;
    node_count = 0;
    leaf_count = 0;
    trees = 0;
    models = 0;
}

int VolumeSet::build_box(int32_t tree_count, int32_t contents, const Vector& minimum, const Vector& maximum,
                         const Vector* hull_vectors)
{
    K_ASSERT(tree_count > 0);
    free_arrays();
    box_contents = contents;
    box_min = minimum;
    box_max = maximum;
    planes = new (std::nothrow) Plane[static_cast<size_t>(tree_count) * BOX_NODES];
    elements = new (std::nothrow) VolumeElement[static_cast<size_t>(tree_count) * BOX_ELEMENTS];
    pool = new (std::nothrow) int32_t[1];
    hulls = new (std::nothrow) Vector[static_cast<size_t>(tree_count)];
    records = new (std::nothrow) VolumeTree[static_cast<size_t>(tree_count)];
    if (planes == nullptr || elements == nullptr || pool == nullptr || hulls == nullptr || records == nullptr) {
        free_arrays();
        return 0;
    }
    pool[0] = VOLUME_BOX_TRIGGER;
    pool_length = 1;
    trees = tree_count;
    models = 1;
    node_count = tree_count * BOX_NODES;
    leaf_count = tree_count * 2;
    for (int32_t t = 0; t < tree_count; ++t) {
        const Vector& hull = hull_vectors[t];
        const Vector lo = widened(minimum, hull, -1.0f);
        const Vector hi = widened(maximum, hull, 1.0f);
        Plane* const p = planes + static_cast<size_t>(t) * BOX_NODES;
        VolumeElement* const e = elements + static_cast<size_t>(t) * BOX_ELEMENTS;
        for (int i = 0; i < 3; ++i) {
            const Vector axis = {i == 0 ? 1.0f : 0.0f, i == 1 ? 1.0f : 0.0f, i == 2 ? 1.0f : 0.0f};
            p[2 * i] = Plane{axis, -axis_of(hi, i)};
            p[2 * i + 1] = Plane{Vector{-axis.x, -axis.y, -axis.z}, axis_of(lo, i)};
        }
        for (int k = 0; k < BOX_NODES; ++k) {
            e[k].front = e + BOX_OUTSIDE;
            e[k].back = e + k + 1;
            e[k].plane = p + k;
            e[k].split = p[k];
        }
        e[BOX_INSIDE].contents = contents;
        e[BOX_INSIDE].triggers = pool;
        e[BOX_INSIDE].trigger_count = 1;
        e[BOX_OUTSIDE].contents = VOLUME_OUTSIDE_CONTENTS;
        hulls[t] = hull;
        records[t].root = e;
        records[t].set_box(lo, hi);
    }
    return 1;
}

int32_t VolumeSet::trigger_count() const
{
    int32_t largest = -1;
    for (int32_t i = 0; i < pool_length; ++i) {
        if (pool[i] != VOLUME_BOX_TRIGGER && pool[i] > largest) {
            largest = pool[i];
        }
    }
    return largest + 1;
}

int32_t VolumeSet::nearest_tree(const Vector& size) const
{
    int32_t best = 0;
    float best_distance = 0.0f;
    for (int32_t t = 0; t < trees; ++t) {
        const Vector d = {hulls[t].x - size.x, hulls[t].y - size.y, hulls[t].z - size.z};
        const float distance = vec_dot(d, d);
        if (t == 0 || distance < best_distance) {
            best = t;
            best_distance = distance;
        }
    }
    return best;
}
