#include "core/share_manager.h"
#include "world/entity_link.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

int match_with(SharedMap& map, uint32_t id, ...)
{
    va_list args;
    va_start(args, id);
    const int result = map.match(id, args);
    va_end(args);
    return result;
}

// A chain of `depth` nodes on the plane x = 0, each with a cell behind.
std::string chain_rtrees(int depth)
{
    std::string text = "textualRTrees,version005\n1\n" + std::to_string(depth) + "\n" + std::to_string(depth + 1) +
                       "\n0 0\n0 0 0 1 1 1\n";
    for (int c = 0; c <= depth; ++c) {
        text += "0 0 0\n";
    }
    for (int j = 0; j < depth; ++j) {
        char line[64];
        const uint32_t front = j + 1 < depth ? static_cast<uint32_t>(j + 1) : 0x80000000u | static_cast<uint32_t>(depth);
        std::snprintf(line, sizeof line, "0 0x0 0x%x 0x%x\n", front, 0x80000000u | static_cast<uint32_t>(j));
        text += line;
        text += "0 0 0\n0 0 0\n0 0 0 1 1 1\n0 0 0 1 1 1\n";
    }
    return text;
}

} // namespace

TEST(SharedMapLoad, SmallMapHasPlanesOppositesTreeAndNoPvs)
{
    WorldFiles files;
    files.write("maps/small/rplanes.txt", replaced(replaced(SMALL_RPLANES, "\n2\n", "\n3\n"), "0 1 0 0\n",
                                                   "0 1 0 0\n0.6 0 -0.8 -2.5\n"));
    files.write("maps/small/rtrees.txt", SMALL_RTREES);
    const auto map = files.load("maps/small");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(files.capture.count("KLoad:"), 1);
    EXPECT_TRUE(files.capture.contains("KLoad: Can't open maps/small/pvs.bin"));
    EXPECT_FALSE(map->has_pvs());
    EXPECT_EQ(map->pvs_cells, 0);

    ASSERT_EQ(map->plane_count, 6);
    for (int i = 0; i < 3; ++i) {
        const Plane& p = map->planes[i];
        const Plane& o = map->planes[3 + i];
        EXPECT_EQ(o.normal.x, -p.normal.x);
        EXPECT_EQ(o.normal.y, -p.normal.y);
        EXPECT_EQ(o.normal.z, -p.normal.z);
        EXPECT_EQ(o.d, -p.d);
    }
    EXPECT_EQ(map->planes[2].normal.z, -0.8f);
    EXPECT_EQ(map->planes[5].d, 2.5f);

    ASSERT_EQ(map->node_count, 2);
    ASSERT_EQ(map->cell_count, 3);
    const BspNode& root = map->nodes[0];
    EXPECT_EQ(root.plane, map->planes + 0);
    EXPECT_EQ(root.flags, BSP_FRONT_NODE | BSP_VISIBLE);
    EXPECT_EQ(root.front.node, map->nodes + 1);
    EXPECT_EQ(root.back.cell, map->cells + 0);
    EXPECT_EQ(root.sphere.radius, 0.0f) << "the file gives no sphere for the root";
    const BspNode& inner = map->nodes[1];
    EXPECT_EQ(inner.index, 1);
    EXPECT_EQ(inner.flags, BSP_VISIBLE);
    EXPECT_EQ(inner.front.cell, map->cells + 1);
    EXPECT_EQ(inner.back.cell, map->cells + 2);
    EXPECT_FLOAT_EQ(inner.sphere.centre.x, 50.0f);
    EXPECT_FLOAT_EQ(inner.sphere.radius, 150.0f);
    EXPECT_FLOAT_EQ(map->cells[2].sphere.centre.y, -50.0f);

    EXPECT_EQ(map->cells[2].first_polygon, 6);
    EXPECT_EQ(map->cells[2].polygon_count, 1);
    EXPECT_EQ(map->cells[2].third_value, 7);
    EXPECT_EQ(map->cells[1].visible, 1u);
    EXPECT_EQ(map->cells[1].pvs, nullptr);

    ASSERT_EQ(map->models.count(), 1);
    EXPECT_EQ(map->models.entity(0).radius, 4.0f) << "max(|a|, |b|) of the model's box";
    EXPECT_EQ(map->models.entity(0).entity_type(), 2);
    EXPECT_EQ(map->model_count, 1);
}

