#pragma once
// Object class 4: lens flares, drawn as glows that take their colour from a
// lamp (a map lamp or a dynamic lamp) or, without one, their own.
#include "client/entity_manager.h"
#include "client/lamp_table.h"
#include "renderer/lamp_sprite.h"

class LampSprite final : public EntityManager<LampSpriteRender>, public LampUser {
public:
    LampSprite() = default;
    ~LampSprite() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(LampTable* map_lamps, LampTable* dynamic_lamps, SharedMap* world, int capacity);
    void destroy();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    void forget_lamp(const LampData* lamp) override;
};
