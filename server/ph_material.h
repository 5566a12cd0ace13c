#pragma once
// The physics material table: 256 records indexed by the low byte of a
// material number. A number names a medium (the contents of a volume leaf:
// density, drag, turn drag, traction) or a surface (ground drag, ground turn
// drag, slip, bounce, ground traction); one record serves both roles.
// Factors are per tick: 1 - exp(-rate / 70), slip 1 - exp(-rate x 0.1).
#include <cstdint>

struct PhysicsMaterial {
    float density;
    float drag;
    float turn_drag;
    float ground_drag;
    float ground_turn_drag;
    float ground_slip;
    float bounce;
    float ground_traction;
    float traction;
};

constexpr int PHYSICS_MATERIALS = 256;

// Rates are per second; only the low 8 bits of m are used.
void material_set(int32_t m, float density, float bounce, float drag_rate, float turn_drag_rate,
                  float ground_drag_rate, float ground_turn_drag_rate, float traction, float ground_traction);
// Every field of every record 0.
void material_clear();
// The record of m & 255; null for m = 0.
const PhysicsMaterial* material_get(int32_t m);
// The same, with material 0 (all fields 0) for m = 0: contents of 0 in a
// volume are data, not a broken invariant.
const PhysicsMaterial& material_or_empty(int32_t m);
// Clears the table and sets the engine's fixed rows.
void material_defaults();
