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

} // namespace

std::string write_graph(const RoomModel& model)
{
    const int doors = static_cast<int>(model.doors.size());
    const int rooms = static_cast<int>(model.rooms.size());
    std::vector<Point> points;
    for (const Doorway& d : model.doors) {
        points.push_back(middle(d.box));
    }
    for (const Room& r : model.rooms) {
        points.push_back(middle(r.box));
    }
    struct Edge {
        int from, to;
        uint32_t cost;
    };
    std::vector<Edge> edges;
    std::vector<std::vector<int>> links(points.size());
    std::vector<std::vector<int>> room_doors(static_cast<size_t>(rooms));
    for (int d = 0; d < doors; ++d) {
        for (const int room : {model.doors[static_cast<size_t>(d)].a, model.doors[static_cast<size_t>(d)].b}) {
            const Point& p = points[static_cast<size_t>(d)];
            const Point& q = points[static_cast<size_t>(doors + room)];
            const double length = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                                            (p.z - q.z) * (p.z - q.z));
            const int e = static_cast<int>(edges.size());
            edges.push_back({d, doors + room, std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(length)))});
            links[static_cast<size_t>(d)].push_back(e);
            links[static_cast<size_t>(doors + room)].push_back(e);
            room_doors[static_cast<size_t>(room)].push_back(d);
        }
    }
    std::vector<std::vector<int>> records(1); // area 0 belongs to no room
    for (int r = 0; r < rooms; ++r) {
        records.push_back(room_doors[static_cast<size_t>(r)]);
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
        records.push_back(near);
    }
    size_t link_total = 0;
    for (const auto& l : links) {
        link_total += l.size();
    }
    size_t router_total = 0;
    for (const auto& r : records) {
        router_total += r.size();
    }

    std::string out = "textualGraph,version004";
    if (model.map_id != 0) {
        char id[16];
        std::snprintf(id, sizeof id, ",0x%x", model.map_id);
        out += id;
    }
    out += "\n# nodes, edges, links, factors, routers, router entries\n";
    for (const size_t count : {points.size(), edges.size(), link_total, static_cast<size_t>(rooms + 1),
                               static_cast<size_t>(doors), router_total}) {
        out += std::to_string(count) + "\n";
    }
    out += "# nodes: position, factor, links (doorways are the routers, then the rooms)\n";
    for (size_t n = 0; n < points.size(); ++n) {
        out += point_line(points[n]);
        out += std::to_string(static_cast<int>(n) < doors ? 0 : static_cast<int>(n) - doors + 1) + "\n";
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

} // namespace mapgen
