// tmm <base directory>: writes the demo's meta-model "models/walker.tmm".
#include "tools/tmm/tmm_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tmm <base directory>\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "models";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream out(dir / "walker.tmm", std::ios::binary);
    out << tmm::write_model(tmm::demo_walker());
    if (!out) {
        std::fprintf(stderr, "tmm: can't write %s\n", (dir / "walker.tmm").string().c_str());
        return 1;
    }
    return 0;
}
