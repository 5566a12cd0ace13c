#pragma once
// A scratch base directory mounted in a file system of its own, into which
// each fuzz input is written under a name the engine's readers look for.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"

#include <filesystem>
#include <string>

namespace fuzz {

class WorldFiles {
public:
    WorldFiles()
    {
        set_stream_handler(quiet, 0);
        std::random_device seed;
        root_ = std::filesystem::temp_directory_path() / ("ostrel_fuzz_world_" + std::to_string(seed()));
        std::filesystem::create_directories(root_ / "pictures" / "size01");
        if (cvar_list == nullptr) {
            cvar_list = new ConfigVariableList;
        }
        fsys = new FSys;
        fsys->init();
        fsys->mount(root_.string().c_str(), 1, 10);
    }
    ~WorldFiles()
    {
        delete fsys;
        fsys = nullptr;
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    WorldFiles(const WorldFiles&) = delete;
    WorldFiles& operator=(const WorldFiles&) = delete;

    bool put(const char* relative, const uint8_t* data, size_t size) const
    {
        return write_scratch((root_ / relative).string(), data, size);
    }

private:
    std::filesystem::path root_;
};

} // namespace fuzz
