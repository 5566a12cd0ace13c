// The physics server's life, its entities, their setters and the volumes.
#include "server/physics_server.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "server/ph_frame.h"
#include "server/ph_material.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

bool finite3(float a, float b, float c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

float length_of(const Vector& v) { return std::sqrt(vec_dot(v, v)); }

// Stores v when the sum of the absolute differences is above 0; true then.
bool store_if_changed(Vector& field, const Vector& v)
{
    if (vec_abs_difference(field, v) > 0.0f) {
        field = v;
        return true;
    }
    return false;
}

bool refused(int32_t entity, const char* what)
{
    print_format(P_WARNING, "Physics: Non-finite %s refused for entity %d", what, entity);
    return true;
}

} // namespace

PhysicsServer::PhysicsServer()
{
    for (int32_t i = 0; i < PHYS_ENTITIES; ++i) {
        entities_[i].number = i;
    }
}

PhysicsServer::~PhysicsServer() { done(); }

int PhysicsServer::init(ShareManager* share, const char* volume_path, kcontext_t* context, uint32_t map_id)
{
    context_script_.set_context(context);
    uint32_t identifier = map_id;
    return init(share, volume_path, &context_script_, &identifier);
}

int PhysicsServer::init(ShareManager* share, const char* volume_path, PhysicsScript* script, uint32_t* map_id)
{
    done();
    K_ASSERT(share && script);
    share_ = share;
    script_ = script;
    material_defaults();
    volumes_ = static_cast<VolumeSet*>(share->acquire(VOLUME_SHARE_ID, volume_path, map_id));
    if (volumes_ == nullptr) {
        print_format(P_ERROR, "Physics: Can't load file '%s'", volume_path);
        return 0;
    }
    const VolumeTree& world = volumes_->tree(0, 0);
    locator_.build(world.box_min, world.box_max);
    trigger_count_ = volumes_->trigger_count();
    if (trigger_count_ > 0) {
        triggers_ = new (std::nothrow) PhysicsTrigger[static_cast<size_t>(trigger_count_)];
        if (triggers_ == nullptr) {
            print_string(P_ERROR, "Physics: Can't alloc triggers");
            trigger_count_ = 0;
            done();
            return 0;
        }
        for (int32_t i = 0; i < trigger_count_; ++i) {
            triggers_[i].rank = i;
        }
    }
    if (motion_list_.create(PHYS_ENTITIES) == 0 || volume_list_.create(PHYS_ENTITIES) == 0 ||
        physical_entity_list_.create(PHYS_ENTITIES) == 0 || cursor_list_.create(PHYS_FIND_CURSORS) == 0) {
        done();
        return 0;
    }
    gravity_ = Vector{0, 0, 0};
    stats_ = PhysicsStats{};
    if (cvar_list != nullptr) {
        ph_stats_ = cvar_list->link(CVTYPE_BOOL, 0, "Ph_Stats", "False", 0);
    }
    return 1;
}

void PhysicsServer::done()
{
    if (share_ != nullptr) {
        for (int32_t i = 0; i < dynamic_volumes_; ++i) {
            share_->release(dynamic_[i]);
            dynamic_[i] = nullptr;
        }
        if (volumes_ != nullptr) {
            share_->release(volumes_);
        }
    }
    dynamic_volumes_ = 0;
    volumes_ = nullptr;
    delete[] triggers_;
    triggers_ = nullptr;
    trigger_count_ = 0;
    motion_list_.destroy();
    volume_list_.destroy();
    physical_entity_list_.destroy();
    cursor_list_.destroy();
    locator_.clear();
    for (int32_t i = 0; i < PHYS_ENTITIES; ++i) {
        entities_[i] = PhysicalEntity{};
        entities_[i].number = i;
        motions_[i] = MotionRecord{};
        volume_instances_[i] = VolumeInstance{};
    }
    if (ph_stats_ != nullptr && cvar_list != nullptr) {
        cvar_list->release(ph_stats_);
    }
    ph_stats_ = nullptr;
    share_ = nullptr;
}

PhysicalEntity* PhysicsServer::entity(int32_t number)
{
    if (number < 0 || number >= PHYS_ENTITIES || !entities_[number].alive()) {
        return nullptr;
    }
    return &entities_[number];
}

const PhysicalEntity* PhysicsServer::entity(int32_t number) const
{
    return const_cast<PhysicsServer*>(this)->entity(number);
}

