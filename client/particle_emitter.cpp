#include "client/particle_emitter.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "net/net_stream_in.h"
#include "renderer/screen_projection.h"
#include "world/entity_link.h"

namespace {

Vector read_vector(NetStreamIn& s)
{
    Vector v;
    v.x = s.read_float();
    v.y = s.read_float();
    v.z = s.read_float();
    return v;
}

} // namespace

int ParticleEmitter::create(SharedMap* world, int capacity)
{
    destroy();
    K_ASSERT(world);
    if (create_records(world, capacity, 1) == 0 || states_.create(1, EMITTER_STATE_BLOCKS, EMITTER_STATE_BYTES) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void ParticleEmitter::destroy()
{
    unlink_records();
    states_.clear();
    sp_ = nullptr;
    destroy_records();
}

void ParticleEmitter::start(ScreenProjection* renderer)
{
    K_ASSERT(!sp_);
    sp_ = renderer;
    for (int i = first_alive(); i >= 0; i = next_alive()) {
        record(i).set_colours(record(i).colour_base, record(i).colour_range, sp_->rgb_layout);
    }
}

void ParticleEmitter::stop()
{
    K_ASSERT(sp_);
    for (int i = first_alive(); i >= 0; i = next_alive()) {
        record(i).set_colours(record(i).colour_base, record(i).colour_range, sp_->layout_inverse);
    }
    sp_ = nullptr;
}

int ParticleEmitter::first_alive() { return alive_from(first()); }

int ParticleEmitter::next_alive() { return alive_from(next()); }

int ParticleEmitter::alive_from(int index)
{
    for (int i = index; i >= 0; i = next()) {
        if (record(i).is_alive()) {
            return i;
        }
        end(i);
        release(i);
    }
    return -1;
}

void ParticleEmitter::end(int index)
{
    record(index).free_particles();
    unlink_entity(*world_, record(index));
}

void ParticleEmitter::simulate(int32_t ticks)
{
    for (int i = first_alive(); i >= 0; i = next_alive()) {
        record(i).simulate(ticks);
    }
}

int ParticleEmitter::link(int index)
{
    ParticleRender& p = record(index);
    p.reset();
    p.set_mode(0);
    p.set_fade(0.0f, 0.0f, 0.0f);
    const Vector zero = {0.0f, 0.0f, 0.0f};
    p.setup_emitter(zero, zero, zero, zero, 0);
    p.set_acceleration(zero);
    p.set_colours_raw(0, 0);
    if (sp_ != nullptr) {
        p.set_colours(0, 0, sp_->rgb_layout);
    }
    p.set_parameter(0);
    link_new_entity(*world_, p);
    return 1;
}

int ParticleEmitter::unlink(int index, int force)
{
    if (force != 0) {
        end(index);
        return 1;
    }
    record(index).stop();
    return 0;
}

int ParticleEmitter::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    if ((mask & UPD_CREATE) == 0) {
        read_state(index, mask, stream);
        return 1;
    }
    uint8_t block[EMITTER_STATE_BYTES] = {};
    if (states_.read(&stream, block, 6, EMITTER_STATE_BITS) != 0) {
        return 0;
    }
    NetStreamIn state;
    state.attach(block, EMITTER_STATE_BITS);
    read_state(index, mask, state);
    state.detach();
    return 1;
}

void ParticleEmitter::read_state(int index, uint32_t mask, NetStreamIn& s)
{
    ParticleRender& p = record(index);
    const bool create = (mask & UPD_CREATE) != 0;
    const auto present = [&]() { return create || read_present(s); };
    if (create) {
        const auto n = static_cast<int32_t>((s.read_bits(8) & 0xFFu) * 16);
        if (n != p.pool_size()) {
            (void)p.allocate(n);
        }
    }
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        place_entity(*world_, p, common(index));
    }
    if (present()) {
        p.set_mode(static_cast<int32_t>(s.read_bits(3) & 7u));
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return;
    }
    if (present()) {
        const float a = s.read_float();
        const float b = s.read_float();
        p.set_fade(a, b, s.read_float());
    }
    if (present()) {
        const int flag = static_cast<int>(s.read_bits(1) & 1u);
        const Vector v0 = read_vector(s);
        const Vector v1 = read_vector(s);
        const Vector v2 = read_vector(s);
        const Vector v3 = read_vector(s);
        p.setup_emitter(v0, v1, v2, v3, flag);
        p.set_acceleration(read_vector(s));
        // The emitter's reach is the record's radius now.
        link_entity(*world_, p);
    }
    if (present()) {
        const uint32_t start = read_colour12(s);
        const uint32_t end = read_colour12(s);
        p.set_colours_raw(start, end);
        if (sp_ != nullptr) {
            p.set_colours(start, end, sp_->rgb_layout);
        }
    }
    if (present()) {
        const auto n = static_cast<int32_t>((s.read_bits(8) & 0xFFu) * 16);
        int32_t v[5];
        for (int32_t& x : v) {
            x = static_cast<int32_t>((s.read_bits(6) & 0x3Fu) * 8);
        }
        p.set_parameter(v[0]);
        p.start(n, v[1], v[2], v[3], v[4]);
    }
}
