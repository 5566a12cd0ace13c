#pragma once
// The map generator: a room description (tools/mapgen/room_model.h) to the
// files of a map directory. The pipeline: description -> room model -> BSP
// map -> PVS by portal flow -> writers -> a check that reads the files back.
// The same description always gives the same bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

struct MapFile {
    std::string name; // within the map directory, e.g. "rtrees.txt"
    std::vector<uint8_t> bytes;
};

struct MapFiles {
    std::vector<MapFile> files;
    std::vector<MapFile> textures; // the textures the map names, within the base directory
    const MapFile* find(const std::string& name) const;
};

// False with a message in `error` when the description is bad or the check fails.
bool generate_map(const std::string& description, MapFiles& out, std::string& error);

// Writes every file into the directory, creating it; false with a message.
bool write_map_directory(const MapFiles& files, const std::string& directory, std::string& error);
// Writes the textures the map names under the base directory.
bool write_map_textures(const MapFiles& files, const std::string& base, std::string& error);
// Writes files named relative to the directory, creating folders.
bool write_files(const std::vector<MapFile>& files, const std::string& directory, std::string& error);

} // namespace mapgen