const VolumeSet* PhysicsServer::volume_of(int32_t volume_number) const
{
    const uint32_t v = static_cast<uint32_t>(volume_number);
    const int32_t index = static_cast<int32_t>(v & 0x0FFFFFFFu);
    if ((v & 0xF0000000u) == VOLUME_MAP_MODEL) {
        return volumes_ != nullptr && index < volumes_->models ? volumes_ : nullptr;
    }
    if ((v & 0xF0000000u) == VOLUME_DYNAMIC) {
        return index < dynamic_volumes_ ? dynamic_[index] : nullptr;
    }
    return nullptr;
}

int32_t PhysicsServer::create_entity(uint32_t object, const Vector& size, int32_t volume_number, uint32_t flags)
{
    if (!running() || !finite(size)) {
        return -1;
    }
    const int32_t id = physical_entity_list_.alloc(IL_USED_TAIL);
    if (id < 0) {
        print_string(P_WARNING, "Physics: No free entity");
        return -1;
    }
    PhysicalEntity& e = entities_[id];
    e = PhysicalEntity{};
    e.number = id;
    if ((flags & PHYS_MOVING) != 0) {
        const int32_t m = motion_list_.alloc();
        MotionRecord& motion = motions_[m];
        motion = MotionRecord{};
        motion.entity = &e;
        motion.tree = volumes_->nearest_tree(size);
        e.motion = &motion;
        e.radius = 2.0f * length_of(size);
    }
    const VolumeSet* const set = (flags & PHYS_VOLUME) != 0 && volume_number >= 0 ? volume_of(volume_number) : nullptr;
    if ((flags & PHYS_VOLUME) != 0 && volume_number >= 0 && set == nullptr) {
        print_format(P_WARNING, "Physics: Entity %d names no volume 0x%x", id, static_cast<uint32_t>(volume_number));
    }
    if (set != nullptr) {
        const int32_t model = static_cast<int32_t>(static_cast<uint32_t>(volume_number) & 0x0FFFFFFFu);
        const int32_t v = volume_list_.alloc();
        VolumeInstance& vi = volume_instances_[v];
        vi = VolumeInstance{};
        vi.entity = &e;
        vi.trees = set == volumes_ ? set->model_trees(model) : set->model_trees(0);
        vi.tree_count = set->trees;
        vi.box_min = vi.trees[0].box_min;
        vi.box_max = vi.trees[0].box_max;
        vi.trigger.rank = VOLUME_TRIGGER_LIMIT + v;
        e.volume = &vi;
        e.radius = std::fmax(e.radius, std::fmax(length_of(vi.box_min), length_of(vi.box_max)));
    }
    e.object = object;
    e.flags = flags | PHYS_CREATED;
    mat_identity(e.transform);
    mat_identity(e.next_transform);
    e.upright = true;
    e.clear_tree = nullptr;
    return id;
}

void PhysicsServer::destroy_entity(int32_t number)
{
    // A second destroy, also from a leave function the first one runs, finds
    // the entity dead and does nothing.
    PhysicalEntity* const e = entity(number);
    if (e == nullptr) {
        return;
    }
    e->flags &= ~PHYS_ALIVE;
    if (e->motion != nullptr) {
        MotionRecord& m = *e->motion;
        PhysicsTrigger* left[PHYS_ENTITY_TRIGGERS];
        const int32_t n = m.trigger_count;
        std::memcpy(left, m.triggers, sizeof(PhysicsTrigger*) * static_cast<size_t>(n));
        m.trigger_count = 0;
        for (int32_t i = 0; i < n; ++i) {
            run_trigger_function(*left[i], left[i]->leave, e->object);
        }
        motion_list_.free(static_cast<int32_t>(e->motion - motions_));
        *e->motion = MotionRecord{};
    }
    if (e->volume != nullptr) {
        // Its box trigger vanishes from every list that holds it, without a leave.
        const PhysicsTrigger* const box = &e->volume->trigger;
        for (MotionRecord& m : motions_) {
            int32_t kept = 0;
            for (int32_t i = 0; i < m.trigger_count; ++i) {
                if (m.triggers[i] != box) {
                    m.triggers[kept++] = m.triggers[i];
                }
            }
            m.trigger_count = kept;
        }
        volume_list_.free(static_cast<int32_t>(e->volume - volume_instances_));
        *e->volume = VolumeInstance{};
    }
    locator_.unlink(e);
    // Entities that stood on it or were stopped by it forget it.
    // (Not through the list: its cursor may belong to a tick in progress.)
    for (PhysicalEntity& o : entities_) {
        if (o.last_block == e) {
            o.last_block = nullptr;
        }
        if (o.motion != nullptr && o.motion->carrier == e) {
            o.motion->carrier = nullptr;
        }
    }
    *e = PhysicalEntity{};
    e->number = number;
    physical_entity_list_.free(number);
}

