#include "server/sprite_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "server/class_parts.h"
#include "world/shared_map.h"

#include <cstring>
#include <new>

SSpriteManager::~SSpriteManager() { stop(); }

int SSpriteManager::start(SharedMap* map, int32_t n, int32_t clients)
{
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    sprites_ = new (std::nothrow) SSprite[static_cast<size_t>(n)];
    if (sprites_ == nullptr || names_.create(SPRITE_NAME_BLOCKS, clients, SPRITE_NAME_SIZE, 0) != 0) {
        stop();
        return 0;
    }
    return 1;
}

void SSpriteManager::stop()
{
    stop_filters();
    delete[] sprites_;
    sprites_ = nullptr;
    names_.clear();
}

int SSpriteManager::on_create(int32_t, int32_t index)
{
    std::memset(sprites_[index].name, 0, SPRITE_NAME_SIZE);
    reset_filter(index, AUDIENCE_FILTER_RADIUS);
    return 1;
}

void SSpriteManager::reset_client(int client) { names_.reset_client(client); }

int SSpriteManager::set_property(int32_t, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || property != PROPERTY_SPRITE_NAME || args.empty() || args[0].s == nullptr) {
        return 0;
    }
    // Sent with the create record only.
    char* const name = sprites_[i].name;
    std::strncpy(name, args[0].s, SPRITE_NAME_SIZE - 1);
    name[SPRITE_NAME_SIZE - 1] = '\0';
    return 1;
}

int SSpriteManager::class_part_bits(int32_t, int32_t, uint32_t*) { return 0; }

int SSpriteManager::write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                      NetStreamOut* msg)
{
    if ((mask & SOBJ_PART_CREATE) == 0) {
        return 1;
    }
    return cache_write_result(names_.write(client, tick, acked, sprites_[index].name, msg, SPRITE_NAME_INDEX_BITS, 0),
                              msg);
}

SBspObjectManager::~SBspObjectManager() { stop(); }

int SBspObjectManager::start(SharedMap* map, int32_t n)
{
    K_ASSERT(map);
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    for (int32_t i = 1; i < n; ++i) {
        if (create_at(i, AUDIENCE_EVERYONE) == 0) {
            stop();
            return 0;
        }
    }
    return 1;
}

int SBspObjectManager::on_create(int32_t, int32_t index)
{
    K_ASSERT(map_);
    // The volume set and the BSP files of a map can disagree on the models.
    if (index >= map_->models.count()) {
        print_format(P_ERROR, "Server: BSP model %d is not in the map", index);
        return 0;
    }
    reset_filter(index, map_->models.entity(index).radius);
    return 1;
}

int SBspObjectManager::set_property(int32_t, uint32_t, int, SObjArgs) { return 0; }

int SBspObjectManager::class_part_bits(int32_t, int32_t, uint32_t*) { return 0; }

int SBspObjectManager::write_class_parts(int, int32_t, int32_t, int32_t, uint32_t, NetStreamOut*) { return 1; }

void SBspObjectManager::reset_client(int) {}
