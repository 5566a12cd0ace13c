#include "server/camera_manager.h"

#include "net/net_stream_out.h"
#include "server/property_values.h"

#include <new>

namespace {

int32_t zoom_value(double v) { return quantise(v, 256.0, 0, 1023); }

} // namespace

SCameraManager::~SCameraManager() { stop(); }

int SCameraManager::start(int32_t n)
{
    stop();
    if (init(n) == 0) {
        return 0;
    }
    cameras_ = new (std::nothrow) SCamera[static_cast<size_t>(n)];
    if (cameras_ == nullptr) {
        done();
        return 0;
    }
    return 1;
}

void SCameraManager::stop()
{
    delete[] cameras_;
    cameras_ = nullptr;
    done();
}

int SCameraManager::on_create(int32_t, int32_t index)
{
    cameras_[index] = SCamera{0, CAMERA_ZOOM1_DEFAULT, CAMERA_ZOOM2_DEFAULT, -1, -1};
    return 1;
}

void SCameraManager::on_release(int32_t) {}

void SCameraManager::reset_client(int) {}

int SCameraManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    SCamera& c = cameras_[i];
    switch (property) {
    case PROPERTY_CAMERA_FILTER: {
        if (args.size() < 1) {
            return 0;
        }
        const uint32_t filter = (static_cast<uint32_t>(args[0].i) >> 2) & 0x3F3F3F3Fu;
        if (filter != c.filter) {
            c.filter = filter;
            c.filter_stamp = tick;
        }
        return 1;
    }
    case PROPERTY_CAMERA_ZOOM: {
        if (args.size() < 2) {
            return 0;
        }
        const int32_t z1 = zoom_value(args[0].d);
        const int32_t z2 = zoom_value(args[1].d);
        if (z1 != c.zoom1 || z2 != c.zoom2) {
            c.zoom1 = z1;
            c.zoom2 = z2;
            c.zoom_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SCameraManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SCamera& c = cameras_[index];
    const bool create = (*mask & SOBJ_PART_CREATE) != 0;
    if (create ? c.filter != 0 : c.filter_stamp > last_tick) {
        *mask |= CAMERA_PART_FILTER | SOBJ_PART_MORE;
    }
    if (create ? c.zoom1 != CAMERA_ZOOM1_DEFAULT || c.zoom2 != CAMERA_ZOOM2_DEFAULT : c.zoom_stamp > last_tick) {
        *mask |= CAMERA_PART_ZOOM | SOBJ_PART_MORE;
    }
    return 0;
}

int SCameraManager::write_class_parts(int, int32_t, int32_t, int32_t index, uint32_t mask, NetStreamOut* msg)
{
    if ((mask & SOBJ_PART_MORE) == 0) {
        return 1;
    }
    const SCamera& c = cameras_[index];
    // An overflow shows in the stream; the writer rolls the record back.
    if ((mask & CAMERA_PART_FILTER) != 0) {
        msg->write_bits(1, 1);
        for (int k = 0; k < 4; ++k) {
            msg->write_bits((c.filter >> (8 * k)) & 0x3Fu, 6);
        }
    } else {
        msg->write_bits(0, 1);
    }
    if ((mask & CAMERA_PART_ZOOM) != 0) {
        msg->write_bits(1, 1);
        msg->write_bits(static_cast<uint32_t>(c.zoom1), 10);
        msg->write_bits(static_cast<uint32_t>(c.zoom2), 10);
    } else {
        msg->write_bits(0, 1);
    }
    return 1;
}
