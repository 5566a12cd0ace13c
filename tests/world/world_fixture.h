#pragma once
// Map files for world tests: a scratch tree mounted as the engine's file
// system, small hand-made maps, and maps made by the generator from the
// descriptions in tools/mapgen/maps.
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "support/print_capture.h"
#include "tools/fsys/chunk_writer.h"
#include "tools/fsys/muf_writer.h"
#include "tools/mapgen/mapgen.h"
#include "world/shared_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// x = 0 splits space; x >= 0 is split again by y = 0:
// cell 0 x < 0, cell 1 x >= 0 and y >= 0, cell 2 x >= 0 and y < 0.
inline const char* const SMALL_RPLANES = "textualRPlanes,version005\n"
                                         "1\n"
                                         "2\n"
                                         "0 2\n"
                                         "1 0 0 0\n"
                                         "0 1 0 0\n";
inline const char* const SMALL_RTREES = "textualRTrees,version005\n"
                                        "1\n"
                                        "2\n"
                                        "3\n"
                                        "0 0\n"
                                        "-3 0 0 0 4 0\n"
                                        "0 4 0\n"
                                        "4 2 0\n"
                                        "6 1 7\n"
                                        "0 0x0 0x1 0x80000000\n"
                                        "# comment lines may stand anywhere after the header\n"
                                        "-100 -100 -100\n"
                                        "100 100 100\n"
                                        "0 -100 -100 100 100 100\n"
                                        "-100 -100 -100 0 100 100\n"
                                        "1 0x0 0x80000001 0x80000002\n"
                                        "0 -100 -100\n"
                                        "100 100 100\n"
                                        "0 0 -100 100 100 100\n"
                                        "0 -100 -100 100 0 100\n";

inline std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// pvs.bin from its parts.
inline std::vector<uint8_t> pvs_file(uint32_t map_id, uint32_t cells, const std::vector<uint32_t>& offsets,
                                     const std::vector<uint8_t>& data, uint32_t version = 0)
{
    const auto words = [](std::initializer_list<uint32_t> list) {
        std::vector<uint8_t> out;
        for (const uint32_t v : list) {
            for (int i = 0; i < 4; ++i) {
                out.push_back(static_cast<uint8_t>(v >> (8 * i)));
            }
        }
        return out;
    };
    std::vector<uint8_t> pold;
    for (const uint32_t o : offsets) {
        const std::vector<uint8_t> w = words({o});
        pold.insert(pold.end(), w.begin(), w.end());
    }
    tools::ChunkWriter w("CPVS");
    w.add("HEAD", words({version, map_id, cells, static_cast<uint32_t>(data.size())}));
    w.add("POLD", pold);
    w.add("DATA", data);
    return w.bytes();
}

inline std::string source_text(const std::string& relative)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The generator's files for tools/mapgen/maps/<name>.rooms.
inline mapgen::MapFiles generated_map(const std::string& name)
{
    mapgen::MapFiles files;
    std::string error;
    EXPECT_TRUE(mapgen::generate_map(source_text("tools/mapgen/maps/" + name + ".rooms"), files, error)) << error;
    return files;
}

// A scratch tree as the engine's file system, with its prints captured.
class WorldFiles {
public:
    WorldFiles()
    {
        capture.show_all();
        saved_ = fsys;
        fsys = &fs_;
        EXPECT_EQ(fs_.mount(tree_.path().c_str(), 1, 10), 1);
    }
    ~WorldFiles() { fsys = saved_; }
    WorldFiles(const WorldFiles&) = delete;
    WorldFiles& operator=(const WorldFiles&) = delete;

    void write(const std::string& relative, const std::string& text) const { tree_.write(relative, text); }
    void write(const std::string& relative, const std::vector<uint8_t>& bytes) const { tree_.write(relative, bytes); }
    void remove(const std::string& relative) const { std::remove(tree_.path(relative).c_str()); }

    void write_small_map(const std::string& directory) const
    {
        write(directory + "/rplanes.txt", SMALL_RPLANES);
        write(directory + "/rtrees.txt", SMALL_RTREES);
    }
    void write_map(const std::string& directory, const mapgen::MapFiles& files) const
    {
        for (const mapgen::MapFile& f : files.files) {
            write(directory + "/" + f.name, f.bytes);
        }
    }
    // The map's files as members of an archive, mounted above the tree.
    void mount_map_archive(const std::string& directory, const mapgen::MapFiles& files)
    {
        tools::MufWriter w;
        for (const mapgen::MapFile& f : files.files) {
            w.add(directory + "/" + f.name, f.bytes);
        }
        const std::string path = tree_.path("maps.muf");
        ASSERT_TRUE(w.write(path.c_str()));
        ASSERT_EQ(fs_.mount(path.c_str(), 2, 20), 1);
    }

    // A map loaded straight through the loader, or null when it failed.
    std::unique_ptr<SharedMap> load(const std::string& directory, uint32_t map_id = 0, int holder = 1)
    {
        auto map = std::make_unique<SharedMap>();
        identifier = map_id;
        if (map->load_bsp_directory(directory.c_str(), &identifier, holder) == 0) {
            return nullptr;
        }
        return map;
    }

    PrintCapture capture;
    uint32_t identifier = 0;

private:
    TempTree tree_;
    FSys fs_;
    FSys* saved_ = nullptr;
};
