#pragma once
// Generated maps for the client's tests: tools/mapgen/maps/<description>.rooms
// written as a map directory.
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

inline void write_generated_map(const std::string& description, const std::string& directory)
{
    std::ifstream in(std::string(OSTREL_SOURCE) + "/tools/mapgen/maps/" + description + ".rooms");
    std::stringstream text;
    text << in.rdbuf();
    mapgen::MapFiles files;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(text.str(), files, error)) << error;
    ASSERT_TRUE(mapgen::write_map_directory(files, directory, error)) << error;
}
