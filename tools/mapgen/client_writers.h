#pragma once
// Writers of the files only the client reads: "textures.txt",
// "patches.txt", "info.txt", "geometry.txt", "lightmap.bin" and
// "lights.txt", from the generator's own structures.
#include "tools/mapgen/light_map.h"
#include "tools/mapgen/surface_map.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

std::string write_textures(const SurfaceMap& surfaces, uint32_t map_id);
std::string write_patches(const SurfaceMap& surfaces, uint32_t map_id);
std::string write_info(const SurfaceMap& surfaces, uint32_t map_id);
std::string write_geometry(const BspMap& map, const SurfaceMap& surfaces, uint32_t map_id);
std::vector<uint8_t> write_lightmap(const Lightmaps& lightmaps, uint32_t map_id);
std::string write_lights(const RoomModel& model, uint32_t map_id);

} // namespace mapgen
