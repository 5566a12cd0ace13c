// tmm <base directory>: writes the demo's meta-models: "models/walker.tmm"
// and, for the demo's still models, "models/demo/{cube,door,steps}.tmm".
#include "tools/tmm/tmm_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// A model of one pose of the given size and reach.
tmm::Model still(double x, double y, double z, double radius)
{
    tmm::Model m;
    m.size = {x, y, z};
    m.collision_size = {x, y, z};
    m.radius = radius;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tmm <base directory>\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "models";
    std::error_code ec;
    std::filesystem::create_directories(dir / "demo", ec);
    const struct {
        const char* name;
        tmm::Model model;
    } models[] = {{"walker", tmm::demo_walker()},
                  {"demo/cube", still(16, 16, 16, 28)},
                  {"demo/door", still(64, 8, 80, 104)},
                  {"demo/steps", still(64, 64, 32, 96)}};
    for (const auto& m : models) {
        const std::filesystem::path path = dir / (std::string(m.name) + ".tmm");
        std::ofstream out(path, std::ios::binary);
        out << tmm::write_model(m.model);
        if (!out) {
            std::fprintf(stderr, "tmm: can't write %s\n", path.string().c_str());
            return 1;
        }
    }
    return 0;
}
