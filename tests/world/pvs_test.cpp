#include "tools/mapgen/room_model.h"
#include "world/entity_link.h"
#include "world/pvs_decode.h"
#include "world_entity.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Point = std::array<double, 3>;

// The small map: cell 0 sees {0}, cells 1 and 2 see {1, 2}; the string of
// cell 2 also sets bits past the covered cells.
const std::vector<uint8_t> PVS_DATA = {0x00, 0x01, 0x00, 0x06, 0x00, 0xFE};

std::unique_ptr<SharedMap> small_map_with_pvs(WorldFiles& files, uint32_t cells = 3)
{
    files.write_small_map("maps/p");
    std::vector<uint32_t> offsets = {0, 2, 4};
    offsets.resize(cells);
    files.write("maps/p/pvs.bin", pvs_file(0, cells, offsets, PVS_DATA));
    return files.load("maps/p");
}

std::vector<uint32_t> marks(const SharedMap& map)
{
    std::vector<uint32_t> m;
    for (int c = 0; c < map.cell_count; ++c) {
        m.push_back(map.cells[c].visible);
    }
    for (int j = 0; j < map.node_count; ++j) {
        m.push_back((map.nodes[j].flags & BSP_VISIBLE) != 0 ? 1 : 0);
    }
    return m;
}

} // namespace

TEST(UnpackPvs, MarksCellsAndNodesOncePerPvs)
{
    WorldFiles files;
    const auto map = small_map_with_pvs(files);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(marks(*map), (std::vector<uint32_t>{1, 1, 1, 1, 1})) << "a new map sees everything";

    unpack_pvs(*map, map->cells + 0);
    EXPECT_EQ(marks(*map), (std::vector<uint32_t>{1, 0, 0, 1, 0})) << "cells 0-2, then nodes 0-1";
    EXPECT_EQ(files.capture.count("Unpacking PVS for cell #0"), 1);
    unpack_pvs(*map, map->cells + 0);
    EXPECT_EQ(files.capture.count("Unpacking PVS"), 1) << "the same PVS twice is decoded once";

    unpack_pvs(*map, map->cells + 2);
    EXPECT_EQ(marks(*map), (std::vector<uint32_t>{0, 1, 1, 1, 1}));
    EXPECT_EQ(map->last_pvs, map->cells[2].pvs);

    unpack_pvs(*map, nullptr);
    EXPECT_EQ(marks(*map), (std::vector<uint32_t>{1, 1, 1, 1, 1}));
    EXPECT_EQ(map->last_pvs, nullptr);
    EXPECT_EQ(files.capture.count("Unpacking PVS"), 2);
}

TEST(UnpackPvs, DecodingStopsAtTheCoveredCells)
{
    WorldFiles files;
    const auto map = small_map_with_pvs(files, 2);
    ASSERT_NE(map, nullptr);
    map->cells[2].visible = 5;
    unpack_pvs(*map, map->cells + 1);
    EXPECT_EQ(map->cells[0].visible, 0u);
    EXPECT_EQ(map->cells[1].visible, 1u);
    EXPECT_EQ(map->cells[2].visible, 5u) << "a cell past the PVS keeps its mark";
    unpack_pvs(*map, map->cells + 2);
    EXPECT_EQ(map->last_pvs, nullptr) << "cell 2 has no PVS: it sees everything";
    EXPECT_EQ(map->cells[0].visible, 1u);
    EXPECT_EQ(map->cells[2].visible, 5u) << "only the covered cells are set";
}

