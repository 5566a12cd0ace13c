#pragma once
// The decoded state of every replicated object class, one record per slot:
// what each class reads of an update after the common fields, kept as plain
// values. Drawing, lighting and sound are bound to these records by the
// renderer and the sound system; the BSP models and the camera act on the
// world and the view directly.
#include "client/cobj_manager.h"
#include "core/view_frame.h"
#include "net/net_ccache.h"

#include <cstdint>
#include <memory>
#include <new>

class SharedMap;

// A manager with one record of its own per slot.
template <typename Record>
class RecordManager : public CObjManager {
public:
    Record& record(int i) { return records_[i]; }
    const Record& record(int i) const { return records_[i]; }

protected:
    int create_records(int capacity, int hashed)
    {
        destroy_records();
        if (CObjManager::create(capacity, hashed) == 0) {
            return 0;
        }
        records_.reset(new (std::nothrow) Record[capacity > 0 ? capacity : 1]);
        if (records_ == nullptr) {
            CObjManager::destroy();
            return 0;
        }
        return 1;
    }
    void destroy_records()
    {
        records_.reset();
        CObjManager::destroy();
    }
    void reset_record(int i) { records_[i] = Record{}; }

private:
    std::unique_ptr<Record[]> records_;
};

struct LampState {
    float intensity = 1.0f;
    uint32_t colour = 0xFFFFFF;
    uint32_t focus_mode = 0;
    float focus[4] = {};
};

// Classes 1 (map lamps, direct) and 2 (dynamic lamps, hashed).
class LampRecords final : public RecordManager<LampState> {
public:
    int create(int capacity, int hashed) { return create_records(capacity, hashed); }
    void destroy() { destroy_records(); }
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int index, int force) override;
};

struct LightState {
    uint32_t lamp = OBJID_UNUSED;
    float range = 1.0f;
    uint32_t kind = 0; // the float's bits as received
    float intensity = 1.0f;
};

// Class 3: dynamic lights.
class LightRecords final : public RecordManager<LightState> {
public:
    int create(int capacity) { return create_records(capacity, 1); }
    void destroy() { destroy_records(); }
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }
};

struct FlareState {
    float scale = 1.0f;
    float fade[2] = {1.0f, 1.0f};
    float rays[5] = {0.0f, 1.0f, 4.0f, 0.5f, 4.0f};
    float streak[2] = {0.0f, 1.0f};
    float ghosts[2] = {0.0f, 1.0f};
    uint32_t colour = 0xFFFFFF;
    uint32_t lamp = OBJID_UNUSED;
    float size = 64.0f;
};

// Class 4: lens flares.
class FlareRecords final : public RecordManager<FlareState> {
public:
    int create(int capacity) { return create_records(capacity, 1); }
    void destroy() { destroy_records(); }
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }
};

constexpr int MESH_NAME_BLOCKS = 32;
constexpr int MESH_NAME_SIZE = 32;

struct MeshState {
    bool has_model = false;
    char directory[MESH_NAME_SIZE] = {};
    char model[MESH_NAME_SIZE] = {};
    uint32_t frame1 = 0;
    uint32_t frame2 = 0;
    float blend = 0.0f;
    uint32_t colour = 0;
    float strength = 0.0f;
    float sharpness = 0.0f;
    float transparency = 0.0f;
};

// Class 5: mesh objects.
class MeshRecords final : public RecordManager<MeshState> {
public:
    int create(int capacity);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

private:
    NetCCache names_;
};

constexpr int SPRITE_NAME_BLOCKS = 64;
constexpr int SPRITE_NAME_SIZE = 10;

struct SpriteState {
    bool has_texture = false;
    char texture[SPRITE_NAME_SIZE] = {};
};

// Class 6: sprites.
class SpriteRecords final : public RecordManager<SpriteState> {
public:
    int create(int capacity);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

private:
    NetCCache names_;
};

// Class 7: the map's BSP models, placed and linked into the map's leaves.
class ModelRecords final : public CObjManager {
public:
    int create(SharedMap* map);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int index, int force) override;

private:
    SharedMap* map_ = nullptr;
};

constexpr int EMITTER_STATE_BLOCKS = 64;
constexpr int EMITTER_STATE_BYTES = 82;
constexpr int EMITTER_STATE_BITS = 650;

struct EmitterState {
    uint32_t particles = 0;
    uint32_t mode = 0;
    float fade[3] = {};
    uint32_t emitter_flag = 0;
    float emitter[12] = {};
    float acceleration[3] = {};
    uint32_t colours[2] = {};
    uint32_t spawn_count = 0;
    uint32_t spawn[5] = {};
};

// Class 8: particle emitters. The whole state comes once as a cached block.
class EmitterRecords final : public RecordManager<EmitterState> {
public:
    int create(int capacity);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

private:
    void read_state(int index, uint32_t mask, NetStreamIn& stream);

    NetCCache states_;
};

constexpr int SOUND_NAME_BLOCKS = 64;
constexpr int SOUND_NAME_SIZE = 32;

struct SoundState {
    bool has_source = false;
    char name[SOUND_NAME_SIZE] = {};
    uint32_t looped = 0;
    uint32_t frequency = 64;
    uint32_t distances[2] = {2, 8};
    uint32_t levels[2] = {63, 0};
};

// Class 9: sound sources.
class SoundRecords final : public RecordManager<SoundState> {
public:
    int create(int capacity);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

private:
    NetCCache names_;
};

// Class 10: the one camera, through which the client draws and listens.
class CameraRecords final : public CObjManager {
public:
    int create(int capacity);
    void destroy() { CObjManager::destroy(); }
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

    ViewFrame view;
    uint32_t tint = 0;
};

constexpr int ICON_NAME_BLOCKS = 64;
constexpr int ICON_NAME_SIZE = 10;
constexpr int32_t ICON_SCREEN_WIDTH = 25600;

struct IconState {
    bool placed = false;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t extent = ICON_SCREEN_WIDTH;
    char picture[ICON_NAME_SIZE] = {};
};

// Class 11: icons on the screen.
class IconRecords final : public RecordManager<IconState> {
public:
    int create(int capacity);
    void destroy();
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int, int) override { return 1; }

private:
    NetCCache names_;
};
