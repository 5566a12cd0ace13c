#pragma once
// The records of the physics world: entities, their motion records and
// volume instances, and triggers. Positions in units, z up; velocities per
// second; angles in radians.
#include "core/matrix.h"
#include "world/volume_set.h"

#include <cstdint>

constexpr int32_t PHYS_ENTITIES = 256;
constexpr int32_t MAX_DYNAMIC_VOLUMES = 256;
constexpr int32_t MAX_CLIPPING_PLANES = 4;
// At most this many triggers hold one entity at a time; more are left out.
constexpr int32_t PHYS_ENTITY_TRIGGERS = 32;

constexpr uint32_t PHYS_MOVING = 0x01;       // asked for a motion record
constexpr uint32_t PHYS_VOLUME = 0x02;       // carries a volume
constexpr uint32_t PHYS_GROUND_CONTACT = 0x04;
constexpr uint32_t PHYS_UNPLACED = 0x08;
constexpr uint32_t PHYS_ON_GROUND = 0x10;    // this tick
constexpr uint32_t PHYS_STEP_SMOOTH = 0x20;
constexpr uint32_t PHYS_ALIVE = 0x40;
constexpr uint32_t PHYS_AWAKE = 0x80;
constexpr uint32_t PHYS_MOVED = 0x100;       // during the previous tick
constexpr uint32_t PHYS_CREATED = PHYS_MOVED | PHYS_AWAKE | PHYS_ALIVE | PHYS_UNPLACED;

constexpr int32_t PHYS_GROUND_ENTITY = 0x60FF; // ground material: stands on a moving entity
constexpr int32_t PHYS_DEFAULT_PENETRABLE = 0x1FFF;

// Volume numbers.
constexpr uint32_t VOLUME_MAP_MODEL = 0x10000000u;
constexpr uint32_t VOLUME_DYNAMIC = 0x20000000u;

// A map trigger or the box trigger of a volume; functions are script code
// addresses, 0 for none.
struct PhysicsTrigger {
    int32_t number = -1; // -1: unused
    uint32_t flags = 0;
    uint32_t enter = 0;
    uint32_t leave = 0;
    uint32_t activate = 0;
    uint32_t argument = 0;
    int32_t rank = 0;    // the order of trigger lists: map triggers by number, then box triggers
};

struct PhysicalEntity;
struct LocatorNode;

struct MotionRecord {
    PhysicalEntity* entity = nullptr;
    PhysicalEntity* carrier = nullptr; // stood on this tick
    int32_t ground_material = 0;
    int32_t medium_material = 0;
    int32_t penetrable = PHYS_DEFAULT_PENETRABLE;
    Vector thrust = {0, 0, 0};
    Vector turn = {0, 0, 0}; // heading, pitch, bank
    Vector force = {0, 0, 0};
    float inverse_mass = 1.0f;
    float volume = 1.0f;
    float bounce = 1.0f;
    Vector clip_normals[MAX_CLIPPING_PLANES] = {};
    float clip_speeds[MAX_CLIPPING_PLANES] = {};
    int32_t clip_count = 0;
    float forward_speed = 0.0f;
    float thrust_forward_speed = 0.0f;
    float step_height = 0.0f;
    float step_speed = 0.0f;
    float step_offset = 0.0f;
    int32_t tree = 0;
    PhysicsTrigger* triggers[PHYS_ENTITY_TRIGGERS] = {}; // ascending by rank
    int32_t trigger_count = 0;
    bool triggers_enabled = false;
};

struct VolumeInstance {
    PhysicalEntity* entity = nullptr;
    const VolumeTree* trees = nullptr;
    int32_t tree_count = 0;
    Vector box_min = {0, 0, 0};
    Vector box_max = {0, 0, 0};
    PhysicsTrigger trigger;
};

// What the candidate loops read (pose, size, flags, relations) comes first,
// in one cache line.
struct PhysicalEntity {
    MotionRecord* motion = nullptr;
    VolumeInstance* volume = nullptr;
    Vector position = {0, 0, 0};
    float radius = 0.0f;
    uint32_t flags = 0;
    int32_t number = -1;
    int32_t owner = -1;
    uint32_t object = 0;
    LocatorNode* node = nullptr;
    int32_t slot = -1; // in the locator's packed boxes; -1 without one
    uint32_t pass = 0; // the collision pass that last handled it
    bool upright = true; // the transform does not turn: frames differ by the translation alone
    PhysicalEntity** prev_link = nullptr; // in the locator node's list
    PhysicalEntity* next = nullptr;
    PhysicalEntity* last_block = nullptr;
    Vector velocity = {0, 0, 0};
    float heading = 0.0f;
    float pitch = 0.0f;
    float bank = 0.0f;
    Vector spin = {0, 0, 0}; // heading, pitch and bank velocities
    Matrix transform = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
    Matrix next_transform = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
    float time_left = 0.0f;
    // For an upright entity, the world box beyond which the tree `clear_tree`
    // of its volume holds only the outside; kept until the transform changes
    // (null: not known).
    mutable const VolumeTree* clear_tree = nullptr;
    mutable Vector clear_lo = {0, 0, 0};
    mutable Vector clear_hi = {0, 0, 0};

    bool alive() const { return (flags & PHYS_ALIVE) != 0; }
    bool awake() const { return (flags & PHYS_AWAKE) != 0; }
};
