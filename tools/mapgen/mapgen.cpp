#include "tools/mapgen/mapgen.h"

#include "tools/fsys/write_bytes.h"
#include "tools/mapgen/bsp_map.h"
#include "tools/mapgen/graph_writer.h"
#include "tools/mapgen/map_check.h"
#include "tools/mapgen/map_writers.h"
#include "tools/mapgen/portal_flow.h"
#include "tools/mapgen/room_model.h"

#include <filesystem>

namespace mapgen {

namespace {

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
    return true;
}

bool write_map_directory(const MapFiles& files, const std::string& directory, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    for (const MapFile& f : files.files) {
        const std::string path = (std::filesystem::path(directory) / f.name).string();
        if (!tools::write_bytes(path.c_str(), f.bytes)) {
            error = "can't write " + path;
            return false;
        }
    }
    return true;
}

} // namespace mapgen
