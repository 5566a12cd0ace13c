#pragma once
// Object class 6: sprites, whose textures come by name (once through a
// named-block cache) from the "sprites" directory of the client's sprite
// texture manager.
#include "client/entity_manager.h"
#include "net/net_ccache.h"
#include "world/view/sprite.h"

#include <memory>

class ScreenProjection;
class TextureManager;

constexpr int SPRITE_NAME_BLOCKS = 64;
constexpr int SPRITE_NAME_SIZE = 10;
constexpr int SPRITE_TEXTURES = 64;

class SpriteObject final : public EntityManager<Sprite> {
public:
    SpriteObject() = default;
    ~SpriteObject() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(TextureManager* textures, SharedMap* world, int capacity);
    void destroy();
    // Sprites that got their texture while no renderer was bound take it now.
    void start(ScreenProjection* renderer);
    void stop();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    // The texture a sprite names, or null.
    TextureSlot* texture(int index) const { return textures_[index]; }
    ScreenProjection* renderer() const { return sp_; }

private:
    TextureManager* manager_ = nullptr;
    ScreenProjection* sp_ = nullptr;
    std::unique_ptr<TextureSlot*[]> textures_;
    NetCCache names_;
};
