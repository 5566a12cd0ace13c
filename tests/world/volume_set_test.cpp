#include "core/share_manager.h"
#include "world/tree_cast.h"
#include "world/volume_set.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One model, one tree of hull (1, 0, 0) split at x = 0: air behind, solid in
// front with triggers 3 and 5.
const std::string V = "# written by hand\n"
                      "textualVolume,version001\n"
                      "1\n"
                      "1\n"
                      "2\n"
                      "2\n"
                      "1\n"
                      "1 0 0\n"
                      "1 0\n"
                      "8576 2 3 5\n"
                      "# node\n"
                      "1 0 0 0 0x80000001 0x80000000\n"
                      "-16 -16 -16 16 16 16\n"
                      "0\n";

// Reads the text as "volume.txt" through the engine's file system.
struct VolumeFile {
    WorldFiles files;
    VolumeSet set;
    uint32_t identifier = 0;

    int read(const std::string& text)
    {
        files.write("volume.txt", text);
        FileStream* const stream = fsys->open("volume.txt", FSYS_TEXT);
        EXPECT_NE(stream, nullptr);
        const int result = read_volume(set, stream, &identifier);
        stream->close();
        return result;
    }
};

// A chain of `depth` nodes on x = 0, each with leaf j behind it.
std::string chain_volume(int depth)
{
    std::string text = "textualVolume,version001\n1\n1\n0\n" + std::to_string(depth + 1) + "\n" +
                       std::to_string(depth) + "\n0 0 0\n";
    for (int c = 0; c <= depth; ++c) {
        text += "1 0\n";
    }
    for (int j = 0; j < depth; ++j) {
        char line[64];
        const uint32_t front = j + 1 < depth ? static_cast<uint32_t>(j + 1) : 0x80000000u | static_cast<uint32_t>(depth);
        std::snprintf(line, sizeof line, "1 0 0 0 0x%x 0x%x\n", front, 0x80000000u | static_cast<uint32_t>(j));
        text += line;
    }
    return text + "0 0 0 1 1 1\n0\n";
}

} // namespace

TEST(VolumeRead, SmallFileGivesTreeLeavesTriggersAndTwiceWidenedBox)
{
    VolumeFile f;
    f.identifier = 0x77;
    ASSERT_EQ(f.read(V), 1);
    const VolumeSet& s = f.set;
    EXPECT_EQ(f.identifier, 0x77u) << "a header without an identifier leaves the map's";
    EXPECT_EQ(s.trees, 1);
    EXPECT_EQ(s.models, 1);
    EXPECT_EQ(s.node_count, 1);
    EXPECT_EQ(s.leaf_count, 2);
    const VolumeTree& t = s.tree(0, 0);
    ASSERT_EQ(t.root, s.elements);
    EXPECT_EQ(t.root->back, s.elements + 1) << "0x80000000 names leaf 0, just after the last node";
    EXPECT_EQ(t.root->back->trigger_count, 0);
    EXPECT_EQ(t.root->front->trigger_count, 2);
    EXPECT_EQ(t.root->front->triggers[1], 5);
    EXPECT_EQ(s.trigger_count(), 6);
    // Hull (1, 0, 0) twice on each side of -16..16 on x.
    EXPECT_EQ(t.box_min.x, -18.0f);
    EXPECT_EQ(t.box_max.x, 18.0f);
    EXPECT_EQ(t.box_min.y, -16.0f);
    EXPECT_EQ(tree_point_contents(t, Vector{1, 0, 0}), 8576);
    EXPECT_EQ(tree_point_contents(t, Vector{0, 0, 0}), 1) << "on the plane is behind it";
    EXPECT_EQ(tree_point_contents(t, Vector{17.5f, 0, 0}), 8576);
    EXPECT_EQ(tree_point_contents(t, Vector{18.5f, 0, 0}), 1) << "outside the box";
}

