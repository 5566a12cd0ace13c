// The particle builtins: a particle object's description, set a property at a time.
#include "server/builtin_effects.h"
#include "server/builtin_object.h"
#include "server/object_id.h"
#include "server/particle_manager.h"

DEFINE_BUILTIN(create_particles, 1)
{
    const PropertyValues count(a, 0, "i");
    builtin_result_int(a.context(), create_object(s, OBJCLASS_PARTICLE, false,
                                                  {{PROPERTY_PARTICLE_CREATE, count.args()}}));
}

DEFINE_PROPERTY_BUILTIN(set_particle_color, PROPERTY_PARTICLE_COLOR, "ii")

DEFINE_PROPERTY_BUILTIN(set_particle_size, PROPERTY_PARTICLE_SIZE, "ff")

DEFINE_PROPERTY_BUILTIN(set_particle_shrink, PROPERTY_PARTICLE_SHRINK, "f")

DEFINE_PROPERTY_BUILTIN(set_particle_lifetime, PROPERTY_PARTICLE_LIFETIME, "f")

DEFINE_PROPERTY_BUILTIN(set_particle_flags, PROPERTY_PARTICLE_FLAGS, "i")

DEFINE_PROPERTY_BUILTIN(set_particle_acceleration, PROPERTY_PARTICLE_ACCELERATION, "fff")

// Position centre and extent, velocity centre and extent.
DEFINE_PROPERTY_BUILTIN(particle_spawn_box, PROPERTY_PARTICLE_SPAWN_BOX, "ffffffffffff")

// Centre, radius, velocity centre, velocity radius.
DEFINE_PROPERTY_BUILTIN(particle_spawn_sphere, PROPERTY_PARTICLE_SPAWN_SPHERE, "ffffffff")

// The burst count, then four timings in seconds.
DEFINE_PROPERTY_BUILTIN(particle_start, PROPERTY_PARTICLE_START, "iffff")
