#include "server/ph_material.h"

#include <cmath>
#include <cstring>

namespace {

PhysicsMaterial materials[PHYSICS_MATERIALS];

float per_tick(float rate) { return 1.0f - std::exp(-rate / 70.0f); }

struct DefaultRow {
    int32_t first;
    int32_t step;
    int32_t count;
    float density, drag, turn_drag, ground_drag, ground_turn_drag, traction, bounce, ground_traction;
};

// Rows of the same values share a line: first, step between numbers, count.
const DefaultRow DEFAULTS[] = {
    {1, 0, 1, 0.0f, 0.1f, 5.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
    {30, 0, 1, 0.01f, 0.2f, 10.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
    {60, 10, 4, 1.0f, 5.0f, 10.0f, 0.0f, 0.0f, 0.4f, 0.0f, 0.0f},
    {100, 10, 2, 1.5f, 5.0f, 10.0f, 0.0f, 0.0f, 0.2f, 0.0f, 0.0f},
    {128, 0, 1, 0.0f, 0.0f, 0.0f, 20.0f, 100.0f, 1.0f, 0.5f, 1.0f},
    {130, 0, 1, 0.9f, 10.0f, 10.0f, 1.0f, 2.0f, 0.0f, 1.0f, 2.0f},
    {150, 0, 1, 2.5f, 10.0f, 10.0f, 10.0f, 50.0f, 0.0f, 1.0f, 0.8f},
    {200, 0, 1, 0.5f, 10.0f, 10.0f, 100.0f, 500.0f, 0.0f, 0.1f, 0.2f},
    {220, 0, 1, 0.5f, 10.0f, 10.0f, 20.0f, 100.0f, 0.0f, 1.5f, 1.0f},
    {240, 10, 2, 8.0f, 10.0f, 10.0f, 20.0f, 100.0f, 0.0f, 1.0f, 1.0f},
    {255, 0, 1, 1.0f, 10.0f, 10.0f, 20.0f, 100.0f, 0.0f, 1.0f, 1.0f},
};

} // namespace

void material_set(int32_t m, float density, float bounce, float drag_rate, float turn_drag_rate,
                  float ground_drag_rate, float ground_turn_drag_rate, float traction, float ground_traction)
{
    PhysicsMaterial& r = materials[static_cast<uint32_t>(m) & 0xFFu];
    r.density = density;
    r.bounce = bounce;
    r.drag = per_tick(drag_rate);
    r.turn_drag = per_tick(turn_drag_rate);
    r.ground_drag = per_tick(ground_drag_rate);
    r.ground_turn_drag = per_tick(ground_turn_drag_rate);
    r.ground_slip = 1.0f - std::exp(-ground_drag_rate * 0.1f);
    r.traction = traction;
    r.ground_traction = ground_traction;
}

void material_clear() { std::memset(materials, 0, sizeof materials); }

const PhysicsMaterial* material_get(int32_t m)
{
    return m == 0 ? nullptr : &materials[static_cast<uint32_t>(m) & 0xFFu];
}

const PhysicsMaterial& material_or_empty(int32_t m) { return materials[static_cast<uint32_t>(m) & 0xFFu]; }

void material_defaults()
{
    material_clear();
    for (const DefaultRow& row : DEFAULTS) {
        for (int32_t k = 0; k < row.count; ++k) {
            material_set(row.first + k * row.step, row.density, row.bounce, row.drag, row.turn_drag, row.ground_drag,
                         row.ground_turn_drag, row.traction, row.ground_traction);
        }
    }
}
