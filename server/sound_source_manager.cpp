#include "server/sound_source_manager.h"

#include "server/class_parts.h"
#include "server/property_values.h"

#include <cstring>
#include <new>

namespace {

// A distance in the field's units: trunc(d) >> shift within 0..63.
int32_t distance_units(double d, int shift)
{
    const int32_t t = float_to_int_trunc(d);
    return std::clamp(t >> shift, 0, 63);
}

} // namespace

SSoundSourceManager::~SSoundSourceManager() { stop(); }

int SSoundSourceManager::start(int32_t n, int32_t clients)
{
    stop();
    if (init(n) == 0) {
        return 0;
    }
    sources_ = new (std::nothrow) SSoundSource[static_cast<size_t>(n)];
    if (sources_ == nullptr || names_.create(SOUND_NAME_BLOCKS, clients, SOUND_NAME_SIZE, 0) != 0) {
        stop();
        return 0;
    }
    return 1;
}

void SSoundSourceManager::stop()
{
    delete[] sources_;
    sources_ = nullptr;
    names_.clear();
    done();
}

int SSoundSourceManager::on_create(int32_t, int32_t index)
{
    SSoundSource& s = sources_[index];
    std::memset(s.name, 0, sizeof s.name);
    s.mode = 0;
    s.pitch = SOUND_PITCH_DEFAULT;
    s.near_distance = SOUND_NEAR_DEFAULT;
    s.far_distance = SOUND_FAR_DEFAULT;
    s.near_level = SOUND_NEAR_LEVEL_DEFAULT;
    s.far_level = 0;
    s.pitch_stamp = s.distance_stamp = s.level_stamp = -1;
    s.position = Vector{0.0f, 0.0f, 0.0f};
    return 1;
}

void SSoundSourceManager::on_release(int32_t) {}

void SSoundSourceManager::reset_client(int client) { names_.reset_client(client); }

void SSoundSourceManager::relink(int32_t index, const Matrix& transform)
{
    mat_get_translation(sources_[index].position, transform);
}

int SSoundSourceManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0 || args.empty()) {
        return 0;
    }
    SSoundSource& s = sources_[i];
    switch (property) {
    case PROPERTY_SOUND_NAME:
        if (args[0].s == nullptr) {
            return 0;
        }
        // Sent with the create record only.
        std::strncpy(s.name, args[0].s, SOUND_NAME_SIZE - 1);
        s.name[SOUND_NAME_SIZE - 1] = '\0';
        return 1;
    case PROPERTY_SOUND_MODE:
        s.mode = args[0].i;
        return 1;
    case PROPERTY_SOUND_FREQUENCY:
        store_stamped(s.pitch, quantise(args[0].d, 64.0, 0, 255), s.pitch_stamp, tick);
        return 1;
    case PROPERTY_SOUND_ATTENUATION: {
        if (args.size() < 4) {
            return 0;
        }
        const int32_t near_distance = distance_units(args[0].d, 3);
        const int32_t near_level = quantise(args[1].d, 63.0, 0, 63);
        const int32_t far_distance = distance_units(args[2].d, 8);
        const int32_t far_level = quantise(args[3].d, 63.0, 0, 63);
        if (near_distance != s.near_distance || far_distance != s.far_distance) {
            s.near_distance = near_distance;
            s.far_distance = far_distance;
            s.distance_stamp = tick;
        }
        if (near_level != s.near_level || far_level != s.far_level) {
            s.near_level = near_level;
            s.far_level = far_level;
            s.level_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SSoundSourceManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SSoundSource& s = sources_[index];
    uint32_t bits = part_bit(*mask, SOUND_PART_PITCH, s.pitch != SOUND_PITCH_DEFAULT, s.pitch_stamp, last_tick);
    bits |= part_bit(*mask, SOUND_PART_DISTANCE | SOBJ_PART_MORE,
                     s.near_distance != SOUND_NEAR_DEFAULT || s.far_distance != SOUND_FAR_DEFAULT, s.distance_stamp,
                     last_tick);
    bits |= part_bit(*mask, SOUND_PART_LEVEL | SOBJ_PART_MORE,
                     s.near_level != SOUND_NEAR_LEVEL_DEFAULT || s.far_level != 0, s.level_stamp, last_tick);
    *mask |= bits;
    return 0;
}

int SSoundSourceManager::write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                           NetStreamOut* msg)
{
    const SSoundSource& s = sources_[index];
    if ((mask & SOBJ_PART_CREATE) != 0) {
        const int r = names_.write(client, tick, acked, s.name, msg, SOUND_NAME_INDEX_BITS, 0);
        if (r != 0) {
            return cache_write_result(r, msg);
        }
        msg->write_bits(static_cast<uint32_t>(s.mode) & 1u, 1);
    }
    if (write_presence(msg, mask, SOUND_PART_PITCH)) {
        msg->write_bits(static_cast<uint32_t>(s.pitch), 8);
    }
    if ((mask & SOBJ_PART_MORE) == 0) {
        return 1;
    }
    if (write_presence(msg, mask, SOUND_PART_DISTANCE)) {
        msg->write_bits(static_cast<uint32_t>(s.near_distance), 6);
        msg->write_bits(static_cast<uint32_t>(s.far_distance), 6);
    }
    if (write_presence(msg, mask, SOUND_PART_LEVEL)) {
        msg->write_bits(static_cast<uint32_t>(s.near_level), 6);
        msg->write_bits(static_cast<uint32_t>(s.far_level), 6);
    }
    return 1;
}

void SSoundSourceManager::admit_audible(int client, const Vector& listener)
{
    for (int32_t i = head; i >= 0; i = common[i].next) {
        SObjCommon& o = common[i];
        o.flags &= ~(SOBJF_ADMITTED | SOBJF_CACTIVE);
        if (!audience_admits(o.audience, client) || (o.flags & (SOBJF_DESTROY | SOBJF_DESTROYED)) != 0) {
            continue;
        }
        const SSoundSource& s = sources_[i];
        if (s.far_level != 0) {
            o.flags |= SOBJF_ADMITTED;
            continue;
        }
        const double dx = static_cast<double>(s.position.x) - listener.x;
        const double dy = static_cast<double>(s.position.y) - listener.y;
        const double dz = static_cast<double>(s.position.z) - listener.z;
        const double reach = static_cast<double>(s.far_distance) * 256.0;
        if (dx * dx + dy * dy + dz * dz < reach * reach) {
            o.flags |= SOBJF_ADMITTED;
        }
    }
}
