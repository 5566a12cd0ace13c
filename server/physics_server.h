#pragma once
// The server's physics world: up to 256 physical entities (bounding sphere,
// pose, velocities, optionally a motion record and a volume of their own),
// the map's volume set and trigger table, dynamic box volumes, the locator,
// find cursors, and the tick that moves and collides the entities.
//
// Entity numbers are 0-255; volume numbers 0x10000000 | model of the map's
// set, 0x20000000 | dynamic box volume. Negative entity numbers and cursors
// are ignored; limits (entities, cursors, trigger lists) are refused with -1
// or an empty result and reported. Non-finite values given to a setter are
// refused. Script calls go through a PhysicsScript and may create, move or
// destroy entities in the middle of anything here.
#include "core/index_list.h"
#include "server/ph_locator.h"
#include "server/physics_entity.h"
#include "server/physics_script.h"
#include "world/tree_cast.h"
#include "world/volume_set.h"

#include <cstdint>

class ShareManager;
class ConfigVariable;
struct kcontext_t;

constexpr int32_t PHYS_FIND_CURSORS = 16;
// Fit searches try this many times, stepping back in time or in height.
constexpr int FIT_TRIES = 10;
constexpr float FIT_STEP_TIME = 0.001f;
constexpr float FIT_STEP_HEIGHT = 0.001f;

// A ray cast's answer: the tree hit plus what was hit (object 0 and entity
// null for the map).
struct RayHit : TreeHit {
    uint32_t object = 0;
    PhysicalEntity* entity = nullptr;
};

// Counted since the last statistics line.
struct PhysicsStats {
    int32_t locates = 0;
    int32_t locate_volume_tests = 0;
    int32_t ray_casts = 0;
    int32_t ray_volume_tests = 0;
};

class PhysicsServer {
public:
    PhysicsServer();
    ~PhysicsServer();
    PhysicsServer(const PhysicsServer&) = delete;
    PhysicsServer& operator=(const PhysicsServer&) = delete;

    // The server's form: script calls through the context.
    int init(ShareManager* share, const char* volume_path, kcontext_t* context, uint32_t map_id);
    // Reads the volume set (a "VolT" share), builds the locator and trigger
    // table; 1, or 0 after "Physics: Can't load file '%s'" or another message.
    int init(ShareManager* share, const char* volume_path, PhysicsScript* script, uint32_t* map_id);
    // Releases everything; safe to call twice.
    void done();
    bool running() const { return volumes_ != nullptr; }

    void tick();

    // Entities.
    int32_t create_entity(uint32_t object, const Vector& size, int32_t volume_number, uint32_t flags);
    void destroy_entity(int32_t entity);
    // Position and heading, pitch, bank: 1, or 0 (all zero) for no live
    // entity; with_step adds a moving entity's step offset to z.
    int entity_pose(int32_t entity, bool with_step, Vector& position, float angles[3]) const;

    void set_physical_position(int32_t entity, const Vector& position);
    void set_physical_angles(int32_t entity, float heading, float pitch, float bank);
    void set_physical_velocity(int32_t entity, const Vector& velocity);
    void set_physical_local_velocity(int32_t entity, const Vector& velocity);
    void set_physical_rotation(int32_t entity, float heading, float pitch, float bank);
    void set_physical_force(int32_t entity, const Vector& force);
    void set_physical_thrust(int32_t entity, const Vector& thrust);
    // Without a motion record the caller's vector is zeroed.
    void set_physical_local_thrust(int32_t entity, Vector& thrust);
    void set_physical_turn(int32_t entity, float heading, float pitch, float bank);
    void set_physical_mass(int32_t entity, float mass);
    void set_physical_volume(int32_t entity, float volume);
    void set_physical_bounce(int32_t entity, float bounce);
    void set_physical_penetrable_material(int32_t entity, int32_t material);
    void set_physical_step(int32_t entity, float height, float speed);
    void set_physical_owner(int32_t entity, int32_t owner);
    void set_physical_gravity(const Vector& gravity);

    int32_t physical_ground_material(int32_t entity) const;
    int32_t physical_entity_material(int32_t entity) const;
    // The hull vector of the entity's tree (tree 0 for none or a non-moving entity).
    Vector get_tree_delta(int32_t entity) const;
    // The contents at the point in the entity's tree, from the map alone.
    int32_t physical_point_material(int32_t entity, const Vector& point);

    // Volumes: a box of contents around centre +- half (reused when the same
    // box was asked for before), or -1; model m of the map, or -1.
    int32_t get_box_volume(int32_t contents, const Vector& centre, const Vector& half);
    int32_t map_model_volume(int32_t model) const;
    int32_t model_count() const;

