#pragma once
// The renderer benchmarks' map "bench" (tools/mapgen/maps/bench.rooms: 6 x 6
// rooms of 256 units) and the closed camera path of 1000 poses through it
// that both programs' benchmarks draw.
#include "core/vector.h"

#include <string>
#include <vector>

struct BenchPose {
    Vector position;
    float yaw;   // radians about z, 0 along +x
    float pitch; // radians, positive up
};

constexpr int BENCH_PATH_POSES = 1000;

// A loop through the rooms' centres, row by row in a serpentine, the camera
// looking ahead along the path with a slow sway and a nod.
std::vector<BenchPose> bench_map_path();

// Generates the map into <base>/maps/bench and its textures under base; the
// description is read from the source tree (OSTREL_SOURCE_DIR overrides the
// built-in root). False with a message.
bool write_bench_map(const std::string& base, std::string& error);
