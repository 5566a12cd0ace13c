#include "tools/mapgen/bsp_map.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace mapgen {

namespace {

struct Split {
    int axis;
    double coord;
    bool operator<(const Split& o) const { return axis != o.axis ? axis < o.axis : coord < o.coord; }
};

class Builder {
public:
    Builder(const RoomModel& model, BspMap& map) : model_(model), map_(map) {}

    // The child code of the subtree over the region.
    uint32_t build(const Box& region, const std::vector<int>& rooms)
    {
        std::set<Split> candidates;
        for (const int r : rooms) {
            const Box& b = model_.rooms[static_cast<size_t>(r)].box;
            for (int k = 0; k < 3; ++k) {
                for (const double c : {b.lo[k], b.hi[k]}) {
                    if (region.lo[k] < c && c < region.hi[k]) {
                        candidates.insert({k, c});
                    }
                }
            }
        }
        if (candidates.empty()) {
            // No face cuts the region: it lies inside its one room, or in none.
            BspCell cell;
            cell.box = region;
            cell.room = rooms.empty() ? -1 : rooms.front();
            map_.cells.push_back(cell);
            return CHILD_CELL | static_cast<uint32_t>(map_.cells.size() - 1);
        }
        const Split split = choose(candidates, rooms);
        const size_t index = map_.nodes.size();
        map_.nodes.emplace_back();
        BspNode node;
        node.plane = map_.planes.index(split.axis, split.coord);
        node.box = region;
        node.front_box = region;
        node.front_box.lo[static_cast<size_t>(split.axis)] = split.coord;
        node.back_box = region;
        node.back_box.hi[static_cast<size_t>(split.axis)] = split.coord;
        node.front = build(node.front_box, rooms_in(node.front_box, rooms));
        node.back = build(node.back_box, rooms_in(node.back_box, rooms));
        map_.nodes[index] = node;
        return static_cast<uint32_t>(index);
    }

private:
    std::vector<int> rooms_in(const Box& region, const std::vector<int>& rooms) const
    {
        std::vector<int> out;
        for (const int r : rooms) {
            if (boxes_overlap(region, model_.rooms[static_cast<size_t>(r)].box)) {
                out.push_back(r);
            }
        }
        return out;
    }

    // Fewest rooms cut, then the most even split; the first such in axis and
    // coordinate order, so that the same description gives the same tree.
    Split choose(const std::set<Split>& candidates, const std::vector<int>& rooms) const
    {
        Split best = *candidates.begin();
        long best_score = -1;
        for (const Split& s : candidates) {
            long front = 0;
            long back = 0;
            long cut = 0;
            for (const int r : rooms) {
                const Box& b = model_.rooms[static_cast<size_t>(r)].box;
                if (b.lo[static_cast<size_t>(s.axis)] >= s.coord) {
                    ++front;
                } else if (b.hi[static_cast<size_t>(s.axis)] <= s.coord) {
                    ++back;
                } else {
                    ++cut;
                }
            }
            const long score = cut * 1000 + std::labs(front - back);
            if (best_score < 0 || score < best_score) {
                best = s;
                best_score = score;
            }
        }
        return best;
    }

    const RoomModel& model_;
    BspMap& map_;
};

int u_axis(int axis) { return (axis + 1) % 3; }
int v_axis(int axis) { return (axis + 2) % 3; }

// The open part of the face that two open cells share on the plane (axis, coord).
void add_portals(const RoomModel& model, BspMap& map, int below, int above, int axis)
{
    const BspCell& lo = map.cells[static_cast<size_t>(below)];
    const BspCell& hi = map.cells[static_cast<size_t>(above)];
    Box face;
    for (int k = 0; k < 3; ++k) {
        face.lo[k] = std::max(lo.box.lo[k], hi.box.lo[k]);
        face.hi[k] = std::min(lo.box.hi[k], hi.box.hi[k]);
    }
    const double coord = lo.box.hi[static_cast<size_t>(axis)];
    face.lo[static_cast<size_t>(axis)] = coord;
    face.hi[static_cast<size_t>(axis)] = coord;
    const int u = u_axis(axis);
    const int v = v_axis(axis);
    if (!(face.lo[u] < face.hi[u] && face.lo[v] < face.hi[v])) {
        return;
    }
    const auto add = [&](const Box& box) { map.portals.push_back({axis, coord, box, below, above}); };
    if (lo.room == hi.room) {
        add(face);
        return;
    }
    for (const Doorway& door : model.doors) {
        const bool joins = (door.a == lo.room && door.b == hi.room) || (door.a == hi.room && door.b == lo.room);
        if (!joins || door.axis != axis || door.box.lo[static_cast<size_t>(axis)] != coord) {
            continue;
        }
        Box open = face;
        for (const int k : {u, v}) {
            open.lo[k] = std::max(face.lo[k], door.box.lo[k]);
            open.hi[k] = std::min(face.hi[k], door.box.hi[k]);
        }
        if (open.lo[u] < open.hi[u] && open.lo[v] < open.hi[v]) {
            add(open);
        }
    }
}

void find_portals(const RoomModel& model, BspMap& map)
{
    const int n = static_cast<int>(map.cells.size());
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            if (i == j || map.cells[static_cast<size_t>(i)].room < 0 || map.cells[static_cast<size_t>(j)].room < 0) {
                continue;
            }
            for (int k = 0; k < 3; ++k) {
                if (map.cells[static_cast<size_t>(i)].box.hi[k] == map.cells[static_cast<size_t>(j)].box.lo[k]) {
                    add_portals(model, map, i, j, k);
                }
            }
        }
    }
}

} // namespace

