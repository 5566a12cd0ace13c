#include "server/sobj_net_mirror.h"

#include "core/kassert.h"
#include "core/print.h"
#include "server/physics_server.h"

SObjNetMirror::~SObjNetMirror() = default;

void SObjNetMirror::reset()
{
    for (SObjManager*& m : manager) {
        m = nullptr;
    }
    physics = nullptr;
    current_stamp = -1;
    written_stamp = -1;
}

void SObjNetMirror::set_manager(int object_class, SObjManager* m)
{
    K_ASSERT(object_class >= 0 && object_class < OBJID_CLASSMAX);
    manager[object_class] = m;
}

void SObjNetMirror::set_current_stamp(int32_t tick)
{
    K_ASSERT(tick >= current_stamp);
    current_stamp = tick;
}

int SObjNetMirror::get_classid(int32_t id) const
{
    if (id < 0) {
        print_format(P_ERROR, "get_classid: id = %d", id);
        return -1;
    }
    return object_class_of(static_cast<uint32_t>(id));
}

SObjManager* SObjNetMirror::manager_of(int32_t id) const
{
    const int c = get_classid(id);
    K_ASSERT(c >= 0);
    SObjManager* const m = manager[c];
    K_ASSERT(m);
    return m;
}

SObjCommon* SObjNetMirror::get_common(int32_t id) const
{
    SObjManager* const m = manager_of(id);
    const int32_t i = m->lookup(static_cast<uint32_t>(id));
    return i >= 0 ? &m->common[i] : nullptr;
}

int32_t SObjNetMirror::create(int object_class, int32_t audience, bool transient)
{
    K_ASSERT(object_class >= 0 && object_class < OBJID_CLASSMAX);
    SObjManager* const m = manager[object_class];
    K_ASSERT(m);
    const int32_t stored = m->create(change_stamp(), audience, transient);
    if (stored < 0) {
        return -1;
    }
    return static_cast<int32_t>(object_id(object_class, static_cast<uint32_t>(stored)));
}

int32_t SObjNetMirror::id_at(int object_class, int32_t index) const
{
    K_ASSERT(object_class >= 0 && object_class < OBJID_CLASSMAX);
    const SObjManager* const m = manager[object_class];
    K_ASSERT(m);
    K_ASSERT(index >= 0 && index < m->max_objects);
    if (m->is_used(index) == 0) {
        return -1;
    }
    return static_cast<int32_t>(object_id(object_class, m->common[index].id));
}

void SObjNetMirror::destroy(int32_t id)
{
    K_ASSERT(id >= 0);
    SObjCommon* const o = get_common(id);
    if (o == nullptr) {
        print_format(P_WARNING, "Server: Object id %x is not valid in destroy() !", static_cast<uint32_t>(id));
        return;
    }
    o->flags |= SOBJF_DESTROY;
}

int SObjNetMirror::set_audience(int32_t id, int32_t audience)
{
    return manager_of(id)->set_audience(static_cast<uint32_t>(id), audience);
}

int SObjNetMirror::set_position(int32_t id, const Vector& v)
{
    return manager_of(id)->set_offset(change_stamp(), static_cast<uint32_t>(id), v);
}

int SObjNetMirror::set_angles(int32_t id, float a, float b, float c)
{
    return manager_of(id)->set_own_angles(change_stamp(), static_cast<uint32_t>(id), a, b, c);
}

int SObjNetMirror::bind(int32_t id, int32_t entity) { return manager_of(id)->bind(static_cast<uint32_t>(id), entity); }

int SObjNetMirror::unbind(int32_t id) { return manager_of(id)->unbind(static_cast<uint32_t>(id)); }

int SObjNetMirror::reset_interpolation(int32_t id)
{
    return manager_of(id)->reset_interpolation(change_stamp(), static_cast<uint32_t>(id));
}

int SObjNetMirror::get_position(int32_t id, Vector& out) const
{
    return manager_of(id)->get_world_point(static_cast<uint32_t>(id), out);
}

int SObjNetMirror::set_special(int32_t id, int property, SObjArgs args)
{
    return manager_of(id)->set_property(change_stamp(), static_cast<uint32_t>(id), property, args);
}

void SObjNetMirror::remove_client(int client)
{
    for (SObjManager* m : manager) {
        if (m != nullptr) {
            m->reset_client(client);
        }
    }
}

void SObjNetMirror::update_carrier_position()
{
    K_ASSERT(physics);
    for (int c = 0; c < OBJID_CLASSMAX; ++c) {
        SObjManager* const m = manager[c];
        if (m == nullptr) {
            continue;
        }
        for (int32_t i = m->head; i >= 0; i = m->common[i].next) {
            SObjCommon& o = m->common[i];
            // A setter's change since the last pass counts as well as the carrier's.
            const bool set_since = (o.flags & SOBJF_CHANGED) != 0;
            o.flags &= ~(SOBJF_CHANGED | SOBJF_ADMITTED | SOBJF_CACTIVE | SOBJF_HELD);
            if (m->carrier_update(i, current_stamp, physics, c == OBJCLASS_CAMERA) == 0) {
                print_format(P_ERROR, "Server: Can't update carrier position (class %d, index %d)", c, i);
            }
            if (set_since || (o.flags & SOBJF_CHANGED) != 0) {
                Matrix transform;
                m->object_transform(i, transform);
                m->relink(i, transform);
            }
            if ((o.flags & SOBJF_TRANSIENT) != 0 && static_cast<int64_t>(current_stamp) - o.tick_create >=
                                                         SOBJ_TRANSIENT_TICKS) {
                o.flags |= SOBJF_DESTROY;
            }
        }
    }
}

void SObjNetMirror::purge_destroyed_objects()
{
    for (SObjManager* m : manager) {
        if (m == nullptr) {
            continue;
        }
        for (int32_t i = m->first(); i >= 0; i = m->next()) {
            const SObjCommon& o = m->common[i];
            K_ASSERT(!(o.flags & SOBJF_DESTROYED));
            if ((o.flags & SOBJF_DESTROY) != 0 && (o.flags & SOBJF_HELD) == 0) {
                m->release(o.id);
            }
        }
    }
}
