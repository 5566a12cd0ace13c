// mapgen <description> <map directory>: writes the map's files.
#include "tools/mapgen/mapgen.h"

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mapgen <description> <map directory>\n");
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
    if (!mapgen::generate_map(text.str(), files, error) || !mapgen::write_map_directory(files, argv[2], error)) {
        std::fprintf(stderr, "mapgen: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
