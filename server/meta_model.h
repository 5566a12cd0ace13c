#pragma once
// Meta-models: what the server knows of a mesh model without its geometry,
// read from "models/<name>.tmm" the first time a mesh object names it and
// kept for the life of the map. Sizes, the hook point, named tags, and the
// animation cycles with their frame timings, followed by one cycle per pose.
#include "core/vector.h"

#include <cstdint>
#include <memory>

constexpr int SMESH_NAME_SIZE = 32; // at most 31 characters
constexpr int SMESH_TAG_SIZE = 8;   // characters of a tag name
constexpr int32_t MESH_MODEL_MAX = 64;
constexpr uint32_t SMESH_BLEND = 0x1; // objects of the model blend between frames
// Frame numbers travel in 8 bits.
constexpr int32_t SMESH_FRAME_MAX = 255;
constexpr int32_t SMESH_POSE_MAX = SMESH_FRAME_MAX + 1;
constexpr const char* TMM_MAGIC = "textualMetaModel,version001";

struct MeshTag {
    char name[SMESH_TAG_SIZE + 4];
    int32_t value;
};

// In a terminating record, `frame` is the pose the cycle ends in and the duration 0.
struct MeshFrame {
    int32_t frame;
    float duration; // seconds
};

struct MeshCycle {
    int32_t first_frame; // index of its first frame record
    int32_t last_frame;  // index of its terminating record
    float distance;      // motion one run covers
    float duration;      // sum of its frames' durations
};

struct MetaModel {
    char name[SMESH_NAME_SIZE] = {};
    Vector size{};
    Vector collision_size{};
    Vector hook{};
    float radius = 0.0f;
    std::unique_ptr<MeshTag[]> tag;
    int32_t tags = 0;
    int32_t second_count = 0;
    std::unique_ptr<MeshCycle[]> cycle; // animation cycles, then one per pose
    int32_t cycles = 0;                 // animation cycles
    std::unique_ptr<MeshFrame[]> frame;
    int32_t frames = 0; // timed frames + cycles + 2 x poses
    int32_t poses = 0;
    uint32_t flags = 0;

    // The pose cycle of pose j.
    int32_t pose_cycle(int32_t j) const { return cycles + j; }
    // The value of the first tag of the name (case counts), or null.
    const int32_t* find_tag(const char* tag_name) const;
    // The number of that tag, or -1.
    int32_t find_tag_index(const char* tag_name) const;
    void clear();
};

// Reads "models/<name>.tmm" into the model: true, or false after a message
// naming the file when it is missing or bad.
bool read_meta_model(MetaModel& model, const char* name);

// The meta-models of a map.
class SMeshManager {
public:
    SMeshManager() = default;
    SMeshManager(const SMeshManager&) = delete;
    SMeshManager& operator=(const SMeshManager&) = delete;

    // max empty records: 1, or 0 after "Server: Can't allocate meshes!".
    int start(int32_t max);
    void stop();
    // The model of the name (without regard to case), read at the first
    // request; null when it cannot be read or the table is full.
    const MetaModel* get(const char* name);
    // The model's place in the table, or -1 for a model of another table.
    int32_t index_of(const MetaModel* model) const;

    int32_t meshes = 0;
    int32_t max_meshes = 0;

private:
    std::unique_ptr<MetaModel[]> models_;
};
