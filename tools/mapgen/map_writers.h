#pragma once
// Writers of the map files, from the generator's own structures:
// "rplanes.txt", "rtrees.txt", "volume.txt" and "pvs.bin". Each file names the map
// identifier in its header when it is not 0.
#include "tools/mapgen/bsp_map.h"
#include "tools/mapgen/portal_flow.h"
#include "tools/mapgen/volume_map.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

std::string write_rplanes(const BspMap& map, uint32_t map_id);
std::string write_rtrees(const BspMap& map, uint32_t map_id);
std::string write_volume(const VolumeMap& volume, uint32_t map_id);
std::vector<uint8_t> write_pvs(const std::vector<CellSet>& pvs, int cells, uint32_t map_id);

// One cell's bits run-length packed: a control byte 0x80 | (n - 1) for n zero
// bytes, n - 1 for n literal bytes that follow (n up to 128).
std::vector<uint8_t> pack_pvs(const CellSet& bits);

} // namespace mapgen
