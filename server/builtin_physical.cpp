// The builtins that create, destroy, move and read physical entities.
#include "server/builtin_entity.h"
#include "server/builtin_physics.h"
#include "server/server.h"

int32_t required_entity(Server& s, kcontext_t* c, int32_t ent)
{
    BUILTIN_CHECK(c, s.physics.entity(ent) != nullptr);
    return ent;
}

int32_t optional_entity(Server& s, kcontext_t* c, int32_t ent)
{
    BUILTIN_CHECK(c, ent < PHYS_ENTITIES);
    return s.physics.entity(ent) != nullptr ? ent : -1;
}

namespace {

const PhysicalEntity& entity_of(Server& s, const BuiltinArgs& a)
{
    return *s.physics.entity(required_entity(s, a.context(), a.i32(0)));
}

// Whether the volume number has the form of a map model's or a dynamic
// box's number; such a number that names nothing is the script's fault.
bool volume_numbered(int32_t volume)
{
    const uint32_t kind = static_cast<uint32_t>(volume) & 0xF0000000u;
    return kind == VOLUME_MAP_MODEL || kind == VOLUME_DYNAMIC;
}

} // namespace

DEFINE_BUILTIN(create_physical, 6)
{
    kcontext_t* const c = a.context();
    const Vector size = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(size));
    const int32_t volume = a.i32(4);
    const uint32_t flags = a.u32(5);
    const int32_t ent = s.physics.create_entity(a.u32(0), size, volume, flags);
    const PhysicalEntity* const e = s.physics.entity(ent);
    if (e != nullptr && (flags & PHYS_VOLUME) != 0 && volume_numbered(volume)) {
        BUILTIN_CHECK(c, e->volume != nullptr);
    }
    builtin_result_int(c, ent);
}

DEFINE_BUILTIN(destroy_physical, 1)
{
    const int32_t ent = a.i32(0);
    BUILTIN_CHECK(a.context(), ent < PHYS_ENTITIES);
    const KeptResult kept(a.context());
    s.physics.destroy_entity(ent);
}

DEFINE_BUILTIN(set_physical_gravity, 3)
{
    const Vector gravity = a.vec(0);
    BUILTIN_CHECK(a.context(), finite_vector(gravity));
    s.physics.set_physical_gravity(gravity);
}

DEFINE_BUILTIN(set_physical_owner, 2)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    s.physics.set_physical_owner(ent, optional_entity(s, c, a.i32(1)));
}

DEFINE_BUILTIN(set_physical_position, 4)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const Vector position = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(position));
    const KeptResult kept(c);
    s.physics.set_physical_position(ent, position);
}

DEFINE_BUILTIN(set_physical_angles, 4)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const Vector angles = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(angles));
    const KeptResult kept(c);
    s.physics.set_physical_angles(ent, angles.x, angles.y, angles.z);
}

namespace {

// The setters of one vector or three floats: the entity, then the values.
using VectorSetter = void (PhysicsServer::*)(int32_t, const Vector&);
using AnglesSetter = void (PhysicsServer::*)(int32_t, float, float, float);

template <VectorSetter Set>
void set_vector(Server& s, const BuiltinArgs& a)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const Vector v = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(v));
    (s.physics.*Set)(ent, v);
}

template <AnglesSetter Set>
void set_angles(Server& s, const BuiltinArgs& a)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const Vector v = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(v));
    (s.physics.*Set)(ent, v.x, v.y, v.z);
}

} // namespace

void builtin_set_physical_velocity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_vector<&PhysicsServer::set_physical_velocity>, 4>(host, c, args, bytes);
}

void builtin_set_physical_local_velocity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_vector<&PhysicsServer::set_physical_local_velocity>, 4>(host, c, args, bytes);
}

void builtin_set_physical_thrust(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_vector<&PhysicsServer::set_physical_thrust>, 4>(host, c, args, bytes);
}

void builtin_set_physical_force(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_vector<&PhysicsServer::set_physical_force>, 4>(host, c, args, bytes);
}

void builtin_set_physical_rotation(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_angles<&PhysicsServer::set_physical_rotation>, 4>(host, c, args, bytes);
}

void builtin_set_physical_turn(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes)
{
    builtin_native<set_angles<&PhysicsServer::set_physical_turn>, 4>(host, c, args, bytes);
}

DEFINE_BUILTIN(set_physical_local_thrust, 4)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    Vector thrust = a.vec(1);
    BUILTIN_CHECK(c, finite_vector(thrust));
    s.physics.set_physical_local_thrust(ent, thrust);
    builtin_result_vector(c, thrust);
}

DEFINE_BUILTIN(set_physical_mass, 2)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    // An infinite mass is an immovable one.
    const float mass = a.f32(1);
    BUILTIN_CHECK(c, !std::isnan(mass));
    s.physics.set_physical_mass(ent, mass);
}

DEFINE_BUILTIN(set_physical_volume, 2)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const float volume = a.f32(1);
    BUILTIN_CHECK(c, std::isfinite(volume));
    s.physics.set_physical_volume(ent, volume);
}

DEFINE_BUILTIN(set_physical_bounce, 2)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const float bounce = a.f32(1);
    BUILTIN_CHECK(c, std::isfinite(bounce));
    s.physics.set_physical_bounce(ent, bounce);
}

DEFINE_BUILTIN(set_physical_penetrable_material, 2)
{
    s.physics.set_physical_penetrable_material(required_entity(s, a.context(), a.i32(0)), a.i32(1));
}

DEFINE_BUILTIN(set_physical_step, 3)
{
    kcontext_t* const c = a.context();
    const int32_t ent = required_entity(s, c, a.i32(0));
    const float height = a.f32(1);
    const float speed = a.f32(2);
    BUILTIN_CHECK(c, std::isfinite(height) && std::isfinite(speed));
    s.physics.set_physical_step(ent, height, speed);
}

DEFINE_BUILTIN(get_physical_position, 1) { builtin_result_vector(a.context(), entity_of(s, a).position); }

DEFINE_BUILTIN(get_physical_velocity, 1) { builtin_result_vector(a.context(), entity_of(s, a).velocity); }

DEFINE_BUILTIN(get_physical_heading, 1) { builtin_result_float(a.context(), entity_of(s, a).heading); }

DEFINE_BUILTIN(get_physical_pitch, 1) { builtin_result_float(a.context(), entity_of(s, a).pitch); }

DEFINE_BUILTIN(get_physical_bank, 1) { builtin_result_float(a.context(), entity_of(s, a).bank); }

DEFINE_BUILTIN(get_physical_h_vel, 1) { builtin_result_float(a.context(), entity_of(s, a).spin.x); }

DEFINE_BUILTIN(get_physical_p_vel, 1) { builtin_result_float(a.context(), entity_of(s, a).spin.y); }

DEFINE_BUILTIN(get_physical_b_vel, 1) { builtin_result_float(a.context(), entity_of(s, a).spin.z); }

DEFINE_BUILTIN(physical_ground_material, 1)
{
    builtin_result_int(a.context(), s.physics.physical_ground_material(required_entity(s, a.context(), a.i32(0))));
}

DEFINE_BUILTIN(physical_entity_material, 1)
{
    builtin_result_int(a.context(), s.physics.physical_entity_material(required_entity(s, a.context(), a.i32(0))));
}
