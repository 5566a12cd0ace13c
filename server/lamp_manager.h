#pragma once
// Lamps (classes 1 and 2): the server's handles on the map's lights (map
// lamps, one per lamp of "lightmap.bin", made at map load) and on lights
// that scripts make (dynamic lamps). Each carries an intensity of 6 bits,
// a colour of three 6-bit components and an effect (number 0-15 and four
// parameters in units of 1/32). One manager class serves both classes.
#include "server/sobj_manager.h"

constexpr int32_t DYNAMIC_LAMP_MAX = 32;
constexpr int PROPERTY_LAMP_VALUE = 0x100;
constexpr int PROPERTY_LAMP_COLOR = 0x101;
constexpr int PROPERTY_LAMP_EFFECT = 0x102;
constexpr int32_t LAMP_INTENSITY_DEFAULT = 63;
constexpr uint32_t LAMP_COLOUR_DEFAULT = 0x3F3F3F;
constexpr int32_t LAMP_EFFECTS = 16;
constexpr uint32_t LAMP_PART_INTENSITY = 0x10000;
constexpr uint32_t LAMP_PART_COLOUR = 0x20000;
constexpr uint32_t LAMP_PART_EFFECT = 0x40000;
// Identifiers hold 16 bits of index.
constexpr int64_t MAP_LAMP_MAX = 65536;

struct SLamp {
    int32_t intensity;
    uint32_t colour; // 6 bits in each of bytes 0, 1, 2
    int32_t effect;
    int32_t params[4]; // 0..255, 1/32
    int32_t intensity_stamp;
    int32_t colour_stamp;
    int32_t effect_stamp;
};

class SLampManager final : public SObjManager {
public:
    ~SLampManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void reset_client(int client) override;

    // n lamps; with create_all every index is created for every client
    // (map lamps). 1, or 0 on failure.
    int start(int32_t n, bool create_all);
    void stop();

    const SLamp& lamp(int32_t index) const { return lamps_[index]; }

private:
    SLamp* lamps_ = nullptr;
};

// The number of map lamps that the map's "lightmap.bin" names (its lamp
// count plus 1), or -1 when the file is missing, of another form, version or
// map, or names more lamps than identifiers can tell apart (with a message).
int32_t count_map_lamps(const char* path, uint32_t map_id);
