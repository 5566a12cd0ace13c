#include "tools/mapgen/graph_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace mapgen {

namespace {

struct Point {
    double x, y, z;
};

Point middle(const Box& b) { return {(b.lo[0] + b.hi[0]) / 2, (b.lo[1] + b.hi[1]) / 2, (b.lo[2] + b.hi[2]) / 2}; }

std::string point_line(const Point& p)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.9g %.9g %.9g\n", static_cast<double>(static_cast<float>(p.x)) + 0.0,
                  static_cast<double>(static_cast<float>(p.y)) + 0.0, static_cast<double>(static_cast<float>(p.z)) + 0.0);
    return text;
}

std::string list_line(const std::vector<int>& items)
{
    std::string line = std::to_string(items.size());
    for (const int i : items) {
        line += " " + std::to_string(i);
    }
    return line + "\n";
}

struct GraphText {
    std::vector<Point> points;
    std::vector<int> factors;
    struct Edge {
        int from, to;
        uint32_t cost;
    };
    std::vector<Edge> edges;
    std::vector<std::vector<int>> links;
    std::vector<std::vector<int>> records;
    int areas = 0;
    int routers = 0;

    void join(int a, int b, uint32_t cost)
    {
        const int e = static_cast<int>(edges.size());
        edges.push_back({a, b, cost});
        links[static_cast<size_t>(a)].push_back(e);
        links[static_cast<size_t>(b)].push_back(e);
    }

    std::string text(uint32_t map_id) const
    {
        size_t link_total = 0;
        for (const auto& l : links) {
            link_total += l.size();
        }
        size_t router_total = 0;
        for (const auto& r : records) {
            router_total += r.size();
        }
        std::string out = "textualGraph,version004";
        if (map_id != 0) {
            char id[16];
            std::snprintf(id, sizeof id, ",0x%x", map_id);
            out += id;
        }
        out += "\n# nodes, edges, links, factors, routers, router entries\n";
        for (const size_t count : {points.size(), edges.size(), link_total, static_cast<size_t>(areas),
                                   static_cast<size_t>(routers), router_total}) {
            out += std::to_string(count) + "\n";
        }
        out += "# nodes: position, factor, links (the routers first)\n";
        for (size_t n = 0; n < points.size(); ++n) {
            out += point_line(points[n]);
            out += std::to_string(factors[n]) + "\n";
            out += list_line(links[n]);
        }
        out += "# edges: from, to, type, cost\n";
        for (const Edge& e : edges) {
            out += std::to_string(e.from) + " " + std::to_string(e.to) + " 0xff " + std::to_string(e.cost) + "\n";
        }
        out += "# routers of each area, then of each router\n";
        for (const auto& r : records) {
            out += list_line(r);
        }
        return out;
    }
};

} // namespace

std::string write_grid_graph(int w, int h)
{
    GraphText g;
    g.routers = w * h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            g.points.push_back({100.0 * x, 100.0 * y, 0.0});
            g.factors.push_back(0);
        }
    }
    g.links.resize(g.points.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (x + 1 < w) {
                g.join(y * w + x, y * w + x + 1, 1);
            }
            if (y + 1 < h) {
                g.join(y * w + x, (y + 1) * w + x, 1);
            }
        }
    }
    g.records.assign(static_cast<size_t>(g.routers), {});
    return g.text(0);
}

std::string write_graph(const RoomModel& model)
{
    const int doors = static_cast<int>(model.doors.size());
    const int rooms = static_cast<int>(model.rooms.size());
    GraphText g;
    if (doors == 0) {
        // Without doorways there are no routers to reach an area through, and
        // areas need a node apiece beyond their record 0: each room centre is
        // its own router, unlinked.
        g.routers = rooms;
        for (const Room& room : model.rooms) {
            g.points.push_back(middle(room.box));
            g.factors.push_back(0);
        }
        g.links.resize(g.points.size());
        g.records.assign(static_cast<size_t>(rooms), {});
        return g.text(model.map_id);
    }
    g.routers = doors;
    g.areas = rooms + 1; // area 0 belongs to no room
    for (const Doorway& d : model.doors) {
        g.points.push_back(middle(d.box));
        g.factors.push_back(0);
    }
    for (int r = 0; r < rooms; ++r) {
        g.points.push_back(middle(model.rooms[static_cast<size_t>(r)].box));
        g.factors.push_back(r + 1);
    }
    g.links.resize(g.points.size());
    std::vector<std::vector<int>> room_doors(static_cast<size_t>(rooms));
    for (int d = 0; d < doors; ++d) {
        for (const int room : {model.doors[static_cast<size_t>(d)].a, model.doors[static_cast<size_t>(d)].b}) {
            const Point& p = g.points[static_cast<size_t>(d)];
            const Point& q = g.points[static_cast<size_t>(doors + room)];
            const double length = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                                            (p.z - q.z) * (p.z - q.z));
            g.join(d, doors + room, std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(length))));
            room_doors[static_cast<size_t>(room)].push_back(d);
        }
    }
    g.records.assign(1, {});
    for (int r = 0; r < rooms; ++r) {
        g.records.push_back(room_doors[static_cast<size_t>(r)]);
    }
    for (int d = 0; d < doors; ++d) {
        std::vector<int> near;
        for (const int room : {model.doors[static_cast<size_t>(d)].a, model.doors[static_cast<size_t>(d)].b}) {
            for (const int other : room_doors[static_cast<size_t>(room)]) {
                if (other != d && std::find(near.begin(), near.end(), other) == near.end()) {
                    near.push_back(other);
                }
            }
        }
        g.records.push_back(near);
    }
    return g.text(model.map_id);
}

} // namespace mapgen
