#include "tools/mapgen/client_writers.h"

#include "tools/fsys/chunk_writer.h"
#include "tools/mapgen/file_text.h"

namespace mapgen {

namespace {

constexpr uint32_t LIGHTMAP_VERSION = 1;
constexpr uint32_t INFO_SKY_BOX = 1;

std::string point_line(const Point& p) { return number(p[0]) + " " + number(p[1]) + " " + number(p[2]) + "\n"; }

} // namespace

std::string write_textures(const SurfaceMap& surfaces, uint32_t map_id)
{
    std::string out = "# textures of the map: resource and name\n" + header("textualTextures,version001", map_id);
    out += std::to_string(surfaces.textures.size()) + "\n";
    for (const TextureName& t : surfaces.textures) {
        out += t.resource + " " + t.name + "\n";
    }
    return out;
}

std::string write_patches(const SurfaceMap& surfaces, uint32_t map_id)
{
    std::string out = "# texture, scroll speeds in texels a second, warp mode and its parameters\n" +
                      header("textualPatches,version001", map_id);
    out += std::to_string(surfaces.patches.size()) + "\n";
    for (const PatchLine& p : surfaces.patches) {
        out += std::to_string(p.texture) + " " + number(p.speed_u) + " " + number(p.speed_v) + " " +
               std::to_string(p.mode) + " " + number(p.warp[0]) + " " + number(p.warp[1]) + " " +
               number(p.warp[2]) + " " + number(p.warp[3]) + "\n";
    }
    return out;
}

std::string write_info(const SurfaceMap& surfaces, uint32_t map_id)
{
    std::string out = header("textualInfo,version002", map_id);
    out += hex(surfaces.sky_box ? INFO_SKY_BOX : 0) + "\n";
    out += surfaces.sky_resource + " " + surfaces.sky_name + "\n";
    return out;
}

std::string write_geometry(const BspMap& map, const SurfaceMap& surfaces, uint32_t map_id)
{
    std::string out = header("textualGeometry,version005", map_id);
    out += "# models, vertices, unused lines, faces, polygons, vertex pointers\n";
    out += std::to_string(1 + map.movers.size()) + "\n" + std::to_string(surfaces.vertices.size()) + "\n1\n" +
           std::to_string(surfaces.faces.size()) + "\n" + std::to_string(surfaces.polygons.size()) + "\n" +
           std::to_string(4 * surfaces.polygons.size()) + "\n";
    out += "# per model: three unused numbers and its polygon count\n";
    out += "0 0 0 " + std::to_string(surfaces.polygons.size() - map.mover_walls.size()) + "\n";
    for (size_t m = 0; m < map.movers.size(); ++m) {
        out += "0 0 0 6\n";
    }
    for (const Point& v : surfaces.vertices) {
        out += point_line(v);
    }
    out += "generated from " + std::to_string(map.cells.size()) + " cells\n";
    out += "# per face: plane, patch, flags; texture origin and axes\n";
    for (const SurfaceFace& f : surfaces.faces) {
        out += std::to_string(f.plane) + " " + std::to_string(f.patch) + " " + std::to_string(f.flags) + "\n";
        out += point_line(f.origin) + point_line(f.u_axis) + point_line(f.v_axis);
    }
    out += "# per polygon: face, vertex count, then vertex and 0 for each corner\n";
    for (const SurfacePolygon& p : surfaces.polygons) {
        out += std::to_string(p.face) + " 4";
        for (const int v : p.vertices) {
            out += " " + std::to_string(v) + " 0";
        }
        out += "\n";
    }
    return out;
}

std::vector<uint8_t> write_lightmap(const Lightmaps& lightmaps, uint32_t map_id)
{
    std::vector<uint8_t> pold;
    std::vector<uint8_t> data;
    uint32_t rows = 0;
    uint32_t references = 0;
    for (const PolygonLightmap& lm : lightmaps.polygons) {
        if (!lm.lit) {
            put32(pold, 0);
            continue;
        }
        put32(pold, static_cast<uint32_t>(lm.layers.size() + 1));
        put32(pold, static_cast<uint32_t>(lm.s0));
        put32(pold, static_cast<uint32_t>(lm.s1));
        put32(pold, static_cast<uint32_t>(lm.t0));
        put32(pold, static_cast<uint32_t>(lm.t1));
        for (int r = 0; r < lm.height; ++r) {
            const int offset = r * lm.width;
            pold.push_back(static_cast<uint8_t>(offset & 0xFF));
            pold.push_back(static_cast<uint8_t>(offset >> 8));
            pold.push_back(0);
            pold.push_back(static_cast<uint8_t>(lm.width));
        }
        rows += static_cast<uint32_t>(lm.height);
        put32(pold, static_cast<uint32_t>(lm.first_colour));
        put32(pold, static_cast<uint32_t>(data.size()));
        data.insert(data.end(), lm.samples.begin(), lm.samples.end());
        for (const LampLayer& layer : lm.layers) {
            put32(pold, static_cast<uint32_t>(layer.lamp));
            put32(pold, static_cast<uint32_t>(data.size()));
            data.insert(data.end(), layer.samples.begin(), layer.samples.end());
            ++references;
        }
    }
    std::vector<uint8_t> head;
    for (const uint32_t word : {LIGHTMAP_VERSION, map_id, static_cast<uint32_t>(lightmaps.polygons.size()),
                                static_cast<uint32_t>(lightmaps.colours.size()), static_cast<uint32_t>(data.size()),
                                rows, static_cast<uint32_t>(lightmaps.lamp_count), 0u, references}) {
        put32(head, word);
    }
    std::vector<uint8_t> xlat;
    for (const auto& c : lightmaps.colours) {
        xlat.insert(xlat.end(), c.begin(), c.end());
    }
    while (xlat.size() % 4 != 0) {
        xlat.push_back(0);
    }
    tools::ChunkWriter w("LIMP");
    w.add("HEAD", head);
    w.add("POLD", pold);
    w.add("XLAT", xlat);
    w.add("RLMD", data);
    return w.bytes();
}

std::string write_lights(const RoomModel& model, uint32_t map_id)
{
    std::string out = header("textualLights,version010", map_id);
    out += std::to_string(model.lights.size()) + "\n";
    int n = 0;
    for (const Light& l : model.lights) {
        // Range = (4 f1)^(2 / (f2 + 1)): with f2 = 1 that is 4 f1.
        out += "light " + std::to_string(n++) + "\n0 0 0\n-\n" + point_line(l.position);
        out += number(l.range / 4.0) + " 1 0 " + number(l.intensity) + "\n";
        out += std::to_string(l.lamp) + " " + std::to_string(l.colour[0]) + " " + std::to_string(l.colour[1]) + " " +
               std::to_string(l.colour[2]) + "\n";
    }
    return out;
}

} // namespace mapgen
