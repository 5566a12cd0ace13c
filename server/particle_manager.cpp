#include "server/particle_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "server/class_parts.h"
#include "server/property_values.h"

#include <cstring>
#include <new>

namespace {

constexpr int32_t PARTICLE_COUNT_LIMIT = 4096;
constexpr int32_t PARTICLE_TICKS_LIMIT = 512;

// Particles in units of 16; negative counts would reach the wire as other bits.
uint8_t particle_count(int32_t n)
{
    const int32_t c = n >> 4;
    if (c >= 256) {
        print_format(P_WARNING, "Server: Can't create more than %d particles", PARTICLE_COUNT_LIMIT);
        return 255;
    }
    return static_cast<uint8_t>(c < 0 ? 0 : c);
}

// Seconds in units of 8 ticks; negative times (and NaN) give 0.
uint8_t particle_ticks(double seconds)
{
    const int32_t t = float_to_int_trunc(seconds * 70.0) >> 3;
    if (t >= 64) {
        print_format(P_WARNING, "Server: Particle lifetime too long (max %d ticks)", PARTICLE_TICKS_LIMIT);
        return 63;
    }
    return static_cast<uint8_t>(t < 0 ? 0 : t);
}

void write_floats(NetStreamOut& out, const float* v, int n)
{
    for (int k = 0; k < n; ++k) {
        out.write_float(v[k]);
    }
}

// The parts of a description; in the creation block (create) without
// presence bits and with the count first.
void write_description(NetStreamOut& out, const SParticles& p, uint32_t mask, bool create)
{
    const auto present = [&](uint32_t bit) { return create || write_presence(&out, mask, bit); };
    if (create) {
        out.write_bits(p.count, 8);
    }
    if (present(PARTICLE_PART_FLAGS)) {
        out.write_bits(p.flags, 3);
    }
    if (!create && (mask & SOBJ_PART_MORE) == 0) {
        return;
    }
    if (present(PARTICLE_PART_SIZE)) {
        write_floats(out, p.size, 2);
        out.write_float(p.shrink);
    }
    if (present(PARTICLE_PART_SPAWN)) {
        out.write_bits(p.shape == 1 ? 1u : 0u, 1);
        write_floats(out, p.spawn, 12);
        write_floats(out, p.acceleration, 3);
    }
    if (present(PARTICLE_PART_COLOUR)) {
        out.write_bits(p.colour, 12);
        out.write_bits(p.colour_spread, 12);
    }
    if (present(PARTICLE_PART_TIMING)) {
        out.write_bits(p.burst_count, 8);
        out.write_bits(p.lifetime, 6);
        for (const uint8_t b : p.burst) {
            out.write_bits(b, 6);
        }
    }
}

// Stores floats and stamps the part whether or not they changed.
void store_floats(float* field, SObjArgs args, size_t first, int n, int32_t& stamp, int32_t tick)
{
    for (int k = 0; k < n; ++k) {
        field[k] = static_cast<float>(args[first + static_cast<size_t>(k)].d);
    }
    stamp = tick;
}

} // namespace

SParticleManager::~SParticleManager() { stop(); }

int SParticleManager::start(SharedMap* map, int32_t n, int32_t clients)
{
    stop();
    if (start_filters(map, n) == 0) {
        return 0;
    }
    particles_ = new (std::nothrow) SParticles[static_cast<size_t>(n)];
    if (particles_ == nullptr || blocks_.create(PARTICLE_BLOCKS, clients, PARTICLE_BLOCK_BYTES, 1) != 0) {
        stop();
        return 0;
    }
    return 1;
}

void SParticleManager::stop()
{
    stop_filters();
    delete[] particles_;
    particles_ = nullptr;
    blocks_.clear();
}

int SParticleManager::on_create(int32_t, int32_t index)
{
    SParticles& p = particles_[index];
    std::memset(&p, 0, sizeof p);
    p.flags_stamp = p.size_stamp = p.spawn_stamp = p.colour_stamp = p.timing_stamp = -1;
    reset_filter(index, AUDIENCE_FILTER_RADIUS);
    return 1;
}

void SParticleManager::reset_client(int client)
{
    K_ASSERT(blocks_.block_count() > 0);
    blocks_.reset_client(client);
}