struct BadFileCase {
    const char* name;
    const char* file; // "rplanes.txt" or "rtrees.txt"
    std::string text;
    const char* message;
};

class BadMapFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadMapFile, FailsTheLoadWithItsMessage)
{
    const BadFileCase& c = GetParam();
    WorldFiles files;
    files.write_small_map("maps/bad");
    files.write(std::string("maps/bad/") + c.file, c.text);
    EXPECT_EQ(files.load("maps/bad"), nullptr);
    EXPECT_TRUE(files.capture.contains(c.message)) << (files.capture.lines().empty() ? "" : files.capture.lines().back().text);
    EXPECT_FALSE(files.capture.contains("pvs.bin")) << "the load stops at the bad file";
}

const std::string R = SMALL_RPLANES;
const std::string T = SMALL_RTREES;
const std::string NODE0 = "0 0x0 0x1 0x80000000\n";
const std::string NODE1 = "1 0x0 0x80000001 0x80000002\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, BadMapFile,
    ::testing::Values(
        BadFileCase{"CommentBeforePlanesHeader", "rplanes.txt", "# made by hand\n" + R,
                    "KLoad: Unknown rplanes.txt file format"},
        BadFileCase{"OldPlanesVersion", "rplanes.txt", replaced(R, "version005", "version004"),
                    "KLoad: Unknown rplanes.txt file format"},
        BadFileCase{"EmptyPlanes", "rplanes.txt", "", "KLoad: Unknown rplanes.txt file format"},
        BadFileCase{"ShortPlanes", "rplanes.txt", replaced(R, "0 1 0 0\n", ""),
                    "KLoad: Unexpected end of rplanes.txt after line 5"},
        BadFileCase{"PlanesCutAfterModelCount", "rplanes.txt", "textualRPlanes,version005\n1\n",
                    "KLoad: Unexpected end of rplanes.txt after line 2"},
        BadFileCase{"NanPlane", "rplanes.txt", replaced(R, "0 1 0 0", "0 nan 0 0"),
                    "KLoad: Error in line 6 of rplanes.txt"},
        BadFileCase{"InfinitePlane", "rplanes.txt", replaced(R, "0 1 0 0", "0 1 0 1e39"),
                    "KLoad: Error in line 6 of rplanes.txt"},
        BadFileCase{"PlaneWithTooFewNumbers", "rplanes.txt", replaced(R, "0 1 0 0", "0 1 0"),
                    "KLoad: Error in line 6 of rplanes.txt"},
        BadFileCase{"NegativePlaneCount", "rplanes.txt", replaced(R, "\n2\n", "\n-1\n"),
                    "KLoad: Bad plane count -1 in rplanes.txt"},
        BadFileCase{"HugePlaneCount", "rplanes.txt", replaced(R, "\n2\n", "\n2000000000\n"),
                    "KLoad: Bad plane count 2000000000 in rplanes.txt"},
        BadFileCase{"NegativeModelCount", "rplanes.txt", replaced(R, "\n1\n", "\n-3\n"),
                    "KLoad: Bad model count -3 in rplanes.txt"},
        BadFileCase{"CommentBeforeTreesHeader", "rtrees.txt", "#\n" + T, "KLoad: Unknown rtrees.txt file format"},
        BadFileCase{"OtherModelCount", "rtrees.txt", replaced(T, "\n1\n", "\n2\n"),
                    "KLoad: Different number of models in rtrees.txt"},
        BadFileCase{"CellPastTheCount", "rtrees.txt", replaced(T, NODE1, "1 0x0 0x80000003 0x80000002\n"),
                    "KLoad: Invalid cell used in node 1"},
        BadFileCase{"NodePastTheCount", "rtrees.txt", replaced(T, NODE0, "0 0x0 0x2 0x80000000\n"),
                    "KLoad: Invalid child node used in node 0"},
        BadFileCase{"PlanePastTheOpposites", "rtrees.txt", replaced(T, NODE1, "4 0x0 0x80000001 0x80000002\n"),
                    "KLoad: Invalid plane used in node 1"},
        BadFileCase{"NegativePlane", "rtrees.txt", replaced(T, NODE0, "-1 0x0 0x1 0x80000000\n"),
                    "KLoad: Invalid plane used in node 0"},
        BadFileCase{"CycleThroughTheRoot", "rtrees.txt", replaced(T, NODE1, "1 0x0 0x0 0x80000002\n"),
                    "KLoad: Node 1 makes a cycle through the root in rtrees.txt"},
        BadFileCase{"NodeIsItsOwnChild", "rtrees.txt", replaced(T, NODE1, "1 0x0 0x1 0x80000002\n"),
                    "KLoad: Node 1 used twice in rtrees.txt"},
        BadFileCase{"CellUsedTwice", "rtrees.txt", replaced(T, NODE1, "1 0x0 0x80000000 0x80000002\n"),
                    "KLoad: Cell 0 used twice in rtrees.txt"},
        BadFileCase{"CellNeverUsed", "rtrees.txt", replaced(replaced(T, "\n3\n", "\n4\n"), "6 1 7\n", "6 1 7\n0 0 0\n"),
                    "KLoad: Cell 3 not used in rtrees.txt"},
        BadFileCase{"LoopAwayFromTheRoot", "rtrees.txt",
                    replaced(replaced(replaced(T, "\n2\n3\n", "\n3\n4\n"), "6 1 7\n", "6 1 7\n0 0 0\n"),
                             "0 0 -100 100 100 100\n0 -100 -100 100 0 100\n",
                             "0 0 -100 100 100 100\n0 -100 -100 100 0 100\n"
                             "0 0x0 0x2 0x80000003\n0 0 0\n0 0 0\n0 0 0 1 1 1\n0 0 0 1 1 1\n"),
                    "KLoad: Node 2 not reached from the root in rtrees.txt"},
        BadFileCase{"ShortTrees", "rtrees.txt", replaced(T, "0 -100 -100 100 0 100\n", ""),
                    "KLoad: Unexpected end of rtrees.txt after line 19"},
        BadFileCase{"TreesCutInTheCells", "rtrees.txt", replaced(T, "4 2 0\n6 1 7\n", ""),
                    "KLoad: Error in line 8 of rtrees.txt"},
        BadFileCase{"NanInChildBox", "rtrees.txt", replaced(T, "0 0 -100 100 100 100", "0 0 -100 100 NAN 100"),
                    "KLoad: Error in line 19 of rtrees.txt"},
        BadFileCase{"ChildWithoutHexPrefix", "rtrees.txt", replaced(T, NODE0, "0 0x0 1 0x80000000\n"),
                    "KLoad: Error in line 10 of rtrees.txt"},
        BadFileCase{"ChildBeyond32Bits", "rtrees.txt", replaced(T, NODE0, "0 0x0 0x100000001 0x80000000\n"),
                    "KLoad: Error in line 10 of rtrees.txt"},
        BadFileCase{"NegativePolygonRange", "rtrees.txt", replaced(T, "\n0 4 0\n", "\n-1 4 0\n"),
                    "KLoad: Invalid polygon range in cell 0"},
        BadFileCase{"NoCells", "rtrees.txt", replaced(T, "\n2\n3\n", "\n2\n0\n"), "KLoad: Bad cell count 0 in rtrees.txt"},
        BadFileCase{"NoNodes", "rtrees.txt", replaced(T, "\n2\n3\n", "\n0\n3\n"), "KLoad: Bad node count 0 in rtrees.txt"},
        BadFileCase{"HugeNodeCount", "rtrees.txt", replaced(T, "\n2\n3\n", "\n99999999\n3\n"),
                    "KLoad: Bad node count 99999999 in rtrees.txt"},
        BadFileCase{"OverlongLine", "rtrees.txt", replaced(T, "0 0\n", "0 0" + std::string(1100, ' ') + "\n"),
                    "KLoad: Line 5 of rtrees.txt is too long"},
        BadFileCase{"TooDeep", "rtrees.txt", chain_rtrees(MAP_TREE_DEPTH_MAX + 1), "deeper than 1024 nodes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SharedMapLoad, IdentifiersTieTheFilesTogether)
{
    WorldFiles files;
    files.write("maps/a/rplanes.txt", replaced(SMALL_RPLANES, "version005", "version005,0x1a2b"));
    files.write("maps/a/rtrees.txt", replaced(SMALL_RTREES, "version005", "version005,0x1a2c"));
    EXPECT_EQ(files.load("maps/a"), nullptr);
    EXPECT_TRUE(files.capture.contains("KLoad: Bad magic in rtrees.txt"));

    files.write("maps/a/rtrees.txt", replaced(SMALL_RTREES, "version005", "version005,0x1a2b"));
    EXPECT_NE(files.load("maps/a"), nullptr);
    EXPECT_EQ(files.identifier, 0x1A2Bu) << "the first file with an identifier fixes the load's";
    EXPECT_EQ(files.load("maps/a", 0x99), nullptr) << "the client's word from the server must agree";
}

TEST(SharedMapLoad, DeepTreeWithinTheLimitLoadsAndLinks)
{
    WorldFiles files;
    files.write("maps/deep/rplanes.txt", SMALL_RPLANES);
    files.write("maps/deep/rtrees.txt", chain_rtrees(MAP_TREE_DEPTH_MAX));
    const auto map = files.load("maps/deep");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(find_leaf(*map, Vector{1, 0, 0}), map->cells + MAP_TREE_DEPTH_MAX);
    unpack_pvs(*map, nullptr);
}

TEST(SharedMapLoad, DirectoryNameLimits)
{
    WorldFiles files;
    EXPECT_EQ(files.load(std::string(MAP_DIRECTORY_MAX + 1, 'm')), nullptr);
    EXPECT_TRUE(files.capture.contains("KLoad: BSP directory name too long"));
    files.capture.clear();
    EXPECT_EQ(files.load("maps/missing"), nullptr);
    EXPECT_TRUE(files.capture.contains("KLoad: Can't open maps/missing/rplanes.txt"));
}

TEST(SharedMapShare, ServerAndClientShareOneObjectAndEachSideHoldsOnce)
{
    WorldFiles files;
    files.write_small_map("maps/0123456789AX");
    ShareManager share;
    ASSERT_EQ(share.register_type(MAP_SHARE_ID, SharedMap::create), 1);
    ASSERT_EQ(share.register_type(MAP_SHARE_ID, SharedMap::create), 1) << "both sides register; harmless";
    uint32_t server_id = 0;
    uint32_t client_id = 0;

    auto* const server = static_cast<SharedMap*>(share.acquire(MAP_SHARE_ID, "maps/0123456789AX", 1, &server_id));
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->holders, MAP_HELD_BY_SERVER);
    EXPECT_EQ(std::string(server->name, MAP_NAME_SIZE), "maps/0123456789A") << "16 characters, no terminator";

    // No file is read for the client: the object is shared as it stands,
    // and names agreeing in their first 16 characters are the same map.
    files.remove("maps/0123456789AX/rtrees.txt");
    client_id = 0x55;
    auto* const client = static_cast<SharedMap*>(share.acquire(MAP_SHARE_ID, "maps/0123456789AY", 0, &client_id));
    EXPECT_EQ(client, server);
    EXPECT_EQ(server->refcount, 2);
    EXPECT_EQ(server->holders, MAP_HELD_BY_SERVER | MAP_HELD_BY_CLIENT);

    files.write_small_map("maps/0123456789AX");
    auto* const second = static_cast<SharedMap*>(share.acquire(MAP_SHARE_ID, "maps/0123456789AX", 0, &client_id));
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, server) << "a side never shares with itself";
    EXPECT_EQ(second->refcount, 1);

    EXPECT_EQ(share.acquire(MAP_SHARE_ID, "maps/none", 1, &server_id), nullptr);
    share.release(second);
    share.release(client);
    share.release(server);
}

