// Reads any bytes as the meta-model "models/fuzz.tmm", then walks what the
// reader made: every cycle's frames up to its terminating record, every tag.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "server/meta_model.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace {

// A base directory with "models/" in a file system of its own; gone at exit.
struct ModelFiles {
    ModelFiles()
    {
        set_stream_handler(fuzz::quiet, 0);
        std::random_device seed;
        root = std::filesystem::temp_directory_path() / ("ostrel_fuzz_tmm_" + std::to_string(seed()));
        std::filesystem::create_directories(root / "models");
        fsys = new FSys;
        fsys->init();
        fsys->mount(root.string().c_str(), 1, 10);
    }
    ~ModelFiles()
    {
        delete fsys;
        fsys = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path root;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ModelFiles files;
    {
        std::ofstream out(files.root / "models" / "fuzz.tmm", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    MetaModel m;
    if (!read_meta_model(m, "fuzz")) {
        return 0;
    }
    int64_t sum = 0;
    for (int32_t c = 0; c < m.cycles + m.poses; ++c) {
        const MeshCycle& cycle = m.cycle[c];
        if (cycle.first_frame < 0 || cycle.first_frame >= cycle.last_frame || cycle.last_frame >= m.frames) {
            __builtin_trap();
        }
        for (int32_t f = cycle.first_frame; f <= cycle.last_frame; ++f) {
            sum += m.frame[f].frame;
        }
        const int32_t end_pose = m.frame[cycle.last_frame].frame;
        if (end_pose < 0 || end_pose >= m.poses) {
            __builtin_trap();
        }
    }
    for (int32_t t = 0; t < m.tags; ++t) {
        sum += m.find_tag(m.tag[t].name) != nullptr ? 1 : 0;
    }
    return sum == -1 ? 1 : 0;
}
