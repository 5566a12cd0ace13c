#pragma once
// One map directory for the map fuzzers: a generated two-room map whose
// files the input replaces one at a time; a loaded map is then walked,
// linked into and unlinked from.
#include "core/print.h"
#include "fsys/fsys.h"
#include "tools/fsys/write_bytes.h"
#include "tools/mapgen/mapgen.h"
#include "world/entity_link.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

inline void quiet_map(int, const char*, uintptr_t) {}

class MapEntity : public Placement {
public:
    int entity_type() const override { return 6; }
    void visit(uint32_t) override { ++visits; }
    int visits = 0;
};

class FuzzMap {
public:
    FuzzMap()
    {
        set_stream_handler(quiet_map, 0);
        std::random_device seed;
        root_ = std::filesystem::temp_directory_path() / ("ostrel_fuzz_world_" + std::to_string(seed()));
        std::filesystem::create_directories(root_ / "maps" / "m");
        std::string error;
        if (!mapgen::generate_map("id 0x2b\n"
                                  "room a 0 0 0 256 256 128\n"
                                  "room b 256 0 0 512 256 128\n"
                                  "room c 0 256 0 256 512 128\n"
                                  "door a b 256 96 0 256 160 96\n"
                                  "door a c 96 256 0 160 256 96\n",
                                  files_, error)) {
            std::abort();
        }
        for (const mapgen::MapFile& f : files_.files) {
            write(f.name.c_str(), f.bytes);
        }
        fs_.mount(root_.string().c_str(), 1, 10);
        fsys = &fs_;
    }
    ~FuzzMap()
    {
        map_.free_world();
        fsys = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    // The generated map with `name` replaced by the input.
    void run(const char* name, const uint8_t* data, size_t size)
    {
        write(name, std::vector<uint8_t>(data, data + size));
        load_and_walk(data, size);
        write(name, files_.find(name)->bytes);
    }

private:
    void write(const char* name, const std::vector<uint8_t>& bytes) const
    {
        tools::write_bytes((root_ / "maps" / "m" / name).string().c_str(), bytes);
    }

    // One map for every run, so that its link pool is made once.
    void load_and_walk(const uint8_t* data, size_t size)
    {
        uint32_t identifier = 0;
        if (map_.links == nullptr ? map_.load_bsp_directory("maps/m", &identifier, 1) == 0
                                  : map_.read_bsp_files("maps/m", &identifier) == 0) {
            return;
        }
        SharedMap& map = map_;
        MapEntity entities[4];
        for (size_t i = 0; i < 4; ++i) {
            const float at = i * 97.0f + (size > i ? data[i] : 0);
            entities[i].position = Vector{at, at * 0.5f, 64};
            entities[i].radius = i * 40.0f;
            link_entity(map, entities[i]);
        }
        for (int c = 0; c < map.cell_count; ++c) {
            unpack_pvs(map, map.cells + c);
            for_each_visible_entity(map, map.cells + c, 6, 0);
        }
        unpack_pvs(map, nullptr);
        for_each_visible_entity(map, nullptr, 6, 0);
        for (MapEntity& e : entities) {
            e.position.x += 300;
            link_entity(map, e);
            unlink_entity(map, e);
        }
    }

    std::filesystem::path root_;
    FSys fs_;
    SharedMap map_;
    mapgen::MapFiles files_;
};

inline void run_map(const char* name, const uint8_t* data, size_t size)
{
    static FuzzMap map;
    map.run(name, data, size);
}

} // namespace fuzz
