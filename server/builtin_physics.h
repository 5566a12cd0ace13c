#pragma once
// Handlers of the physics, volume and trigger builtins. Entity arguments name
// an entity of the physics server (0-255): where one is required an id that
// names no live entity ends the calling script; where it is optional, an id
// below 0 or of a free entity passes none. Values the physics would refuse
// (non-finite positions, velocities, angles ...) end the script as well.
#include "script/kcontext.h"

// Entities: creation, destruction and the setters that place them.
void builtin_create_physical(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_physical(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_gravity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_owner(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_position(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_angles(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

// Motion and material values.
void builtin_set_physical_velocity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_local_velocity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_rotation(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_thrust(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_local_thrust(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_force(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_turn(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_mass(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_volume(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_bounce(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_penetrable_material(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_physical_step(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

// Reading an entity's state.
void builtin_get_physical_position(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_velocity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_heading(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_pitch(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_bank(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_h_vel(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_p_vel(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_physical_b_vel(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_physical_ground_material(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_physical_entity_material(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

// Space queries and volumes.
void builtin_physical_point_material(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_tree_delta(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_cast_ray(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_find_entity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_find_first(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_find_next(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_find_done(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_box_volume(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_volume(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

// Triggers.
void builtin_register_trigger(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_register_box_trigger(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_enable_triggers(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_disable_triggers(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_activate_entity_triggers(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_activate_point_triggers(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
