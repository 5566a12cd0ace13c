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

DEFINE_BUILTIN(set_particle_color, 3) { set_object_cells(s, a, PROPERTY_PARTICLE_COLOR, "ii"); }

DEFINE_BUILTIN(set_particle_size, 3) { set_object_cells(s, a, PROPERTY_PARTICLE_SIZE, "ff"); }

DEFINE_BUILTIN(set_particle_shrink, 2) { set_object_cells(s, a, PROPERTY_PARTICLE_SHRINK, "f"); }

DEFINE_BUILTIN(set_particle_lifetime, 2) { set_object_cells(s, a, PROPERTY_PARTICLE_LIFETIME, "f"); }

DEFINE_BUILTIN(set_particle_flags, 2) { set_object_cells(s, a, PROPERTY_PARTICLE_FLAGS, "i"); }

DEFINE_BUILTIN(set_particle_acceleration, 4) { set_object_cells(s, a, PROPERTY_PARTICLE_ACCELERATION, "fff"); }

// Position centre and extent, velocity centre and extent.
DEFINE_BUILTIN(particle_spawn_box, 13) { set_object_cells(s, a, PROPERTY_PARTICLE_SPAWN_BOX, "ffffffffffff"); }

// Centre, radius, velocity centre, velocity radius.
DEFINE_BUILTIN(particle_spawn_sphere, 9) { set_object_cells(s, a, PROPERTY_PARTICLE_SPAWN_SPHERE, "ffffffff"); }

// The burst count, then four timings in seconds.
DEFINE_BUILTIN(particle_start, 6) { set_object_cells(s, a, PROPERTY_PARTICLE_START, "iffff"); }
