#pragma once
// A class of objects with only the common record: no properties and no
// class parts. Tests drive the manager base and the update writer with it.
#include "server/sobj_manager.h"

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
