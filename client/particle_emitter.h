#pragma once
// Object class 8: particle emitters. The server sends an emitter's whole
// state once, as a block of raw data through a named-block cache; later
// updates change parts of it. An emitter that the server removes stops
// emitting but keeps its slot (marked removed) and keeps drawing until its
// last particle has died; the sweep over the live emitters then frees it.
#include "client/entity_manager.h"
#include "net/net_ccache.h"
#include "renderer/particle_render.h"

class ScreenProjection;

constexpr int EMITTER_STATE_BLOCKS = 64;
constexpr int EMITTER_STATE_BYTES = 82;
constexpr int EMITTER_STATE_BITS = 650;

class ParticleEmitter final : public EntityManager<ParticleRender> {
public:
    ParticleEmitter() = default;
    ~ParticleEmitter() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(SharedMap* world, int capacity);
    void destroy();
    // Bind and unbind the renderer, bringing the colours of the live
    // emitters to its pixel layout and back.
    void start(ScreenProjection* renderer);
    void stop();

    // The used slots whose systems are alive, in turn; -1 at the end. An
    // emitter met on the way that is no longer alive is ended and its slot
    // freed.
    int first_alive();
    int next_alive();
    // Advances every live emitter by that many ticks.
    void simulate(int32_t ticks);

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    ScreenProjection* renderer() const { return sp_; }

private:
    int alive_from(int index);
    void end(int index);
    void read_state(int index, uint32_t mask, NetStreamIn& stream);

    ScreenProjection* sp_ = nullptr;
    NetCCache states_;
};
