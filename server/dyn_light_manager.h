#pragma once
// Dynamic lights (class 3): moving lights that light the world around them
// on the client, in the map's leaves through their audience filter. A light
// may follow a lamp, named once in its create record.
#include "server/filtered_manager.h"

constexpr int32_t DYNAMIC_LIGHT_MAX = 64;
constexpr int PROPERTY_LIGHT_INTENSITY = 0x300;
constexpr int PROPERTY_LIGHT_FOCUS = 0x301;
constexpr int PROPERTY_LIGHT_MAX = 0x302;
constexpr int PROPERTY_LIGHT_LAMP = 0x303;
constexpr int32_t LIGHT_INTENSITY_DEFAULT = 16;
constexpr int32_t LIGHT_MAXIMUM_DEFAULT = 31;
constexpr float LIGHT_REACH_MAX = 1024.0f;
constexpr uint32_t LIGHT_PART_INTENSITY = 0x10000;
constexpr uint32_t LIGHT_PART_FOCUS = 0x20000;

struct SDynLight {
    int32_t intensity; // 0..255, 1/16
    float focus;
    int32_t maximum;   // 0..31, 1/31
    uint32_t lamp;     // the lamp it follows, or OBJID_UNUSED
    int32_t intensity_stamp;
    int32_t focus_stamp; // focus or maximum
};

class SDynLightManager final : public FilteredObjectManager {
public:
    ~SDynLightManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(SharedMap* map, int32_t n);
    void stop();

    const SDynLight& light(int32_t index) const { return lights_[index]; }

private:
    SDynLight* lights_ = nullptr;
};
