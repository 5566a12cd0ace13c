#include "server/sobj_manager.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "server/object_id.h"
#include "server/physics_server.h"

#include <cmath>
#include <new>

namespace {

constexpr float TWO_PI = 6.2831853f;

// Stores a changed component with its stamp: 1 when it changed.
int store_changed(float& field, float value, int32_t& stamp, int32_t tick)
{
    if (std::fabs(field - value) > 0.0f) {
        field = value;
        stamp = tick;
        return 1;
    }
    return 0;
}

} // namespace

SObjManager::~SObjManager() { done(); }

void SObjManager::relink(int32_t, const Matrix&) {}

int SObjManager::init(int32_t n)
{
    K_ASSERT(n >= 0 && static_cast<uint32_t>(n) <= OBJID_COUNTMASK);
    done();
    if (n > 0) {
        void* const block = kheap_alloc(sizeof(SObjCommon) * static_cast<size_t>(n), 0, "SObjCommon");
        if (block == nullptr) {
            return 0;
        }
        common = static_cast<SObjCommon*>(block);
    }
    for (int32_t i = 0; i < n; ++i) {
        new (&common[i]) SObjCommon;
        common[i].reset();
        common[i].id = static_cast<uint32_t>(i);
    }
    max_objects = n;
    head = -1;
    iterator = -1;
    return 1;
}

void SObjManager::done()
{
    if (common != nullptr) {
        kheap_release(common);
        common = nullptr;
    }
    head = -1;
    iterator = -1;
    max_objects = 0;
}

int32_t SObjManager::create(int32_t tick, int32_t audience, bool transient)
{
    for (int32_t i = 0; i < max_objects; ++i) {
        SObjCommon& o = common[i];
        if ((o.flags & SOBJF_DESTROYED) == 0) {
            continue;
        }
        o.flags = SOBJF_CHANGED | (transient ? SOBJF_TRANSIENT : 0u);
        o.audience = audience;
        o.next = head;
        head = i;
        if (on_create(tick, i) == 0) {
            release(o.id);
            return -1;
        }
        K_ASSERT(common[i].tick_create == -1);
        o.tick_create = tick;
        return static_cast<int32_t>(o.id);
    }
    return -1;
}

int SObjManager::create_at(int32_t index, int32_t audience)
{
    K_ASSERT(index >= 0 && index < max_objects);
    SObjCommon& o = common[index];
    if ((o.flags & SOBJF_DESTROYED) == 0) {
        return 0;
    }
    o.id = static_cast<uint32_t>(index);
    o.audience = audience;
    o.flags = SOBJF_CHANGED;
    o.next = head;
    head = index;
    if (on_create(0, index) == 0) {
        release(o.id);
        return 0;
    }
    K_ASSERT(common[index].tick_create == -1);
    o.tick_create = 0;
    return 1;
}

int32_t SObjManager::lookup(uint32_t id) const
{
    const int32_t index = object_index_of(id);
    if (index >= max_objects) {
        return -1;
    }
    const SObjCommon& o = common[index];
    if ((o.flags & SOBJF_DESTROYED) != 0 || (id & OBJID_STOREDMASK) != o.id) {
        return -1;
    }
    return index;
}

void SObjManager::release(uint32_t id)
{
    const int32_t index = object_index_of(id);
    K_ASSERT(index >= 0 && index < max_objects);
    K_ASSERT(common[index].id == id);
    on_release(index);
    if (iterator == index) {
        iterator = common[index].next;
    }
    int32_t* link = &head;
    while (*link != index) {
        K_ASSERT(*link != -1);
        link = &common[*link].next;
    }
    *link = common[index].next;
    common[index].reset();
    common[index].id = static_cast<uint32_t>(index) | ((id + OBJID_COUNTSTEP) & OBJID_COUNTMASK);
    common[index].flags = SOBJF_DESTROYED;
}

int SObjManager::set_audience(uint32_t id, int32_t audience)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    common[i].audience = audience;
    return 1;
}

int SObjManager::set_offset(int32_t tick, uint32_t id, const Vector& offset)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    SObjCommon& o = common[i];
    if (vec_differs(o.offset, offset) != 0) {
        o.offset = offset;
        o.stamp[SOBJ_STAMP_OFFSET] = tick;
        o.flags |= SOBJF_CHANGED;
    }
    return 1;
}

int SObjManager::set_own_angles(int32_t tick, uint32_t id, float a, float b, float c)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    SObjCommon& o = common[i];
    const float angles[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        if (store_changed(o.own_angles[k], turn_fraction(angles[k]), o.stamp[SOBJ_STAMP_OWN_ANGLE + k], tick)) {
            o.flags |= SOBJF_CHANGED;
        }
    }
    return 1;
}

int SObjManager::bind(uint32_t id, int32_t entity)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    common[i].physical = entity;
    common[i].flags |= SOBJF_CHANGED;
    return 1;
}

int SObjManager::unbind(uint32_t id) { return bind(id, -1); }

int SObjManager::reset_interpolation(int32_t tick, uint32_t id)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    common[i].stamp[SOBJ_STAMP_RESET] = tick;
    return 1;
}

int SObjManager::get_world_point(uint32_t id, Vector& out) const
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    const SObjCommon& o = common[i];
    Matrix r;
    mat_from_angles(r, o.position, o.carrier_angles[0] * TWO_PI, o.carrier_angles[1] * TWO_PI,
                    o.carrier_angles[2] * TWO_PI);
    mat_rotate_vector(out, r, o.offset);
    return 1;
}

