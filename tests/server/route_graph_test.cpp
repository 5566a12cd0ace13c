// The route graph: reading graph.txt, targets and routes, and the search.
#include "route_fixture.h"

#include <algorithm>

namespace {

using Route = RouteFixture;

// Three nodes in a row: router 0 between areas 1 (node 1) and 2 (node 2).
GraphSpec three_in_a_row()
{
    GraphSpec g;
    g.nodes.resize(3);
    g.nodes[0].x = 0;
    g.nodes[1].x = -100;
    g.nodes[1].factor = 1;
    g.nodes[2].x = 100;
    g.nodes[2].factor = 2;
    g.join(0, 1, 5);
    g.join(0, 2, 7);
    g.factorcount = 3;
    g.routercount = 1;
    g.records = {{}, {0}, {0}, {}};
    return g;
}

TEST_F(Route, AGraphLoadsWithItsCountsAndAnEmptyOneAsOneRouterAtTheOrigin)
{
    ASSERT_EQ(load(three_in_a_row().text(0x1a2b), 0x1a2b), 1);
    EXPECT_EQ(route.node_count(), 3);
    EXPECT_EQ(route.edge_count(), 2);
    EXPECT_EQ(route.factor_count(), 3);
    EXPECT_EQ(route.router_count(), 1);
    EXPECT_FLOAT_EQ(route.node(2).position.x, 100.0f);
    EXPECT_EQ(route.edge(1).cost, 7u);

    // Comments anywhere, hexadecimal and octal integers, an edge without its cost.
    ASSERT_EQ(load("# made by hand\ntextualGraph,version004\n# counts\n1\n1\n2\n0\n1\n0\n"
                   "0 0 0\n0\n2 0x0 00\n0 0 0x55\n0\n"),
              1);
    EXPECT_EQ(route.edge(0).cost, 1u);
    EXPECT_EQ(route.edge(0).type, 0x55u);

    ASSERT_EQ(load("textualGraph,version004\n0\n0\n0\n0\n0\n0\n"), 1);
    ASSERT_EQ(route.node_count(), 1);
    EXPECT_EQ(route.router_count(), 1);
    EXPECT_EQ(route.node(0).factor, FACTOR_ROUTER);
    const int32_t a = route.create_target(ROUTE_NONE);
    const int32_t b = route.create_target(ROUTE_NONE);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const int32_t r = route.create_route(a, b);
    RouteInfo info;
    EXPECT_EQ(route.find_route(r, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0), 1);
    EXPECT_EQ(info.next, 0);
    EXPECT_EQ(info.start, 0);
    EXPECT_EQ(info.cost, 0u);
}

TEST_F(Route, GeneratedGraphsLoadWithOrWithoutDoorways)
{
    const char* const maps[] = {
        "id 0x77\nroom hall 0 0 0 512 256 128\n",
        "id 0x77\nroom a 0 0 0 256 256 128\nroom b 512 0 0 768 256 128\n",
        "id 0x77\nroom a 0 0 0 256 256 128\nroom b 256 0 0 512 256 128\ndoor a b 256 96 0 256 160 96\n",
    };
    for (const char* const text : maps) {
        mapgen::RoomModel model;
        std::string error;
        ASSERT_TRUE(mapgen::parse_room_model(text, model, error)) << error;
        EXPECT_EQ(load(mapgen::write_graph(model), 0x77), 1) << text;
    }
}

TEST_F(Route, BadFilesFailWithTheirMessageAndLeaveNoGraph)
{
    const std::string good = three_in_a_row().text();
    const auto replace = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    struct Case {
        const char* name;
        std::string text;
        uint32_t map_id;
    };
    const Case cases[] = {
        {"other map", three_in_a_row().text(0x1234), 0x4321},
        {"wrong magic", "textualGraph,version003\n0\n0\n0\n0\n0\n0\n", 0},
        {"negative count", replace("3\n2\n4\n", "-3\n2\n4\n"), 0},
        {"count with letters", replace("3\n2\n4\n", "3x\n2\n4\n"), 0},
        {"count beyond 32 bits", replace("3\n2\n4\n", "4294967299\n2\n4\n"), 0},
        {"counts beyond the file", replace("3\n2\n4\n", "3000000\n2\n4\n"), 0},
        {"edges without nodes", "textualGraph,version004\n0\n1\n0\n0\n0\n0\n0 0 0xff 1\n", 0},
        {"more links than edge ends", replace("3\n2\n4\n", "3\n2\n5\n"), 0},
        {"fewer links than counted", replace("3\n2\n4\n", "3\n2\n3\n"), 0},
        {"link to no edge", replace("\n2 0 1\n", "\n2 0 9\n"), 0},
        {"edge to no node", replace("0 2 255 7", "0 3 255 7"), 0},
        {"negative edge end", replace("0 2 255 7", "-1 2 255 7"), 0},
        {"router with an area", replace("0 0 0\n0\n", "0 0 0\n1\n"), 0},
        {"area out of range", replace("-100 0 0\n1\n", "-100 0 0\n3\n"), 0},
        {"router list names a non-router", replace("1 0\n1 0\n", "1 2\n1 0\n"), 0},
        {"router lists overrun", replace("1 0\n1 0\n", "2 0 0\n1 0\n"), 0},
        {"file ends early", good.substr(0, good.size() - 10), 0},
        {"position not a number", replace("-100 0 0", "-100 nan 0"), 0},
        {"nodes but no areas or routers", "textualGraph,version004\n1\n0\n0\n0\n0\n0\n0 0 0\n0\n0\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture.clear();
        EXPECT_EQ(load(c.text, c.map_id), 0);
        EXPECT_TRUE(capture.contains("MapRoute: Error in graph.txt"));
        EXPECT_FALSE(route.loaded());
        EXPECT_EQ(route.node_count(), 0);
    }
    capture.clear();
    EXPECT_EQ(route.load("maps/none", 0), 0);
    EXPECT_TRUE(capture.contains("MapRoute: Can't open maps/none/graph.txt"));
    EXPECT_EQ(route.load(std::string(1100, 'a').c_str(), 0), 0);
    EXPECT_TRUE(capture.contains("MapRoute: Graph directory name too long"));
}

TEST_F(Route, GridSearchesFindTheCheapestNextStep)
{
    ASSERT_EQ(load(mapgen::write_grid_graph(8, 8)), 1);
    const int32_t from = route.create_target(0);     // (0, 0)
    const int32_t to = route.create_target(7 * 8 + 7); // (7, 7)
    const int32_t r = route.create_route(from, to);
    RouteInfo info;
    ASSERT_EQ(route.find_route(r, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0), 1);
    EXPECT_EQ(info.cost, 14u);
    EXPECT_EQ(info.start, 0);
    EXPECT_EQ(info.final_node, 63);
    // Following the next nodes reaches the destination in as many steps as it costs.
    int32_t at = 0;
    int steps = 0;
    for (; at != 63 && steps < 64; ++steps) {
        const int32_t next = route.node(at).bestnode;
        ASSERT_NE(next, at);
        EXPECT_EQ(route.node(next).cost + 1, route.node(at).cost);
        at = next;
    }
    EXPECT_EQ(steps, 14);
    // A start of the caller's own.
    ASSERT_EQ(route.find_route(r, info, 62, 0xFF, ROUTE_NONE, 0), 1);
    EXPECT_EQ(info.next, 63);
    EXPECT_EQ(info.after_next, 63);
    EXPECT_EQ(info.cost, 1u);
    // Around an excluded node.
    ASSERT_EQ(route.find_route(r, info, 61, 0xFF, 62, 0), 1);
    EXPECT_EQ(info.cost, 4u);
    EXPECT_EQ(info.next, 53);
}

TEST_F(Route, UnreachableDestinationsAnswerNoNextNode)
{
    GraphSpec g = three_in_a_row();
    g.nodes.push_back({});
    g.nodes.back().x = 500;
    g.nodes.back().factor = 2;
    ASSERT_EQ(load(g.text()), 1);
    const int32_t a = route.create_target(1);
    const int32_t b = route.create_target(3);
    const int32_t r = route.create_route(a, b);
    RouteInfo info;
    EXPECT_EQ(route.find_route(r, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0), 0);
    EXPECT_EQ(info.next, ROUTE_NONE);
    EXPECT_EQ(info.after_next, ROUTE_NONE);
    EXPECT_EQ(info.cost, ROUTE_UNREACHED);

    // Reachable, but not for a class no edge lets through, nor through an excluded area or node.
    const int32_t c = route.create_target(2);
    const int32_t r2 = route.create_route(a, c);
    EXPECT_EQ(route.find_route(r2, info, ROUTE_NONE, 0x300, ROUTE_NONE, 0), 0);
    EXPECT_EQ(route.find_route(r2, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 1), 0);
    EXPECT_EQ(route.find_route(r2, info, ROUTE_NONE, 0xFF, 0, 0), 0);
    ASSERT_EQ(route.find_route(r2, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 2), 1);
    EXPECT_EQ(info.next, 0);
    EXPECT_EQ(info.after_next, 2);
    EXPECT_EQ(info.cost, 12u);
    EXPECT_EQ(info.router, 0) << "the last router on the way from the destination";
}

TEST_F(Route, AOneWayEdgeIsUsedOnlyFromItsFromEnd)
{
    GraphSpec g;
    g.routercount = 2;
    g.nodes.resize(2);
    g.nodes[1].x = 100;
    g.join(0, 1, 1, 0x01); // class 0, from 0 to 1 only
    g.records.assign(2, {});
    ASSERT_EQ(load(g.text()), 1);
    const int32_t t0 = route.create_target(0);
    const int32_t t1 = route.create_target(1);
    RouteInfo info;
    EXPECT_EQ(route.find_route(route.create_route(t0, t1), info, ROUTE_NONE, 0x03, ROUTE_NONE, 0), 1);
    EXPECT_EQ(info.next, 1);
    EXPECT_EQ(route.find_route(route.create_route(t1, t0), info, ROUTE_NONE, 0x03, ROUTE_NONE, 0), 0);
}

// The search as a depth-first relaxation from the destination, searching a
// node again whenever its cost drops.
struct Transcription {
    struct Node {
        uint32_t cost;
        int32_t best;
    };
    const MapRoute& g;
    std::vector<Node> nodes;
    std::vector<std::vector<uint32_t>> links;
    int32_t start = 0, excluded = ROUTE_NONE, excluded_factor = 0, router = ROUTE_NONE;
    uint32_t type = 0xFF;
    int64_t calls = 0;

    void search(int32_t n, int32_t c)
    {
        ++calls;
        if (n == start) {
            router = c;
        }
        if (g.node(n).factor == FACTOR_ROUTER) {
            c = n;
        }
        for (const uint32_t l : links[static_cast<size_t>(n)]) {
            const RouteEdge& e = g.edge(static_cast<int32_t>(l));
            int32_t m;
            bool pass;
            if (e.from == n) {
                m = e.to;
                pass = (e.type & type & 0xAA) != 0;
            } else {
                m = e.from;
                pass = (e.type & type & 0x55) != 0;
            }
            if (!pass || (excluded_factor != 0 && g.node(m).factor == excluded_factor) || m == excluded) {
                continue;
            }
            const uint32_t cost = nodes[static_cast<size_t>(n)].cost + e.cost;
            if (cost < nodes[static_cast<size_t>(m)].cost) {
                nodes[static_cast<size_t>(m)] = {cost, n};
            }
        }
        for (const uint32_t l : links[static_cast<size_t>(n)]) {
            const RouteEdge& e = g.edge(static_cast<int32_t>(l));
            const int32_t m = e.from == n ? e.to : e.from;
            if (nodes[static_cast<size_t>(m)].best == n) {
                search(m, c);
            }
        }
    }
};

struct Lcg {
    uint32_t state;
    uint32_t next(uint32_t n)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }
};

TEST_F(Route, SearchGivesWhatTheDepthFirstRelaxationGivesOnRandomGraphs)
{
    Lcg rng{12345};
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        GraphSpec g;
        const int n = 2 + static_cast<int>(rng.next(8));
        g.routercount = static_cast<int32_t>(rng.next(static_cast<uint32_t>(n) + 1));
        g.factorcount = g.routercount < n ? std::min(n, 3) : 0;
        for (int i = 0; i < n; ++i) {
            GraphSpec::Node node;
            node.x = static_cast<float>(rng.next(5)) * 100.0f;
            node.y = static_cast<float>(rng.next(5)) * 100.0f;
            node.factor = i < g.routercount ? 0 : 1 + static_cast<int32_t>(rng.next(static_cast<uint32_t>(g.factorcount - 1)));
            g.nodes.push_back(node);
        }
        const int edges = static_cast<int>(rng.next(static_cast<uint32_t>(3 * n)));
        for (int i = 0; i < edges; ++i) {
            const int32_t a = static_cast<int32_t>(rng.next(static_cast<uint32_t>(n)));
            int32_t b = static_cast<int32_t>(rng.next(static_cast<uint32_t>(n - 1)));
            b += b >= a ? 1 : 0;
            const uint32_t type = rng.next(4) == 0 ? 0xFF : rng.next(256);
            const int32_t e = static_cast<int32_t>(g.edges.size());
            g.edges.push_back({a, b, type, rng.next(4)});
            // Mostly listed at both ends, sometimes at one only; in varied order.
            const uint32_t where = rng.next(6);
            for (const int32_t end : {a, b}) {
                if ((where == 0 && end == a) || (where == 1 && end == b)) {
                    continue;
                }
                auto& l = g.nodes[static_cast<size_t>(end)].links;
                l.insert(l.begin() + rng.next(static_cast<uint32_t>(l.size()) + 1), e);
            }
        }
        g.records.assign(static_cast<size_t>(g.factorcount + g.routercount), {});
        capture.clear();
        ASSERT_EQ(load(g.text()), 1) << round << "\n" << g.text() << (capture.lines().empty() ? "" : capture.lines().back().text);

        for (int query = 0; query < 8; ++query) {
            const int32_t fn = static_cast<int32_t>(rng.next(static_cast<uint32_t>(n)));
            const int32_t tn = static_cast<int32_t>(rng.next(static_cast<uint32_t>(n)));
            const int32_t ft = route.create_target(fn);
            const int32_t tt = route.create_target(tn);
            // Now and then on an edge.
            if (!g.edges.empty() && rng.next(3) == 0) {
                const GraphSpec::Edge& e = g.edges[rng.next(static_cast<uint32_t>(g.edges.size()))];
                const GraphSpec::Node& a = g.nodes[static_cast<size_t>(e.from)];
                const GraphSpec::Node& b = g.nodes[static_cast<size_t>(e.to)];
                route.place_target(rng.next(2) == 0 ? ft : tt,
                                   {(a.x + b.x) / 2 + 3.0f, (a.y + b.y) / 2 + 2.0f, 0.0f});
            }
            const int32_t r = route.create_route(ft, tt);
            const uint32_t half = rng.next(16);
            uint32_t type = 0;
            for (int k = 0; k < 4; ++k) {
                type |= ((half >> k) & 1) != 0 ? 3u << (2 * k) : 0u;
            }
            const int32_t start = rng.next(3) == 0 ? static_cast<int32_t>(rng.next(static_cast<uint32_t>(n))) : ROUTE_NONE;
            const int32_t excluded = rng.next(4) == 0 ? static_cast<int32_t>(rng.next(static_cast<uint32_t>(n))) : ROUTE_NONE;
            const int32_t excluded_factor = static_cast<int32_t>(rng.next(4) == 0 ? 1 + rng.next(2) : 0);

            RouteInfo info;
            const int found = route.find_route(r, info, start, type, excluded, excluded_factor);

            const RouteTarget& from = route.target(ft);
            const RouteTarget& to = route.target(tt);
            Transcription t{route, {}, {}};
            t.links.resize(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                for (const int32_t l : g.nodes[static_cast<size_t>(i)].links) {
                    t.links[static_cast<size_t>(i)].push_back(static_cast<uint32_t>(l));
                }
            }
            const auto other = [&](int32_t e, int32_t end) {
                return e == ROUTE_NONE ? end : (route.edge(e).from == end ? route.edge(e).to : route.edge(e).from);
            };
            const int32_t fn2 = other(from.edge, from.node);
            const int32_t tn2 = other(to.edge, to.node);
            t.start = start != ROUTE_NONE ? start : from.node;
            t.type = type;
            t.excluded = excluded;
            t.excluded_factor = excluded_factor;
            EXPECT_EQ(info.start, t.start);
            EXPECT_EQ(info.from_other, fn2);
            EXPECT_EQ(info.to_other, tn2);
            if (t.start == to.node) {
                EXPECT_EQ(found, 1);
                EXPECT_EQ(info.next, t.start);
            } else {
                for (int i = 0; i < n; ++i) {
                    t.nodes.push_back({ROUTE_UNREACHED, i});
                }
                t.nodes[static_cast<size_t>(to.node)].cost = 0;
                t.search(to.node, ROUTE_NONE);
                ASSERT_LT(t.calls, 1000000);
                for (int i = 0; i < n; ++i) {
                    EXPECT_EQ(route.node(i).cost, t.nodes[static_cast<size_t>(i)].cost) << round << " " << i;
                    EXPECT_EQ(route.node(i).bestnode, t.nodes[static_cast<size_t>(i)].best) << round << " " << i;
                }
                const int32_t router = t.router == to.node ? ROUTE_NONE : t.router;
                EXPECT_EQ(info.router, router) << round;
                EXPECT_EQ(info.cost, t.nodes[static_cast<size_t>(t.start)].cost);
                int32_t next = ROUTE_NONE;
                int32_t after = ROUTE_NONE;
                int32_t final_node = to.node;
                if (t.nodes[static_cast<size_t>(t.start)].best != t.start) {
                    next = t.nodes[static_cast<size_t>(t.start)].best;
                    if (start == ROUTE_NONE && from.edge != ROUTE_NONE && next != fn2) {
                        next = t.start;
                    }
                    after = t.nodes[static_cast<size_t>(next)].best;
                    if (to.edge != ROUTE_NONE && tn2 == t.start) {
                        next = after = final_node = t.start;
                    }
                }
                EXPECT_EQ(info.next, next) << round;
                EXPECT_EQ(info.after_next, after) << round;
                EXPECT_EQ(info.final_node, final_node) << round;
                EXPECT_EQ(found, next != ROUTE_NONE ? 1 : 0);
                ++compared;
            }
            route.destroy_route(r);
            route.destroy_target(ft);
            route.destroy_target(tt);
        }
    }
    EXPECT_GT(compared, 1000);
}

