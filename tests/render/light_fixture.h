#pragma once
// A lit polygon for lighting tests: a face in the plane z = 0 facing +z,
// texture axes x and y, so that light texel (c, r) lies at (16 c, 16 r, 0);
// a rectangular lightmap of w x h samples, every run whole.
#include "world/view/light_surface.h"
#include "soft/light_block.h"
#include "soft/lighting_tables.h"

#include <vector>

struct LitPolygon {
    LitPolygon(int w, int h, uint8_t sample)
    {
        plane = Plane{{0.0f, 0.0f, 1.0f}, 0.0f};
        face.plane = &plane;
        face.u_axis = Vector{1.0f, 0.0f, 0.0f};
        face.v_axis = Vector{0.0f, 1.0f, 0.0f};
        polygon.face = &face;
        polygon.plane = &plane;
        rows.resize(static_cast<size_t>(h));
        samples.assign(static_cast<size_t>(w * h), sample);
        for (int r = 0; r < h; ++r) {
            rows[static_cast<size_t>(r)] = LightRow{static_cast<int16_t>(r * w), 0, static_cast<uint8_t>(w)};
        }
        polygon.lightmap.rows = rows.data();
        polygon.lightmap.width = w;
        polygon.lightmap.height = h;
        polygon.lightmap.radius = 8.0f * std::sqrt(static_cast<float>((w - 1) * (w - 1) + (h - 1) * (h - 1)));
        polygon.samples = samples.data();
        ref.polygon = &polygon;
        ref.transform = &transform;
        mat_identity(transform.matrix);
        mat_identity(transform.object);
    }

    void add_lamp(LampData* lamp, uint8_t sample)
    {
        layers.emplace_back(samples.size(), sample);
        lamps.push_back(lamp);
        layer_pointers.clear();
        for (const std::vector<uint8_t>& l : layers) {
            layer_pointers.push_back(l.data());
        }
        polygon.lamp_layers = layer_pointers.data();
        polygon.lamps = lamps.data();
        polygon.lamp_count = static_cast<int32_t>(lamps.size());
    }

    // World position of light texel (c, r).
    static Vector texel(int c, int r) { return Vector{16.0f * c, 16.0f * r, 0.0f}; }
    static uint32_t block(int c, int r) { return surface_light_block[c + LIGHT_BLOCK_SIZE * r]; }

    Plane plane;
    MapFace face;
    MapPolygon polygon;
    TransformBlock transform;
    PolygonRef ref;
    std::vector<LightRow> rows;
    std::vector<uint8_t> samples;
    std::vector<std::vector<uint8_t>> layers;
    std::vector<const uint8_t*> layer_pointers;
    std::vector<LampData*> lamps;
};

// Every byte of a light value.
inline int light_byte(uint32_t v, int j) { return static_cast<int>((v >> (8 * j)) & 0xFF); }
