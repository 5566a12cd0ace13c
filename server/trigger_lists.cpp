// Map and box triggers, and the lists of triggers that hold each entity.
#include "core/print.h"
#include "server/ph_frame.h"
#include "server/physics_server.h"

#include <cmath>
#include <cstring>

namespace {

// Inserts t into the list ascending by rank unless it is there; false when full.
bool insert_ranked(PhysicsTrigger** list, int32_t& count, PhysicsTrigger* t)
{
    int32_t at = 0;
    while (at < count && list[at]->rank < t->rank) {
        ++at;
    }
    if (at < count && list[at] == t) {
        return true;
    }
    if (count == PHYS_ENTITY_TRIGGERS) {
        return false;
    }
    std::memmove(list + at + 1, list + at, sizeof(PhysicsTrigger*) * static_cast<size_t>(count - at));
    list[at] = t;
    ++count;
    return true;
}

// Takes t out of the list; false when it was not there.
bool remove_listed(PhysicsTrigger** list, int32_t& count, const PhysicsTrigger* t)
{
    for (int32_t at = 0; at < count; ++at) {
        if (list[at] == t) {
            std::memmove(list + at, list + at + 1, sizeof(PhysicsTrigger*) * static_cast<size_t>(count - at - 1));
            --count;
            return true;
        }
    }
    return false;
}

void set_trigger(PhysicsTrigger& t, int32_t number, uint32_t flags, uint32_t enter, uint32_t leave, uint32_t activate,
                 uint32_t argument)
{
    t.number = number;
    t.flags = flags;
    t.enter = enter;
    t.leave = leave;
    t.activate = activate;
    t.argument = argument;
}

} // namespace

const PhysicsTrigger* PhysicsServer::trigger(int32_t number) const
{
    return number >= 0 && number < trigger_count_ ? &triggers_[number] : nullptr;
}

void PhysicsServer::run_trigger_function(const PhysicsTrigger& t, uint32_t function, uint32_t object)
{
    if (function != 0 && script_ != nullptr) {
        ++script_calls_;
        script_->call_function(function, t.argument, object, t.number);
    }
}

void PhysicsServer::register_trigger(int32_t number, uint32_t flags, uint32_t enter, uint32_t leave, uint32_t activate,
                                     uint32_t argument)
{
    if (number >= 0 && number < trigger_count_) {
        set_trigger(triggers_[number], number, flags, enter, leave, activate, argument);
    }
}

void PhysicsServer::register_box_trigger(int32_t number, uint32_t flags, uint32_t enter, uint32_t leave,
                                         uint32_t activate, uint32_t argument)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->volume != nullptr) {
        set_trigger(e->volume->trigger, VOLUME_BOX_TRIGGER, flags, enter, leave, activate, argument);
    }
}

void PhysicsServer::enable_triggers(int32_t number)
{
    PhysicalEntity* const e = entity(number);
    if (e == nullptr || e->motion == nullptr || e->motion->triggers_enabled) {
        return;
    }
    e->motion->triggers_enabled = true;
    EntityList near;
    locator_.at_point(e->position, near);
    near.drop_related(e);
    update_triggers(*e, near);
}

void PhysicsServer::disable_triggers(int32_t number)
{
    PhysicalEntity* const e = entity(number);
    if (e == nullptr || e->motion == nullptr || !e->motion->triggers_enabled) {
        return;
    }
    e->motion->triggers_enabled = false;
    EntityList none;
    update_triggers(*e, none);
}

