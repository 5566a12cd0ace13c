#include "world/entity_link.h"
#include "world_entity.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// The link rule applied to every cell on its own: the sphere touches each
// half-space on the cell's path from the root.
class LinkOracle {
public:
    explicit LinkOracle(const SharedMap& map) : paths_(static_cast<size_t>(map.cell_count))
    {
        std::vector<std::pair<const BspNode*, std::vector<Step>>> pending{{map.nodes, {}}};
        while (!pending.empty()) {
            auto [node, path] = pending.back();
            pending.pop_back();
            for (const bool front : {true, false}) {
                std::vector<Step> p = path;
                p.push_back({node->plane, front});
                const bool is_node = (node->flags & (front ? BSP_FRONT_NODE : BSP_BACK_NODE)) != 0;
                const BspChild child = front ? node->front : node->back;
                if (is_node) {
                    pending.push_back({child.node, p});
                } else {
                    paths_[static_cast<size_t>(child.cell - map.cells)] = p;
                }
            }
        }
    }

    std::set<int> cells(const Vector& centre, float radius) const
    {
        const float r = link_radius(radius);
        std::set<int> out;
        for (size_t c = 0; c < paths_.size(); ++c) {
            bool touches = true;
            for (const Step& s : paths_[c]) {
                const float d = plane_distance(*s.plane, centre);
                touches = touches && (s.front ? !std::signbit(d + r) : std::signbit(d - r));
            }
            if (touches) {
                out.insert(static_cast<int>(c));
            }
        }
        return out;
    }

private:
    struct Step {
        const Plane* plane;
        bool front;
    };
    std::vector<std::vector<Step>> paths_;
};

int used_links(SharedMap& map)
{
    int n = 0;
    for (int32_t i = map.link_list.first(); i >= 0; i = map.link_list.next()) {
        ++n;
    }
    return n;
}

void expect_linked_as_oracle(const SharedMap& map, const LinkOracle& oracle, const TestEntity& e, int step)
{
    const std::set<int> expected = oracle.cells(e.position, e.radius);
    EXPECT_EQ(cells_holding(map, e), expected) << "step " << step;
    EXPECT_EQ(e.linked_leaves, static_cast<int>(expected.size())) << "step " << step;
    EXPECT_EQ(e.centre_lists, find_leaf(map, e.position)->lists) << "step " << step;
}

struct SignCase {
    const char* name;
    Vector centre;
    float radius;
    std::set<int> cells;
};

} // namespace

// The small map with the plane x = 0 written with an offset of -0, so that
// the distance of (-0, -5, -5) is exactly -0.0.
class SignBitLinking : public ::testing::TestWithParam<SignCase> {};