int PhysicsServer::entity_pose(int32_t number, bool with_step, Vector& position, float angles[3]) const
{
    const PhysicalEntity* const e = entity(number);
    if (e == nullptr) {
        position = Vector{0, 0, 0};
        angles[0] = angles[1] = angles[2] = 0.0f;
        return 0;
    }
    position = e->position;
    if (with_step && e->motion != nullptr) {
        position.z += e->motion->step_offset;
    }
    angles[0] = e->heading;
    angles[1] = e->pitch;
    angles[2] = e->bank;
    return 1;
}

void PhysicsServer::place_from_setter(PhysicalEntity& e, const Vector& position, float heading, float pitch,
                                      float bank)
{
    EntityList near;
    locator_.at_point(position, near);
    near.drop_related(&e);
    // A point on a plane lies behind it, so a body placed exactly on a floor
    // would stand inside it and never move again: lift it the few thousandths
    // that the fit searches step by.
    Vector at = position;
    if (e.motion != nullptr && finite(position)) {
        for (int i = 0; i < FIT_TRIES && point_contents(e.motion->tree, at, near) > e.motion->penetrable; ++i) {
            at.z = position.z + FIT_STEP_HEIGHT * static_cast<float>(i + 1);
        }
        if (point_contents(e.motion->tree, at, near) > e.motion->penetrable) {
            at = position;
        }
    }
    place(e, at, heading, pitch, bank, near);
}

void PhysicsServer::place(PhysicalEntity& e, const Vector& position, float heading, float pitch, float bank,
                          const EntityList& near)
{
    if (!finite(position) || !finite3(heading, pitch, bank)) {
        refused(e.number, "pose");
        return;
    }
    const bool step = e.motion != nullptr && e.motion->step_offset != 0.0f;
    // The rotation is built again only when the angles change.
    const bool turned_now = (e.flags & PHYS_UNPLACED) != 0 || e.heading != heading || e.pitch != pitch ||
                            e.bank != bank;
    if (turned_now || vec_differs(e.position, position) != 0 || step) {
        e.position = position;
        e.heading = heading;
        e.pitch = pitch;
        e.bank = bank;
        e.flags &= ~PHYS_UNPLACED;
    }
    constexpr float TICK = 1.0f / 70.0f;
    Vector ahead = e.position;
    vec_add_scaled(ahead, e.velocity, TICK);
    if (turned_now) {
        mat_from_angles(e.transform, e.position, e.heading, e.pitch, e.bank);
        e.upright = turns_not(e.transform);
    } else {
        mat_set_translation(e.transform, e.position);
    }
    e.clear_tree = nullptr;
    if (e.spin.x != 0.0f || e.spin.y != 0.0f || e.spin.z != 0.0f) {
        mat_from_angles(e.next_transform, ahead, e.heading + e.spin.x * TICK, e.pitch + e.spin.y * TICK,
                        e.bank + e.spin.z * TICK);
    } else {
        e.next_transform = e.transform;
        mat_set_translation(e.next_transform, ahead);
    }
    if (e.motion != nullptr) {
        update_triggers(e, near);
        // A trigger function may have destroyed or moved it meanwhile.
        if (!e.alive()) {
            return;
        }
        e.motion->medium_material = point_contents(0, e.position, near);
    }
    locator_.link(&e);
}

void PhysicsServer::set_physical_position(int32_t number, const Vector& position)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && (finite(position) || !refused(number, "position"))) {
        place_from_setter(*e, position, e->heading, e->pitch, e->bank);
    }
}

void PhysicsServer::set_physical_angles(int32_t number, float heading, float pitch, float bank)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && (finite3(heading, pitch, bank) || !refused(number, "angles"))) {
        place_from_setter(*e, e->position, heading, pitch, bank);
    }
}

void PhysicsServer::set_physical_velocity(int32_t number, const Vector& velocity)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && (finite(velocity) || !refused(number, "velocity"))) {
        e->velocity = velocity;
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_local_velocity(int32_t number, const Vector& velocity)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && (finite(velocity) || !refused(number, "velocity"))) {
        e->velocity = turned(e->transform, velocity);
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_rotation(int32_t number, float heading, float pitch, float bank)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && (finite3(heading, pitch, bank) || !refused(number, "rotation"))) {
        e->spin = Vector{heading, pitch, bank};
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_force(int32_t number, const Vector& force)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && (finite(force) || !refused(number, "force")) &&
        store_if_changed(e->motion->force, force)) {
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_thrust(int32_t number, const Vector& thrust)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && (finite(thrust) || !refused(number, "thrust")) &&
        store_if_changed(e->motion->thrust, thrust)) {
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_local_thrust(int32_t number, Vector& thrust)
{
    PhysicalEntity* const e = entity(number);
    if (e == nullptr || e->motion == nullptr) {
        thrust = Vector{0, 0, 0};
        return;
    }
    if ((finite(thrust) || !refused(number, "thrust")) && store_if_changed(e->motion->thrust, turned(e->transform, thrust))) {
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_turn(int32_t number, float heading, float pitch, float bank)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && (finite3(heading, pitch, bank) || !refused(number, "turn")) &&
        store_if_changed(e->motion->turn, Vector{heading, pitch, bank})) {
        e->flags |= PHYS_AWAKE;
    }
}

void PhysicsServer::set_physical_mass(int32_t number, float mass)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && !std::isnan(mass)) {
        e->motion->inverse_mass = mass <= 0.0f ? 1e30f : 1.0f / mass;
    }
}

