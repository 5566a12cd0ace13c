#pragma once
// The generator's check of its own output: reads the files back with a
// reader of its own and compares them with the structures they came from.
#include "tools/mapgen/bsp_map.h"
#include "tools/mapgen/portal_flow.h"
#include "tools/mapgen/volume_map.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

// False with the first difference in `error`.
bool check_map_files(const BspMap& map, const std::vector<CellSet>& pvs, uint32_t map_id, const std::string& rplanes,
                     const std::string& rtrees, const std::vector<uint8_t>& pvs_bin, std::string& error);

// Reads volume.txt back and checks, at the centre of every leaf of every
// tree, that the tree gives the contents and triggers the widened boxes give.
bool check_volume_file(const RoomModel& model, const BspMap& map, const VolumeMap& volume, uint32_t map_id,
                       const std::string& text, std::string& error);

} // namespace mapgen
