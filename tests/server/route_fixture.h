#pragma once
// A route graph read from graph.txt text in a scratch tree, and a writer of
// that text from a plain description of nodes and edges.
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "server/route_graph.h"
#include "support/print_capture.h"
#include "tools/mapgen/graph_writer.h"
#include "tools/mapgen/room_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

struct GraphSpec {
    struct Node {
        float x = 0, y = 0, z = 0;
        int32_t factor = 0;
        std::vector<int32_t> links; // edge indices
    };
    struct Edge {
        int32_t from = 0, to = 0;
        uint32_t type = 0xFF;
        uint32_t cost = 1;
    };
    std::vector<Node> nodes;
    std::vector<Edge> edges;
    int32_t factorcount = 0;
    int32_t routercount = 0;
    std::vector<std::vector<int32_t>> records; // factorcount + routercount router lists

    // An edge listed at both of its ends.
    int32_t join(int32_t a, int32_t b, uint32_t cost = 1, uint32_t type = 0xFF)
    {
        const int32_t e = static_cast<int32_t>(edges.size());
        edges.push_back({a, b, type, cost});
        nodes[static_cast<size_t>(a)].links.push_back(e);
        nodes[static_cast<size_t>(b)].links.push_back(e);
        return e;
    }

    std::string text(uint32_t map_id = 0) const
    {
        std::string out = "textualGraph,version004";
        if (map_id != 0) {
            char id[16];
            std::snprintf(id, sizeof id, ",0x%x", map_id);
            out += id;
        }
        out += "\n";
        size_t links = 0;
        for (const Node& n : nodes) {
            links += n.links.size();
        }
        size_t routers = 0;
        for (const auto& r : records) {
            routers += r.size();
        }
        for (const size_t c : {nodes.size(), edges.size(), links, static_cast<size_t>(factorcount),
                               static_cast<size_t>(routercount), routers}) {
            out += std::to_string(c) + "\n";
        }
        for (const Node& n : nodes) {
            char p[96];
            std::snprintf(p, sizeof p, "%.9g %.9g %.9g\n", static_cast<double>(n.x), static_cast<double>(n.y),
                          static_cast<double>(n.z));
            out += p + std::to_string(n.factor) + "\n" + std::to_string(n.links.size());
            for (const int32_t l : n.links) {
                out += " " + std::to_string(l);
            }
            out += "\n";
        }
        for (const Edge& e : edges) {
            out += std::to_string(e.from) + " " + std::to_string(e.to) + " " + std::to_string(e.type) + " " +
                   std::to_string(e.cost) + "\n";
        }
        for (const auto& r : records) {
            out += std::to_string(r.size());
            for (const int32_t n : r) {
                out += " " + std::to_string(n);
            }
            out += "\n";
        }
        return out;
    }
};

class RouteFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture.show_all();
        saved_fsys_ = fsys;
        fsys = &files;
        files.init();
        ASSERT_EQ(files.mount(tree.path().c_str(), 1, 10), 1);
    }
    void TearDown() override
    {
        route.free();
        files.close();
        fsys = saved_fsys_;
    }

    // 1 when the text loads as maps/test/graph.txt.
    int load(const std::string& text, uint32_t map_id = 0)
    {
        tree.write("maps/test/graph.txt", text);
        return route.load("maps/test", map_id);
    }

    PrintCapture capture;
    TempTree tree;
    FSys files;
    MapRoute route;

private:
    FSys* saved_fsys_ = nullptr;
};
