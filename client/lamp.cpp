#include "client/lamp.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "world/entity_link.h"

int Lamp::create(LampTable* map_lamps, LampTable* dynamic_lamps, SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(map_lamps && dynamic_lamps && world);
    if (create_records(world, capacity, 1) == 0) {
        return 0;
    }
    use_lamps(map_lamps, dynamic_lamps);
    return 1;
}

void Lamp::destroy()
{
    unlink_records();
    leave_lamps();
    destroy_records();
}

int Lamp::link(int index)
{
    LampLight& light = record(index);
    light.reset();
    light.set_lamp(nullptr);
    light.set_range(1.0f);
    light.set_kind(0);
    light.set_intensity(1.0f);
    return 1;
}

int Lamp::unlink(int index, int)
{
    unlink_entity(*world_, record(index));
    return 1;
}

void Lamp::relink(int index)
{
    LampLight& light = record(index);
    if (light.lamp != nullptr) {
        link_entity(*world_, light);
    } else {
        unlink_entity(*world_, light);
    }
}

int Lamp::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    LampLight& light = record(index);
    if ((mask & UPD_CREATE) != 0) {
        const uint32_t id = read_lamp_reference(stream);
        LampData* const lamp = referenced_lamp(id);
        if (light.lamp != nullptr) {
            print_string(P_DEBUG2, "Lamp: Got duplicate create message");
            if (lamp != light.lamp) {
                print_format(P_WARNING, "Lamp: Create message names another lamp (0x%x)", id);
            }
        } else if (lamp == nullptr && !names_no_lamp(id)) {
            print_format(P_WARNING, "Lamp: Unknown lamp 0x%x", id);
        } else {
            light.set_lamp(lamp);
        }
    }
    bool moved = false;
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        light.update_transform(common(index).pose);
        moved = true;
    }
    if (read_present(stream)) {
        // The link radius follows the range.
        light.set_range(read_fraction(stream, 8, 16.0f));
        moved = true;
    }
    if ((mask & UPD_EXTENDED) != 0 && read_present(stream)) {
        light.set_kind(stream.read32());
        light.set_intensity(read_fraction(stream, 5, 31.0f));
    }
    if (moved || (light.lamp != nullptr) != (light.linked_leaves != 0)) {
        relink(index);
    }
    return 1;
}

void Lamp::forget_lamp(const LampData* lamp)
{
    for (int i = first_used(); i >= 0; i = common(i).next) {
        if (record(i).lamp == lamp) {
            record(i).set_lamp(nullptr);
            unlink_entity(*world_, record(i));
        }
    }
}
