#pragma once
// One generated map directory (with its textures) for the client world's
// fuzzers: the input replaces one file, the world loader loads the whole map
// and closes it again.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "render/client_world.h"
#include "tools/fsys/write_bytes.h"
#include "tools/mapgen/mapgen.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

inline void quiet_world(int, const char*, uintptr_t) {}

class FuzzClientWorld {
public:
    FuzzClientWorld()
    {
        set_stream_handler(quiet_world, 0);
        cvar_list = &variables_;
        sine_.init(4096);
        sine_table = &sine_;
        std::random_device seed;
        root_ = std::filesystem::temp_directory_path() / ("ostrel_fuzz_client_" + std::to_string(seed()));
        std::string error;
        if (!mapgen::generate_map("id 0x2c\ntile 128\n"
                                  "room a 0 0 0 256 256 128\n"
                                  "room b 256 0 0 512 256 128\n"
                                  "door a b 256 64 0 256 192 96\n"
                                  "open b\npatch a floor warp\n"
                                  "light 128 128 96 2 1 255 200 100\n"
                                  "light 384 128 96 2 1 255 255 255 lamp 1\n",
                                  files_, error) ||
            !mapgen::write_map_directory(files_, (root_ / "maps" / "m").string(), error) ||
            !mapgen::write_map_textures(files_, root_.string(), error)) {
            std::abort();
        }
        fs_.init();
        fs_.mount(root_.string().c_str(), 1, 10);
        fsys = &fs_;
        share_.register_type(MAP_SHARE_ID, SharedMap::create);
        share_.register_type(VOLUME_SHARE_ID, VolumeSet::create);
    }
    ~FuzzClientWorld()
    {
        world_.close_map();
        fsys = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    void run(const char* name, const uint8_t* data, size_t size)
    {
        write(name, std::vector<uint8_t>(data, data + size));
        uint32_t identifier = 0;
        load_world(world_, &share_, "maps/m", &identifier);
        world_.close_map();
        write(name, files_.find(name)->bytes);
    }

private:
    void write(const char* name, const std::vector<uint8_t>& bytes) const
    {
        tools::write_bytes((root_ / "maps" / "m" / name).string().c_str(), bytes);
    }

    ConfigVariableList variables_;
    SineTable sine_;
    std::filesystem::path root_;
    FSys fs_;
    ShareManager share_;
    ClientWorld world_;
    mapgen::MapFiles files_;
};

inline void run_client_world(const char* name, const uint8_t* data, size_t size)
{
    static FuzzClientWorld world;
    world.run(name, data, size);
}

} // namespace fuzz
