#include "tools/mapgen/surface_map.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace mapgen {

namespace {

// Textures of texgen, and the patches over them: the plain look of each
// surface kind, then a warping and a scrolling one.
enum { TEXTURE_BRICK, TEXTURE_NOISE, TEXTURE_CHECKER };
enum { PATCH_INDEX_FLOOR, PATCH_INDEX_CEILING, PATCH_INDEX_WALLS, PATCH_INDEX_WARP, PATCH_INDEX_SCROLL };

constexpr int WARP_SINE = 1;
constexpr double WARP_WAVELENGTH = 32.0;
constexpr double WARP_AMPLITUDE = 3.0;
constexpr double WARP_SPEED = 2.0;
constexpr double SCROLL_SPEED = 16.0; // texels a second

int patch_index(Surface surface, PatchKind kind)
{
    switch (kind) {
    case PATCH_WARP:
        return PATCH_INDEX_WARP;
    case PATCH_SCROLL:
        return PATCH_INDEX_SCROLL;
    default:
        return surface == SURFACE_FLOOR ? PATCH_INDEX_FLOOR
                                        : surface == SURFACE_CEILING ? PATCH_INDEX_CEILING : PATCH_INDEX_WALLS;
    }
}

Point unit(int axis, double length = 1.0)
{
    Point p{};
    p[static_cast<size_t>(axis)] = length;
    return p;
}

} // namespace

SurfaceMap build_surfaces(const RoomModel& model, const BspMap& map)
{
    SurfaceMap out;
    out.textures = {{"ostrel", "brick"}, {"ostrel", "noise"}, {"ostrel", "checker"}};
    out.patches.resize(5);
    out.patches[PATCH_INDEX_FLOOR].texture = TEXTURE_NOISE;
    out.patches[PATCH_INDEX_CEILING].texture = TEXTURE_CHECKER;
    out.patches[PATCH_INDEX_WALLS].texture = TEXTURE_BRICK;
    out.patches[PATCH_INDEX_WARP] = PatchLine{TEXTURE_NOISE, 0.0, 0.0, WARP_SINE,
                                              {WARP_WAVELENGTH, WARP_AMPLITUDE, WARP_SPEED, 0.0}};
    out.patches[PATCH_INDEX_SCROLL] = PatchLine{TEXTURE_CHECKER, SCROLL_SPEED, 0.0, 0, {}};
    out.sky_resource = "ostrel";
    out.sky_name = "skyX";
    out.sky_box = model.sky_box;

    std::map<Point, int> vertex_index;
    std::map<std::tuple<int, bool, int, uint32_t>, int> face_index;
    const auto add = [&](const WallPolygon& w, int patch, uint32_t flags) {
        const int axis = map.planes.entries()[static_cast<size_t>(w.plane)].axis;
        const double coord = map.planes.entries()[static_cast<size_t>(w.plane)].coord;
        const auto key = std::make_tuple(w.plane, w.opposite, patch, flags);
        auto found = face_index.find(key);
        if (found == face_index.end()) {
            SurfaceFace f;
            f.plane = w.plane;
            f.patch = patch;
            f.flags = flags;
            f.origin = unit(axis, coord);
            // Walls keep the texture upright: v runs down.
            f.u_axis = axis == 2 ? unit(0) : unit(axis == 0 ? 1 : 0);
            f.v_axis = axis == 2 ? unit(1) : unit(2, -1.0);
            f.normal = unit(axis, w.opposite ? -1.0 : 1.0);
            found = face_index.emplace(key, static_cast<int>(out.faces.size())).first;
            out.faces.push_back(f);
        }
        const SurfaceFace& face = out.faces[static_cast<size_t>(found->second)];
        SurfacePolygon p;
        p.face = found->second;
        p.cell = w.cell;
        for (size_t c = 0; c < 4; ++c) {
            const auto v = vertex_index.emplace(w.corners[c], static_cast<int>(out.vertices.size()));
            if (v.second) {
                out.vertices.push_back(w.corners[c]);
            }
            p.vertices[c] = v.first->second;
            double s = 0.0;
            double t = 0.0;
            for (size_t k = 0; k < 3; ++k) {
                s += (w.corners[c][k] - face.origin[k]) * face.u_axis[k];
                t += (w.corners[c][k] - face.origin[k]) * face.v_axis[k];
            }
            p.s_lo = c == 0 ? s : std::min(p.s_lo, s);
            p.s_hi = c == 0 ? s : std::max(p.s_hi, s);
            p.t_lo = c == 0 ? t : std::min(p.t_lo, t);
            p.t_hi = c == 0 ? t : std::max(p.t_hi, t);
        }
        out.polygons.push_back(p);
    };
    for (const WallPolygon& w : map.polygons) {
        const int axis = map.planes.entries()[static_cast<size_t>(w.plane)].axis;
        const Surface surface = axis != 2 ? SURFACE_WALLS : w.opposite ? SURFACE_CEILING : SURFACE_FLOOR;
        const int room = map.cells[static_cast<size_t>(w.cell)].room;
        const PatchKind kind = model.looks[static_cast<size_t>(room)].patch[surface];
        add(w, patch_index(surface, kind),
            (w.opposite ? FACE_FLAG_OPPOSITE : 0) | (kind == PATCH_SKY ? FACE_FLAG_SKY : 0));
    }
    // Movers are chequered all over, to stand out from the walls.
    for (const WallPolygon& w : map.mover_walls) {
        add(w, PATCH_INDEX_CEILING, w.opposite ? FACE_FLAG_OPPOSITE : 0);
    }
    return out;
}

} // namespace mapgen