TEST(VolumeRead, IdentifierEmptyTreesAndSharedLeaves)
{
    VolumeFile f;
    // With an identifier the map takes it; a root of -1 is an empty tree; a
    // leaf root and a leaf that two trees share are fine.
    const std::string two_trees = "textualVolume,version001,0x5a\n2\n1\n0\n1\n0\n0 0 0\n4 4 4\n77 0\n"
                                  "0 0 0 1 1 1\n-1\n0\n";
    ASSERT_EQ(f.read(two_trees), 1);
    EXPECT_EQ(f.identifier, 0x5au);
    EXPECT_EQ(f.set.tree(0, 0).root, nullptr);
    EXPECT_EQ(tree_point_contents(f.set.tree(0, 0), Vector{0.5f, 0.5f, 0.5f}), 1);
    TreeHit hit;
    EXPECT_EQ(tree_cast_segment(f.set.tree(0, 0), hit, Vector{0, 0, 0}, Vector{1, 1, 1}, 1.0f, 0), 0);
    EXPECT_EQ(tree_point_contents(f.set.tree(0, 1), Vector{0.5f, 0.5f, 0.5f}), 77);
    EXPECT_EQ(f.set.trigger_count(), 0);
    EXPECT_EQ(f.set.nearest_tree(Vector{3, 3, 3}), 1);
    EXPECT_EQ(f.set.nearest_tree(Vector{2, 2, 2}), 0) << "a tie picks the first tree";

    VolumeFile other;
    other.identifier = 0x5b;
    EXPECT_EQ(other.read(two_trees), 0);
    EXPECT_TRUE(other.files.capture.contains("KLoad: Bad magic in volume.txt"));
}

struct BadVolumeCase {
    const char* name;
    std::string text;
    const char* message;
};

class BadVolumeFile : public ::testing::TestWithParam<BadVolumeCase> {};

TEST_P(BadVolumeFile, IsRefusedWithItsMessageAndLeavesNothing)
{
    const BadVolumeCase& c = GetParam();
    VolumeFile f;
    EXPECT_EQ(f.read(c.text), 0);
    EXPECT_TRUE(f.files.capture.contains(c.message))
        << (f.files.capture.lines().empty() ? "" : f.files.capture.lines().back().text);
    EXPECT_EQ(f.set.elements, nullptr);
    EXPECT_EQ(f.set.records, nullptr);
    EXPECT_EQ(f.set.trees, 0);
}

