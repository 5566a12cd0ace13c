#pragma once
// "lightmap.bin" without lightmaps: form "LIMP", a HEAD of nine words
// (version 1, map identifier, polygons, colours, data bytes, rows, lamps, an
// unused word, lamp references), then POLD with a 0 for every polygon, and
// empty XLAT and RLMD chunks.
#include "tools/mapgen/mapgen.h"

#include <cstdint>
#include <vector>

namespace lightmap {

std::vector<uint8_t> write_unlit_lightmap(uint32_t map_id, uint32_t polygons, uint32_t lamps);

// Adds an unlit "lightmap.bin" with the lamps to generated map files that
// have none, with the identifier of their "rplanes.txt": false when that is
// missing.
bool add_unlit_lightmap(mapgen::MapFiles& files, uint32_t lamps = 0);

} // namespace lightmap
