#pragma once
// The generator's check of the client's files: reads each back with a
// reader of its own and compares it with the structures it came from.
#include "tools/mapgen/light_map.h"
#include "tools/mapgen/mapgen.h"
#include "tools/mapgen/surface_map.h"

#include <cstdint>
#include <string>

namespace mapgen {

// The files are the generator's output so far; false with the first difference.
bool check_client_files(const RoomModel& model, const SurfaceMap& surfaces, const Lightmaps& lightmaps,
                        uint32_t map_id, const MapFiles& files, std::string& error);

} // namespace mapgen
