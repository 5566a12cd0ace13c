#pragma once
// Cameras (class 10): a client's view settings, a colour filter of four
// 6-bit values and two zooms of 10 bits in units of 1/256. Admitted by their
// audience alone; their class parts travel only in records with the second
// group of part bits.
#include "server/sobj_manager.h"

constexpr int32_t CAMERA_MAX = 32;
constexpr int PROPERTY_CAMERA_FILTER = 0xA00;
constexpr int PROPERTY_CAMERA_ZOOM = 0xA01;
constexpr int32_t CAMERA_ZOOM1_DEFAULT = 128;
constexpr int32_t CAMERA_ZOOM2_DEFAULT = 96;
constexpr uint32_t CAMERA_PART_FILTER = 0x10000;
constexpr uint32_t CAMERA_PART_ZOOM = 0x20000;

struct SCamera {
    uint32_t filter;
    int32_t zoom1;
    int32_t zoom2;
    int32_t filter_stamp;
    int32_t zoom_stamp;
};

class SCameraManager final : public SObjManager {
public:
    ~SCameraManager() override;

    int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) override;
    int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) override;
    int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                          NetStreamOut* msg) override;
    int on_create(int32_t tick, int32_t index) override;
    void on_release(int32_t index) override;
    void reset_client(int client) override;

    // 1, or 0 when memory fails.
    int start(int32_t n);
    void stop();

    const SCamera& camera(int32_t index) const { return cameras_[index]; }

private:
    SCamera* cameras_ = nullptr;
};