TEST(SharedMapShare, MatchTakesTypeNameAndHolderOnly)
{
    WorldFiles files;
    files.write_small_map("maps/m");
    const auto map = files.load("maps/m", 0, 0);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(match_with(*map, share_type_id("VolT"), "maps/m", 1), 0);
    EXPECT_EQ(match_with(*map, MAP_SHARE_ID, static_cast<const char*>(nullptr), 1), 0);
    EXPECT_EQ(match_with(*map, MAP_SHARE_ID, "maps/M", 1), 0) << "names compare with case";
    EXPECT_EQ(match_with(*map, MAP_SHARE_ID, "maps/m", 0), 0) << "the client holds it already";
    EXPECT_EQ(map->holders, MAP_HELD_BY_CLIENT);
    EXPECT_EQ(match_with(*map, MAP_SHARE_ID, "maps/m", 7), 1);
    EXPECT_EQ(map->holders, MAP_HELD_BY_CLIENT | MAP_HELD_BY_SERVER);
    EXPECT_EQ(match_with(*map, MAP_SHARE_ID, "maps/m", 1), 0);

    map->free_world();
    EXPECT_EQ(map->holders, 0u);
    EXPECT_EQ(map->name[0], '\0');
    EXPECT_EQ(map->cells, nullptr);
    EXPECT_EQ(map->models.count(), 0);
}