const std::string NODE = "1 0 0 0 0x80000001 0x80000000\n";
const std::string ROOT = "-16 -16 -16 16 16 16\n0\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, BadVolumeFile,
    ::testing::Values(
        BadVolumeCase{"OtherVersion", replaced(V, "version001", "version002"), "KLoad: Unknown volume.txt version"},
        BadVolumeCase{"Empty", "", "KLoad: Unknown volume.txt version"},
        BadVolumeCase{"NoTrees", replaced(V, "version001\n1\n", "version001\n0\n"), "Bad tree count 0"},
        BadVolumeCase{"NegativeLeaves", replaced(V, "\n2\n2\n1\n", "\n2\n-2\n1\n"), "Bad leaf count -2"},
        BadVolumeCase{"HugeNodes", replaced(V, "\n2\n2\n1\n", "\n2\n2\n2000000000\n"), "Bad node count 2000000000"},
        BadVolumeCase{"HugePool", replaced(V, "\n2\n2\n1\n", "\n999999999\n2\n1\n"),
                      "Bad trigger list count 999999999"},
        BadVolumeCase{"PoolOverfilled", replaced(V, "\n2\n2\n1\n", "\n1\n2\n1\n"),
                      "Leaf 1 of volume.txt overfills the trigger lists"},
        BadVolumeCase{"NegativeTriggerCount", replaced(V, "8576 2 3 5", "8576 -1"), "overfills the trigger lists"},
        BadVolumeCase{"NegativeTriggerNumber", replaced(V, "8576 2 3 5", "8576 2 3 -5"), "Bad trigger number -5"},
        BadVolumeCase{"HugeTriggerNumber", replaced(V, "8576 2 3 5", "8576 2 3 268435457"),
                      "Bad trigger number 268435457"},
        BadVolumeCase{"LeafPastTheCount", replaced(V, NODE, "1 0 0 0 0x80000002 0x80000000\n"),
                      "Invalid child used in node 0"},
        BadVolumeCase{"NodePastTheCount", replaced(V, NODE, "1 0 0 0 0x1 0x80000000\n"), "Invalid child used in node 0"},
        BadVolumeCase{"NodeIsItsOwnChild", replaced(V, NODE, "1 0 0 0 0x0 0x80000000\n"),
                      "deeper than 1024 nodes or cyclic"},
        BadVolumeCase{"RootPastTheElements", replaced(V, ROOT, "-16 -16 -16 16 16 16\n3\n"), "Invalid root 3 of model 0"},
        BadVolumeCase{"NanPlane", replaced(V, NODE, "nan 0 0 0 0x80000001 0x80000000\n"), "Error in line 12 of volume.txt"},
        BadVolumeCase{"ShortFile", replaced(V, ROOT, "-16 -16 -16 16 16 16\n"), "Unexpected end of volume.txt"},
        BadVolumeCase{"TooDeep", chain_volume(VOLUME_TREE_DEPTH_MAX + 1), "deeper than 1024 nodes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VolumeRead, TwoParentsOfOneNodeAreRefused)
{
    VolumeFile f;
    const std::string shared = "textualVolume,version001\n1\n1\n0\n1\n3\n0 0 0\n1 0\n"
                               "1 0 0 0 0x1 0x2\n0 1 0 0 0x80000000 0x80000000\n0 0 1 0 0x1 0x80000000\n"
                               "0 0 0 1 1 1\n0\n";
    EXPECT_EQ(f.read(shared), 0);
    EXPECT_TRUE(f.files.capture.contains("Node 1 used twice in volume.txt"));
    EXPECT_EQ(f.read(chain_volume(VOLUME_TREE_DEPTH_MAX)), 1) << "the deepest tree allowed";
}

TEST(VolumeBox, SixPlanesEightElementsWidenedOnceWithTheBoxTrigger)
{
    VolumeSet set;
    const Vector hulls[2] = {{0, 0, 0}, {1, 2, 3}};
    ASSERT_EQ(set.build_box(2, 0x2150, Vector{-4, -4, 0}, Vector{4, 4, 8}, hulls), 1);
    EXPECT_EQ(set.models, 1);
    EXPECT_EQ(set.trees, 2);
    const VolumeTree& t = set.tree(0, 1);
    EXPECT_EQ(t.box_min.x, -5.0f);
    EXPECT_EQ(t.box_min.z, -3.0f);
    EXPECT_EQ(t.box_max.y, 6.0f);
    EXPECT_EQ(t.box_max.z, 11.0f);
    const VolumeElement* e = t.root;
    for (int k = 0; k < 6; ++k) {
        ASSERT_FALSE(e->is_leaf());
        EXPECT_EQ(e->front->contents, 1) << "in front of any plane is outside";
        e = e->back;
    }
    ASSERT_TRUE(e->is_leaf());
    EXPECT_EQ(e->contents, 0x2150);
    ASSERT_EQ(e->trigger_count, 1);
    EXPECT_EQ(e->triggers[0], VOLUME_BOX_TRIGGER);
    EXPECT_EQ(set.trigger_count(), 0) << "the box trigger names no map trigger";
    struct Case {
        Vector p;
        int32_t contents;
    };
    for (const Case& c : {Case{{0, 0, 4}, 0x2150}, Case{{5, 6, 11}, 0x2150}, Case{{5.01f, 0, 4}, 1},
                          Case{{0, -6.01f, 4}, 1}, Case{{0, 0, 11.01f}, 1}}) {
        EXPECT_EQ(tree_point_contents(t, c.p), c.contents) << c.p.x << " " << c.p.y << " " << c.p.z;
    }
    EXPECT_EQ(tree_point_contents(set.tree(0, 0), Vector{4.5f, 0, 4}), 1);
}

TEST(VolumeShare, OneSetAFileNameWholeAndANewSetForEveryBox)
{
    WorldFiles files;
    files.write("maps/a/volume.txt", V);
    files.write("maps/b/volume.txt", V);
    ShareManager share;
    ASSERT_EQ(share.register_type(VOLUME_SHARE_ID, VolumeSet::create), 1);
    uint32_t id = 0;
    auto* const a = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, "maps/a/volume.txt", &id));
    ASSERT_NE(a, nullptr);
    files.remove("maps/a/volume.txt");
    EXPECT_EQ(share.acquire(VOLUME_SHARE_ID, "maps/a/volume.txt", &id), a) << "shared, not read again";
    EXPECT_EQ(a->refcount, 2);
    auto* const b = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, "maps/b/volume.txt", &id));
    EXPECT_NE(b, a);
    EXPECT_EQ(share.acquire(VOLUME_SHARE_ID, "maps/none/volume.txt", &id), nullptr);

    // Names that agree in a long beginning are still two files.
    const std::string long_a = "maps/a_long_map_name_of_forty_characters_/volume.txt";
    const std::string long_b = "maps/a_long_map_name_of_forty_characters_X/volume.txt";
    files.write(long_a, V);
    files.write(long_b, replaced(V, "8576 2 3 5", "8577 0"));
    auto* const la = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, long_a.c_str(), &id));
    auto* const lb = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, long_b.c_str(), &id));
    ASSERT_NE(la, nullptr);
    ASSERT_NE(lb, nullptr);
    EXPECT_NE(la, lb);
    EXPECT_EQ(lb->tree(0, 0).root->front->contents, 8577);

    const Vector lo = {0, 0, 0};
    const Vector hi = {1, 1, 1};
    auto* const box1 = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, nullptr, &lo, &hi, a->hulls, 1, 0x2100));
    auto* const box2 = static_cast<VolumeSet*>(share.acquire(VOLUME_SHARE_ID, nullptr, &lo, &hi, a->hulls, 1, 0x2100));
    ASSERT_NE(box1, nullptr);
    EXPECT_NE(box1, box2) << "a box request never matches";
    EXPECT_EQ(box1->name[0], '\0');
    EXPECT_EQ(share.acquire(VOLUME_SHARE_ID, "", &id), nullptr) << "an empty name is no box set";
    for (VolumeSet* s : {a, a, b, la, lb, box1, box2}) {
        share.release(s);
    }
}

