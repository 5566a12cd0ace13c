#pragma once
// The lightmaps of a generated map. Every polygon but the sky's has one: a
// sample every 16 texture units over the polygon's texture range, lit by the
// map's lights through shadow rays that the walls stop. Lights without a
// lamp go into the base lightmap as colours; each lamp's lights go into a
// layer of their own, an intensity a sample that the lamp's ramp colours.
#include "tools/mapgen/surface_map.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mapgen {

constexpr int LIGHT_TEXEL = 16;       // texture units between samples
constexpr int LIGHT_AMBIENT = 10;     // light level of a sample no light reaches (32: full)
constexpr double LIGHT_LEVEL = 64.0;  // level a full light gives at its centre

struct LampLayer {
    int lamp = 0; // 1..
    std::vector<uint8_t> samples;
};

struct PolygonLightmap {
    bool lit = false;
    int32_t s0 = 0;
    int32_t s1 = 0;
    int32_t t0 = 0;
    int32_t t1 = 0;
    int width = 0;
    int height = 0;
    int first_colour = 0;
    std::vector<uint8_t> samples; // width x height indices from first_colour
    std::vector<LampLayer> layers;
};

struct Lightmaps {
    std::vector<std::array<uint8_t, 3>> colours; // file bytes: twice the light level
    std::vector<PolygonLightmap> polygons;
    int lamp_count = 0; // the largest lamp number used
};

Lightmaps bake_lightmaps(const RoomModel& model, const BspMap& map, const SurfaceMap& surfaces);

} // namespace mapgen
