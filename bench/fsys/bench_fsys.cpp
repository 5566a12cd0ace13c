// Opens per second through the file system, printed as "name value unit":
// a member of a 10,000-entry "MUF2" archive, and a file of a mixed-case host
// tree opened by its lower-case engine name through the case resolver.
// Cold: nothing cached (a freshly mounted archive; the resolver's directory
// cache dropped before every open). Warm: the same opens again.
#include "core/print.h"
#include "fsys/fsys.h"
#include "host/host_file.h"
#include "tools/fsys/muf_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int ARCHIVE_ENTRIES = 10000;

void quiet(int, const char*, uintptr_t) {}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, double value, const char* unit) { std::printf("%s %.0f %s\n", name, value, unit); }

// Opens (and reads 16 bytes of, when asked) each name in turn; opens per second.
double open_rate(FSys& fsys, const std::vector<std::string>& names, bool read, void (*before_each)() = nullptr)
{
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& name : names) {
        if (before_each != nullptr) {
            before_each();
        }
        FileStream* const s = fsys.open(name.c_str(), FSYS_BINARY);
        if (s == nullptr) {
            std::fprintf(stderr, "bench_fsys: can't open %s\n", name.c_str());
            return 0.0;
        }
        if (read) {
            char buffer[16];
            (void)s->read(buffer, 1, sizeof buffer);
        }
        s->close();
    }
    return static_cast<double>(names.size()) / seconds_since(start);
}

std::vector<std::string> shuffled(std::vector<std::string> names, size_t count)
{
    std::mt19937 random(12345);
    std::vector<std::string> out;
    while (out.size() < count) {
        std::shuffle(names.begin(), names.end(), random);
        out.insert(out.end(), names.begin(), names.end());
    }
    out.resize(count);
    return out;
}

void bench_archive(const fs::path& root)
{
    tools::MufWriter w;
    std::vector<std::string> names;
    for (int i = 0; i < ARCHIVE_ENTRIES; ++i) {
        const std::string name = "Textures/Set" + std::to_string(i / 100) + "/Wall_" + std::to_string(i) + ".CMT";
        w.add(name, "member " + std::to_string(i) + " data...........");
        names.push_back("textures\\set" + std::to_string(i / 100) + "\\wall_" + std::to_string(i) + ".cmt");
    }
    const std::string archive = (root / "big.muf").string();
    w.write(archive.c_str());

    FSys fsys;
    const auto start = std::chrono::steady_clock::now();
    fsys.mount(archive.c_str(), 1, 10);
    report("muf_mount_10000_entries", seconds_since(start) * 1e3, "ms");

    const std::vector<std::string> cold = shuffled(names, names.size());
    report("muf_open_cold", open_rate(fsys, cold, false), "opens/s");
    const std::vector<std::string> warm = shuffled(names, 200000);
    report("muf_open_warm", open_rate(fsys, warm, false), "opens/s");
    report("muf_open_read16_warm", open_rate(fsys, warm, true), "opens/s");
}

void bench_tree(const fs::path& root)
{
    // 20 directories of 5 subdirectories of 20 files each, in mixed case.
    std::vector<std::string> lower;
    std::vector<std::string> exact;
    for (int a = 0; a < 20; ++a) {
        for (int b = 0; b < 5; ++b) {
            const std::string dir = "Maps/Level" + std::to_string(a) + "/Part_" + std::to_string(b);
            fs::create_directories(root / "Tree" / dir);
            for (int f = 0; f < 20; ++f) {
                const std::string file = dir + "/Info_" + std::to_string(f) + ".TXT";
                std::ofstream(root / "Tree" / file) << "textualInfo,version001\n";
                std::string l = "maps\\level" + std::to_string(a) + "\\part_" + std::to_string(b) + "\\info_" +
                                std::to_string(f) + ".txt";
                lower.push_back(l);
                exact.push_back(file);
            }
        }
    }
    FSys fsys;
    fsys.mount((root / "Tree").string().c_str(), 1, 10);

    const std::vector<std::string> cold = shuffled(lower, 5000);
    report("tree_open_cold", open_rate(fsys, cold, false, host::forget_resolved_names), "opens/s");
    (void)open_rate(fsys, lower, false);
    const std::vector<std::string> warm = shuffled(lower, 100000);
    report("tree_open_warm", open_rate(fsys, warm, false), "opens/s");
    report("tree_open_read16_warm", open_rate(fsys, warm, true), "opens/s");
    // For scale: names written exactly as on disk never need the resolver.
    report("tree_open_exact_case", open_rate(fsys, shuffled(exact, 100000), false), "opens/s");
}

} // namespace

int main()
{
    set_stream_handler(quiet, 0);
    std::random_device seed;
    const fs::path root = fs::temp_directory_path() / ("ostrel_bench_fsys_" + std::to_string(seed()));
    fs::create_directories(root);
    bench_archive(root);
    bench_tree(root);
    std::error_code error;
    fs::remove_all(root, error);
    return 0;
}
