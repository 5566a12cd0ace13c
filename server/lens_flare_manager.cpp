#include "server/lens_flare_manager.h"

#include "core/print.h"
#include "server/class_parts.h"
#include "server/lamp_reference.h"
#include "server/object_id.h"
#include "server/property_values.h"

#include <new>

namespace {

constexpr int32_t STREAKS_MAX = 15;

// A streak count: below 0 gives 0, beyond the field the warning and 15.
int32_t streaks(int32_t n, const char* warning)
{
    if (n > STREAKS_MAX) {
        print_format(P_WARNING, warning, n);
        return STREAKS_MAX;
    }
    return n < 0 ? 0 : n;
}

} // namespace

SLensFlareManager::~SLensFlareManager() { stop(); }

int SLensFlareManager::start(SharedMap* map, int32_t n)
{
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    flares_ = new (std::nothrow) SLensFlare[static_cast<size_t>(n)];
    if (flares_ == nullptr) {
        stop_filters();
        return 0;
    }
    return 1;
}

void SLensFlareManager::stop()
{
    stop_filters();
    delete[] flares_;
    flares_ = nullptr;
}

int SLensFlareManager::on_create(int32_t, int32_t index)
{
    flares_[index] = SLensFlare{FLARE_INTENSITY_DEFAULT, FLARE_SHAPE_DEFAULT,          FLARE_COLOUR_DEFAULT,
                                FLARE_LIMIT_DEFAULT,     static_cast<uint32_t>(OBJID_UNUSED), -1, -1, -1, -1};
    reset_filter(index, 0.0f);
    return 1;
}

void SLensFlareManager::reset_client(int) {}

int SLensFlareManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || args.empty()) {
        return 0;
    }
    SLensFlare& f = flares_[i];
    switch (property) {
    case PROPERTY_LENSFLARE_INTENSITY: {
        const double x = args[0].d;
        int32_t v = quantise(x, 16.0, 0, INT32_MAX);
        if (v > 63) {
            print_format(P_WARNING, "Server: Lens flare intensity is too big (%.2f)", x);
            v = 63;
        }
        store_stamped(f.intensity, v, f.intensity_stamp, tick);
        return 1;
    }
    case PROPERTY_LENSFLARE_LAMP: {
        const uint32_t lamp = static_cast<uint32_t>(args[0].i);
        if (args[0].i != OBJID_UNUSED && !is_lamp_id(lamp)) {
            print_format(P_ERROR, "Server: Object 0x%x is not a lamp", lamp);
            return 0;
        }
        store_stamped(f.lamp, lamp, f.lamp_stamp, tick);
        return 1;
    }
    case PROPERTY_LENSFLARE_LIMIT: {
        // The arithmetic shift keeps negative values below 0.
        const int32_t t = float_to_int_trunc(args[0].d);
        store_stamped(f.limit, std::clamp(t >> 5, 0, 255), f.lamp_stamp, tick);
        return 1;
    }
    case PROPERTY_LENSFLARE_COLOR:
        store_stamped(f.colour, static_cast<int32_t>(colour12(static_cast<uint32_t>(args[0].i))), f.colour_stamp,
                      tick);
        return 1;
    case PROPERTY_LENSFLARE_STAR: {
        if (args.size() < 5) {
            return 0;
        }
        FlareShape s = f.shape;
        s.star1 = quantise(args[0].d, 15.0, 0, 15);
        s.star2 = quantise(args[1].d, 8.0, 0, 31);
        s.long_streaks = streaks(args[2].i, "Server: Too many lens flare long streaks (%d)");
        s.star3 = quantise(args[3].d, 8.0, 0, 31);
        s.short_streaks = streaks(args[4].i, "Server: Too many lens flare short streaks (%d)");
        store_stamped(f.shape, s, f.shape_stamp, tick);
        return 1;
    }
    case PROPERTY_LENSFLARE_EFFECTS: {
        if (args.size() < 6) {
            return 0;
        }
        FlareShape s = f.shape;
        for (int k = 0; k < 6; ++k) {
            s.effects[k] = k % 2 == 0 ? quantise(args[k].d, 15.0, 0, 15) : quantise(args[k].d, 8.0, 0, 31);
        }
        store_stamped(f.shape, s, f.shape_stamp, tick);
        return 1;
    }
    default:
        return 0;
    }
}

int SLensFlareManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SLensFlare& f = flares_[index];
    uint32_t bits = part_bit(*mask, FLARE_PART_INTENSITY, f.intensity != FLARE_INTENSITY_DEFAULT,
                             f.intensity_stamp, last_tick);
    bits |= part_bit(*mask, FLARE_PART_SHAPE | SOBJ_PART_MORE, !(f.shape == FLARE_SHAPE_DEFAULT), f.shape_stamp,
                     last_tick);
    bits |= part_bit(*mask, FLARE_PART_COLOUR | SOBJ_PART_MORE, f.colour != FLARE_COLOUR_DEFAULT, f.colour_stamp,
                     last_tick);
    bits |= part_bit(*mask, FLARE_PART_LAMP | SOBJ_PART_MORE,
                     f.limit != FLARE_LIMIT_DEFAULT || f.lamp != static_cast<uint32_t>(OBJID_UNUSED), f.lamp_stamp,
                     last_tick);
    *mask |= bits;
    return 0;
}

int SLensFlareManager::write_class_parts(int, int32_t, int32_t, int32_t index, uint32_t mask, NetStreamOut* msg)
{
    const SLensFlare& f = flares_[index];
    if (write_presence(msg, mask, FLARE_PART_INTENSITY)) {
        msg->write_bits(static_cast<uint32_t>(f.intensity), 6);
    }
    if ((mask & SOBJ_PART_MORE) == 0) {
        return 1;
    }
    if (write_presence(msg, mask, FLARE_PART_SHAPE)) {
        const FlareShape& s = f.shape;
        msg->write_bits(static_cast<uint32_t>(s.star1), 4);
        msg->write_bits(static_cast<uint32_t>(s.star2), 5);
        msg->write_bits(static_cast<uint32_t>(s.long_streaks), 4);
        msg->write_bits(static_cast<uint32_t>(s.star3), 5);
        msg->write_bits(static_cast<uint32_t>(s.short_streaks), 4);
        for (int k = 0; k < 6; ++k) {
            msg->write_bits(static_cast<uint32_t>(s.effects[k]), k % 2 == 0 ? 4 : 5);
        }
    }
    if (write_presence(msg, mask, FLARE_PART_COLOUR)) {
        msg->write_bits(static_cast<uint32_t>(f.colour), 12);
    }
    if (write_presence(msg, mask, FLARE_PART_LAMP)) {
        const bool none = f.lamp == static_cast<uint32_t>(OBJID_UNUSED);
        msg->write_bits(none ? 1u : 0u, 1);
        if (!none) {
            write_lamp_reference(msg, f.lamp);
        }
        msg->write_bits(static_cast<uint32_t>(f.limit), 8);
    }
    return 1;
}
