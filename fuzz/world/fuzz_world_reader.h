#pragma once
// One small generated map loaded once into a world that lends its parts; each
// input is then read by one of the client's map file readers into a world of
// its own that holds only what that reader needs (the shared map, and the
// textures, patches or polygons it refers to), and is closed again. No input
// pays for loading the rest of the map.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "world/view/client_world.h"
#include "tools/mapgen/mapgen.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace fuzz {

// What the world of one input borrows from the loaded one.
constexpr uint32_t LEND_TEXTURES = 0x1;
constexpr uint32_t LEND_PATCHES = 0x2;
constexpr uint32_t LEND_POLYGONS = 0x4;
constexpr uint32_t LEND_SKY_SLOTS = 0x8; // a texture manager of its own with room for the sky

// The map the seeds were written from (tests/fixtures/fuzz/fuzz_<file>/):
// one room open to the sky, a warping patch, a plain light and a lamp.
inline const char* const READER_ROOMS = "id 0x2c\ntile 256\n"
                                        "room a 0 0 0 256 256 128\n"
                                        "open a\npatch a floor warp\n"
                                        "light 128 128 96 2 1 255 200 100\n"
                                        "light 64 64 64 2 1 255 255 255 lamp 1\n";

class FuzzWorldReader {
public:
    FuzzWorldReader()
    {
        set_stream_handler(quiet, 0);
        cvar_list = &variables_;
        sine_.init(4096);
        sine_table = &sine_;
        std::random_device seed;
        root_ = std::filesystem::temp_directory_path() / ("ostrel_fuzz_reader_" + std::to_string(seed()));
        mapgen::MapFiles files;
        std::string error;
        if (!mapgen::generate_map(READER_ROOMS, files, error) ||
            !mapgen::write_map_directory(files, (root_ / "maps" / "m").string(), error) ||
            !mapgen::write_map_textures(files, root_.string(), error)) {
            std::abort();
        }
        fs_.init();
        fs_.mount(root_.string().c_str(), 1, 10);
        fsys = &fs_;
        share_.register_type(MAP_SHARE_ID, SharedMap::create);
        share_.register_type(VOLUME_SHARE_ID, VolumeSet::create);
        if (load_world(lender_, &share_, "maps/m", &identifier_) == 0) {
            std::abort();
        }
    }
    ~FuzzWorldReader()
    {
        scratch_.close_map();
        lender_.close_map();
        fsys = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FuzzWorldReader(const FuzzWorldReader&) = delete;
    FuzzWorldReader& operator=(const FuzzWorldReader&) = delete;

    // The input as the map's file `name`, read by `reader` into a world that borrows `lend`.
    void run(const char* name, int mode, int (*reader)(ClientWorld&, FileStream*, uint32_t*), uint32_t lend,
             const uint8_t* data, size_t size)
    {
        const std::string path = "maps/m/" + std::string(name);
        if (!write_scratch((root_ / path).string(), data, size)) {
            return;
        }
        FileStream* const stream = fs_.open(path.c_str(), mode);
        if (stream == nullptr) {
            return;
        }
        ClientWorld& world = scratch_;
        uint32_t identifier = identifier_;
        // One more reference to the loaded map, which close_map gives back (the
        // manager hands a map out again only to the other side of the program).
        world.share = &share_;
        world.map = lender_.map;
        world.map->refcount += 1;
        if ((lend & LEND_TEXTURES) != 0) {
            world.textures = lender_.textures;
            world.texture_count = lender_.texture_count;
        }
        if ((lend & LEND_PATCHES) != 0) {
            world.patches = lender_.patches;
            world.patch_count = lender_.patch_count;
        }
        if ((lend & LEND_POLYGONS) != 0) {
            world.polygons = lender_.polygons;
            world.polygon_count = lender_.polygon_count;
        }
        if ((lend & LEND_SKY_SLOTS) != 0) {
            world.texture_manager.create(8);
        }
        reader(world, stream, &identifier);
        stream->close();
        // Borrowed parts go back before the world frees its own.
        if ((lend & LEND_TEXTURES) != 0) {
            world.textures = nullptr;
            world.texture_count = 0;
        }
        if ((lend & LEND_PATCHES) != 0) {
            world.patches = nullptr;
            world.patch_count = 0;
        }
        if ((lend & LEND_POLYGONS) != 0) {
            world.polygons = nullptr;
            world.polygon_count = 0;
        }
        world.close_map();
    }

private:
    ConfigVariableList variables_;
    SineTable sine_;
    std::filesystem::path root_;
    FSys fs_;
    ShareManager share_;
    ClientWorld lender_;
    ClientWorld scratch_; // each input's, closed after it as a map load closes the last
    uint32_t identifier_ = 0;
};

inline void run_world_reader(const char* name, int mode, int (*reader)(ClientWorld&, FileStream*, uint32_t*),
                             uint32_t lend, const uint8_t* data, size_t size)
{
    static FuzzWorldReader world;
    world.run(name, mode, reader, lend, data, size);
}

} // namespace fuzz