    // Triggers; functions are script code addresses.
    void register_trigger(int32_t number, uint32_t flags, uint32_t enter, uint32_t leave, uint32_t activate,
                          uint32_t argument);
    void register_box_trigger(int32_t entity, uint32_t flags, uint32_t enter, uint32_t leave, uint32_t activate,
                              uint32_t argument);
    void enable_triggers(int32_t entity);
    void disable_triggers(int32_t entity);
    void activate_entity_triggers(int32_t entity, uint32_t mask, uint32_t value);
    void activate_point_triggers(const Vector& point, uint32_t mask, uint32_t value);

    // Space queries.
    int cast_ray(RayHit& hit, const Vector& start, const Vector& direction, float length, int32_t material,
                 const Vector& size, int32_t excluded);
    int32_t find_entity(const Vector& centre, float radius, uint32_t mask, uint32_t value);
    uint32_t find_first(int32_t cursor);
    uint32_t find_next(int32_t cursor);
    void find_done(int32_t cursor);

    // Steps of the tick, one entity each.
    void move_entity(PhysicalEntity& e);
    int collide_entity(PhysicalEntity& e);
    int sweep(PhysicalEntity& e);
    void check_blocked(PhysicalEntity& e);

    // The live entity of that number, or null.
    PhysicalEntity* entity(int32_t number);
    const PhysicalEntity* entity(int32_t number) const;
    const VolumeSet* volume_set() const { return volumes_; }
    const Vector& gravity() const { return gravity_; }
    const PhysicsStats& stats() const { return stats_; }
    int32_t trigger_count() const { return trigger_count_; }
    const PhysicsTrigger* trigger(int32_t number) const;

private:
    struct FindCursor {
        EntityList list;
        int32_t read = 0;
    };
    // The candidates of one collision pass.
    struct Contacts;

    void place(PhysicalEntity& e, const Vector& position, float heading, float pitch, float bank,
               const EntityList& near);
    void place_from_setter(PhysicalEntity& e, const Vector& position, float heading, float pitch, float bank);
    void update_triggers(PhysicalEntity& e, const EntityList& near);
    int32_t triggers_at(int32_t tree, const Vector& point, const EntityList& near, PhysicsTrigger** out);
    int32_t point_contents(int32_t tree, const Vector& point, const EntityList& near);
    int cast_segment(RayHit& hit, const Vector& start, const Vector& direction, float length, int32_t threshold,
                     int32_t tree, const EntityList& near);
    void run_trigger_function(const PhysicsTrigger& t, uint32_t function, uint32_t object);
    const VolumeSet* volume_of(int32_t volume_number) const;
    PhysicsTrigger* box_trigger_of(PhysicalEntity& e);

    // Tick parts.
    bool fits(PhysicalEntity& e, const Vector& position, float heading, float pitch, float bank,
              const Contacts& c);
    float fit_search(PhysicalEntity& e, float t, const Contacts& c);
    int clip(PhysicalEntity& e, const Vector& n, float speed);
    int sweep_with(PhysicalEntity& e, const Contacts& c);
    int32_t contents_near(int32_t tree, const Vector& point, const Contacts& c);
    int cast_near(RayHit& hit, const Vector& start, const Vector& direction, float length, int32_t threshold,
                  int32_t tree, const Contacts& c);
    void find_candidates(PhysicalEntity& e, const Vector& lo, const Vector& hi, Contacts& c) const;
    Vector point_velocity(const PhysicalEntity& o, const Vector& at) const;
    int contact_first_kind(PhysicalEntity& e, PhysicalEntity* o, const Vector& n, int32_t m, const Contacts& c);
    int contact_second_kind(PhysicalEntity& e, PhysicalEntity& o, const Vector& n, int32_t m, const Vector& at);
    uint32_t call_method(uint32_t offset, uint32_t object, uint32_t argument);

    ShareManager* share_ = nullptr;
    PhysicsScript* script_ = nullptr;
    ContextPhysicsScript context_script_;
    VolumeSet* volumes_ = nullptr;
    PhysicsLocator locator_;
    MotionRecord motions_[PHYS_ENTITIES];
    IndexList motion_list_;
    VolumeInstance volume_instances_[PHYS_ENTITIES];
    IndexList volume_list_;
    VolumeSet* dynamic_[MAX_DYNAMIC_VOLUMES] = {};
    int32_t dynamic_volumes_ = 0;
    PhysicalEntity entities_[PHYS_ENTITIES];
    IndexList physical_entity_list_;
    FindCursor cursors_[PHYS_FIND_CURSORS];
    IndexList cursor_list_;
    PhysicsTrigger* triggers_ = nullptr;
    int32_t trigger_count_ = 0;
    Vector gravity_ = {0, 0, 0};
    ConfigVariable* ph_stats_ = nullptr;
    PhysicsStats stats_;
    uint32_t pass_ = 0;
    uint32_t script_calls_ = 0; // scripts may move anything: what was gathered before a call may be stale
};
