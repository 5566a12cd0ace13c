#pragma once
// Mesh objects (class 5): an animated model at an object's place. The server
// keeps the model's meta-model, plays its cycles tick by tick and sends the
// two model frames to show with the blend between them (sixteenths), the
// lighting and the transparency. Model names reach clients through a block
// cache of 32 names.
#include "net/net_scache.h"
#include "server/filtered_manager.h"
#include "server/meta_model.h"

class MeshPhysics;

constexpr int32_t MESH_OBJECT_MAX = 256;
constexpr int32_t MESH_NAME_BLOCKS = 32;
constexpr int MESH_NAME_INDEX_BITS = 5;
constexpr int PROPERTY_MESH_MODEL = 0x500;
constexpr int PROPERTY_MESH_LIGHTING = 0x501;
constexpr int PROPERTY_MESH_TRANSPARENCY = 0x502;
constexpr int PROPERTY_MESH_POSE = 0x503;
constexpr int32_t MESH_LEVEL_DEFAULT = 7;
constexpr int32_t MESH_SPREAD_DEFAULT = 4;
constexpr uint32_t MESH_PART_FRAME = 0x10000;
constexpr uint32_t MESH_PART_COLOUR = 0x20000;
constexpr uint32_t MESH_PART_LIGHT = 0x40000;
// Animation flags.
constexpr int32_t MESH_ANIM_QUEUE = 0x1;  // the active cycle ends first
constexpr int32_t MESH_ANIM_MOTION = 0x2; // the rate follows the carrier's forward speed
// Frames one tick may step through; beyond, the animation waits at the start
// of the frame it reached (a huge rate would otherwise hold the tick).
constexpr int32_t MESH_ADVANCE_STEPS_MAX = 4096;

struct SMeshObject {
    const MetaModel* model;
    int32_t active_cycle; // -1 when none
    int32_t active_frame; // index into the model's frames
    float time;           // spent in the active frame
    int32_t next_cycle;   // -1 when none
    float speed;          // rate, or the blend weight of motion-driven playback
    int32_t anim_flags;
    int32_t frame1;
    int32_t frame2;
    int32_t blend;        // 0..15
    int32_t colour;       // 12 bits
    int32_t level;        // 0..15
    int32_t spread;       // 0..7
    int32_t transparency; // 0..31
    int32_t frame_stamp;
    int32_t colour_stamp;
    int32_t light_stamp;  // level, spread or transparency
};

class SMeshObjectManager final : public FilteredObjectManager {
public:
    ~SMeshObjectManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(SMeshManager* models, const MeshPhysics* physics, SharedMap* map, int32_t n, int32_t clients);
    void stop();

    // Queries of the builtins; ids of another class or not valid give the defaults.
    Vector size_of(uint32_t id) const;
    Vector collision_size_of(uint32_t id) const;
    int32_t pose_count_of(uint32_t id) const;
    const int32_t* tag_of(uint32_t id, const char* name) const;
    Vector hook_of(uint32_t id) const;
    Vector model_point(uint32_t id, int32_t point) const;
    // Plays cycle c (a pose j as cycles + j; negative: hold a pose) at speed s
    // with the flags: the duration of the cycle that plays next / s, or 0.
    float set_animation(uint32_t id, int32_t c, float s, int32_t flags);

    // One tick of every animated object (after the physics tick).
    void animate(int32_t tick);

    // The model of a valid mesh object's id, or null.
    const MetaModel* model_of(uint32_t id) const;

    const SMeshObject& object(int32_t index) const { return objects_[index]; }

private:
    void advance(SMeshObject& o, int32_t entity);

    SMeshManager* models_ = nullptr;
    const MeshPhysics* physics_ = nullptr;
    SMeshObject* objects_ = nullptr;
    NetSCache names_;
};
