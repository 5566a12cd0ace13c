#include "world/view/light_surface.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "core/sine_table.h"
#include "world/view/rotate_direction.h"
#include "renderer/light_block.h"
#include "renderer/lighting_tables.h"
#include "world/entity_link.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float LIGHT_TEXEL_SPAN = 16.0f; // texture texels a light texel spans

uint32_t* block_row(int32_t r) { return surface_light_block + LIGHT_BLOCK_SIZE * r; }

// A light level 0..128 scaled into every byte of a colour: (c_j * level) >> 8.
uint32_t scale_colour(const uint32_t c[4], int32_t level)
{
    uint32_t v = 0;
    for (int j = 0; j < 4; ++j) {
        v |= ((c[j] * static_cast<uint32_t>(level)) >> 8) << (8 * j);
    }
    return v;
}

// A level from the arithmetic of the adders, capped by the light's intensity;
// NaN and negative levels (a negative intensity included) light nothing.
int32_t clamp_level(double x, int32_t cap)
{
    int32_t level = float_to_int_round(x);
    level = level < cap ? level : cap;
    return level > 0 ? level : 0;
}

Vector texel_start(const LightGeometry& g, int32_t row, int32_t column)
{
    Vector x = g.origin;
    vec_add_scaled(x, g.row, static_cast<float>(row));
    vec_add_scaled(x, g.column, static_cast<float>(column));
    return x;
}

// Steps 1 to 3 shared by both dynamic adders: whether the light may reach the
// lit area at all; nd is the light's distance in front of the plane.
bool light_reaches(const MapPolygon& polygon, const LightSource& light, const LightGeometry& g, float& nd)
{
    if (!(light.reach > 0.0f)) {
        return false;
    }
    Vector d = light.light_position;
    vec_sub(d, g.origin);
    nd = vec_dot(g.normal, d);
    if (std::signbit(nd)) {
        return false;
    }
    Vector centre = d;
    vec_add_scaled(centre, g.column, -static_cast<float>(polygon.lightmap.width / 2));
    vec_add_scaled(centre, g.row, -static_cast<float>(polygon.lightmap.height / 2));
    const float reach = light.radius + polygon.lightmap.radius;
    return !(reach * reach < vec_dot(centre, centre));
}

// The spot factor of a texel, or a negative value when it is unlit: the
// texel lies behind the spot's direction or outside its cone.
float spot_term(const LightSource& light, const Vector& to_light, float dist)
{
    const float m = light.spot_factor();
    const float q = -vec_dot(light.direction, to_light);
    if (q < 0.0f) {
        return -1.0f;
    }
    return (1.0f - m) + m * q / dist;
}

// Calls texel(value&, offset, position) for every texel of every run, with the
// texel's world position stepped along the row.
template <typename TexelFn>
void for_each_texel(const MapPolygon& polygon, const LightGeometry& g, TexelFn texel)
{
    const LightRows& rows = polygon.lightmap;
    for (int32_t r = 0; r < rows.height; ++r) {
        const LightRow& run = rows.rows[r];
        uint32_t* out = block_row(r) + run.first;
        Vector x = texel_start(g, r, run.first);
        for (int k = 0; k < run.length; ++k) {
            texel(out[k], run.offset + k, x);
            vec_add(x, g.column);
        }
    }
}

// A lightmap whose runs could leave the block is not lit.
bool has_lightmap(const MapPolygon& polygon)
{
    return polygon.samples != nullptr && light_rows_fit(polygon.lightmap, INT64_MAX) != 0;
}

} // namespace

void light_surface_base(const MapPolygon& polygon)
{
    const uint32_t* colours = polygon.colours != nullptr ? polygon.colours : grey_weight_table;
    const LightRows& rows = polygon.lightmap;
    for (int32_t r = 0; r < rows.height; ++r) {
        const LightRow& run = rows.rows[r];
        uint32_t* out = block_row(r) + run.first;
        const uint8_t* samples = polygon.samples + run.offset;
        for (int k = 0; k < run.length; ++k) {
            out[k] = colours[samples[k]];
        }
    }
}

LightGeometry light_geometry(const PolygonRef& ref)
{
    const MapPolygon& polygon = *ref.polygon;
    const MapFace& face = *polygon.face;
    LightGeometry g{face.origin, face.u_axis, face.v_axis,
                    polygon.plane != nullptr ? polygon.plane->normal : face.plane->normal};
    if (ref.transform != nullptr && ref.transform->has_object != 0) {
        const Matrix& m = ref.transform->object;
        mat_rotate_vector(g.origin, m, g.origin);
        g.column = rotate_direction(m, g.column);
        g.row = rotate_direction(m, g.row);
        g.normal = rotate_direction(m, g.normal);
    }
    vec_add_scaled(g.origin, g.column, static_cast<float>(polygon.s0));
    vec_add_scaled(g.origin, g.row, static_cast<float>(polygon.t0));
    g.column = Vector{g.column.x * LIGHT_TEXEL_SPAN, g.column.y * LIGHT_TEXEL_SPAN, g.column.z * LIGHT_TEXEL_SPAN};
    g.row = Vector{g.row.x * LIGHT_TEXEL_SPAN, g.row.y * LIGHT_TEXEL_SPAN, g.row.z * LIGHT_TEXEL_SPAN};
    return g;
}

