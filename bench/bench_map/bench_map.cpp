#include "bench/bench_map/bench_map.h"

#include "tools/mapgen/mapgen.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr int32_t ROOMS = 6;
constexpr float ROOM = 256.0f;

} // namespace

std::vector<BenchPose> bench_map_path()
{
    std::vector<Vector> stops;
    for (int32_t j = 0; j < ROOMS; ++j) {
        for (int32_t k = 0; k < ROOMS; ++k) {
            const int32_t i = j % 2 == 0 ? k : ROOMS - 1 - k;
            stops.push_back(Vector{(i + 0.5f) * ROOM, (j + 0.5f) * ROOM, 56.0f});
        }
    }
    for (int32_t j = ROOMS - 2; j > 0; --j) {
        stops.push_back(Vector{0.3f * ROOM, (j + 0.5f) * ROOM, 56.0f});
    }
    std::vector<BenchPose> path;
    const size_t n = stops.size();
    for (int p = 0; p < BENCH_PATH_POSES; ++p) {
        const float s = static_cast<float>(p) * static_cast<float>(n) / BENCH_PATH_POSES;
        const size_t a = static_cast<size_t>(s) % n;
        const size_t b = (a + 1) % n;
        const float f = s - std::floor(s);
        Vector at{stops[a].x + (stops[b].x - stops[a].x) * f, stops[a].y + (stops[b].y - stops[a].y) * f,
                  stops[a].z + 20.0f * std::sin(0.05f * static_cast<float>(p))};
        const float yaw = std::atan2(stops[b].y - stops[a].y, stops[b].x - stops[a].x) + 0.6f * std::sin(0.021f * p);
        path.push_back({at, yaw, 0.25f * std::sin(0.013f * static_cast<float>(p))});
    }
    return path;
}

bool write_bench_map(const std::string& base, std::string& error)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    const std::string description_path =
        std::string(root != nullptr ? root : OSTREL_SOURCE_ROOT) + "/tools/mapgen/maps/bench.rooms";
    std::ifstream in(description_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    mapgen::MapFiles files;
    if (!mapgen::generate_map(text.str(), files, error) ||
        !mapgen::write_map_directory(files, base + "/maps/bench", error) ||
        !mapgen::write_map_textures(files, base, error)) {
        error = description_path + ": " + error;
        return false;
    }
    return true;
}
