#include "tools/mapgen/bsp_map.h"
#include "tools/mapgen/map_writers.h"
#include "world/entity_link.h"
#include "world/pvs_decode.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const char* const TWO_ROOMS = "room a 0 0 0 256 256 128\n"
                              "room b 256 0 0 512 256 128\n"
                              "door a b 256 96 0 256 160 96\n";

struct DescriptionCase {
    const char* name;
    std::string text;
    const char* error;
};

class BadDescription : public ::testing::TestWithParam<DescriptionCase> {};

} // namespace

TEST_P(BadDescription, IsRefusedWithTheLine)
{
    const DescriptionCase& c = GetParam();
    mapgen::MapFiles files;
    std::string error;
    EXPECT_FALSE(mapgen::generate_map(c.text, files, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_TRUE(files.files.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadDescription,
    ::testing::Values(
        DescriptionCase{"NoRoom", "# nothing\n", "the description has no room"},
        DescriptionCase{"UnknownWord", "rooms a 0 0 0 1 1 1\n", "line 1: expected"},
        DescriptionCase{"MissingCoordinate", "room a 0 0 0 1 1\n", "line 1: expected"},
        DescriptionCase{"NotANumber", "room a 0 0 0 1 1 x\n", "line 1: coordinates must be finite"},
        DescriptionCase{"Infinite", "room a 0 0 0 1 1 inf\n", "line 1: coordinates must be finite"},
        DescriptionCase{"TooFar", "room a 0 0 0 1 1 2e6\n", "line 1: coordinates must be finite"},
        DescriptionCase{"FlatRoom", "room a 0 0 0 1 0 1\n", "line 1: a room needs a positive size"},
        DescriptionCase{"SameName", "room a 0 0 0 1 1 1\nroom a 5 5 5 6 6 6\n", "line 2: room names"},
        DescriptionCase{"Overlap", "room a 0 0 0 10 10 10\nroom b 5 5 5 16 16 16\n", "line 2: room b overlaps room a"},
        DescriptionCase{"DoorToUnknownRoom", std::string(TWO_ROOMS) + "door a c 256 96 0 256 160 96\n", "line 4: a door joins"},
        DescriptionCase{"DoorToItself", std::string(TWO_ROOMS) + "door a a 256 96 0 256 160 96\n", "line 4: a door joins"},
        DescriptionCase{"DoorNotFlat", std::string(TWO_ROOMS) + "door a b 250 96 0 256 160 96\n", "line 4: a door must be flat"},
        DescriptionCase{"DoorFlatTwice", std::string(TWO_ROOMS) + "door a b 256 96 0 256 96 96\n", "line 4: a door must be flat"},
        DescriptionCase{"DoorOffTheWall", std::string(TWO_ROOMS) + "door a b 255 96 0 255 160 96\n", "line 4: the door is not on a wall"},
        DescriptionCase{"DoorPastTheWall", std::string(TWO_ROOMS) + "door a b 256 200 0 256 300 96\n", "line 4: the door reaches beyond"},
        DescriptionCase{"DoorsOverlap", std::string(TWO_ROOMS) + "door b a 256 150 0 256 200 96\n", "line 4: doors may not overlap"},
        DescriptionCase{"BadIdentifier", "id 0x100000000\nroom a 0 0 0 1 1 1\n", "line 1: the map identifier"},
        DescriptionCase{"BadMargin", "margin 0\nroom a 0 0 0 1 1 1\n", "line 1: the margin"},
        DescriptionCase{"NegativeHull", std::string(TWO_ROOMS) + "hull 0 -1 0\n", "line 4: a hull vector"},
        DescriptionCase{"NinthHull", std::string(TWO_ROOMS) +
                        "hull 1 1 1\nhull 1 1 1\nhull 1 1 1\nhull 1 1 1\nhull 1 1 1\nhull 1 1 1\nhull 1 1 1\n"
                        "hull 1 1 1\nhull 1 1 1\n", "line 12: at most 8 hull vectors"},
        DescriptionCase{"FlatBlock", std::string(TWO_ROOMS) + "block 0 0 0 10 10 0\n", "line 4: a block needs"},
        DescriptionCase{"BlockOfMaterialZero", std::string(TWO_ROOMS) + "block 0 0 0 10 10 10 0x2100\n",
                        "line 4: a block's contents"},
        DescriptionCase{"StairsWithoutDirection", std::string(TWO_ROOMS) + "stairs 0 0 0 64 64 32 4 up\n",
                        "line 4: stairs need"},
        DescriptionCase{"StairsWithoutSteps", std::string(TWO_ROOMS) + "stairs 0 0 0 64 64 32 0 +x\n",
                        "line 4: stairs need"},
        DescriptionCase{"TriggerNumberTooLarge", std::string(TWO_ROOMS) + "trigger 65536 0 0 0 1 1 1\n",
                        "line 4: a trigger number"},
        DescriptionCase{"TileTooSmall", std::string(TWO_ROOMS) + "tile 8\n", "line 4: the tile step"},
        DescriptionCase{"LightWithoutRange", std::string(TWO_ROOMS) + "light 1 1 1 0 1 255 255 255\n",
                        "line 4: a light needs"},
        DescriptionCase{"LightColourBeyond255", std::string(TWO_ROOMS) + "light 1 1 1 1 1 256 255 255\n",
                        "line 4: a light needs"},
        DescriptionCase{"LampZero", std::string(TWO_ROOMS) + "light 1 1 1 1 1 255 255 255 lamp 0\n",
                        "line 4: a light needs"},
        DescriptionCase{"OpenUnknownRoom", std::string(TWO_ROOMS) + "open c\n", "line 4: 'open' names a room"},
        DescriptionCase{"PatchOfDoors", std::string(TWO_ROOMS) + "patch a doors warp\n", "line 4: 'patch' names"},
        DescriptionCase{"SkyOfStars", std::string(TWO_ROOMS) + "sky stars\n", "line 4: expected"},
        DescriptionCase{"FlatMover", std::string(TWO_ROOMS) + "mover 10 10 10 20 20 10\n", "line 4: a mover needs"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapGenerator, SameDescriptionSameBytes)
{
    const std::string description = source_text("tools/mapgen/maps/grid4x4.rooms");
    mapgen::MapFiles first;
    mapgen::MapFiles second;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(description, first, error)) << error;
    ASSERT_TRUE(mapgen::generate_map(description + "\n# more words\n", second, error)) << error;
    ASSERT_EQ(first.files.size(), 11u);
    for (size_t i = 0; i < first.files.size(); ++i) {
        EXPECT_EQ(first.files[i].name, second.files[i].name);
        EXPECT_EQ(first.files[i].bytes, second.files[i].bytes) << first.files[i].name;
    }
    ASSERT_EQ(first.textures.size(), 5u) << "three textures and the dome's two";
    for (size_t i = 0; i < first.textures.size(); ++i) {
        EXPECT_EQ(first.textures[i].bytes, second.textures[i].bytes) << first.textures[i].name;
    }
}

TEST(MapGenerator, PackedSetsDecodeToWhatWasPacked)
{
    std::vector<mapgen::CellSet> sets = {
        mapgen::CellSet(1, 0x00), mapgen::CellSet(1, 0x5A), mapgen::CellSet(300, 0x00), mapgen::CellSet(300, 0xFF),
        mapgen::CellSet(40, 0x00),
    };
    mapgen::CellSet mixed;
    for (int i = 0; i < 700; ++i) {
        mixed.push_back(i % 7 == 0 || (i > 200 && i < 460) ? 0 : static_cast<uint8_t>(i * 37));
    }
    sets.push_back(mixed);
    sets[4][39] = 0x80;
    for (const mapgen::CellSet& set : sets) {
        const std::vector<uint8_t> packed = mapgen::pack_pvs(set);
        const int32_t cells = static_cast<int32_t>(set.size() * 8);
        std::vector<uint8_t> bits(static_cast<size_t>(cells), 9);
        ASSERT_TRUE(pvs_decode(
            packed.data(), packed.data() + packed.size(), cells,
            [&](int32_t first, int32_t n) {
                for (int32_t c = first; c < first + n; ++c) {
                    bits[static_cast<size_t>(c)] = 0;
                }
            },
            [&](int32_t first, uint32_t byte, int32_t n) {
                for (int32_t k = 0; k < n; ++k) {
                    bits[static_cast<size_t>(first + k)] = static_cast<uint8_t>((byte >> k) & 1u);
                }
            }));
        for (int32_t c = 0; c < cells; ++c) {
            ASSERT_EQ(bits[static_cast<size_t>(c)], (set[static_cast<size_t>(c) / 8] >> (c % 8)) & 1) << c;
        }
        EXPECT_LE(packed.size(), set.size() + set.size() / 128 + 1);
    }
}

TEST(MapGenerator, WallsCoverTheRoomsButTheirDoors)
{
    mapgen::RoomModel model;
    std::string error;
    ASSERT_TRUE(mapgen::parse_room_model(source_text("tools/mapgen/maps/three_rooms.rooms"), model, error)) << error;
    const mapgen::BspMap map = mapgen::build_bsp(model);
    std::vector<double> wall(model.rooms.size(), 0.0);
    for (const mapgen::WallPolygon& w : map.polygons) {
        const int room = map.cells[static_cast<size_t>(w.cell)].room;
        ASSERT_GE(room, 0) << "solid cells have no walls";
        const auto length = [](const mapgen::Point& a, const mapgen::Point& b) {
            return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
        };
        wall[static_cast<size_t>(room)] += length(w.corners[0], w.corners[1]) * length(w.corners[0], w.corners[3]);
    }
    for (size_t r = 0; r < model.rooms.size(); ++r) {
        const mapgen::Box& b = model.rooms[r].box;
        const double x = b.hi[0] - b.lo[0];
        const double y = b.hi[1] - b.lo[1];
        const double z = b.hi[2] - b.lo[2];
        double expected = 2 * (x * y + y * z + z * x);
        for (const mapgen::Doorway& d : model.doors) {
            if (d.a == static_cast<int>(r) || d.b == static_cast<int>(r)) {
                double area = 1;
                for (int k = 0; k < 3; ++k) {
                    area *= k == d.axis ? 1 : d.box.hi[k] - d.box.lo[k];
                }
                expected -= area;
            }
        }
        EXPECT_DOUBLE_EQ(wall[r], expected) << model.rooms[r].name;
    }
}

namespace {

void expect_generated_map_loads(const SharedMap& map, const mapgen::MapFiles& files)
{
    const std::string rtrees(files.find("rtrees.txt")->bytes.begin(), files.find("rtrees.txt")->bytes.end());
    EXPECT_NE(rtrees.find("\n" + std::to_string(map.node_count) + "\n" + std::to_string(map.cell_count) + "\n"),
              std::string::npos);
    ASSERT_TRUE(map.has_pvs());
    ASSERT_EQ(map.pvs_cells, map.cell_count);
    int next_polygon = 0;
    for (int c = 0; c < map.cell_count; ++c) {
        const Cell& cell = map.cells[c];
        EXPECT_EQ(cell.first_polygon, next_polygon) << "polygon ranges follow each other";
        next_polygon += cell.polygon_count;
        const bool solid = cell.third_value == 1;
        EXPECT_EQ(solid, cell.polygon_count == 0);
        ASSERT_NE(cell.pvs, nullptr);
        int seen = 0;
        bool sees_itself = false;
        pvs_decode(
            cell.pvs, map.pvs_data + map.pvs_size, map.pvs_cells, [](int32_t, int32_t) {},
            [&](int32_t first, uint32_t byte, int32_t n) {
                for (int32_t k = 0; k < n; ++k) {
                    const bool bit = ((byte >> k) & 1u) != 0;
                    seen += bit ? 1 : 0;
                    sees_itself = sees_itself || (bit && first + k == c);
                }
            });
        EXPECT_EQ(sees_itself, !solid) << "cell " << c;
        if (solid) {
            EXPECT_EQ(seen, 0) << "solid cell " << c << " sees nothing";
        }
    }
    EXPECT_EQ(map.models.count(), 1);
    EXPECT_GT(map.models.entity(0).radius, 0.0f);
}

} // namespace

// The renderer's winding: seen from inside its cell, every wall runs
// clockwise, so its turns point away from the viewer.
TEST(MapGenerator, WallsWindClockwiseSeenFromInside)
{
    mapgen::RoomModel model;
    std::string error;
    ASSERT_TRUE(mapgen::parse_room_model(source_text("tools/mapgen/maps/three_rooms.rooms"), model, error)) << error;
    const mapgen::BspMap map = mapgen::build_bsp(model);
    ASSERT_FALSE(map.polygons.empty());
    for (const mapgen::WallPolygon& w : map.polygons) {
        const mapgen::Box& box = map.cells[static_cast<size_t>(w.cell)].box;
        mapgen::Point inside{};
        for (int k = 0; k < 3; ++k) {
            inside[static_cast<size_t>(k)] = (box.lo[k] + box.hi[k]) / 2 - w.corners[0][static_cast<size_t>(k)];
        }
        for (size_t c = 0; c < 4; ++c) {
            const mapgen::Point& a = w.corners[c];
            const mapgen::Point& b = w.corners[(c + 1) % 4];
            const mapgen::Point& d = w.corners[(c + 2) % 4];
            const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const double e2[3] = {d[0] - b[0], d[1] - b[1], d[2] - b[2]};
            const double turn[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
            EXPECT_LT(turn[0] * inside[0] + turn[1] * inside[1] + turn[2] * inside[2], 0.0)
                << "wall of cell " << w.cell << " corner " << c;
        }
    }
}

TEST(MapGenerator, GeneratedMapsLoadThroughTheEngineFromDirectoriesAndArchives)
{
    for (const char* name : {"three_rooms", "grid4x4"}) {
        SCOPED_TRACE(name);
        const mapgen::MapFiles generated = generated_map(name);
        WorldFiles files;
        files.write_map(std::string("maps/") + name, generated);
        const auto from_dir = files.load(std::string("maps/") + name);
        ASSERT_NE(from_dir, nullptr);
        EXPECT_FALSE(files.capture.contains("KLoad:"));
        expect_generated_map_loads(*from_dir, generated);
        EXPECT_NE(files.identifier, 0u) << "the description's identifier is in the headers";

        files.mount_map_archive("maps/packed", generated);
        const auto from_archive = files.load("maps/packed");
        ASSERT_NE(from_archive, nullptr);
        EXPECT_FALSE(files.capture.contains("KLoad:"));
        EXPECT_EQ(from_archive->cell_count, from_dir->cell_count);
        EXPECT_EQ(from_archive->pvs_size, from_dir->pvs_size);
    }
}

TEST(MapGenerator, RoomsSeeTheirNeighboursAndSolidSeesNothing)
{
    WorldFiles files;
    files.write_map("maps/three", generated_map("three_rooms"));
    const auto map = files.load("maps/three");
    ASSERT_NE(map, nullptr);
    const Cell* const hall = find_leaf(*map, Vector{256, 128, 64});
    const Cell* const side = find_leaf(*map, Vector{640, 128, 64});
    const Cell* const closet = find_leaf(*map, Vector{640, 352, 64});
    const Cell* const rock = find_leaf(*map, Vector{256, 400, 64});
    EXPECT_EQ(hall->third_value, 0);
    EXPECT_EQ(rock->third_value, 1);
    unpack_pvs(*map, hall);
    EXPECT_EQ(hall->visible, 1u);
    EXPECT_EQ(side->visible, 1u);
    EXPECT_EQ(closet->visible, 1u) << "through both doors on a slant";
    EXPECT_EQ(rock->visible, 0u);
    unpack_pvs(*map, rock);
    for (int c = 0; c < map->cell_count; ++c) {
        EXPECT_EQ(map->cells[c].visible, 0u);
    }
    EXPECT_EQ(map->nodes[0].flags & BSP_VISIBLE, 0u);
}

// Movers are BSP models 1, 2, ... of their own: a box of six polygons after
// the world's, and in the volume a model whose every root is open space.
TEST(MapGenerator, MoversAreModelsAfterTheWorld)
{
    mapgen::MapFiles generated;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(std::string(TWO_ROOMS) + "mover 32 32 0 64 64 32\nmover 300 40 8 340 80 40\n",
                                     generated, error))
        << error;
    const auto text = [&](const char* name) {
        const mapgen::MapFile* const f = generated.find(name);
        return f != nullptr ? std::string(f->bytes.begin(), f->bytes.end()) : std::string();
    };
    EXPECT_NE(text("geometry.txt").find("\n0 0 0 6\n0 0 0 6\n"), std::string::npos) << "six polygons a mover";
    EXPECT_NE(text("rtrees.txt").find("0 0\n300 40 8 340 80 40\n"), std::string::npos) << "its box about the origin";
    EXPECT_NE(text("volume.txt").find("\n3\n"), std::string::npos) << "three volume models";
    WorldFiles files;
    files.write_map("maps/movers", generated);
    const auto map = files.load("maps/movers");
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(files.capture.contains("KLoad:"));
    EXPECT_EQ(map->model_count, 3);
    EXPECT_NEAR(map->models.entity(2).radius, std::sqrt(340.0 * 340.0 + 80.0 * 80.0 + 40.0 * 40.0), 1e-3);
}