void PhysicsServer::set_physical_volume(int32_t number, float volume)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && std::isfinite(volume)) {
        e->motion->volume = volume;
    }
}

void PhysicsServer::set_physical_bounce(int32_t number, float bounce)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr && std::isfinite(bounce)) {
        e->motion->bounce = bounce;
    }
}

void PhysicsServer::set_physical_penetrable_material(int32_t number, int32_t material)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr && e->motion != nullptr) {
        e->motion->penetrable = material;
    }
}

void PhysicsServer::set_physical_step(int32_t number, float height, float speed)
{
    PhysicalEntity* const e = entity(number);
    if (e == nullptr || e->motion == nullptr || !std::isfinite(height) || !std::isfinite(speed)) {
        return;
    }
    e->motion->step_height = height;
    if (speed > 0.0f) {
        e->flags |= PHYS_STEP_SMOOTH;
        e->motion->step_speed = speed;
    } else {
        e->flags &= ~PHYS_STEP_SMOOTH;
        e->motion->step_speed = 0.0f;
    }
}

void PhysicsServer::set_physical_owner(int32_t number, int32_t owner)
{
    PhysicalEntity* const e = entity(number);
    if (e != nullptr) {
        e->owner = owner;
    }
}

void PhysicsServer::set_physical_gravity(const Vector& gravity)
{
    if (finite(gravity) || !refused(-1, "gravity")) {
        gravity_ = gravity;
    }
}

int32_t PhysicsServer::physical_ground_material(int32_t number) const
{
    const PhysicalEntity* const e = entity(number);
    return e != nullptr && e->motion != nullptr ? e->motion->ground_material : 0;
}

int32_t PhysicsServer::physical_entity_material(int32_t number) const
{
    const PhysicalEntity* const e = entity(number);
    return e != nullptr && e->motion != nullptr ? e->motion->medium_material : 0;
}

Vector PhysicsServer::get_tree_delta(int32_t number) const
{
    if (volumes_ == nullptr) {
        return Vector{0, 0, 0};
    }
    const PhysicalEntity* const e = entity(number);
    return volumes_->hulls[e != nullptr && e->motion != nullptr ? e->motion->tree : 0];
}

int32_t PhysicsServer::get_box_volume(int32_t contents, const Vector& centre, const Vector& half)
{
    if (volumes_ == nullptr || !finite(centre) || !finite(half)) {
        return -1;
    }
    const Vector lo = {centre.x - half.x, centre.y - half.y, centre.z - half.z};
    const Vector hi = {centre.x + half.x, centre.y + half.y, centre.z + half.z};
    for (int32_t i = 0; i < dynamic_volumes_; ++i) {
        const VolumeSet& s = *dynamic_[i];
        if (s.box_contents == contents && vec_equal(s.box_min, lo) != 0 && vec_equal(s.box_max, hi) != 0) {
            return static_cast<int32_t>(VOLUME_DYNAMIC) | i;
        }
    }
    if (dynamic_volumes_ >= MAX_DYNAMIC_VOLUMES) {
        print_string(P_WARNING, "Physics: No free dynamic volume");
        return -1;
    }
    auto* const set = static_cast<VolumeSet*>(
        share_->acquire(VOLUME_SHARE_ID, static_cast<const char*>(nullptr), &lo, &hi,
                        static_cast<const Vector*>(volumes_->hulls), static_cast<int>(volumes_->trees), contents));
    if (set == nullptr) {
        return -1;
    }
    const int32_t i = dynamic_volumes_++;
    dynamic_[i] = set;
    return static_cast<int32_t>(VOLUME_DYNAMIC) | i;
}

int32_t PhysicsServer::map_model_volume(int32_t model) const
{
    return volumes_ != nullptr && model >= 0 && model < volumes_->models ? static_cast<int32_t>(VOLUME_MAP_MODEL) | model
                                                                         : -1;
}

int32_t PhysicsServer::model_count() const { return volumes_ != nullptr ? volumes_->models : 0; }
