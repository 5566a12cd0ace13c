// muf_pack: packs files and directory trees into a "MUF2" archive.
//   muf_pack output.muf input...
// A directory input is packed with every file below it, named relative to
// it; a file input is packed under its own file name. A missing or unreadable
// input, or an archive that would pass 4 GiB, ends with a message and exit
// code 1, and no archive is written.
#include "tools/fsys/muf_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using FileList = std::vector<std::pair<std::string, fs::path>>;

bool fail(const char* what, const fs::path& path)
{
    std::fprintf(stderr, "muf_pack: %s %s\n", what, path.c_str());
    return false;
}

bool list_input(const fs::path& input, FileList& files)
{
    std::error_code error;
    const fs::file_status status = fs::status(input, error);
    if (error || !fs::exists(status)) {
        return fail("can't find", input);
    }
    if (!fs::is_directory(status)) {
        files.emplace_back(input.filename().string(), input);
        return true;
    }
    fs::recursive_directory_iterator it(input, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) {
            files.emplace_back(fs::relative(it->path(), input).generic_string(), it->path());
        }
    }
    if (error) {
        return fail("can't list", input);
    }
    std::sort(files.begin(), files.end());
    return true;
}

bool read_file(const fs::path& path, uint64_t size, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && data.size() == size;
}

bool add_file(tools::MufWriter& writer, const std::string& name, const fs::path& path)
{
    std::error_code error;
    const uint64_t size = fs::file_size(path, error);
    if (error) {
        return fail("can't read", path);
    }
    // Checked before reading, so that a huge input costs no memory.
    if (writer.size_after(name, size) > tools::MufWriter::MAX_SIZE) {
        return fail("archive would pass 4 GiB with", path);
    }
    std::vector<uint8_t> data;
    if (!read_file(path, size, data)) {
        return fail("can't read", path);
    }
    writer.add(name, data);
    return true;
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
        FileList files;
        if (!list_input(argv[i], files)) {
            return 1;
        }
        for (const auto& [name, path] : files) {
            if (!add_file(writer, name, path)) {
                return 1;
            }
        }
    }
    if (!writer.write(argv[1])) {
        std::fprintf(stderr, "muf_pack: can't write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