int32_t PhysicsServer::triggers_at(int32_t tree, const Vector& point, const EntityList& near, PhysicsTrigger** out)
{
    int32_t count = 0;
    bool full = false;
    ++stats_.locates;
    const VolumeElement* const leaf = tree_leaf_at(volumes_->tree(0, tree), point);
    for (int32_t i = 0; leaf != nullptr && i < leaf->trigger_count; ++i) {
        const int32_t n = leaf->triggers[i];
        if (n >= 0 && n < trigger_count_) {
            full |= !insert_ranked(out, count, &triggers_[n]);
        }
    }
    for (int32_t k = 0; k < near.count; ++k) {
        PhysicalEntity* const o = near.items[k];
        if (!o->alive() || o->volume == nullptr || tree >= o->volume->tree_count) {
            continue;
        }
        ++stats_.locate_volume_tests;
        const VolumeElement* const l = tree_leaf_at(o->volume->trees[tree], into_frame(o->transform, point));
        for (int32_t i = 0; l != nullptr && i < l->trigger_count; ++i) {
            const int32_t n = l->triggers[i];
            PhysicsTrigger* const t = n == VOLUME_BOX_TRIGGER ? (o->volume->trigger.number == VOLUME_BOX_TRIGGER
                                                                     ? &o->volume->trigger
                                                                     : nullptr)
                                      : (n >= 0 && n < trigger_count_ ? &triggers_[n] : nullptr);
            if (t != nullptr) {
                full |= !insert_ranked(out, count, t);
            }
        }
    }
    if (full) {
        print_format(P_WARNING, "Physics: More than %d triggers at one point", PHYS_ENTITY_TRIGGERS);
    }
    return count;
}

void PhysicsServer::update_triggers(PhysicalEntity& e, const EntityList& near)
{
    MotionRecord& m = *e.motion;
    PhysicsTrigger* fresh[PHYS_ENTITY_TRIGGERS];
    PhysicsTrigger* old[PHYS_ENTITY_TRIGGERS];
    const bool enabled = m.triggers_enabled;
    const int32_t n_fresh = enabled ? triggers_at(m.tree, e.position, near, fresh) : 0;
    const int32_t n_old = m.trigger_count;
    std::memcpy(old, m.triggers, sizeof(PhysicsTrigger*) * static_cast<size_t>(n_old));
    // The entity's list holds the triggers whose enter ran and whose leave did
    // not, changed before each function runs: so a function that destroys the
    // entity runs exactly the leaves that are due, and one that moves it or
    // switches its triggers starts its own walk from where this one stands and
    // ends this one.
    const uint32_t object = e.object;
    const Vector placed = e.position;
    const auto same_walk = [&] {
        return e.alive() && e.motion == &m && e.object == object && m.triggers_enabled == enabled &&
               vec_equal(e.position, placed) != 0;
    };
    int32_t i = 0;
    int32_t j = 0;
    while ((i < n_old || j < n_fresh) && same_walk()) {
        if (j == n_fresh || (i < n_old && old[i]->rank < fresh[j]->rank)) {
            PhysicsTrigger* const t = old[i++];
            if (remove_listed(m.triggers, m.trigger_count, t)) {
                run_trigger_function(*t, t->leave, object);
            }
        } else if (i == n_old || fresh[j]->rank < old[i]->rank) {
            PhysicsTrigger* const t = fresh[j++];
            const int32_t before = m.trigger_count;
            insert_ranked(m.triggers, m.trigger_count, t);
            if (m.trigger_count > before) {
                run_trigger_function(*t, t->enter, object);
            }
        } else {
            ++i;
            ++j;
        }
    }
}

void PhysicsServer::activate_entity_triggers(int32_t number, uint32_t mask, uint32_t value)
{
    PhysicalEntity* const e = entity(number);
    if (e == nullptr || e->motion == nullptr) {
        return;
    }
    PhysicsTrigger* list[PHYS_ENTITY_TRIGGERS];
    const int32_t n = e->motion->trigger_count;
    std::memcpy(list, e->motion->triggers, sizeof(PhysicsTrigger*) * static_cast<size_t>(n));
    const uint32_t object = e->object;
    for (int32_t i = 0; i < n; ++i) {
        if ((list[i]->flags & mask) == value) {
            run_trigger_function(*list[i], list[i]->activate, object);
        }
    }
}

void PhysicsServer::activate_point_triggers(const Vector& point, uint32_t mask, uint32_t value)
{
    if (!running() || !std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z)) {
        return;
    }
    EntityList near;
    locator_.at_point(point, near);
    PhysicsTrigger* list[PHYS_ENTITY_TRIGGERS];
    const int32_t n = triggers_at(0, point, near, list);
    for (int32_t i = 0; i < n; ++i) {
        if ((list[i]->flags & mask) == value) {
            run_trigger_function(*list[i], list[i]->activate, 0);
        }
    }
}
