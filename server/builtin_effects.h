#pragma once
// Handlers of the builtins that make and tune particles, lamps, dynamic
// lights, lens flares, sound sources and icons.
#include "script/kcontext.h"

#include <cstdint>

void builtin_create_particles(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_color(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_size(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_shrink(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_acceleration(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_lifetime(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_particle_flags(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_particle_spawn_sphere(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_particle_spawn_box(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_particle_start(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_create_lamp(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_register_lamp(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_lamp(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lamp_color(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lamp_value(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lamp_effect(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_create_light(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_light_intensity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_light_max(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_light_focus(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_create_lensflare(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_lamp(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_color(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_intensity(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_limit(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_star(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_lensflare_effects(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_create_sound(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_sound_attenuation(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_sound_frequency(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_create_icon(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_icon(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_icon_name(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_icon_clip(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
