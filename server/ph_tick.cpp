// The physics tick: motion by force, gravity, buoyancy, thrust and drag, then
// up to 10 collision passes that move every entity to its first contact and
// answer it with a bounce, a push or a clipping plane, stepping up low steps;
// last, entities that could not move are reported and calmed.
#include "core/config_variable.h"
#include "core/print.h"
#include "server/ph_clip_planes.h"
#include "server/ph_material.h"
#include "server/ph_frame.h"
#include "server/physics_server.h"

#include <cmath>

namespace {

constexpr float TICK = 1.0f / 70.0f;
constexpr int COLLISION_PASSES = 10;
constexpr float CONTACT_SLACK = 0.01f;
constexpr float REST_SPEED = 0.01f;

Vector scaled(const Vector& v, float s) { return Vector{v.x * s, v.y * s, v.z * s}; }
Vector sum(const Vector& a, const Vector& b) { return Vector{a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector difference(const Vector& a, const Vector& b) { return Vector{a.x - b.x, a.y - b.y, a.z - b.z}; }
float abs_sum(const Vector& v) { return std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z); }

float zero_small(float v) { return std::fabs(v) < REST_SPEED ? 0.0f : v; }

} // namespace

struct PhysicsServer::Contacts {
    EntityList volumes; // walls and volumes the entity may hit
    EntityList moving;  // moving entities that may hit its volume
    // Of volumes, those whose box in the mover's tree reaches into lo .. hi,
    // which holds every point and segment that the pass and a step-up from
    // it test; the others (`dropped`) can only answer "outside" there. Good
    // while no script has run since they were gathered.
    EntityList near;
    int32_t dropped = 0;
    Vector lo = {0, 0, 0};
    Vector hi = {0, 0, 0};
    uint32_t script_calls = 0;