std::vector<std::array<double, 4>> wall_rectangles(const std::array<double, 4>& face,
                                                    const std::vector<std::array<double, 4>>& open)
{
    std::set<double> us{face[0], face[1]};
    std::set<double> vs{face[2], face[3]};
    for (const auto& o : open) {
        us.insert(o[0]);
        us.insert(o[1]);
        vs.insert(o[2]);
        vs.insert(o[3]);
    }
    const std::vector<double> u(us.begin(), us.end());
    const std::vector<double> v(vs.begin(), vs.end());
    std::vector<std::array<double, 4>> rows; // strips of wall squares, row by row
    for (size_t j = 0; j + 1 < v.size(); ++j) {
        const double vm = (v[j] + v[j + 1]) / 2;
        size_t i = 0;
        while (i + 1 < u.size()) {
            const auto is_wall = [&](size_t at) {
                const double um = (u[at] + u[at + 1]) / 2;
                return std::none_of(open.begin(), open.end(),
                                    [&](const auto& o) { return o[0] < um && um < o[1] && o[2] < vm && vm < o[3]; });
            };
            if (!is_wall(i)) {
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end + 1 < u.size() && is_wall(end)) {
                ++end;
            }
            rows.push_back({u[i], u[end], v[j], v[j + 1]});
            i = end;
        }
    }
    std::vector<std::array<double, 4>> blocks;
    for (const auto& r : rows) {
        auto grows = std::find_if(blocks.begin(), blocks.end(),
                                  [&](const auto& b) { return b[0] == r[0] && b[1] == r[1] && b[3] == r[2]; });
        if (grows != blocks.end()) {
            (*grows)[3] = r[3];
        } else {
            blocks.push_back(r);
        }
    }
    return blocks;
}

