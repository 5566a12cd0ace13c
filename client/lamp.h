#pragma once
// Object class 3: dynamic lights. Each light takes the colour ramp of a lamp
// (a map lamp or a dynamic lamp) that its create message names, and lights
// the cells its range reaches. A light lights nothing while it has no lamp:
// it is linked into the world only while it has one.
#include "client/entity_manager.h"
#include "client/lamp_table.h"
#include "world/light_source.h"

class LampLight final : public LightSource {
public:
    LampLight() : LightSource(ENTITY_TYPE_LAMP_LIGHT) {}
};

class Lamp final : public EntityManager<LampLight>, public LampUser {
public:
    Lamp() = default;
    ~Lamp() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(LampTable* map_lamps, LampTable* dynamic_lamps, SharedMap* world, int capacity);
    void destroy();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    void forget_lamp(const LampData* lamp) override;

private:
    // Into the cells its sphere touches when it has a lamp, out of them when not.
    void relink(int index);
};
