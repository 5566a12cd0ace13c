#include "client/lamp_sprite.h"

#include "client/entity_fields.h"
#include "client/lamp.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "world/entity_link.h"

int LampSprite::create(LampTable* map_lamps, LampTable* dynamic_lamps, SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(map_lamps && dynamic_lamps && world);
    if (create_records(world, capacity, 1) == 0) {
        return 0;
    }
    use_lamps(map_lamps, dynamic_lamps);
    return 1;
}

void LampSprite::destroy()
{
    unlink_records();
    leave_lamps();
    destroy_records();
}

int LampSprite::link(int index)
{
    LampSpriteRender& flare = record(index);
    flare = LampSpriteRender();
    flare.set_scale(1.0f);
    flare.set_fade(1.0f, 1.0f);
    flare.set_rays(0.0f, 1.0f, 4.0f, 0.5f, 4.0f);
    flare.set_streak(0.0f, 1.0f);
    flare.set_ghosts(0.0f, 1.0f);
    flare.set_colour(0xFFFFFF);
    flare.set_size(64.0f);
    flare.set_mode(nullptr);
    link_new_entity(*world_, flare);
    return 1;
}

int LampSprite::unlink(int index, int)
{
    unlink_entity(*world_, record(index));
    return 1;
}

int LampSprite::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    LampSpriteRender& flare = record(index);
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        place_entity(*world_, flare, common(index));
    }
    if (read_present(stream)) {
        flare.set_scale(read_fraction(stream, 6, 16.0f));
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return 1;
    }
    if (read_present(stream)) {
        const float x1 = read_fraction(stream, 4, 15.0f);
        const float y1 = read_fraction(stream, 5, 8.0f);
        const auto k1 = static_cast<float>(stream.read_bits(4));
        const float y2 = read_fraction(stream, 5, 8.0f);
        const auto k2 = static_cast<float>(stream.read_bits(4));
        const float x2 = read_fraction(stream, 4, 15.0f);
        const float y3 = read_fraction(stream, 5, 8.0f);
        const float x3 = read_fraction(stream, 4, 15.0f);
        const float y4 = read_fraction(stream, 5, 8.0f);
        const float x4 = read_fraction(stream, 4, 15.0f);
        const float y5 = read_fraction(stream, 5, 8.0f);
        flare.set_fade(x2, y3);
        flare.set_rays(x1, y1, k1, y2, k2);
        flare.set_streak(x3, y4);
        flare.set_ghosts(x4, y5);
    }
    if (read_present(stream)) {
        flare.set_colour(read_colour12(stream));
    }
    if (read_present(stream)) {
        const LampData* lamp = nullptr;
        if (stream.read_bits(1) == 0) {
            const uint32_t id = read_lamp_reference(stream);
            lamp = referenced_lamp(id);
            if (lamp == nullptr && !names_no_lamp(id)) {
                print_format(P_WARNING, "Lamp: Unknown lamp 0x%x", id);
            }
        }
        flare.set_mode(lamp);
        flare.set_size(static_cast<float>(stream.read_bits(8)) * 32.0f);
    }
    return 1;
}

void LampSprite::forget_lamp(const LampData* lamp)
{
    for (int i = first_used(); i >= 0; i = common(i).next) {
        if (record(i).lamp == lamp) {
            record(i).set_mode(nullptr);
        }
    }
}