TEST_P(SignBitLinking, DecidesSidesByTheSignBit)
{
    const SignCase& c = GetParam();
    WorldFiles files;
    files.write("maps/s/rplanes.txt", replaced(SMALL_RPLANES, "1 0 0 0\n", "1 0 0 -0\n"));
    files.write("maps/s/rtrees.txt", SMALL_RTREES);
    const auto map = files.load("maps/s");
    ASSERT_NE(map, nullptr);
    TestEntity e;
    e.position = c.centre;
    e.radius = c.radius;
    link_entity(*map, e);
    EXPECT_EQ(cells_holding(*map, e), c.cells);
    EXPECT_EQ(cells_holding(*map, e), LinkOracle(*map).cells(c.centre, c.radius));
    EXPECT_EQ(e.linked_leaves, static_cast<int>(c.cells.size()));
    unlink_entity(*map, e);
    EXPECT_EQ(e.linked_leaves, 0);
    EXPECT_EQ(e.centre_lists, nullptr);
    EXPECT_EQ(used_links(*map), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignBitLinking,
    ::testing::Values(
        SignCase{"DistanceMinusRadiusPlusZeroIsFrontOnly", {1, 50, 0}, 1, {1}},
        SignCase{"PointOnPlaneAtPlusZeroIsFrontOnly", {0, 5, 5}, 0, {1}},
        SignCase{"PointAtMinusZeroTouchesBothSides", {-0.0f, -5, -5}, 0, {0, 2}},
        SignCase{"MinusZeroRadiusLinksAsAPoint", {-0.0f, -5, -5}, -0.0f, {0, 2}},
        SignCase{"NegativeRadiusLinksAsAPoint", {-0.0f, -5, -5}, -3, {0, 2}},
        SignCase{"NanRadiusLinksAsAPoint", {-10, 5, 5}, std::nanf(""), {0}},
        SignCase{"SphereOverBothPlanes", {1, 1, 0}, 5, {0, 1, 2}},
        SignCase{"SphereInOneCell", {-10, 0, 0}, 3, {0}},
        SignCase{"JustShortOfThePlane", {-1, 3, 0}, 0.999f, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntityLinking, UnchangedSphereKeepsItsLinksButFindsItsCentreAgain)
{
    WorldFiles files;
    files.write_small_map("maps/s");
    const auto map = files.load("maps/s");
    ASSERT_NE(map, nullptr);
    TestEntity e;
    e.place(2, 2, 0, 3);
    link_entity(*map, e);
    const EntityLink* const head = map->cells[1].lists[6];
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(e.centre_lists, map->cells[1].lists);
    e.centre_lists = nullptr;
    link_entity(*map, e);
    EXPECT_EQ(map->cells[1].lists[6], head) << "no relink for a move of zero";
    EXPECT_EQ(e.centre_lists, map->cells[1].lists);
    EXPECT_EQ(used_links(*map), 3);

    // link_new_entity leaves a linked entity's links alone.
    e.place(-50, 0, 0, 1);
    link_new_entity(*map, e);
    EXPECT_EQ(cells_holding(*map, e), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(e.centre_lists, map->cells[0].lists);
    link_entity(*map, e);
    EXPECT_EQ(cells_holding(*map, e), std::set<int>{0});
    EXPECT_EQ(used_links(*map), 1);

    unlink_entity(*map, e);
    unlink_entity(*map, e);
    EXPECT_EQ(e.centre_lists, nullptr);
    TestEntity never;
    never.centre_lists = map->cells[0].lists;
    unlink_entity(*map, never);
    EXPECT_EQ(never.centre_lists, nullptr);
}

TEST(EntityLinking, RandomMovesAndResizesMatchTheOracle)
{
    WorldFiles files;
    files.write_map("maps/grid", generated_map("grid4x4"));
    const auto map = files.load("maps/grid", 0x4a4a);
    ASSERT_NE(map, nullptr);
    const LinkOracle oracle(*map);
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> coord(-100.0f, 1124.0f);
    std::uniform_int_distribution<int> grid(-1, 5);
    std::uniform_int_distribution<int> pick(0, 99);

    std::vector<std::unique_ptr<TestEntity>> entities;
    for (int i = 0; i < 24; ++i) {
        entities.push_back(std::make_unique<TestEntity>(i % L_ENTITY_TYPES));
    }
    for (int step = 0; step < 4000; ++step) {
        TestEntity& e = *entities[static_cast<size_t>(pick(random)) % entities.size()];
        const int action = pick(random);
        if (action < 5) {
            unlink_entity(*map, e);
            EXPECT_EQ(cells_holding(*map, e), std::set<int>{});
            continue;
        }
        if (action < 35) {
            // Corners and walls exactly, where a box test would be wrong.
            e.position = Vector{grid(random) * 256.0f, grid(random) * 256.0f, pick(random) < 50 ? 0.0f : 128.0f};
        } else if (action < 75) {
            e.position = Vector{coord(random), coord(random), coord(random) / 8};
        } else {
            e.position.x += coord(random) / 64;
            e.position.y -= coord(random) / 64;
        }
        if (pick(random) < 40) {
            e.radius = pick(random) < 10 ? 0.0f : static_cast<float>(pick(random)) * 3.0f;
        }
        if (action < 10 && e.linked_leaves != 0) {
            const std::set<int> before = cells_holding(*map, e);
            link_new_entity(*map, e);
            EXPECT_EQ(cells_holding(*map, e), before) << "step " << step << ": a linked entity keeps its links";
            EXPECT_EQ(e.centre_lists, find_leaf(*map, e.position)->lists);
        } else {
            if (action < 10) {
                link_new_entity(*map, e);
            } else {
                link_entity(*map, e);
            }
            expect_linked_as_oracle(*map, oracle, e, step);
        }
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    int held = 0;
    for (const auto& e : entities) {
        held += e->linked_leaves;
        unlink_entity(*map, *e);
    }
    EXPECT_GT(held, 24);
    EXPECT_EQ(used_links(*map), 0);
}

TEST(EntityLinking, AnEmptyPoolRefusesLinksAndSaysSoOnce)
{
    WorldFiles files;
    files.write_small_map("maps/s");
    const auto map = files.load("maps/s");
    ASSERT_NE(map, nullptr);
    // Each entity covers all three cells: the pool runs dry in the middle of one.
    const int whole = MAP_LINKS / 3;
    std::vector<TestEntity> entities(static_cast<size_t>(whole + 3));
    for (TestEntity& e : entities) {
        e.place(0.5f, 0.5f, 0, 10);
        link_entity(*map, e);
    }
    EXPECT_EQ(used_links(*map), MAP_LINKS);
    EXPECT_EQ(files.capture.count("entity links are in use"), 1);
    EXPECT_EQ(entities[static_cast<size_t>(whole)].linked_leaves, MAP_LINKS - 3 * whole);
    EXPECT_EQ(entities.back().linked_leaves, 0);
    EXPECT_NE(entities.back().centre_lists, nullptr);

    // Moving and unlinking entities with missing links is no broken invariant.
    // Newest first, so that each one's links are near the heads of the lists.
    for (auto e = entities.rbegin(); e != entities.rend(); ++e) {
        e->place(-5, 0.5f, 0, 1);
        link_entity(*map, *e);
    }
    EXPECT_EQ(cells_holding(*map, entities.front()), std::set<int>{0});
    EXPECT_EQ(entities.back().linked_leaves, 0) << "moved while the pool was still dry";
    entities.back().place(-6, 0.5f, 0, 1);
    link_entity(*map, entities.back());
    EXPECT_EQ(cells_holding(*map, entities.back()), std::set<int>{0}) << "freed links serve again";
    for (auto e = entities.rbegin(); e != entities.rend(); ++e) {
        unlink_entity(*map, *e);
        EXPECT_EQ(e->linked_leaves, 0);
    }
    EXPECT_EQ(used_links(*map), 0);
    EXPECT_EQ(files.capture.count("entity links are in use"), 1);
}

TEST(EntityLinkingDeathTest, TypesOutsideTheListsAreBrokenInvariants)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WorldFiles files;
    files.write_small_map("maps/s");
    const auto map = files.load("maps/s");
    ASSERT_NE(map, nullptr);
    TestEntity bad(L_ENTITY_TYPES);
    EXPECT_DEATH(link_entity(*map, bad), "ent_type");
    EXPECT_DEATH(for_each_visible_entity(*map, nullptr, -1, 0), "type >= 0 && type < L_ENTITY_TYPES");
}