TEST(VolumeGenerated, HallHasFloorStairsPillarsWaterAndTriggersInEveryHull)
{
    const mapgen::MapFiles map = generated_map("physics_hall");
    const mapgen::MapFile* const file = map.find("volume.txt");
    ASSERT_NE(file, nullptr);
    VolumeFile f;
    ASSERT_EQ(f.read(std::string(file->bytes.begin(), file->bytes.end())), 1);
    const VolumeSet& s = f.set;
    EXPECT_EQ(f.identifier, 0x5048u);
    ASSERT_EQ(s.trees, 3);
    EXPECT_EQ(s.trigger_count(), 3);
    struct Case {
        const char* what;
        int tree;
        Vector p;
        int32_t contents;
    };
    const Case cases[] = {
        {"mid air", 0, {800, 800, 100}, 1},
        {"just above the floor", 0, {800, 800, 0.01f}, 1},
        {"the floor", 0, {800, 800, -0.01f}, 0x2180},
        {"the floor of the big hull", 2, {800, 800, 27.99f}, 0x2180},
        {"above it", 2, {800, 800, 28.01f}, 1},
        {"first step", 0, {80, 600, 7.9f}, 0x2180},
        {"above the first step", 0, {80, 600, 8.1f}, 1},
        {"second step for the small hull", 1, {112, 600, 23.9f}, 0x2180},
        {"landing", 0, {250, 600, 31.9f}, 0x2180},
        {"pillar", 0, {460, 460, 200}, 0x2180},
        {"beside a pillar, small hull", 1, {485, 460, 50}, 0x2180},
        {"beside a pillar, point", 0, {485, 460, 50}, 1},
        {"water", 0, {700, 200, 20}, 60},
        {"wall between the rooms", 0, {1024, 450, 50}, 0x2180},
        {"doorway", 2, {1024, 256, 60}, 1},
        {"door lintel for the big hull", 2, {1024, 256, 140}, 0x2180},
        {"outside the world", 0, {-100, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tree_point_contents(s.tree(0, c.tree), c.p), c.contents) << c.what;
    }
    const VolumeElement* const door = tree_leaf_at(s.tree(0, 0), Vector{1000, 256, 50});
    ASSERT_NE(door, nullptr);
    ASSERT_EQ(door->trigger_count, 1);
    EXPECT_EQ(door->triggers[0], 1);
    const VolumeElement* const side = tree_leaf_at(s.tree(0, 0), Vector{1050, 256, 50});
    ASSERT_EQ(side->trigger_count, 2);
    EXPECT_EQ(side->triggers[0], 1);
    EXPECT_EQ(side->triggers[1], 2);
}