    bool covers(const Vector& a, const Vector& b, uint32_t calls) const
    {
        Vector l;
        Vector h;
        segment_box(a, b, l, h);
        return calls == script_calls && l.x >= lo.x && l.y >= lo.y && l.z >= lo.z && h.x <= hi.x && h.y <= hi.y &&
               h.z <= hi.z;
    }
};

// Point contents and casts among a pass's candidates: those near enough
// when the test lies in the pass's reach. A dropped candidate is counted as
// tested, and its "outside" (contents 1) still takes part in the highest.
int32_t PhysicsServer::contents_near(int32_t tree, const Vector& point, const Contacts& c)
{
    if (!c.covers(point, point, script_calls_)) {
        return point_contents(tree, point, c.volumes);
    }
    stats_.locate_volume_tests += c.dropped;
    const int32_t contents = point_contents(tree, point, c.near);
    return c.dropped > 0 && contents < VOLUME_OUTSIDE_CONTENTS ? VOLUME_OUTSIDE_CONTENTS : contents;
}

int PhysicsServer::cast_near(RayHit& hit, const Vector& start, const Vector& direction, float length,
                             int32_t threshold, int32_t tree, const Contacts& c)
{
    Vector end = start;
    vec_add_scaled(end, direction, length);
    if (!c.covers(start, end, script_calls_)) {
        return cast_segment(hit, start, direction, length, threshold, tree, c.volumes);
    }
    stats_.ray_volume_tests += c.dropped;
    return cast_segment(hit, start, direction, length, threshold, tree, c.near);
}

uint32_t PhysicsServer::call_method(uint32_t offset, uint32_t object, uint32_t argument)
{
    if (script_ == nullptr || object == 0) {
        return 0;
    }
    ++script_calls_;
    return script_->call_method(offset, object, argument);
}

// The velocity of o's body at a point: from its next pose when it turns.
Vector PhysicsServer::point_velocity(const PhysicalEntity& o, const Vector& at) const
{
    if (abs_sum(o.spin) < REST_SPEED) {
        return o.velocity;
    }
    Vector ahead;
    mat_rotate_vector(ahead, o.next_transform, into_frame(o.transform, at));
    return scaled(difference(ahead, at), 70.0f);
}

void PhysicsServer::tick()
{
    if (!running()) {
        return;
    }
    const bool statistics = ph_stats_ != nullptr && ph_stats_->is_true();
    if (statistics) {
        print_tagged(make_tag("PKSt"), "K-tick: locate %d/%d , raycast %d/%d", stats_.locates,
                     stats_.locate_volume_tests, stats_.ray_casts, stats_.ray_volume_tests);
        stats_ = PhysicsStats{};
    }
    for (int32_t i = physical_entity_list_.first(); i >= 0; i = physical_entity_list_.next()) {
        move_entity(entities_[i]);
    }
    for (int pass = 0; pass < COLLISION_PASSES; ++pass) {
        ++pass_;
        locator_.tighten();
        bool again = false;
        for (int32_t i = physical_entity_list_.first(); i >= 0; i = physical_entity_list_.next()) {
            PhysicalEntity& e = entities_[i];
            // Met again after it moved down the list: once a pass is enough.
            if (e.pass == pass_) {
                continue;
            }
            e.pass = pass_;
            again |= collide_entity(e) != 0;
            if (!e.alive()) {
                continue;
            }
            // Keep the list in descending z: past every follower that is higher.
            int32_t after = e.number;
            for (int32_t f = physical_entity_list_.link(e.number).next;
                 f >= 0 && entities_[f].position.z > e.position.z; f = physical_entity_list_.link(f).next) {
                after = f;
            }
            if (after != e.number) {
                physical_entity_list_.link_after(e.number, after);
            }
        }
        if (!again) {
            break;
        }
    }
    if (statistics) {
        print_tagged(make_tag("PhSt"), "Physics: locate %d/%d , raycast %d/%d", stats_.locates,
                     stats_.locate_volume_tests, stats_.ray_casts, stats_.ray_volume_tests);
        stats_ = PhysicsStats{};
    }
    for (int32_t i = physical_entity_list_.first(); i >= 0; i = physical_entity_list_.next()) {
        check_blocked(entities_[i]);
    }
}

void PhysicsServer::move_entity(PhysicalEntity& e)
{
    if ((e.flags & PHYS_UNPLACED) != 0) {
        return;
    }
    e.time_left = TICK;
    e.last_block = nullptr;
    if (!e.awake() || e.motion == nullptr) {
        return;
    }
    MotionRecord& m = *e.motion;
    m.clip_count = 0;
    e.flags &= ~PHYS_ON_GROUND;
    const PhysicsMaterial* const ground = m.ground_material != 0 ? &material_or_empty(m.ground_material) : nullptr;
    const PhysicsMaterial& medium = material_or_empty(m.medium_material);
    const float k = m.inverse_mass / 70.0f;
    const float b = medium.density * m.inverse_mass * m.volume;
    vec_add_scaled(e.velocity, m.force, k);
    vec_add_scaled(e.velocity, gravity_, (1.0f - b) / 70.0f);
    float w = medium.traction;
    float fl = medium.drag;
    float fa = medium.turn_drag;
    Vector c = {0, 0, 0};
    float s = 0.0f;
    if (ground != nullptr && b < 1.0f) {
        const float g = 1.0f - b;
        w = ground->ground_traction * g + w * b;
        fl = ground->ground_drag * g + fl * b;
        fa = ground->ground_turn_drag * g + fa * b;
        if (m.carrier != nullptr) {
            c = scaled(point_velocity(*m.carrier, e.position), g);
            s = m.carrier->spin.x * g;
        }
        if ((e.flags & PHYS_GROUND_CONTACT) != 0) {
            e.flags |= PHYS_ON_GROUND;
        }
    }
    const Vector t = scaled(m.thrust, w);
    vec_add_scaled(e.velocity, difference(sum(c, t), e.velocity), fl);
    e.spin.x += (m.turn.x * w - e.spin.x + s) * fa;
    e.spin.y += (m.turn.y * w - e.spin.y) * fa;
    e.spin.z += (m.turn.z * w - e.spin.z) * fa;
    if ((e.flags & PHYS_STEP_SMOOTH) != 0) {
        m.step_offset += m.step_speed;
        m.step_offset = m.step_offset > 0.0f ? 0.0f : m.step_offset;
        m.step_offset = m.step_offset < -m.step_height ? -m.step_height : m.step_offset;
    }
    Vector u;
    mat_get_column1(u, e.transform);
    m.forward_speed = m.thrust_forward_speed = vec_dot(t, u);
    if (ground != nullptr) {
        m.forward_speed += vec_dot(difference(difference(e.velocity, c), t), u) * ground->ground_slip;
        m.ground_material = 0;
        m.carrier = nullptr;
    }
    // Huge forces may overflow: such an entity stops instead of carrying
    // infinities into the walks.
    if (!finite(e.velocity) || !finite(e.spin)) {
        e.velocity = Vector{0, 0, 0};
        e.spin = Vector{0, 0, 0};
    }
}

void PhysicsServer::find_candidates(PhysicalEntity& e, const Vector& lo, const Vector& hi, Contacts& c) const
{
    c.volumes.clear();
    c.moving.clear();
    // Walls and volumes for a moving entity: those not smaller when it has a
    // volume itself, else all; moving entities for one with a volume: those
    // not larger when it moves itself, else all.
    const bool moves = e.motion != nullptr;
    const bool carries = e.volume != nullptr;
    locator_.candidates_in_box(lo, hi, e.radius, moves ? &c.volumes : nullptr, !carries, carries ? &c.moving : nullptr,
                               !moves, &e);
    c.near.clear();
    c.dropped = 0;
    c.script_calls = script_calls_;
    if (!moves) {
        c.lo = c.hi = Vector{0, 0, 0};
        return;
    }
    // Every point a pass or a step-up from it tests lies within the whole
    // move, a step up and down, the fit searches' back-off, of its start.
    const int32_t tree = e.motion->tree;
    const float speed = std::sqrt(vec_dot(e.velocity, e.velocity));
    const float step = e.motion->step_height > 0.0f ? e.motion->step_height : 0.0f;
    const float reach = speed * (e.time_left + FIT_TRIES * FIT_STEP_TIME) + step + 1.0f;
    c.lo = Vector{e.position.x - reach, e.position.y - reach, e.position.z - reach};
    c.hi = Vector{e.position.x + reach, e.position.y + reach, e.position.z + reach};
    for (int32_t k = 0; k < c.volumes.count; ++k) {
        PhysicalEntity* const o = c.volumes.items[k];
        if (o->volume != nullptr && tree < o->volume->tree_count &&
            !clear_of_tree(*o, o->volume->trees[tree], c.lo, c.hi)) {
            c.near.add(o);
        } else if (o->alive() && o->volume != nullptr && tree < o->volume->tree_count) {
            ++c.dropped;
        }
    }
}

bool PhysicsServer::fits(PhysicalEntity& e, const Vector& position, float heading, float pitch, float bank,
                         const Contacts& c)
{
    if (e.motion != nullptr && contents_near(e.motion->tree, position, c) > e.motion->penetrable) {
        return false;
    }
    if (e.volume == nullptr || c.moving.count == 0) {
        return true;
    }
    Matrix pose = e.transform;
    if (heading != e.heading || pitch != e.pitch || bank != e.bank) {
        mat_from_angles(pose, position, heading, pitch, bank);
    } else {
        mat_set_translation(pose, position);
    }
    for (int32_t k = 0; k < c.moving.count; ++k) {
        const PhysicalEntity* const o = c.moving.items[k];
        if (!o->alive() || o->motion == nullptr || o->motion->tree >= e.volume->tree_count) {
            continue;
        }
        ++stats_.locate_volume_tests;
        const VolumeTree& tree = e.volume->trees[o->motion->tree];
        const Vector d = difference(o->position, position);
        const int32_t contents = vec_dot(d, d) > tree.reach_squared ? VOLUME_OUTSIDE_CONTENTS
                                                                    : tree_point_contents(tree, into_frame(pose, o->position));
        if (contents > o->motion->penetrable) {
            return false;
        }
    }
    return true;
}

float PhysicsServer::fit_search(PhysicalEntity& e, float t, const Contacts& c)
{
    for (int i = 0; i < FIT_TRIES && t > 0.0f; ++i, t -= FIT_STEP_TIME) {
        Vector at = e.position;
        vec_add_scaled(at, e.velocity, t);
        if (fits(e, at, e.heading + e.spin.x * t, e.pitch + e.spin.y * t, e.bank + e.spin.z * t, c)) {
            return t;
        }
    }
    return 0.0f;
}

int PhysicsServer::clip(PhysicalEntity& e, const Vector& n, float speed)
{
    // A fifth plane leaves no way to go: the entity stops for this tick.
    if (!clip_planes_add(*e.motion, n, speed)) {
        e.velocity = Vector{0, 0, 0};
        e.time_left = 0.0f;
        return 0;
    }
    clip_planes_apply(*e.motion, e.velocity);
    return 1;
}

int PhysicsServer::collide_entity(PhysicalEntity& e)
{
    if (!(e.time_left > 0.0f)) {
        return 0;
    }
    if (!e.awake()) {
        e.time_left = 0.0f;
        return 0;
    }
    const float tl = e.time_left;
    const Vector d = scaled(e.velocity, tl);
    const Vector target = sum(e.position, d);
    const float r = e.radius;
    Vector lo;
    Vector hi;
    segment_box(e.position, target, lo, hi);
    lo = Vector{lo.x - r, lo.y - r, lo.z - r};
    hi = Vector{hi.x + r, hi.y + r, hi.z + r};
    Contacts c;
    find_candidates(e, lo, hi, c);

    int kind = 0;
    float contact = tl;
    RayHit hit;
    if (e.motion != nullptr && cast_near(hit, e.position, d, 1.0f, e.motion->penetrable, e.motion->tree, c)) {
        if (hit.normal_valid == 0) {
            if (hit.entity != nullptr) {
                print_format(P_DEBUG, "Physics: Entity %d stuck in entity %d", e.number, hit.entity->number);
            } else {
                print_format(P_DEBUG, "Physics: Entity %d stuck in a wall", e.number);
            }
            e.velocity = Vector{0, 0, 0};
            e.time_left = 0.0f;
            return 0;
        }
        kind = 1;
        contact = hit.fraction * tl;
    }
    PhysicalEntity* hitter = nullptr;
    Vector hitter_normal = {0, 0, 0};
    Vector hitter_point = {0, 0, 0};
    int32_t hitter_contents = 0;
    if (e.volume != nullptr) {
        for (int32_t k = 0; k < c.moving.count; ++k) {
            PhysicalEntity* const o = c.moving.items[k];
            if (!o->alive() || o->motion == nullptr || o->motion->tree >= e.volume->tree_count) {
                continue;
            }
            ++stats_.ray_volume_tests;
            const VolumeTree& tree = e.volume->trees[o->motion->tree];
            const Vector relative = scaled(difference(o->velocity, e.velocity), tl);
            // Nearest approach of the point's path to this entity's centre is
            // at least the start's distance less the path's length.
            const Vector from = difference(o->position, e.position);
            const float reach = tree.reach + std::sqrt(vec_dot(relative, relative));
            if (vec_dot(from, from) > reach * reach) {
                continue;
            }
            Vector path_lo;
            Vector path_hi;
            segment_box(o->position, sum(o->position, relative), path_lo, path_hi);
            if (clear_of_tree(e, tree, path_lo, path_hi)) {
                continue;
            }
            const Vector motion = unturned(e.transform, relative);
            TreeHit h;
            if (tree_cast_segment(tree, h, into_frame(e.transform, o->position), motion, 1.0f,
                                  o->motion->penetrable) == 0 ||
                h.normal_valid == 0) {
                continue;
            }
            const float t = h.fraction * tl;
            if ((kind == 0 && hitter == nullptr) || t < contact) {
                kind = 2;
                contact = t;
                hitter = o;
                hitter_normal = turned(e.transform, h.normal);
                mat_rotate_vector(hitter_point, e.transform, h.point);
                hitter_contents = h.contents;
            }
        }
    }

    const float t = fit_search(e, contact, c);
    if (t > 0.0f) {
        Vector at = e.position;
        vec_add_scaled(at, e.velocity, t);
        place(e, at, e.heading + e.spin.x * t, e.pitch + e.spin.y * t, e.bank + e.spin.z * t, c.volumes);
        if (!e.alive()) {
            return 0;
        }
        e.time_left -= t;
    }
    if (kind == 0) {
        e.time_left = 0.0f;
        return 0;
    }
    if (kind == 1) {
        return contact_first_kind(e, hit.entity, hit.normal, hit.contents, c);
    }
    return contact_second_kind(e, *hitter, hitter_normal, hitter_contents, hitter_point);
}

int PhysicsServer::contact_first_kind(PhysicalEntity& e, PhysicalEntity* o, const Vector& n, int32_t m,
                                      const Contacts& c)
{
    MotionRecord& motion = *e.motion;
    const float bounce = motion.bounce * material_or_empty(m).bounce;
    Vector vo = {0, 0, 0};
    if (o != nullptr) {
        vo = point_velocity(*o, e.position);
        o->flags |= PHYS_AWAKE;
        if (e.last_block == o) {
            e.time_left = o->time_left;
        }
    }
    e.last_block = o;
    const float a = CONTACT_SLACK - vec_dot(n, difference(e.velocity, vo));
    if (std::signbit(a)) {
        return 1;
    }
    if ((e.flags & PHYS_ON_GROUND) != 0 && std::fabs(n.z) <= 0.2f && sweep_with(e, c) != 0) {
        return 1;
    }
    bool passes = false;
    if (o != nullptr && o->object != 0) {
        call_method(PHYS_METHOD_CONTACT, o->object, e.object);
        if (!e.alive()) {
            return 0;
        }
    }
    if (e.object != 0 && (o == nullptr || o->alive())) {
        passes = call_method(PHYS_METHOD_TOUCH, e.object, o != nullptr ? o->object : 0) != 0;
        if (!e.alive()) {
            return 0;
        }
    }
    if (passes || (o != nullptr && !o->alive())) {
        return 1;
    }
    if (motion.ground_material == 0) {
        Vector gn = n;
        for (int32_t i = 0; i < motion.clip_count; ++i) {
            vec_add(gn, motion.clip_normals[i]);
        }
        if (motion.clip_count > 0) {
            vec_normalize(gn);
        }
        if (gn.z > 0.7f) {
            motion.ground_material = m;
            motion.carrier = o;
        }
    }
    MotionRecord* const om = o != nullptr ? o->motion : nullptr;
    if (om != nullptr && om->ground_material == 0 && n.z < -0.7f) {
        om->ground_material = PHYS_GROUND_ENTITY;
        om->carrier = &e;
    }
    if (bounce > 0.0f) {
        if (om == nullptr) {
            vec_add_scaled(e.velocity, n, (bounce + 1.0f) * a);
        } else {
            const float j = (bounce + 1.0f) * a / (motion.inverse_mass + om->inverse_mass);
            vec_add_scaled(e.velocity, n, motion.inverse_mass * j);
            vec_add_scaled(o->velocity, n, -om->inverse_mass * j);
        }
        return 1;
    }
    if (om != nullptr && motion.carrier != o) {
        if (om->carrier == &e) {
            vec_add_scaled(o->velocity, n, -a);
            return 1;
        }
        const float j = a / (motion.inverse_mass + om->inverse_mass);
        vec_add_scaled(o->velocity, n, -motion.inverse_mass * j);
        vo = point_velocity(*o, e.position);
    }
    return clip(e, n, vec_dot(n, vo)) != 0 ? 1 : 0;
}

int PhysicsServer::contact_second_kind(PhysicalEntity& e, PhysicalEntity& o, const Vector& n, int32_t m,
                                       const Vector& at)
{
    MotionRecord& om = *o.motion;
    o.flags |= PHYS_AWAKE;
    const float bounce = om.bounce * material_or_empty(m).bounce;
    if (e.last_block == &o) {
        o.time_left = e.time_left;
    }
    e.last_block = &o;
    Vector pv = point_velocity(e, at);
    const float a = CONTACT_SLACK - vec_dot(n, difference(o.velocity, pv)) * (bounce + 1.0f);
    if (std::signbit(a)) {
        return 1;
    }
    if (e.object != 0) {
        call_method(PHYS_METHOD_CONTACT, e.object, o.object);
        if (!e.alive()) {
            return 0;
        }
    }
    bool passes = false;
    if (o.object != 0 && o.alive()) {
        passes = call_method(PHYS_METHOD_TOUCH, o.object, e.object) != 0;
        if (!e.alive()) {
            return 0;
        }
    }
    if (passes || !o.alive()) {
        return 1;
    }
    MotionRecord* const em = e.motion;
    if (em != nullptr && em->ground_material == 0 && n.z < -0.7f) {
        em->ground_material = PHYS_GROUND_ENTITY;
        em->carrier = &o;
    }
    if (om.ground_material == 0 && n.z > 0.7f) {
        om.ground_material = m;
        om.carrier = &e;
    }
    if (bounce > 0.0f) {
        if (em != nullptr) {
            const float j = a / (em->inverse_mass + om.inverse_mass);
            vec_add_scaled(e.velocity, n, -em->inverse_mass * j);
            vec_add_scaled(o.velocity, n, om.inverse_mass * j);
        } else {
            vec_add_scaled(o.velocity, n, a);
        }
        return 1;
    }
    if (em == nullptr || om.carrier == &e) {
        vec_add_scaled(o.velocity, n, a);
        return 1;
    }
    if (em->carrier == &o) {
        vec_add_scaled(e.velocity, n, -a);
        return 1;
    }
    const float j = a / (em->inverse_mass + om.inverse_mass);
    vec_add_scaled(e.velocity, n, -em->inverse_mass * j);
    vec_add_scaled(o.velocity, n, om.inverse_mass * j);
    clip_planes_apply(*em, e.velocity);
    pv = point_velocity(e, at);
    const float push = -CONTACT_SLACK - vec_dot(n, difference(pv, o.velocity));
    if (std::signbit(push)) {
        vec_add_scaled(e.velocity, n, push);
    }
    return 1;
}

int PhysicsServer::sweep(PhysicalEntity& e)
{
    if (!e.alive() || e.motion == nullptr) {
        return 0;
    }
    const float reach = std::sqrt(vec_dot(e.velocity, e.velocity)) * e.time_left + e.motion->step_height + e.radius;
    const Vector lo = {e.position.x - reach, e.position.y - reach, e.position.z - reach};
    const Vector hi = {e.position.x + reach, e.position.y + reach, e.position.z + reach};
    Contacts c;
    find_candidates(e, lo, hi, c);
    return sweep_with(e, c);
}

int PhysicsServer::sweep_with(PhysicalEntity& e, const Contacts& c)
{
    MotionRecord& m = *e.motion;
    const float h = m.step_height;
    if (!(h > 0.0f)) {
        return 0;
    }
    const auto fits_at = [&](const Vector& p) { return fits(e, p, e.heading, e.pitch, e.bank, c); };
    RayHit hit;
    const Vector up = {0, 0, 1};
    Vector raised = e.position;
    raised.z += h;
    if (cast_near(hit, e.position, up, h, m.penetrable, m.tree, c) != 0) {
        raised = hit.point;
    }
    int tries = 0;
    while (tries < FIT_TRIES && !fits_at(raised)) {
        raised.z -= FIT_STEP_HEIGHT;
        ++tries;
    }
    if (tries == FIT_TRIES) {
        return 0;
    }
    Vector across = raised;
    vec_add_scaled(across, e.velocity, e.time_left);
    float used = e.time_left;
    if (cast_near(hit, raised, e.velocity, e.time_left, m.penetrable, m.tree, c) != 0) {
        across = hit.point;
        used = hit.fraction;
    }
    for (tries = 0; tries < FIT_TRIES && !fits_at(across); ++tries) {
        vec_add_scaled(across, e.velocity, -FIT_STEP_TIME);
    }
    if (tries == FIT_TRIES) {
        return 0;
    }
    const Vector down = {0, 0, -1};
    if (cast_near(hit, across, down, h, m.penetrable, m.tree, c) == 0 || hit.normal_valid == 0 ||
        hit.normal.z < 0.7f) {
        return 0;
    }
    Vector landed = hit.point;
    for (tries = 0; tries < FIT_TRIES && !fits_at(landed); ++tries) {
        landed.z += FIT_STEP_HEIGHT;
    }
    if (tries == FIT_TRIES) {
        return 0;
    }
    const Vector moved = difference(landed, e.position);
    if (vec_dot(moved, moved) < 1.0f) {
        return 0;
    }
    if ((e.flags & PHYS_STEP_SMOOTH) != 0) {
        m.step_offset += e.position.z - landed.z;
    }
    place(e, landed, e.heading + e.spin.x * used, e.pitch + e.spin.y * used, e.bank + e.spin.z * used, c.volumes);
    if (e.alive()) {
        e.time_left -= used;
    }
    return 1;
}

void PhysicsServer::check_blocked(PhysicalEntity& e)
{
    if (!e.alive() || !e.awake()) {
        return;
    }
    if (e.time_left > 0.0f) {
        print_format(P_DEBUG, "Physics: Entity %x is blocked!", static_cast<unsigned>(e.number));
        if (e.motion != nullptr) {
            e.velocity = Vector{0, 0, 0};
            e.spin = Vector{0, 0, 0};
        } else if (e.object != 0) {
            call_method(PHYS_METHOD_BLOCKED, e.object, e.last_block != nullptr ? e.last_block->object : 0);
            if (!e.alive()) {
                return;
            }
        }
    }
    e.velocity = Vector{zero_small(e.velocity.x), zero_small(e.velocity.y), zero_small(e.velocity.z)};
    e.spin = Vector{zero_small(e.spin.x), zero_small(e.spin.y), zero_small(e.spin.z)};
    if (abs_sum(e.velocity) > 0.0f || abs_sum(e.spin) > 0.0f || (e.motion != nullptr && e.motion->carrier != nullptr)) {
        e.flags |= PHYS_MOVED;
    } else {
        if ((e.flags & PHYS_MOVED) == 0) {
            e.flags &= ~PHYS_AWAKE;
        }
        e.flags &= ~PHYS_MOVED;
    }
}
