#pragma once
// Sprites (class 6): a named picture at the object's place. The name, at
// most 9 characters, travels once with the create record through a block
// cache of 64 names.
#include "net/net_scache.h"
#include "server/filtered_manager.h"

constexpr int32_t SPRITE_MAX = 256;
constexpr int SPRITE_NAME_SIZE = 10;
constexpr int32_t SPRITE_NAME_BLOCKS = 64;
constexpr int SPRITE_NAME_INDEX_BITS = 6;
constexpr int PROPERTY_SPRITE_NAME = 0x600;

struct SSprite {
    char name[SPRITE_NAME_SIZE];
};

class SSpriteManager final : public FilteredObjectManager {
public:
    ~SSpriteManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(SharedMap* map, int32_t n, int32_t clients);
    void stop();

    const SSprite& sprite(int32_t index) const { return sprites_[index]; }

private:
    SSprite* sprites_ = nullptr;
    NetSCache names_;
};

// BSP objects (class 7): one for each of the map's BSP models but the world
// (model 0), from map load to unload; nothing but the common record.
class SBspObjectManager final : public FilteredObjectManager {
public:
    ~SBspObjectManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // n models; every one but model 0 is created for every client. 1, or 0
    // when memory fails or a model is not in the map.
    int start(SharedMap* map, int32_t n);
    void stop() { stop_filters(); }
};
