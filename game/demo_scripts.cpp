// demo_scripts: assembles the demo's scripts with the base methods every
// script world needs, and writes them into a base directory with the list
// that names them and an empty initial save.
//   demo_scripts source.kas BASE
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_scripts source.kas BASE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "demo_scripts: can't read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream source;
    source << in.rdbuf() << kasm::OBJECT_BASE_SOURCE;
    const kasm::Assembly a = kasm::assemble(source.str(), "game");
    if (!a.ok()) {
        for (const std::string& e : a.errors) {
            std::fprintf(stderr, "%s\n", e.c_str());
        }
        return 1;
    }
    const std::filesystem::path base = argv[2];
    std::error_code ec;
    std::filesystem::create_directories(base / "k", ec);
    const std::vector<uint8_t> bytes = a.bytes();
    std::ofstream kob(base / "k" / "game.kob", std::ios::binary);
    kob.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ofstream list(base / "k" / "koblist.txt", std::ios::binary);
    list << "textualKOBlist,version000\n1\nk/game.kob\n";
    std::ofstream save(base / "initial.ksv", std::ios::binary);
    if (!kob || !list || !save) {
        std::fprintf(stderr, "demo_scripts: can't write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