TEST_F(Route, ASelfLoopAtTheDestinationEndsTheSearch)
{
    GraphSpec g = three_in_a_row();
    const int32_t e = static_cast<int32_t>(g.edges.size());
    g.edges.push_back({2, 2, 0xFF, 0});
    g.nodes[2].links.push_back(e);
    g.nodes[2].links.push_back(e);
    ASSERT_EQ(load(g.text()), 1);
    RouteInfo info;
    const int32_t r = route.create_route(route.create_target(1), route.create_target(2));
    ASSERT_EQ(route.find_route(r, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0), 1);
    EXPECT_EQ(info.next, 0);
    EXPECT_EQ(info.after_next, 2);
    EXPECT_EQ(info.cost, 12u);
}

TEST_F(Route, NodeInfoCutsItsListsToTheirCapacities)
{
    GraphSpec g = three_in_a_row();
    g.records[3] = {0};
    g.records[1] = {0};
    ASSERT_EQ(load(g.text()), 1);
    std::vector<int32_t> neighbours, routers;
    EXPECT_EQ(route.node_info(0, 8, neighbours, 8, routers), 0u);
    EXPECT_EQ(neighbours, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(routers, (std::vector<int32_t>{0}));
    EXPECT_EQ(route.node_info(0, 1, neighbours, 0, routers), NODEINFO_NEIGHBOURS_CUT);
    EXPECT_EQ(neighbours, (std::vector<int32_t>{1}));
    EXPECT_TRUE(routers.empty());
    EXPECT_EQ(route.node_info(1, 0, neighbours, 8, routers), 0u);
    EXPECT_TRUE(neighbours.empty());
    EXPECT_EQ(routers, (std::vector<int32_t>{0}));

    GraphSpec h = three_in_a_row();
    h.records[1] = {0, 0, 0};
    ASSERT_EQ(load(h.text()), 1);
    EXPECT_EQ(route.node_info(1, 1, neighbours, 2, routers), NODEINFO_ROUTERS_CUT);
    EXPECT_EQ(routers.size(), 2u);
    route.register_node(1, 77);
    EXPECT_EQ(route.node(1).value, 77u);
}

TEST_F(Route, TargetsSnapToNodesAndEdges)
{
    ASSERT_EQ(load(mapgen::write_grid_graph(4, 4)), 1);
    const int32_t t = route.create_target(ROUTE_NONE);
    EXPECT_EQ(route.target(t).node, 0);

    struct Case {
        const char* name;
        Vector at;
        int32_t node;
        bool on_edge;
    };
    const Case cases[] = {
        {"exactly on a node", {200, 100, 0}, 6, false},
        {"beside an edge, nearer its left end", {130, 205, 0}, 9, true},
        {"beside an edge, nearer its right end", {170, 205, 0}, 10, true},
        {"far from everything keeps the node", {5000, 5000, 0}, 10, false},
        {"off the end of the grid snaps to the corner", {330, -40, 0}, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        route.place_target(t, c.at);
        EXPECT_EQ(route.target(t).node, c.node);
        EXPECT_EQ(route.target(t).edge != ROUTE_NONE, c.on_edge);
        EXPECT_FLOAT_EQ(route.target(t).position.x, c.at.x);
    }

    route.place_target(t, {100, 100, 0});
    ASSERT_EQ(route.target(t).node, 5);
    route.move_target(t, {110, 100, 0});
    EXPECT_FLOAT_EQ(route.target(t).position.x, 100.0f) << "a move under 16 changes nothing";
    route.move_target(t, {160, 104, 0});
    EXPECT_EQ(route.target(t).node, 5);
    EXPECT_NE(route.target(t).edge, ROUTE_NONE);
    route.move_target(t, {195, 102, 0});
    EXPECT_EQ(route.target(t).node, 6) << "the nearer end of its edge";
    capture.clear();
    route.move_target(t, {300, 300, 0});
    EXPECT_FALSE(capture.contains("Route: re-placing target")) << "within 200 of an edge at its node";
    EXPECT_EQ(route.target(t).node, 6);
    route.move_target(t, {600, 600, 0});
    EXPECT_TRUE(capture.contains("Route: re-placing target"));
    EXPECT_EQ(route.target(t).node, 15);
}

TEST_F(Route, TablesOfTargetsAndRoutesHold256AndDestroyedTargetsFreeTheirRoutes)
{
    ASSERT_EQ(load(mapgen::write_grid_graph(2, 2)), 1);
    for (int i = 0; i < MAX_TARGETS; ++i) {
        ASSERT_EQ(route.create_target(i % 4), i);
    }
    EXPECT_EQ(route.create_target(0), -1);
    for (int i = 0; i < MAX_ROUTES; ++i) {
        ASSERT_EQ(route.create_route(i, (i + 1) % MAX_TARGETS), i);
    }
    EXPECT_EQ(route.create_route(0, 1), -1);

    // Target 5 starts route 5 and ends route 4.
    capture.clear();
    route.destroy_target(5);
    EXPECT_TRUE(capture.contains("Route: target 5 destroyed while routes use it; they are freed"));
    EXPECT_FALSE(route.route_in_use(4));
    EXPECT_FALSE(route.route_in_use(5));
    EXPECT_TRUE(route.route_in_use(6));
    EXPECT_EQ(route.target(4).fromroutes, ROUTE_NONE);
    EXPECT_EQ(route.target(6).toroutes, ROUTE_NONE);
    // Reused at once, and whole.
    EXPECT_EQ(route.create_target(3), 5);
    const int32_t r = route.create_route(5, 5);
    EXPECT_GE(r, 0);
    RouteInfo info;
    EXPECT_EQ(route.find_route(r, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0), 1);
    route.destroy_target(5);
    EXPECT_FALSE(route.route_in_use(r));
    // Targets on one node leave its list one by one.
    for (int i = 0; i < MAX_TARGETS; i += 4) {
        if (route.target_in_use(i)) {
            route.destroy_target(i);
        }
    }
    EXPECT_EQ(route.node(0).targets, ROUTE_NONE);
}

} // namespace
