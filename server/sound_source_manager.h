#pragma once
// Sound sources (class 9): a named sound played at the object's place with a
// pitch (1/64) and a two-point attenuation: near and far distances (units of
// 8 and 256) with their levels (1/63). Admitted to a client by its audience
// and by distance from the client's listening position.
#include "net/net_scache.h"
#include "server/sobj_manager.h"

constexpr int32_t SOUND_SOURCE_MAX = 256;
constexpr int SOUND_NAME_SIZE = 32;
constexpr int32_t SOUND_NAME_BLOCKS = 64;
constexpr int SOUND_NAME_INDEX_BITS = 6;
constexpr int PROPERTY_SOUND_NAME = 0x900;
constexpr int PROPERTY_SOUND_MODE = 0x901;
constexpr int PROPERTY_SOUND_FREQUENCY = 0x902;
constexpr int PROPERTY_SOUND_ATTENUATION = 0x903;
constexpr int32_t SOUND_PITCH_DEFAULT = 64;
constexpr int32_t SOUND_NEAR_DEFAULT = 2;
constexpr int32_t SOUND_FAR_DEFAULT = 8;
constexpr int32_t SOUND_NEAR_LEVEL_DEFAULT = 63;
constexpr uint32_t SOUND_PART_PITCH = 0x10000;
constexpr uint32_t SOUND_PART_DISTANCE = 0x20000;
constexpr uint32_t SOUND_PART_LEVEL = 0x40000;

struct SSoundSource {
    char name[SOUND_NAME_SIZE];
    int32_t mode;          // bit 0 is sent
    int32_t pitch;         // 0..255, 1/64
    int32_t near_distance; // 0..63, units of 8
    int32_t far_distance;  // 0..63, units of 256
    int32_t near_level;    // 0..63, 1/63
    int32_t far_level;
    int32_t pitch_stamp;
    int32_t distance_stamp;
    int32_t level_stamp;
    Vector position;
};

class SSoundSourceManager final : public SObjManager {
public:
    ~SSoundSourceManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void reset_client(int client) override;
    // Keeps the transform's translation as the source's position.
    void relink(int32_t index, const Matrix& transform) override;

    // 1, or 0 when memory fails.
    int start(int32_t n, int32_t clients);
    void stop();

    // The audience pass of sound sources: a source whose far level is 0 is
    // admitted only within its far distance of the listener.
    void admit_audible(int client, const Vector& listener);

    const SSoundSource& source(int32_t index) const { return sources_[index]; }

private:
    SSoundSource* sources_ = nullptr;
    NetSCache names_;
};
