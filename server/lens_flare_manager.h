#pragma once
// Lens flares (class 4): screen-space flares drawn where a point of the world
// is seen, with stars, streaks, six effect values, a colour of 12 bits and an
// optional lamp that they follow. In the map's leaves with a filter of radius 0.
#include "server/filtered_manager.h"

constexpr int32_t LENS_FLARE_MAX = 256;
constexpr int PROPERTY_LENSFLARE_INTENSITY = 0x400;
constexpr int PROPERTY_LENSFLARE_LAMP = 0x401;
constexpr int PROPERTY_LENSFLARE_LIMIT = 0x402;
constexpr int PROPERTY_LENSFLARE_COLOR = 0x403;
constexpr int PROPERTY_LENSFLARE_STAR = 0x404;
constexpr int PROPERTY_LENSFLARE_EFFECTS = 0x405;
constexpr int32_t FLARE_INTENSITY_DEFAULT = 16;
constexpr int32_t FLARE_COLOUR_DEFAULT = 0xFFF;
constexpr int32_t FLARE_LIMIT_DEFAULT = 2;
constexpr uint32_t FLARE_PART_INTENSITY = 0x10000;
constexpr uint32_t FLARE_PART_SHAPE = 0x20000;
constexpr uint32_t FLARE_PART_COLOUR = 0x40000;
constexpr uint32_t FLARE_PART_LAMP = 0x80000;

// The fields of a flare's shape, compared and sent together.
struct FlareShape {
    int32_t star1;         // 0..15
    int32_t star2;         // 0..31
    int32_t star3;         // 0..31
    int32_t long_streaks;  // 0..15
    int32_t short_streaks; // 0..15
    int32_t effects[6];    // alternately 0..15 and 0..31
    bool operator==(const FlareShape&) const = default;
};

constexpr FlareShape FLARE_SHAPE_DEFAULT = {0, 8, 4, 4, 4, {15, 8, 0, 8, 0, 8}};

struct SLensFlare {
    int32_t intensity; // 0..63, 1/16
    FlareShape shape;
    int32_t colour;    // 4 bits of each colour byte
    int32_t limit;     // 0..255, units of 32
    uint32_t lamp;     // or OBJID_UNUSED
    int32_t intensity_stamp;
    int32_t shape_stamp;
    int32_t colour_stamp;
    int32_t lamp_stamp; // lamp or limit
};

class SLensFlareManager final : public FilteredObjectManager {
public:
    ~SLensFlareManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(SharedMap* map, int32_t n);
    void stop();

    const SLensFlare& flare(int32_t index) const { return flares_[index]; }

private:
    SLensFlare* flares_ = nullptr;
};
