// mapgen <description> <map directory> [<base directory>]: writes the map's
// files, and the textures it names under the base directory (by default the
// one that holds "maps/<name>").
#include "tools/mapgen/mapgen.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mapgen <description> <map directory> [<base directory>]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mapgen: can't read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    mapgen::MapFiles files;
    std::string error;
    const std::string base =
        argc == 4 ? std::string(argv[3]) : (std::filesystem::path(argv[2]) / ".." / "..").lexically_normal().string();
    if (!mapgen::generate_map(text.str(), files, error) || !mapgen::write_map_directory(files, argv[2], error) ||
        !mapgen::write_map_textures(files, base, error)) {
        std::fprintf(stderr, "mapgen: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
