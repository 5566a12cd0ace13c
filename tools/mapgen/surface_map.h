#pragma once
// What the client draws of a generated map: the textures it names, the
// algorithmic texture patches over them, faces (a plane, a patch and a
// texture mapping of one texel a unit, origin on the plane) and one polygon
// per wall tile, in the order of the BSP map's walls.
#include "tools/mapgen/bsp_map.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

constexpr uint32_t FACE_FLAG_OPPOSITE = 0x10;
constexpr uint32_t FACE_FLAG_SKY = 0x400;

struct TextureName {
    std::string resource;
    std::string name;
};

// A line of patches.txt: texture index, speeds in texels per second, warp
// mode and its four parameters.
struct PatchLine {
    int texture = 0;
    double speed_u = 0.0;
    double speed_v = 0.0;
    int mode = 0;
    std::array<double, 4> warp{};
};

struct SurfaceFace {
    int plane = 0; // in the plane table
    int patch = 0;
    uint32_t flags = 0;
    Point origin{};
    Point u_axis{};
    Point v_axis{};
    Point normal{}; // facing the cell
};

struct SurfacePolygon {
    int face = 0;
    int cell = 0;
    std::array<int, 4> vertices{}; // clockwise seen from the front
    // Texture coordinates the polygon covers.
    double s_lo = 0.0;
    double s_hi = 0.0;
    double t_lo = 0.0;
    double t_hi = 0.0;
};

struct SurfaceMap {
    std::vector<TextureName> textures;
    std::vector<PatchLine> patches;
    std::vector<Point> vertices;
    std::vector<SurfaceFace> faces;
    std::vector<SurfacePolygon> polygons; // the world's, then six of each mover
    std::string sky_resource;
    std::string sky_name;
    bool sky_box = false;
};

SurfaceMap build_surfaces(const RoomModel& model, const BspMap& map);

} // namespace mapgen
