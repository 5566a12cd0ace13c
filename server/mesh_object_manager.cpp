#include "server/mesh_object_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "server/class_parts.h"
#include "server/mesh_physics.h"
#include "server/object_id.h"
#include "server/property_values.h"

#include <new>

namespace {

constexpr const char* NO_MODEL_NAME = "none";

} // namespace

SMeshObjectManager::~SMeshObjectManager() { stop(); }

int SMeshObjectManager::start(SMeshManager* models, const MeshPhysics* physics, SharedMap* map, int32_t n,
                              int32_t clients)
{
    K_ASSERT(models && physics && map);
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    objects_ = new (std::nothrow) SMeshObject[static_cast<size_t>(n)];
    if (objects_ == nullptr || names_.create(MESH_NAME_BLOCKS, clients, SMESH_NAME_SIZE, 0) != 0) {
        stop();
        return 0;
    }
    models_ = models;
    physics_ = physics;
    return 1;
}

void SMeshObjectManager::stop()
{
    stop_filters();
    delete[] objects_;
    objects_ = nullptr;
    names_.clear();
    models_ = nullptr;
    physics_ = nullptr;
}

int SMeshObjectManager::on_create(int32_t, int32_t index)
{
    objects_[index] = SMeshObject{nullptr, -1, -1, 0.0f, -1, 0.0f, 0, 0, 0, 0, 0,
                                  MESH_LEVEL_DEFAULT, MESH_SPREAD_DEFAULT, 0, -1, -1, -1};
    reset_filter(index, AUDIENCE_FILTER_RADIUS);
    return 1;
}

void SMeshObjectManager::reset_client(int client) { names_.reset_client(client); }

int SMeshObjectManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || args.empty()) {
        return 0;
    }
    SMeshObject& o = objects_[i];
    switch (property) {
    case PROPERTY_MESH_MODEL: {
        K_ASSERT(models_);
        const char* const name = args[0].s != nullptr ? args[0].s : "";
        const MetaModel* const model = models_->get(name);
        if (model == nullptr) {
            print_format(P_ERROR, "Server: can't init mesh '%s'", name);
            return 0;
        }
        // The cycles of another model mean nothing to this one.
        if (model != o.model) {
            o.active_cycle = -1;
            o.active_frame = -1;
            o.next_cycle = -1;
            o.time = 0.0f;
        }
        o.model = model;
        set_filter_radius(i, model->radius);
        return 1;
    }
    case PROPERTY_MESH_LIGHTING: {
        if (args.size() < 3) {
            return 0;
        }
        store_stamped(o.colour, static_cast<int32_t>(colour12(static_cast<uint32_t>(args[0].i))), o.colour_stamp,
                      tick);
        const int32_t level = quantise(args[1].d, 15.0, 0, 15);
        const int32_t spread = quantise(args[2].d, 8.0, 0, 7);
        if (level != o.level || spread != o.spread) {
            o.level = level;
            o.spread = spread;
            o.light_stamp = tick;
        }
        return 1;
    }
    case PROPERTY_MESH_TRANSPARENCY:
        store_stamped(o.transparency, quantise(args[0].d, 31.0, 0, 31), o.light_stamp, tick);
        return 1;
    case PROPERTY_MESH_POSE: {
        if (args.size() < 3) {
            return 0;
        }
        const int32_t f1 = args[0].i;
        const int32_t f2 = args[1].i;
        const int32_t n = o.model != nullptr ? o.model->poses : 1;
        if (f1 < 0 || f1 >= n || f2 < 0 || f2 >= n) {
            print_format(P_WARNING, "Server: Mesh frame (%d, %d) out of range", f1, f2);
            return 0;
        }
        const int32_t blend = quantise(args[2].d, 16.0, 0, 15);
        if (f1 != o.frame1 || f2 != o.frame2 || blend != o.blend) {
            o.frame1 = f1;
            o.frame2 = f2;
            o.blend = blend;
            o.frame_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SMeshObjectManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SMeshObject& o = objects_[index];
    uint32_t bits = part_bit(*mask, MESH_PART_FRAME, o.frame1 != 0 || o.frame2 != 0 || o.blend != 0,
                             o.frame_stamp, last_tick);
    bits |= part_bit(*mask, MESH_PART_COLOUR | SOBJ_PART_MORE, o.colour != 0, o.colour_stamp, last_tick);
    bits |= part_bit(*mask, MESH_PART_LIGHT | SOBJ_PART_MORE,
                     o.level != MESH_LEVEL_DEFAULT || o.spread != MESH_SPREAD_DEFAULT || o.transparency != 0,
                     o.light_stamp, last_tick);
    *mask |= bits;
    return 0;
}

int SMeshObjectManager::write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                          NetStreamOut* msg)
{
    const SMeshObject& o = objects_[index];
    if ((mask & SOBJ_PART_CREATE) != 0) {
        const char* const name = o.model != nullptr ? o.model->name : NO_MODEL_NAME;
        const int r = names_.write(client, tick, acked, name, msg, MESH_NAME_INDEX_BITS, 0);
        if (r != 0) {
            return cache_write_result(r, msg);
        }
    }
    if (write_presence(msg, mask, MESH_PART_FRAME)) {
        msg->write_bits(static_cast<uint32_t>(o.frame1), 8);
        msg->write_bits(static_cast<uint32_t>(o.frame2), 8);
        msg->write_bits(static_cast<uint32_t>(o.blend), 4);
    }
    if ((mask & SOBJ_PART_MORE) == 0) {
        return 1;
    }
    if (write_presence(msg, mask, MESH_PART_COLOUR)) {
        msg->write_bits(static_cast<uint32_t>(o.colour), 12);
    }
    if (write_presence(msg, mask, MESH_PART_LIGHT)) {
        msg->write_bits(static_cast<uint32_t>(o.level), 4);
        msg->write_bits(static_cast<uint32_t>(o.spread), 3);
        msg->write_bits(static_cast<uint32_t>(o.transparency), 5);
    }
    return 1;
}

const MetaModel* SMeshObjectManager::model_of(uint32_t id) const
{
    if (object_class_of(id) != OBJCLASS_MESH) {
        return nullptr;
    }
    const int32_t i = lookup(id);
    return i >= 0 ? objects_[i].model : nullptr;
}

Vector SMeshObjectManager::size_of(uint32_t id) const
{
    const MetaModel* const m = model_of(id);
    return m != nullptr ? m->size : Vector{0.0f, 0.0f, 0.0f};
}

Vector SMeshObjectManager::collision_size_of(uint32_t id) const
{
    const MetaModel* const m = model_of(id);
    return m != nullptr ? m->collision_size : Vector{0.0f, 0.0f, 0.0f};
}

int32_t SMeshObjectManager::pose_count_of(uint32_t id) const
{
    const MetaModel* const m = model_of(id);
    return m != nullptr ? m->poses : 1;
}

const int32_t* SMeshObjectManager::tag_of(uint32_t id, const char* name) const
{
    const MetaModel* const m = model_of(id);
    return m != nullptr && name != nullptr ? m->find_tag(name) : nullptr;
}

// The hook stands on the hull nearest to the model's size.
Vector SMeshObjectManager::hook_of(uint32_t id) const
{
    const MetaModel* const m = model_of(id);
    if (m == nullptr) {
        return Vector{0.0f, 0.0f, 0.0f};
    }
    Vector hook = m->hook;
    const int32_t hull = physics_ != nullptr ? nearest_hull(*physics_, m->size) : -1;
    if (hull >= 0) {
        hook.z = m->hook.z + m->size.z - physics_->hull_size(hull).z;
    }
    return hook;
}

Vector SMeshObjectManager::model_point(uint32_t, int32_t) const { return Vector{0.0f, 0.0f, 0.0f}; }
