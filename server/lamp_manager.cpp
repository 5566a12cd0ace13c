#include "server/lamp_manager.h"

#include "core/print.h"
#include "server/class_parts.h"
#include "server/property_values.h"

#include <new>

namespace {

constexpr double LAMP_PARAMETER_SCALE = 32.0;
constexpr int32_t LAMP_PARAMETER_MAX = 255;

// An effect parameter in 1/32; beyond the field it warns and stores the limit.
int32_t effect_parameter(double p)
{
    const int32_t v = float_to_int_trunc(p * LAMP_PARAMETER_SCALE);
    if (v > LAMP_PARAMETER_MAX) {
        print_format(P_WARNING, "Server: Lamp effect parameter is too big (%.2f, max %2.f)", p, 8.0);
        return LAMP_PARAMETER_MAX;
    }
    // Below 0 (and NaN) would reach the wire as other bits.
    return v < 0 ? 0 : v;
}

} // namespace

SLampManager::~SLampManager() { stop(); }

int SLampManager::start(int32_t n, bool create_all)
{
    stop();
    if (init(n) == 0) {
        return 0;
    }
    lamps_ = new (std::nothrow) SLamp[static_cast<size_t>(n)];
    if (lamps_ == nullptr) {
        done();
        return 0;
    }
    if (create_all) {
        for (int32_t i = 0; i < n; ++i) {
            if (create_at(i, AUDIENCE_EVERYONE) == 0) {
                stop();
                return 0;
            }
        }
    }
    return 1;
}

void SLampManager::stop()
{
    delete[] lamps_;
    lamps_ = nullptr;
    done();
}

int SLampManager::on_create(int32_t, int32_t index)
{
    lamps_[index] = SLamp{LAMP_INTENSITY_DEFAULT, LAMP_COLOUR_DEFAULT, 0, {0, 0, 0, 0}, -1, -1, -1};
    return 1;
}

void SLampManager::on_release(int32_t) {}

void SLampManager::reset_client(int) {}

int SLampManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    SLamp& l = lamps_[i];
    switch (property) {
    case PROPERTY_LAMP_VALUE:
        if (args.size() < 1) {
            return 0;
        }
        store_stamped(l.intensity, quantise(args[0].d, 63.0, 0, 63), l.intensity_stamp, tick);
        return 1;
    case PROPERTY_LAMP_COLOR:
        if (args.size() < 1) {
            return 0;
        }
        store_stamped(l.colour, (static_cast<uint32_t>(args[0].i) >> 2) & 0x3F3F3Fu, l.colour_stamp, tick);
        return 1;
    case PROPERTY_LAMP_EFFECT: {
        if (args.size() < 5) {
            return 0;
        }
        int32_t effect = args[0].i;
        // A negative number would reach the wire as another effect.
        if (effect < 0 || effect >= LAMP_EFFECTS) {
            print_format(P_WARNING, "Server: Lamp effect id (%d) out of range", effect);
            effect = 0;
        }
        int32_t params[4];
        bool same = effect == l.effect;
        for (int k = 0; k < 4; ++k) {
            params[k] = effect_parameter(args[1 + k].d);
            same = same && params[k] == l.params[k];
        }
        if (!same) {
            l.effect = effect;
            for (int k = 0; k < 4; ++k) {
                l.params[k] = params[k];
            }
            l.effect_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SLampManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SLamp& l = lamps_[index];
    const bool effect_set = l.effect != 0 || l.params[0] != 0 || l.params[1] != 0 || l.params[2] != 0 ||
                            l.params[3] != 0;
    uint32_t bits = part_bit(*mask, LAMP_PART_INTENSITY, l.intensity != LAMP_INTENSITY_DEFAULT,
                             l.intensity_stamp, last_tick);
    bits |= part_bit(*mask, LAMP_PART_COLOUR | SOBJ_PART_MORE, true, l.colour_stamp, last_tick);
    bits |= part_bit(*mask, LAMP_PART_EFFECT | SOBJ_PART_MORE, effect_set, l.effect_stamp, last_tick);
    *mask |= bits;
    return 0;
}

int SLampManager::write_class_parts(int, int32_t, int32_t, int32_t index, uint32_t mask, NetStreamOut* msg)
{
    const SLamp& l = lamps_[index];
    if (write_presence(msg, mask, LAMP_PART_INTENSITY)) {
        msg->write_bits(static_cast<uint32_t>(l.intensity), 6);
    }
    if ((mask & SOBJ_PART_MORE) == 0) {
        return 1;
    }
    if (write_presence(msg, mask, LAMP_PART_COLOUR)) {
        for (int k = 0; k < 3; ++k) {
            msg->write_bits((l.colour >> (8 * k)) & 0x3Fu, 6);
        }
    }
    if (write_presence(msg, mask, LAMP_PART_EFFECT)) {
        msg->write_bits(static_cast<uint32_t>(l.effect), 4);
        for (const int32_t p : l.params) {
            msg->write_bits(static_cast<uint32_t>(p), 8);
        }
    }
    return 1;
}