// Packed strings decoded into marks: 2 for a cell never written, else its bit.
TEST(PvsDecode, ZeroRunsAndLiteralsCoverTheCellsInOrder)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> packed;
        int32_t cells;
        bool complete;
        std::vector<int32_t> visible; // every other covered cell is 0
    };
    const Case cases[] = {
        {"zero run first", {0x81, 0x00, 0x05}, 24, true, {16, 18}},
        {"zero run between literals", {0x00, 0xFF, 0x80, 0x00, 0x01}, 24, true, {0, 1, 2, 3, 4, 5, 6, 7, 16}},
        {"zero run last", {0x00, 0x80, 0x82}, 32, true, {7}},
        {"longest zero run", {0xFF, 0x00, 0x01}, 1025, true, {1024}},
        {"zero run cut by the cell count", {0x00, 0x01, 0x83}, 20, true, {0}},
        {"literal cut inside its byte", {0x80, 0x01, 0xFF, 0xFF}, 20, true, {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
        {"string ends before the cells", {0x00, 0xFF, 0x80}, 24, false, {}},
        {"literal bytes missing", {0x81, 0x01, 0x01}, 32, false, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<int> marks(static_cast<size_t>(k.cells) + 8, 2);
        const bool complete = pvs_decode(
            k.packed.data(), k.packed.data() + k.packed.size(), k.cells,
            [&](int32_t first, int32_t count) {
                ASSERT_LE(first + count, k.cells);
                std::fill(marks.begin() + first, marks.begin() + first + count, 0);
            },
            [&](int32_t first, uint32_t byte, int32_t count) {
                ASSERT_LE(first + count, k.cells);
                for (int32_t i = 0; i < count; ++i) {
                    marks[static_cast<size_t>(first + i)] = static_cast<int>((byte >> i) & 1u);
                }
            });
        EXPECT_EQ(complete, k.complete);
        if (!k.complete) {
            continue;
        }
        std::vector<int> expected(marks.size(), 2);
        std::fill(expected.begin(), expected.begin() + k.cells, 0);
        for (const int32_t c : k.visible) {
            expected[static_cast<size_t>(c)] = 1;
        }
        EXPECT_EQ(marks, expected);
    }
}

TEST(VisibleEntities, WalkTheVisibleCellsOncePerLinkWithoutTouchingTheMarks)
{
    WorldFiles files;
    const auto map = small_map_with_pvs(files);
    ASSERT_NE(map, nullptr);
    TestEntity west(4);
    TestEntity north(4);
    TestEntity both(4);
    TestEntity light(3);
    west.place(-10, 0, 0, 1);
    north.place(10, 10, 0, 1);
    both.place(10, 0.5f, 0, 2); // cells 1 and 2
    light.place(10, 10, 0, 1);
    for (TestEntity* e : {&west, &north, &both, &light}) {
        link_entity(*map, *e);
    }
    unpack_pvs(*map, map->cells + 0);
    const std::vector<uint32_t> before = marks(*map);

    for_each_visible_entity(*map, map->cells + 2, 4, 7);
    EXPECT_EQ(west.visits.size(), 0u);
    EXPECT_EQ(north.visits, std::vector<uint32_t>{7});
    EXPECT_EQ(both.visits, (std::vector<uint32_t>{7, 7})) << "one visit per visible cell it is linked into";
    EXPECT_EQ(light.visits.size(), 0u) << "other types are not visited";
    EXPECT_EQ(marks(*map), before);
    EXPECT_EQ(map->last_pvs, map->cells[0].pvs);

    for (TestEntity* e : {&west, &north, &both, &light}) {
        e->visits.clear();
    }
    for_each_visible_entity(*map, nullptr, 4, 9);
    EXPECT_EQ(west.visits, std::vector<uint32_t>{9});
    EXPECT_EQ(north.visits, std::vector<uint32_t>{9});
    EXPECT_EQ(both.visits, (std::vector<uint32_t>{9, 9})) << "a null cell visits once per link";
    EXPECT_EQ(light.visits.size(), 0u);

    for (TestEntity* e : {&west, &north, &both, &light}) {
        unlink_entity(*map, *e);
    }
}

namespace {

// A segment crosses no wall when every stretch between the room faces it
// crosses lies inside a room and every crossing point lies inside a room or
// inside a doorway (all strictly, so that grazing segments do not count).
class Walls {
public:
    explicit Walls(const mapgen::RoomModel& model) : model_(model) {}

    bool open(const Point& p, const Point& q) const
    {
        struct Crossing {
            double t;
            int axis;
            double coord;
        };
        std::vector<Crossing> crossings;
        for (const mapgen::Room& r : model_.rooms) {
            for (int k = 0; k < 3; ++k) {
                for (const double c : {r.box.lo[k], r.box.hi[k]}) {
                    const double d = q[k] - p[k];
                    const double t = d != 0 ? (c - p[k]) / d : -1;
                    if (t > 0 && t < 1) {
                        crossings.push_back({t, k, c});
                    }
                }
            }
        }
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.t < b.t; });
        double last = 0;
        for (size_t i = 0; i <= crossings.size(); ++i) {
            const double t = i < crossings.size() ? crossings[i].t : 1.0;
            if (t == last && i > 0) {
                if (crossings[i].axis != crossings[i - 1].axis || crossings[i].coord != crossings[i - 1].coord) {
                    return false; // through an edge where faces meet: too close to call
                }
                continue;
            }
            if (!in_room(at(p, q, (last + t) / 2))) {
                return false;
            }
            if (i < crossings.size() && !passable(at(p, q, t), crossings[i].axis, crossings[i].coord)) {
                return false;
            }
            last = t;
        }
        return true;
    }

    bool in_room(const Point& x) const
    {
        return std::any_of(model_.rooms.begin(), model_.rooms.end(), [&](const mapgen::Room& r) {
            return strictly_inside(x, r.box, -1);
        });
    }

private:
    static Point at(const Point& p, const Point& q, double t)
    {
        return {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
    }
    static bool strictly_inside(const Point& x, const mapgen::Box& b, int flat)
    {
        for (int k = 0; k < 3; ++k) {
            if (k != flat && !(b.lo[k] < x[k] && x[k] < b.hi[k])) {
                return false;
            }
        }
        return true;
    }
    // The point where the segment crosses the plane (axis, coord): open when
    // the plane runs through a room there, or a doorway lies on it there.
    bool passable(const Point& x, int axis, double coord) const
    {
        const auto across = [&](const mapgen::Box& b) { return strictly_inside(x, b, axis); };
        return std::any_of(model_.rooms.begin(), model_.rooms.end(),
                           [&](const mapgen::Room& r) {
                               return r.box.lo[axis] < coord && coord < r.box.hi[axis] && across(r.box);
                           }) ||
               std::any_of(model_.doors.begin(), model_.doors.end(), [&](const mapgen::Doorway& d) {
                   return d.axis == axis && d.box.lo[axis] == coord && across(d.box);
               });
    }

    const mapgen::RoomModel& model_;
};

class PvsProperty : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(PvsProperty, WhatALineReachesIsInThePvs)
{
    const std::string name = GetParam();
    const std::string description = source_text("tools/mapgen/maps/" + name + ".rooms");
    mapgen::RoomModel model;
    std::string error;
    ASSERT_TRUE(mapgen::parse_room_model(description, model, error)) << error;
    WorldFiles files;
    files.write_map("maps/" + name, generated_map(name));
    const auto map = files.load("maps/" + name, model.map_id);
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(map->has_pvs());
    ASSERT_EQ(map->pvs_cells, map->cell_count);

    const Walls walls(model);
    std::mt19937 random(77);
    const auto point = [&]() {
        const mapgen::Room& r = model.rooms[random() % model.rooms.size()];
        Point p;
        for (int k = 0; k < 3; ++k) {
            std::uniform_real_distribution<double> in(r.box.lo[k], r.box.hi[k]);
            p[k] = static_cast<float>(in(random));
        }
        return p;
    };
    int open = 0;
    int open_apart = 0;
    int hidden = 0;
    for (int i = 0; i < 20000; ++i) {
        const Point p = point();
        const Point q = point();
        if (!walls.in_room(p) || !walls.in_room(q)) {
            continue;
        }
        const Cell* const from = find_leaf(*map, Vector{float(p[0]), float(p[1]), float(p[2])});
        const Cell* const to = find_leaf(*map, Vector{float(q[0]), float(q[1]), float(q[2])});
        unpack_pvs(*map, from);
        if (walls.open(p, q)) {
            ++open;
            open_apart += from != to ? 1 : 0;
            ASSERT_EQ(to->visible, 1u) << name << ": (" << p[0] << ", " << p[1] << ", " << p[2] << ") sees (" << q[0]
                                       << ", " << q[1] << ", " << q[2] << ")";
        } else if (to->visible == 0) {
            ++hidden;
        }
    }
    EXPECT_GT(open, 500) << "enough pairs see each other to mean something";
    EXPECT_GT(open_apart, 200) << "and many of them through doors";
    if (name != "three_rooms") {
        EXPECT_GT(hidden, 500) << "the PVS hides rooms: it is not everything-sees-everything";
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, PvsProperty, ::testing::Values("three_rooms", "grid4x4", "snake4x4"),
                         [](const auto& info) { return std::string(info.param); });

TEST(PvsProperty, RoomsRoundTwoCornersAreHidden)
{
    WorldFiles files;
    files.write_map("maps/snake", generated_map("snake4x4"));
    const auto map = files.load("maps/snake");
    ASSERT_NE(map, nullptr);
    // Rooms are 256 units; rxy is column x, row y, centres at 128 + 256 n.
    const auto cell = [&](int x, int y) { return find_leaf(*map, Vector{128.0f + 256 * x, 128.0f + 256 * y, 64}); };
    unpack_pvs(*map, cell(0, 0));
    EXPECT_EQ(cell(3, 0)->visible, 1u) << "straight down the row";
    EXPECT_EQ(cell(3, 1)->visible, 0u) << "round the corner at the end of the row";
    EXPECT_EQ(cell(0, 1)->visible, 0u) << "next door through the wall, but two corners by the doors";
    EXPECT_EQ(cell(3, 3)->visible, 0u);
}
