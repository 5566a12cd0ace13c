#include "tools/mapgen/mapgen.h"

#include "tools/fsys/write_bytes.h"
#include "tools/mapgen/bsp_map.h"
#include "tools/mapgen/client_check.h"
#include "tools/mapgen/client_writers.h"
#include "tools/mapgen/graph_writer.h"
#include "tools/mapgen/light_map.h"
#include "tools/mapgen/surface_map.h"
#include "tools/textures/procedural.h"
#include "tools/mapgen/map_check.h"
#include "tools/mapgen/map_writers.h"
#include "tools/mapgen/portal_flow.h"
#include "tools/mapgen/room_model.h"

#include <algorithm>
#include <filesystem>

namespace mapgen {

namespace {

// The texture files the map names, as texgen writes them, under the base directory.
std::vector<MapFile> named_textures(const SurfaceMap& surfaces)
{
    std::vector<std::string> names;
    for (const TextureName& t : surfaces.textures) {
        names.push_back(t.name);
    }
    const std::string sky_stem = surfaces.sky_name.substr(0, surfaces.sky_name.size() - 1);
    for (const char c : std::string(surfaces.sky_box ? "btnesw" : "12")) {
        names.push_back(sky_stem + c);
    }
    std::vector<MapFile> out;
    for (const tools::NamedTexture& t : tools::procedural_textures()) {
        if (t.resource == surfaces.sky_resource && std::find(names.begin(), names.end(), t.name) != names.end()) {
            out.push_back({"textures/" + t.resource + "/" + t.name + ".cmt", tools::cmt_bytes(t.image)});
        }
    }
    return out;
}

std::vector<uint8_t> bytes_of(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

} // namespace

const MapFile* MapFiles::find(const std::string& name) const
{
    for (const MapFile& f : files) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

bool generate_map(const std::string& description, MapFiles& out, std::string& error)
{
    out.files.clear();
    out.textures.clear();
    RoomModel model;
    if (!parse_room_model(description, model, error)) {
        return false;
    }
    const BspMap map = build_bsp(model);
    const std::vector<CellSet> pvs = compute_pvs(map);

    const std::string rplanes = write_rplanes(map, model.map_id);
    const std::string rtrees = write_rtrees(map, model.map_id);
    const std::vector<uint8_t> pvs_bin = write_pvs(pvs, static_cast<int>(map.cells.size()), model.map_id);
    if (!check_map_files(map, pvs, model.map_id, rplanes, rtrees, pvs_bin, error)) {
        error = "self-check failed: " + error;
        return false;
    }
    const VolumeMap volume = build_volume(model, map);
    const std::string volume_txt = write_volume(volume, model.map_id);
    if (!check_volume_file(model, map, volume, model.map_id, volume_txt, error)) {
        error = "self-check failed: volume.txt: " + error;
        return false;
    }
    out.files.push_back({"rplanes.txt", bytes_of(rplanes)});
    out.files.push_back({"rtrees.txt", bytes_of(rtrees)});
    out.files.push_back({"pvs.bin", pvs_bin});
    out.files.push_back({"volume.txt", bytes_of(volume_txt)});
    out.files.push_back({"graph.txt", bytes_of(write_graph(model))});

    const SurfaceMap surfaces = build_surfaces(model, map);
    const Lightmaps lightmaps = bake_lightmaps(model, map, surfaces);
    out.files.push_back({"textures.txt", bytes_of(write_textures(surfaces, model.map_id))});
    out.files.push_back({"patches.txt", bytes_of(write_patches(surfaces, model.map_id))});
    out.files.push_back({"info.txt", bytes_of(write_info(surfaces, model.map_id))});
    out.files.push_back({"geometry.txt", bytes_of(write_geometry(map, surfaces, model.map_id))});
    out.files.push_back({"lightmap.bin", write_lightmap(lightmaps, model.map_id)});
    out.files.push_back({"lights.txt", bytes_of(write_lights(model, model.map_id))});
    if (!check_client_files(model, surfaces, lightmaps, model.map_id, out, error)) {
        error = "self-check failed: " + error;
        out.files.clear();
        return false;
    }
    out.textures = named_textures(surfaces);
    return true;
}

bool write_map_directory(const MapFiles& files, const std::string& directory, std::string& error)
{
    return write_files(files.files, directory, error);
}

bool write_map_textures(const MapFiles& files, const std::string& base, std::string& error)
{
    return write_files(files.textures, base, error);
}

bool write_files(const std::vector<MapFile>& files, const std::string& directory, std::string& error)
{
    for (const MapFile& f : files) {
        const std::filesystem::path path = std::filesystem::path(directory) / f.name;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        if (!tools::write_bytes(path.string().c_str(), f.bytes)) {
            error = "can't write " + path.string();
            return false;
        }
    }
    return true;
}

} // namespace mapgen
