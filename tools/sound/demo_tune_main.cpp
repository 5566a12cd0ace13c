// demo_tune <base directory>: writes the demo's music "music/demo.s3m".
#include "tools/fsys/write_bytes.h"
#include "tools/sound/demo_tune.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_tune <base directory>\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "music";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = (dir / "demo.s3m").string();
    if (!tools::write_bytes(path.c_str(), tools::write_s3m(tools::demo_tune()))) {
        std::fprintf(stderr, "demo_tune: can't write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