void SObjManager::object_transform(int32_t index, Matrix& out) const
{
    const SObjCommon& o = common[index];
    Matrix carrier;
    Matrix own;
    mat_from_angles(carrier, o.position, o.carrier_angles[0] * TWO_PI, o.carrier_angles[1] * TWO_PI,
                    o.carrier_angles[2] * TWO_PI);
    mat_from_angles(own, o.offset, o.own_angles[0] * TWO_PI, o.own_angles[1] * TWO_PI, o.own_angles[2] * TWO_PI);
    mat_multiply(out, carrier, own);
}

int32_t SObjManager::physical_entity(int32_t index) const
{
    K_ASSERT(index >= 0 && index < max_objects);
    return common[index].physical;
}

int SObjManager::is_used(int32_t index) const
{
    K_ASSERT(index >= 0 && index < max_objects);
    return (common[index].flags & SOBJF_DESTROYED) == 0 ? 1 : 0;
}

int32_t SObjManager::first()
{
    iterator = head >= 0 ? common[head].next : -1;
    return head;
}

int32_t SObjManager::next()
{
    K_ASSERT(iterator < max_objects);
    const int32_t i = iterator;
    if (i >= 0) {
        iterator = common[i].next;
    }
    return i;
}

void SObjManager::audience_pass(int client)
{
    for (int32_t i = head; i >= 0; i = common[i].next) {
        SObjCommon& o = common[i];
        o.flags &= ~(SOBJF_ADMITTED | SOBJF_CACTIVE);
        if (audience_admits(o.audience, client) && (o.flags & (SOBJF_DESTROY | SOBJF_DESTROYED)) == 0) {
            o.flags |= SOBJF_ADMITTED;
        }
    }
}

void SObjManager::clear_marks()
{
    for (int32_t i = head; i >= 0; i = common[i].next) {
        common[i].flags &= ~(SOBJF_ADMITTED | SOBJF_CACTIVE);
    }
}

uint32_t SObjManager::common_part_bits(int32_t index, int32_t last_tick, uint32_t initial) const
{
    const SObjCommon& o = common[index];
    uint32_t mask = initial;
    const float position[3] = {o.position.x, o.position.y, o.position.z};
    const float offset[3] = {o.offset.x, o.offset.y, o.offset.z};
    if ((initial & SOBJ_PART_CREATE) != 0) {
        mask |= SOBJ_PART_RESET;
        for (int k = 0; k < 3; ++k) {
            if (position[k] != 0.0f) {
                mask |= SOBJ_PART_POSITION << k;
            }
            if (o.carrier_angles[k] != 0.0f) {
                mask |= SOBJ_PART_CARRIER_ANGLE << k;
            }
            if (offset[k] != 0.0f) {
                mask |= SOBJ_PART_OFFSET;
            }
            if (o.own_angles[k] != 0.0f) {
                mask |= SOBJ_PART_OWN_ANGLE << k;
            }
        }
    } else {
        for (int k = 0; k < 3; ++k) {
            if (o.stamp[SOBJ_STAMP_POSITION + k] > last_tick) {
                mask |= SOBJ_PART_POSITION << k;
            }
            if (o.stamp[SOBJ_STAMP_CARRIER_ANGLE + k] > last_tick) {
                mask |= SOBJ_PART_CARRIER_ANGLE << k;
            }
            if (o.stamp[SOBJ_STAMP_OWN_ANGLE + k] > last_tick) {
                mask |= SOBJ_PART_OWN_ANGLE << k;
            }
        }
        if (o.stamp[SOBJ_STAMP_OFFSET] > last_tick) {
            mask |= SOBJ_PART_OFFSET;
        }
        if (o.stamp[SOBJ_STAMP_RESET] > last_tick) {
            mask |= SOBJ_PART_RESET;
        }
    }
    // Infinities and NaN take the wide form, whose writer clamps them.
    for (int k = 0; k < 3; ++k) {
        if ((mask & (SOBJ_PART_POSITION << k)) != 0 && !(std::fabs(position[k]) < NETM_SPOS_MAX)) {
            mask |= SOBJ_PART_WIDE;
        }
        if ((mask & SOBJ_PART_OFFSET) != 0 && !(std::fabs(offset[k]) < NETM_SPOS_MAX)) {
            mask |= SOBJ_PART_WIDE;
        }
    }
    if ((mask & SOBJ_PARTS_SECOND_GROUP) != 0) {
        mask |= SOBJ_PART_MORE;
    }
    return mask;
}

int SObjManager::carrier_update(int32_t index, int32_t tick, const PhysicsServer* physics, bool camera)
{
    K_ASSERT(physics);
    SObjCommon& o = common[index];
    if (o.physical < 0) {
        return 1;
    }
    Vector position;
    float angles[3];
    if (physics->entity_pose(o.physical, camera, position, angles) == 0) {
        return 0;
    }
    const float p[3] = {position.x, position.y, position.z};
    float* const stored[3] = {&o.position.x, &o.position.y, &o.position.z};
    int changed = 0;
    for (int k = 0; k < 3; ++k) {
        changed |= store_changed(*stored[k], p[k], o.stamp[SOBJ_STAMP_POSITION + k], tick);
    }
    for (int k = 0; k < 3; ++k) {
        changed |= store_changed(o.carrier_angles[k], turn_fraction(angles[k]), o.stamp[SOBJ_STAMP_CARRIER_ANGLE + k],
                                 tick);
    }
    if (changed != 0) {
        o.flags |= SOBJF_CHANGED;
    }
    return 1;
}
