// kasm: assembles script source into a "KOBJ" object file, or lists one.
//   kasm source.kas -o file.kob
//   kasm -d file.kob
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_disassembler.h"

namespace {

bool read_file(const char* name, std::string& out)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: kasm source.kas -o object.kob\n       kasm -d object.kob\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "-d") == 0) {
        std::string text;
        if (!read_file(argv[2], text)) {
            std::fprintf(stderr, "kasm: can't read %s\n", argv[2]);
            return 1;
        }
        std::string listing;
        const bool ok = kasm::disassemble(std::vector<uint8_t>(text.begin(), text.end()), listing);
        std::fputs(listing.c_str(), stdout);
        return ok ? 0 : 1;
    }
    if (argc != 4 || std::strcmp(argv[2], "-o") != 0) {
        return usage();
    }
    std::string source;
    if (!read_file(argv[1], source)) {
        std::fprintf(stderr, "kasm: can't read %s\n", argv[1]);
        return 1;
    }
    const kasm::Assembly a = kasm::assemble(source, argv[1]);
    for (const std::string& e : a.errors) {
        std::fprintf(stderr, "%s\n", e.c_str());
    }
    if (!a.ok()) {
        return 1;
    }
    const std::vector<uint8_t> bytes = a.bytes();
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "kasm: can't write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
