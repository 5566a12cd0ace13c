#include "server/icon_manager.h"

#include "core/kassert.h"
#include "server/class_parts.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int64_t ICON_COORDINATE_MAX = 65535;

int32_t biased(int32_t v, int32_t bias)
{
    return static_cast<int32_t>(std::clamp(static_cast<int64_t>(v) + bias, int64_t{0}, ICON_COORDINATE_MAX));
}

} // namespace

SIconManager::~SIconManager() { stop(); }

int SIconManager::start(int32_t n, int32_t clients)
{
    stop();
    if (init(n) == 0) {
        return 0;
    }
    icons_ = new (std::nothrow) SIcon[static_cast<size_t>(n)];
    if (icons_ == nullptr || names_.create(ICON_NAME_BLOCKS, clients, ICON_NAME_SIZE, 0) != 0) {
        stop();
        return 0;
    }
    return 1;
}

void SIconManager::stop()
{
    delete[] icons_;
    icons_ = nullptr;
    names_.clear();
    done();
}

int SIconManager::on_create(int32_t, int32_t index)
{
    SIcon& c = icons_[index];
    std::memset(&c, 0, sizeof c);
    c.clip = ICON_CLIP_DEFAULT;
    c.name_stamp = c.clip_stamp = -1;
    return 1;
}

void SIconManager::on_release(int32_t) {}

void SIconManager::reset_client(int client)
{
    K_ASSERT(names_.block_count() > 0);
    names_.reset_client(client);
}

int SIconManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || args.empty()) {
        return 0;
    }
    SIcon& c = icons_[i];
    switch (property) {
    case PROPERTY_ICON_NAME: {
        if (args[0].s == nullptr) {
            return 0;
        }
        char name[ICON_NAME_SIZE] = {};
        std::strncpy(name, args[0].s, ICON_NAME_SIZE - 1);
        if (std::strcmp(name, c.name) != 0) {
            std::memcpy(c.name, name, sizeof name);
            c.name_stamp = tick;
        }
        return 1;
    }
    case PROPERTY_ICON_RECTANGLE:
        if (args.size() < 4) {
            return 0;
        }
        // Sent with the create record only.
        for (int k = 0; k < 4; ++k) {
            c.rect[k] = biased(args[static_cast<size_t>(k)].i, k % 2 == 0 ? ICON_X_BIAS : ICON_Y_BIAS);
        }
        return 1;
    case PROPERTY_ICON_CLIP: {
        const int32_t clip = biased(args[0].i, ICON_X_BIAS);
        if (clip != c.clip) {
            c.clip = clip;
            c.clip_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SIconManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SIcon& c = icons_[index];
    uint32_t bits = part_bit(*mask, ICON_PART_NAME, true, c.name_stamp, last_tick);
    bits |= part_bit(*mask, ICON_PART_CLIP, c.clip != ICON_CLIP_DEFAULT, c.clip_stamp, last_tick);
    *mask |= bits;
    return 0;
}

int SIconManager::write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                    NetStreamOut* msg)
{
    const SIcon& c = icons_[index];
    if ((mask & SOBJ_PART_CREATE) != 0) {
        for (const int32_t v : c.rect) {
            msg->write_bits(static_cast<uint32_t>(v), 16);
        }
    }
    if (write_presence(msg, mask, ICON_PART_NAME)) {
        const int r = names_.write(client, tick, acked, c.name, msg, ICON_NAME_INDEX_BITS, 0);
        if (r != 0) {
            return cache_write_result(r, msg);
        }
    }
    if (write_presence(msg, mask, ICON_PART_CLIP)) {
        msg->write_bits(static_cast<uint32_t>(c.clip), 16);
    }
    return 1;
}
