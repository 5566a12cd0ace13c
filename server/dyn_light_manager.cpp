#include "server/dyn_light_manager.h"

#include "core/print.h"
#include "server/class_parts.h"
#include "server/lamp_reference.h"
#include "server/object_id.h"
#include "server/property_values.h"

#include <cmath>
#include <new>

SDynLightManager::~SDynLightManager() { stop(); }

int SDynLightManager::start(SharedMap* map, int32_t n)
{
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    lights_ = new (std::nothrow) SDynLight[static_cast<size_t>(n)];
    if (lights_ == nullptr) {
        stop_filters();
        return 0;
    }
    return 1;
}

void SDynLightManager::stop()
{
    stop_filters();
    delete[] lights_;
    lights_ = nullptr;
}

int SDynLightManager::on_create(int32_t, int32_t index)
{
    lights_[index] = SDynLight{LIGHT_INTENSITY_DEFAULT, 0.0f, LIGHT_MAXIMUM_DEFAULT,
                               static_cast<uint32_t>(OBJID_UNUSED), -1, -1};
    reset_filter(index, AUDIENCE_FILTER_RADIUS);
    return 1;
}

void SDynLightManager::reset_client(int) {}

int SDynLightManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || args.empty()) {
        return 0;
    }
    SDynLight& l = lights_[i];
    const double x = args[0].d;
    switch (property) {
    case PROPERTY_LIGHT_INTENSITY: {
        int32_t v = quantise(x, 16.0, 0, INT32_MAX);
        if (v > 255) {
            print_format(P_WARNING, "Server: Dynamic light is too bright (%.2f)", x);
            v = 255;
        }
        store_stamped(l.intensity, v, l.intensity_stamp, tick);
        // fmin takes the limit for NaN.
        set_filter_radius(i, std::fmin(static_cast<float>(x * 100.0), LIGHT_REACH_MAX));
        return 1;
    }
    case PROPERTY_LIGHT_FOCUS:
        store_stamped(l.focus, static_cast<float>(x), l.focus_stamp, tick);
        return 1;
    case PROPERTY_LIGHT_MAX:
        store_stamped(l.maximum, quantise(x, 31.0, 0, 31), l.focus_stamp, tick);
        return 1;
    case PROPERTY_LIGHT_LAMP: {
        const uint32_t lamp = static_cast<uint32_t>(args[0].i);
        if (!is_lamp_id(lamp)) {
            print_format(P_ERROR, "Server: Object 0x%x is not a lamp", lamp);
            return 0;
        }
        // Sent with the create record only.
        l.lamp = lamp;
        return 1;
    }
    default:
        return 0;
    }
}

int SDynLightManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SDynLight& l = lights_[index];
    uint32_t bits = part_bit(*mask, LIGHT_PART_INTENSITY, l.intensity != LIGHT_INTENSITY_DEFAULT,
                             l.intensity_stamp, last_tick);
    bits |= part_bit(*mask, LIGHT_PART_FOCUS | SOBJ_PART_MORE,
                     l.focus != 0.0f || l.maximum != LIGHT_MAXIMUM_DEFAULT, l.focus_stamp, last_tick);
    *mask |= bits;
    return 0;
}

int SDynLightManager::write_class_parts(int, int32_t, int32_t, int32_t index, uint32_t mask, NetStreamOut* msg)
{
    const SDynLight& l = lights_[index];
    if ((mask & SOBJ_PART_CREATE) != 0) {
        write_lamp_reference(msg, l.lamp);
    }
    if (write_presence(msg, mask, LIGHT_PART_INTENSITY)) {
        msg->write_bits(static_cast<uint32_t>(l.intensity), 8);
    }
    if ((mask & SOBJ_PART_MORE) != 0 && write_presence(msg, mask, LIGHT_PART_FOCUS)) {
        msg->write_float(l.focus);
        msg->write_bits(static_cast<uint32_t>(l.maximum), 5);
    }
    return 1;
}
