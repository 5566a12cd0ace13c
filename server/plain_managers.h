#pragma once
// Managers of the classes whose own records do not exist yet (lamps, lights,
// lens flares, meshes, sprites, BSP objects, particles, sound sources,
// icons): objects with only the common record. The linked classes keep an
// audience filter in the map's leaves, so the visibility walk admits them.
#include "server/audience_filter.h"
#include "server/sobj_manager.h"

class SharedMap;

class PlainObjectManager : public SObjManager {
public:
    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(int32_t n) { return init(n); }
    void stop() { done(); }
};

class LinkedObjectManager : public PlainObjectManager {
public:
    ~LinkedObjectManager() override;

    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void relink(int32_t index, const Matrix& transform) override;

    // 1, or 0 when memory fails.
    int start(SharedMap* map, int32_t n);
    void stop();

    const AudienceFilter* filter(int32_t index) const { return &filters_[index]; }

private:
    SharedMap* map_ = nullptr;
    AudienceFilter* filters_ = nullptr;
};

// Sound sources are admitted by distance once their class exists; until
// then by their audience alone.
class SoundSourceManager : public PlainObjectManager {
public:
    void admit_audible(int client, const Vector& listener) { (void)listener; audience_pass(client); }
};