namespace {

// A wall rectangle {u0, u1, v0, v1} on the plane, facing into the cell: +axis
// on the cell's lower face, -axis on its upper one.
WallPolygon make_wall(int cell, int axis, double coord, int plane, bool upper, const std::array<double, 4>& r)
{
    WallPolygon w;
    w.cell = cell;
    w.plane = plane;
    w.opposite = upper;
    const int u = u_axis(axis);
    const int v = v_axis(axis);
    const std::array<std::array<double, 2>, 4> uv = {{{r[0], r[2]}, {r[1], r[2]}, {r[1], r[3]}, {r[0], r[3]}}};
    for (size_t c = 0; c < 4; ++c) {
        const size_t at = upper ? c : 3 - c; // clockwise seen from inside
        w.corners[at][static_cast<size_t>(axis)] = coord;
        w.corners[at][static_cast<size_t>(u)] = uv[c][0];
        w.corners[at][static_cast<size_t>(v)] = uv[c][1];
    }
    return w;
}

void add_walls(BspMap& map, int cell_index)
{
    BspCell& cell = map.cells[static_cast<size_t>(cell_index)];
    cell.first_polygon = static_cast<int>(map.polygons.size());
    for (int axis = 0; axis < 3; ++axis) {
        const int u = u_axis(axis);
        const int v = v_axis(axis);
        for (const bool upper : {false, true}) {
            const double coord = upper ? cell.box.hi[axis] : cell.box.lo[axis];
            std::vector<std::array<double, 4>> open;
            for (const Portal& p : map.portals) {
                if (p.axis == axis && p.coord == coord && (p.back_cell == cell_index || p.front_cell == cell_index)) {
                    open.push_back({p.box.lo[u], p.box.hi[u], p.box.lo[v], p.box.hi[v]});
                }
            }
            const int plane = map.planes.index(axis, coord);
            for (const auto& r : wall_rectangles({cell.box.lo[u], cell.box.hi[u], cell.box.lo[v], cell.box.hi[v]}, open)) {
                map.polygons.push_back(make_wall(cell_index, axis, coord, plane, upper, r));
            }
        }
    }
    cell.polygon_count = static_cast<int>(map.polygons.size()) - cell.first_polygon;
}

// Splits every wall on one grid per axis: the multiples of the step and every
// corner coordinate of any wall. Walls then meet only at whole edges, so no
// vertex of one lies inside an edge of another, and a drawn frame has no
// cracks where the rounding of such a vertex would open one.
void tile_walls(BspMap& map, double step)
{
    std::array<std::set<double>, 3> lines;
    for (int k = 0; k < 3; ++k) {
        for (double c = std::ceil(map.world.lo[k] / step) * step; c < map.world.hi[k]; c += step) {
            lines[static_cast<size_t>(k)].insert(c);
        }
    }
    for (const WallPolygon& w : map.polygons) {
        for (const Point& p : w.corners) {
            for (size_t k = 0; k < 3; ++k) {
                lines[k].insert(p[k]);
            }
        }
    }
    const auto cuts = [&](int axis, double lo, double hi) {
        std::vector<double> out{lo};
        for (auto it = lines[static_cast<size_t>(axis)].upper_bound(lo); it != lines[static_cast<size_t>(axis)].end() && *it < hi; ++it) {
            out.push_back(*it);
        }
        out.push_back(hi);
        return out;
    };
    std::vector<WallPolygon> tiled;
    for (BspCell& cell : map.cells) {
        const int first = static_cast<int>(tiled.size());
        for (int i = cell.first_polygon; i < cell.first_polygon + cell.polygon_count; ++i) {
            const WallPolygon& w = map.polygons[static_cast<size_t>(i)];
            const int axis = map.planes.entries()[static_cast<size_t>(w.plane)].axis;
            const int u = u_axis(axis);
            const int v = v_axis(axis);
            double lo[3];
            double hi[3];
            for (size_t k = 0; k < 3; ++k) {
                lo[k] = std::min({w.corners[0][k], w.corners[1][k], w.corners[2][k], w.corners[3][k]});
                hi[k] = std::max({w.corners[0][k], w.corners[1][k], w.corners[2][k], w.corners[3][k]});
            }
            const std::vector<double> us = cuts(u, lo[u], hi[u]);
            const std::vector<double> vs = cuts(v, lo[v], hi[v]);
            for (size_t b = 0; b + 1 < vs.size(); ++b) {
                for (size_t a = 0; a + 1 < us.size(); ++a) {
                    tiled.push_back(make_wall(w.cell, axis, lo[axis], w.plane, w.opposite, {us[a], us[a + 1], vs[b], vs[b + 1]}));
                }
            }
        }
        cell.first_polygon = first;
        cell.polygon_count = static_cast<int>(tiled.size()) - first;
    }
    map.polygons = std::move(tiled);
}

} // namespace

int PlaneTable::index(int axis, double coord)
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].axis == axis && entries_[i].coord == coord) {
            return static_cast<int>(i);
        }
    }
    entries_.push_back({axis, coord});
    return static_cast<int>(entries_.size() - 1);
}

BspMap build_bsp(const RoomModel& model)
{
    BspMap map;
    map.world = model.rooms.front().box;
    for (const Room& r : model.rooms) {
        for (int k = 0; k < 3; ++k) {
            map.world.lo[k] = std::min(map.world.lo[k], r.box.lo[k]);
            map.world.hi[k] = std::max(map.world.hi[k], r.box.hi[k]);
        }
    }
    for (int k = 0; k < 3; ++k) {
        map.world.lo[k] = static_cast<float>(map.world.lo[k] - model.margin);
        map.world.hi[k] = static_cast<float>(map.world.hi[k] + model.margin);
    }
    std::vector<int> all(model.rooms.size());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<int>(i);
    }
    Builder(model, map).build(map.world, all);
    find_portals(model, map);
    for (size_t c = 0; c < map.cells.size(); ++c) {
        if (map.cells[c].room >= 0) {
            add_walls(map, static_cast<int>(c));
        } else {
            map.cells[c].first_polygon = static_cast<int>(map.polygons.size());
        }
    }
    tile_walls(map, model.tile);
    // A mover's face on its upper side faces +axis as a cell's lower wall does.
    for (const Box& b : model.movers) {
        map.movers.push_back(b);
        for (int axis = 0; axis < 3; ++axis) {
            const int u = u_axis(axis);
            const int v = v_axis(axis);
            const std::array<double, 4> r = {b.lo[static_cast<size_t>(u)], b.hi[static_cast<size_t>(u)],
                                             b.lo[static_cast<size_t>(v)], b.hi[static_cast<size_t>(v)]};
            for (const bool upper : {true, false}) {
                const double coord = upper ? b.lo[static_cast<size_t>(axis)] : b.hi[static_cast<size_t>(axis)];
                map.mover_walls.push_back(make_wall(-1, axis, coord, map.planes.index(axis, coord), upper, r));
            }
        }
    }
    return map;
}

} // namespace mapgen
