#pragma once
// Icons (class 11): a named picture in a rectangle of the screen. The
// rectangle is kept biased (x + 0x4E00, y + 0x5A80, clamped to 16 bits) and
// sent with the create record; the name (at most 9 characters) travels
// through a block cache of 64 names.
#include "net/net_scache.h"
#include "server/sobj_manager.h"

constexpr int32_t ICON_MAX = 512;
constexpr int ICON_NAME_SIZE = 10;
constexpr int32_t ICON_NAME_BLOCKS = 64;
constexpr int ICON_NAME_INDEX_BITS = 6;
constexpr int PROPERTY_ICON_NAME = 0xB00;
constexpr int PROPERTY_ICON_RECTANGLE = 0xB01;
constexpr int PROPERTY_ICON_CLIP = 0xB02;
constexpr int32_t ICON_X_BIAS = 0x4E00;
constexpr int32_t ICON_Y_BIAS = 0x5A80;
constexpr int32_t ICON_CLIP_DEFAULT = 0x6400;
constexpr uint32_t ICON_PART_NAME = 0x10000;
constexpr uint32_t ICON_PART_CLIP = 0x20000;

struct SIcon {
    char name[ICON_NAME_SIZE];
    int32_t rect[4]; // x1, y1, x2, y2, biased
    int32_t clip;    // biased as x
    int32_t name_stamp;
    int32_t clip_stamp;
};

class SIconManager final : public SObjManager {
public:
    ~SIconManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(int32_t n, int32_t clients);
    void stop();

    const SIcon& icon(int32_t index) const { return icons_[index]; }

private:
    SIcon* icons_ = nullptr;
    NetSCache names_;
};
