// muf_pack: packs files and directory trees into a "MUF2" archive.
//   muf_pack output.muf input...
// A directory input is packed with every file below it, named relative to
// it; a file input is packed under its own file name.
#include "tools/fsys/muf_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool read_file(const fs::path& path, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: muf_pack output.muf input...\n");
        return 2;
    }
    tools::MufWriter writer;
    for (int i = 2; i < argc; ++i) {
        const fs::path input(argv[i]);
        std::vector<std::pair<std::string, fs::path>> files;
        std::error_code error;
        if (fs::is_directory(input, error)) {
            for (const auto& e : fs::recursive_directory_iterator(input, error)) {
                if (e.is_regular_file()) {
                    files.emplace_back(fs::relative(e.path(), input).generic_string(), e.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else {
            files.emplace_back(input.filename().string(), input);
        }
        for (const auto& [name, path] : files) {
            std::vector<uint8_t> data;
            if (!read_file(path, data)) {
                std::fprintf(stderr, "muf_pack: can't read %s\n", path.c_str());
                return 1;
            }
            writer.add(name, data);
        }
    }
    if (!writer.write(argv[1])) {
        std::fprintf(stderr, "muf_pack: can't write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