void light_surface_add_lamp(const MapPolygon& polygon, const uint8_t* layer, const LampData& lamp)
{
    if (!(lamp.intensity > 0.0f)) {
        return;
    }
    const LightRows& rows = polygon.lightmap;
    for (int32_t r = 0; r < rows.height; ++r) {
        const LightRow& run = rows.rows[r];
        uint32_t* out = block_row(r) + run.first;
        const uint8_t* samples = layer + run.offset;
        for (int k = 0; k < run.length; ++k) {
            out[k] = light_add(out[k], lamp.ramp[samples[k]]);
        }
    }
}

void light_surface_add_lamp_geometric(const MapPolygon& polygon, const uint8_t* layer, const LampData& lamp,
                                      const LightGeometry& g)
{
    if (!(lamp.intensity > 0.0f)) {
        return;
    }
    K_ASSERT(sine_table != nullptr);
    const float f = lamp.frequency;
    const float t = static_cast<float>(lamp.clock) * lamp.speed;
    const auto phase_a = [f](const Vector& x) { return f * (0.017f * x.x - 0.012f * x.y + 0.006f * x.z); };
    const auto phase_b = [f](const Vector& x) { return f * (-0.02f * x.x + 0.02f * x.y + 0.01f * x.z); };
    const auto phase_c = [f](const Vector& x) { return f * 0.04f * (x.x + x.y + x.z); };
    const float da = phase_a(g.column);
    const float db = phase_b(g.column);
    const float dc = phase_c(g.column);
    const auto sine = [](float angle) { return sine_table->sine_at(sine_table->index(angle)); };
    const LightRows& rows = polygon.lightmap;
    for (int32_t r = 0; r < rows.height; ++r) {
        const LightRow& run = rows.rows[r];
        const Vector x = texel_start(g, r, run.first);
        float a = phase_a(x) + 0.017f * t;
        float b = phase_b(x) + 0.012f * t;
        float c = phase_c(x);
        uint32_t* out = block_row(r) + run.first;
        const uint8_t* samples = layer + run.offset;
        for (int k = 0; k < run.length; ++k) {
            const float s1 = sine(a);
            const float s2 = sine(s1 * lamp.twist + b);
            const float w = sine(s2 * lamp.twist + c);
            // Amplitudes beyond 0..1 would index outside the ramp.
            const int32_t level = clamp_level(samples[k] * (w * lamp.amplitude + 0.5f), LAMP_RAMP_SIZE - 1);
            out[k] = light_add(out[k], lamp.ramp[level]);
            a += da;
            b += db;
            c += dc;
        }
    }
}

void light_surface_add_dynamic(const MapPolygon& polygon, const LightSource& light, const LightGeometry& g)
{
    float nd;
    if (!light_reaches(polygon, light, g, nd)) {
        return;
    }
    uint32_t c[4];
    for (int j = 0; j < 4; ++j) {
        if (light.lamp == nullptr) {
            c[j] = (light.pixel_colour >> (8 * j)) & 0xFF;
        } else {
            const float byte = static_cast<float>((light.lamp->pixel_colour >> (8 * j)) & 0xFF);
            c[j] = static_cast<uint32_t>(clamp_level(byte * light.lamp->intensity, 255));
        }
    }
    const bool spot = light.is_spot();
    for_each_texel(polygon, g, [&](uint32_t& value, int32_t, const Vector& x) {
        Vector to_light = light.light_position;
        vec_sub(to_light, x);
        const float dist = std::sqrt(vec_dot(to_light, to_light));
        const float left = light.reach - dist;
        if (std::signbit(left)) {
            return;
        }
        float level = light.falloff * (nd / dist) * left;
        if (spot) {
            const float s = spot_term(light, to_light, dist);
            if (s < 0.0f) {
                return;
            }
            level = light.falloff * s * (nd / dist) * left;
        }
        value = light_add(value, scale_colour(c, clamp_level(level, light.intensity)));
    });
}

