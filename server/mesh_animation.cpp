// Playback of mesh objects' cycles: a cycle plays its frames for their
// durations and hands over to the next cycle at its terminating record (the
// next cycle stays, so a cycle that is its own next loops); negative rates
// play backwards, handing over at the first frame.
#include "core/kassert.h"
#include "core/print.h"
#include "server/mesh_object_manager.h"
#include "server/mesh_physics.h"
#include "server/object_id.h"
#include "server/property_values.h"

#include <cmath>

namespace {

constexpr float TICK_SECONDS = 1.0f / 70.0f;

} // namespace

float SMeshObjectManager::set_animation(uint32_t id, int32_t c, float s, int32_t flags)
{
    const MetaModel* const m = model_of(id);
    if (m == nullptr || c >= m->cycles + m->poses) {
        return 0.0f;
    }
    SMeshObject& o = objects_[lookup(id)];
    K_ASSERT(o.active_cycle < 0 || o.active_frame >= 0);
    int32_t next = c;
    if (c < 0) {
        if (o.active_cycle < 0) {
            K_ASSERT(o.next_cycle < 0);
            o.speed = s;
            o.anim_flags = flags;
            return 0.0f;
        }
        const MeshCycle& active = m->cycle[o.active_cycle];
        const int32_t pose = (flags & MESH_ANIM_QUEUE) != 0 ? m->frame[active.last_frame].frame
                                                             : m->frame[o.active_frame].frame;
        // End poses are checked when the model is read; a frame of a cycle
        // need not be a pose.
        if (pose < 0 || pose >= m->poses) {
            print_format(P_WARNING, "Server: Mesh frame %d is not a pose of '%s'", pose, m->name);
            return 0.0f;
        }
        next = m->pose_cycle(pose);
    }
    o.speed = s;
    o.anim_flags = flags;
    o.next_cycle = next;
    const float duration = m->cycle[next].duration;
    if (o.active_cycle < 0 || (flags & MESH_ANIM_QUEUE) == 0) {
        o.active_cycle = next;
        o.active_frame = m->cycle[next].first_frame;
        o.time = 0.0f;
    }
    return duration / s;
}

void SMeshObjectManager::advance(SMeshObject& o, int32_t entity)
{
    const MetaModel& m = *o.model;
    K_ASSERT(o.active_cycle >= 0 && o.active_frame >= 0);
    float rate = o.speed;
    float plain = 0.0f;
    float carried = 0.0f;
    if (entity >= 0 && (o.anim_flags & MESH_ANIM_MOTION) != 0 && physics_ != nullptr &&
        physics_->forward_speeds(entity, plain, carried)) {
        const MeshCycle& c = m.cycle[o.active_cycle];
        rate = c.distance > 0.0f ? ((1.0f - o.speed) * plain + o.speed * carried) * c.duration / c.distance : 0.0f;
    }
    const float time = o.time + rate * TICK_SECONDS;
    // A rate of NaN or infinity would never leave the frame loops.
    if (!std::isfinite(time)) {
        return;
    }
    o.time = time;
    for (int32_t steps = 0; o.time >= m.frame[o.active_frame].duration; ++steps) {
        if (steps == MESH_ADVANCE_STEPS_MAX) {
            o.time = 0.0f;
            return;
        }
        o.time -= m.frame[o.active_frame].duration;
        ++o.active_frame;
        if (o.active_frame == m.cycle[o.active_cycle].last_frame) {
            K_ASSERT(o.next_cycle >= 0);
            o.active_cycle = o.next_cycle;
            o.active_frame = m.cycle[o.active_cycle].first_frame;
        }
    }
    for (int32_t steps = 0; o.time < 0.0f; ++steps) {
        if (steps == MESH_ADVANCE_STEPS_MAX) {
            o.time = 0.0f;
            return;
        }
        if (o.active_frame == m.cycle[o.active_cycle].first_frame) {
            K_ASSERT(o.next_cycle >= 0);
            o.active_cycle = o.next_cycle;
            o.active_frame = m.cycle[o.active_cycle].last_frame;
        }
        --o.active_frame;
        o.time += m.frame[o.active_frame].duration;
    }
}

void SMeshObjectManager::animate(int32_t tick)
{
    for (int32_t i = head; i >= 0; i = common[i].next) {
        SMeshObject& o = objects_[i];
        if (o.active_cycle < 0 || o.model == nullptr) {
            continue;
        }
        advance(o, common[i].physical);
        const MetaModel& m = *o.model;
        const MeshCycle& c = m.cycle[o.active_cycle];
        K_ASSERT(o.active_frame >= c.first_frame && o.active_frame < c.last_frame);
        const MeshFrame& f = m.frame[o.active_frame];
        const int32_t frame1 = f.frame;
        const int32_t frame2 = m.frame[o.active_frame + 1].frame;
        const int32_t blend = (m.flags & SMESH_BLEND) != 0 ? quantise(o.time * 16.0 / f.duration, 1.0, 0, 15) : 0;
        if (frame1 != o.frame1 || frame2 != o.frame2 || blend != o.blend) {
            o.frame1 = frame1;
            o.frame2 = frame2;
            o.blend = blend;
            o.frame_stamp = tick;
        }
    }
}
