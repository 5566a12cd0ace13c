// A fuzz target without the fuzzer: its entry point once on every file of the
// folders and files named on the command line, in name order, so that the
// tests replay each committed corpus as regression inputs. Fails when it
// found no input at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const fs::directory_entry& e : fs::directory_iterator(argv[i], ec)) {
                if (e.is_regular_file()) {
                    inputs.push_back(e.path());
                }
            }
        } else if (fs::is_regular_file(argv[i], ec)) {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "cannot read %s\n", p.c_str());
            return 1;
        }
        // A copy of its exact size, so that a read past the end shows under the sanitizers.
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        std::fprintf(stderr, "%s\n", p.filename().c_str());
        LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    }
    std::printf("%zu inputs\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