void light_surface_add_dynamic_lamp(const MapPolygon& polygon, const LightSource& light, const LightGeometry& g)
{
    K_ASSERT(light.lamp);
    float nd;
    if (!light_reaches(polygon, light, g, nd) || !(light.lamp->intensity > 0.0f)) {
        return;
    }
    const uint32_t* ramp = light.lamp->ramp;
    const bool spot = light.is_spot();
    const int32_t cap = light.intensity < LAMP_RAMP_SIZE - 1 ? light.intensity : LAMP_RAMP_SIZE - 1;
    for_each_texel(polygon, g, [&](uint32_t& value, int32_t, const Vector& x) {
        Vector to_light = light.light_position;
        vec_sub(to_light, x);
        const float dist = std::sqrt(vec_dot(to_light, to_light));
        const float left = light.reach - dist;
        if (std::signbit(left)) {
            return;
        }
        float level = light.falloff * left;
        if (spot) {
            const float s = spot_term(light, to_light, dist);
            if (s < 0.0f) {
                return;
            }
            level = light.falloff * s * left;
        }
        value = light_add(value, ramp[clamp_level(level, cap)]);
    });
}

void light_surface_pad(const MapPolygon& polygon)
{
    const LightRows& rows = polygon.lightmap;
    const int32_t w = rows.width;
    const int32_t h = rows.height;
    // Two columns beyond the lightmap repeat its last ones. A coordinate a
    // rounding step left of column 0 wraps to column 31, and one above row 0
    // to row 31 (whose lower neighbours are the padding row): where the block
    // has room, those repeat the first column and row, so that such a sample
    // reads the polygon's edge instead of whatever the block held. (Column
    // 31's right neighbour is the next row's first texel: light from one row
    // on, where the old contents gave a dark dot.)
    const int32_t right_end = std::min(w + 2, LIGHT_BLOCK_SIZE);
    const bool wrap_column = right_end < LIGHT_BLOCK_SIZE;
    for (int32_t r = 0; r < h; ++r) {
        const LightRow& run = rows.rows[r];
        uint32_t* row = block_row(r);
        const uint32_t left = row[run.first];
        const uint32_t right = row[run.first + run.length - 1];
        std::fill(row, row + run.first, left);
        std::fill(row + run.first + run.length, row + right_end, right);
        if (wrap_column) {
            row[LIGHT_BLOCK_SIZE - 1] = left;
        }
    }
    // Rows h and h + 1 repeat the last row, rows 31 and 32 (the padding row,
    // one entry longer) the first; without room for both, every row from h on
    // repeats the last.
    const auto repeat_row = [wrap_column](int32_t from, int32_t to) {
        uint32_t* out = block_row(to);
        std::copy(block_row(from), block_row(from) + LIGHT_BLOCK_SIZE, out);
        if (to == LIGHT_BLOCK_SIZE) {
            // The right neighbour of column 31: column 0 where 31 stands
            // for the column before it, else 31 again.
            out[LIGHT_BLOCK_SIZE] = out[wrap_column ? 0 : LIGHT_BLOCK_SIZE - 1];
        }
    };
    const bool wrap_row = h + 2 < LIGHT_BLOCK_SIZE;
    const int32_t below_end = wrap_row ? h + 2 : LIGHT_BLOCK_SIZE + 1;
    for (int32_t r = h; r < below_end; ++r) {
        repeat_row(h - 1, r);
    }
    if (wrap_row) {
        repeat_row(0, LIGHT_BLOCK_SIZE - 1);
        repeat_row(0, LIGHT_BLOCK_SIZE);
    }
}

void light_surface(const PolygonRef& ref, int32_t clock)
{
    const MapPolygon& polygon = *ref.polygon;
    if (!has_lightmap(polygon)) {
        return;
    }
    light_surface_base(polygon);
    bool waves = false;
    for (int32_t j = 0; j < polygon.lamp_count; ++j) {
        waves = waves || polygon.lamps[j]->lamp_type != LAMP_PLAIN;
    }
    LightGeometry g{};
    if (ref.list_a != nullptr || ref.list_b != nullptr || waves) {
        g = light_geometry(ref);
    }
    for (int32_t j = 0; j < polygon.lamp_count; ++j) {
        LampData& lamp = *polygon.lamps[j];
        lamp.build_ramp(clock);
        if (lamp.lamp_type == LAMP_PLAIN) {
            light_surface_add_lamp(polygon, polygon.lamp_layers[j], lamp);
        } else {
            light_surface_add_lamp_geometric(polygon, polygon.lamp_layers[j], lamp, g);
        }
    }
    for (const EntityLink* l = ref.list_a; l != nullptr; l = l->next) {
        const LightSource& light = *static_cast<const LightSource*>(l->entity);
        if (light.lamp != nullptr) {
            light.lamp->build_ramp(clock);
        }
        light_surface_add_dynamic(polygon, light, g);
    }
    for (const EntityLink* l = ref.list_b; l != nullptr; l = l->next) {
        const LightSource& light = *static_cast<const LightSource*>(l->entity);
        K_ASSERT(light.lamp);
        light.lamp->build_ramp(clock);
        light_surface_add_dynamic_lamp(polygon, light, g);
    }
    light_surface_pad(polygon);
}
