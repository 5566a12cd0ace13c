#pragma once
// Lighting of one polygon into surface_light_block: its lightmap, its static
// lamps (plain, or scaled by a wave), the map lights of list A and the lamp
// lights of list B, summed with light_add. Light texel (c, r) of the block is
// lightmap column c, row r of the polygon. Texels outside the polygon's runs
// repeat the nearest lit texel of their row, two rows and columns beyond the
// lightmap repeat its last ones, and (where the block has room) column 31 and
// rows 31 and 32, where coordinates just before column or row 0 wrap to,
// repeat its first ones: every sample on or a little outside the polygon
// reads its own light.
#include "world/map_polygon.h"

#include <cstdint>

// Where a polygon's lightmap lies in the world: the origin of column 0, row 0,
// and the steps of one light texel along a row and down a column.
struct LightGeometry {
    Vector origin;
    Vector column;
    Vector row;
    Vector normal;
};

// `clock`: the client's tick count, which drives lamp ramps and waves.
void light_surface(const PolygonRef& ref, int32_t clock);

// The steps of light_surface, for tests and for callers that light in parts.
void light_surface_base(const MapPolygon& polygon);
LightGeometry light_geometry(const PolygonRef& ref);
void light_surface_add_lamp(const MapPolygon& polygon, const uint8_t* layer, const LampData& lamp);
void light_surface_add_lamp_geometric(const MapPolygon& polygon, const uint8_t* layer, const LampData& lamp,
                                      const LightGeometry& g);
void light_surface_add_dynamic(const MapPolygon& polygon, const LightSource& light, const LightGeometry& g);
void light_surface_add_dynamic_lamp(const MapPolygon& polygon, const LightSource& light, const LightGeometry& g);
// Fills the texels beyond the runs as told above.
void light_surface_pad(const MapPolygon& polygon);
