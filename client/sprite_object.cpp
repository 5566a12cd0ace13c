#include "client/sprite_object.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "renderer/screen_projection.h"
#include "world/view/texture_manager.h"
#include "world/entity_link.h"

#include <new>

int SpriteObject::create(TextureManager* textures, SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(textures && world);
    if (create_records(world, capacity, 1) == 0) {
        return 0;
    }
    textures_.reset(new (std::nothrow) TextureSlot*[static_cast<size_t>(capacity > 0 ? capacity : 1)]());
    if (textures_ == nullptr || names_.create(0, SPRITE_NAME_BLOCKS, SPRITE_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    manager_ = textures;
    return 1;
}

void SpriteObject::destroy()
{
    unlink_records();
    names_.clear();
    textures_.reset();
    manager_ = nullptr;
    sp_ = nullptr;
    destroy_records();
}

void SpriteObject::start(ScreenProjection* renderer)
{
    K_ASSERT(!sp_);
    sp_ = renderer;
    for (int i = first_used(); i >= 0; i = common(i).next) {
        if (textures_[i] != nullptr && record(i).anim.slot == nullptr) {
            record(i).set_texture(textures_[i], *sp_);
            link_entity(*world_, record(i));
        }
    }
}

void SpriteObject::stop()
{
    K_ASSERT(sp_);
    sp_ = nullptr;
}

int SpriteObject::link(int index)
{
    Sprite& sprite = record(index);
    sprite = Sprite();
    textures_[index] = nullptr;
    link_new_entity(*world_, sprite);
    return 1;
}

int SpriteObject::unlink(int index, int)
{
    unlink_entity(*world_, record(index));
    textures_[index] = nullptr;
    return 1;
}

int SpriteObject::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    Sprite& sprite = record(index);
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        place_entity(*world_, sprite, common(index));
    }
    if ((mask & UPD_CREATE) == 0) {
        return 1;
    }
    char name[SPRITE_NAME_SIZE];
    if (names_.read(&stream, name, 6, 0) != 0) {
        return 0;
    }
    if (textures_[index] != nullptr) {
        return 1;
    }
    // The name becomes a path under "textures/sprites".
    if (!is_plain_name(name)) {
        print_format(P_WARNING, "Client: Can't use sprite texture '%s'", name);
        return 1;
    }
    TextureSlot* const slot = manager_->get("sprites", name, TEXTURE_KIND_SPRITE);
    textures_[index] = slot;
    if (slot != nullptr && sp_ != nullptr) {
        // The radius the texture gives is taken up at the next placement.
        sprite.set_texture(slot, *sp_);
    }
    return 1;
}