int SParticleManager::set_property(int32_t tick, uint32_t id, int property, SObjArgs args)
{
    const int32_t i = lookup(id);
    if (i < 0) {
        return 0;
    }
    SParticles& p = particles_[i];
    const auto needs = [&](size_t n) { return args.size() >= n; };
    switch (property) {
    case PROPERTY_PARTICLE_CREATE:
        if (!needs(1)) {
            return 0;
        }
        // Sent with the create record.
        p.count = particle_count(args[0].i);
        return 1;
    case PROPERTY_PARTICLE_COLOR: {
        if (!needs(2)) {
            return 0;
        }
        const auto colour = static_cast<uint16_t>(colour12(static_cast<uint32_t>(args[0].i)));
        const auto spread = static_cast<uint16_t>(colour12(static_cast<uint32_t>(args[1].i)));
        if (colour != p.colour || spread != p.colour_spread) {
            p.colour = colour;
            p.colour_spread = spread;
            p.colour_stamp = tick;
        }
        return 1;
    }
    case PROPERTY_PARTICLE_SIZE:
        if (!needs(2)) {
            return 0;
        }
        store_floats(p.size, args, 0, 2, p.size_stamp, tick);
        return 1;
    case PROPERTY_PARTICLE_SHRINK:
        if (!needs(1)) {
            return 0;
        }
        store_floats(&p.shrink, args, 0, 1, p.size_stamp, tick);
        return 1;
    case PROPERTY_PARTICLE_LIFETIME:
        if (!needs(1)) {
            return 0;
        }
        store_stamped(p.lifetime, particle_ticks(args[0].d), p.timing_stamp, tick);
        return 1;
    case PROPERTY_PARTICLE_FLAGS: {
        if (!needs(1)) {
            return 0;
        }
        const uint32_t f = static_cast<uint32_t>(args[0].i);
        if ((f & ~PARTICLE_FLAG_BITS) != 0) {
            print_string(P_WARNING, "Server: Unsupported particle flags set");
        }
        store_stamped(p.flags, static_cast<uint8_t>(f & PARTICLE_FLAG_BITS), p.flags_stamp, tick);
        return 1;
    }
    case PROPERTY_PARTICLE_ACCELERATION:
        if (!needs(3)) {
            return 0;
        }
        store_floats(p.acceleration, args, 0, 3, p.spawn_stamp, tick);
        return 1;
    case PROPERTY_PARTICLE_SPAWN_BOX:
        if (!needs(12)) {
            return 0;
        }
        store_floats(p.spawn, args, 0, 12, p.spawn_stamp, tick);
        p.shape = 0;
        return 1;
    case PROPERTY_PARTICLE_SPAWN_SPHERE: {
        if (!needs(8)) {
            return 0;
        }
        // Centre, radius, velocity centre, velocity radius: the radii fill their extents.
        SObjArg box[12];
        const size_t from[12] = {0, 1, 2, 3, 3, 3, 4, 5, 6, 7, 7, 7};
        for (int k = 0; k < 12; ++k) {
            box[k] = args[from[k]];
        }
        store_floats(p.spawn, SObjArgs(box), 0, 12, p.spawn_stamp, tick);
        p.shape = 1;
        return 1;
    }
    case PROPERTY_PARTICLE_START: {
        if (!needs(5)) {
            return 0;
        }
        const uint8_t burst_count = particle_count(args[0].i);
        uint8_t burst[4];
        bool same = burst_count == p.burst_count;
        for (int k = 0; k < 4; ++k) {
            burst[k] = particle_ticks(args[1 + static_cast<size_t>(k)].d);
            same = same && burst[k] == p.burst[k];
        }
        if (!same) {
            p.burst_count = burst_count;
            std::memcpy(p.burst, burst, sizeof burst);
            p.timing_stamp = tick;
        }
        return 1;
    }
    default:
        return 0;
    }
}

int SParticleManager::class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask)
{
    const SParticles& p = particles_[index];
    if ((*mask & SOBJ_PART_CREATE) != 0) {
        *mask |= PARTICLE_PARTS | SOBJ_PART_MORE;
        return 0;
    }
    uint32_t bits = part_bit(*mask, PARTICLE_PART_FLAGS, false, p.flags_stamp, last_tick);
    const int32_t stamps[4] = {p.size_stamp, p.spawn_stamp, p.colour_stamp, p.timing_stamp};
    for (int k = 0; k < 4; ++k) {
        bits |= part_bit(*mask, (PARTICLE_PART_SIZE << k) | SOBJ_PART_MORE, false, stamps[k], last_tick);
    }
    *mask |= bits;
    return 0;
}

int SParticleManager::write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                        NetStreamOut* msg)
{
    const SParticles& p = particles_[index];
    if ((mask & SOBJ_PART_CREATE) == 0) {
        write_description(*msg, p, mask, false);
        return 1;
    }
    K_ASSERT((mask & PARTICLE_PARTS) == PARTICLE_PARTS);
    // Zeroed whole, so that equal descriptions make equal blocks.
    uint8_t block[PARTICLE_BLOCK_BYTES] = {};
    NetStreamOut local;
    local.attach(block, PARTICLE_BLOCK_BYTES);
    write_description(local, p, mask, true);
    const int32_t len = local.detach();
    K_ASSERT(len == NETM_PARTALL_BITS);
    return cache_write_result(blocks_.write(client, tick, acked, block, msg, PARTICLE_INDEX_BITS, NETM_PARTALL_BITS),
                              msg);
}
