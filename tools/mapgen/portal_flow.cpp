#include "tools/mapgen/portal_flow.h"

#include <cmath>

namespace mapgen {

namespace {

// Within this distance a point counts as on a plane when planes are tested
// for separating two portals.
constexpr double ON_PLANE = 1e-7;
// What clipping keeps beyond a plane, so that lines grazing an edge pass.
constexpr double CLIP_MARGIN = 1e-3;

using Winding = std::vector<Point>;

struct Plane3 {
    Point n;
    double d;
    double distance(const Point& p) const { return n[0] * p[0] + n[1] * p[1] + n[2] * p[2] + d; }
};

Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Point cross(const Point& a, const Point& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Keeps the part at or above -CLIP_MARGIN.
Winding clip(const Winding& w, const Plane3& plane)
{
    Winding out;
    const size_t n = w.size();
    for (size_t i = 0; i < n; ++i) {
        const Point& a = w[i];
        const Point& b = w[(i + 1) % n];
        const double da = plane.distance(a) + CLIP_MARGIN;
        const double db = plane.distance(b) + CLIP_MARGIN;
        if (da >= 0) {
            out.push_back(a);
        }
        if ((da >= 0) != (db >= 0)) {
            const double t = da / (da - db);
            out.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])});
        }
    }
    return out.size() >= 3 ? out : Winding{};
}

// The planes through an edge of one portal and a corner of the other that
// have the source wholly behind and the pass portal ahead: beyond the pass
// portal, every line through both stays ahead of each. The target keeps what
// lies ahead of all of them.
Winding clip_to_separators(const Winding& source, const Winding& pass, Winding target)
{
    for (const bool edges_of_pass : {false, true}) {
        const Winding& edges = edges_of_pass ? pass : source;
        const Winding& corners = edges_of_pass ? source : pass;
        for (size_t i = 0; i < edges.size(); ++i) {
            const Point& a = edges[i];
            const Point& b = edges[(i + 1) % edges.size()];
            for (const Point& v : corners) {
                Point n = cross(sub(b, a), sub(v, a));
                const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (length < 1e-9) {
                    continue;
                }
                n = {n[0] / length, n[1] / length, n[2] / length};
                Plane3 plane{n, -(n[0] * a[0] + n[1] * a[1] + n[2] * a[2])};
                double most = 0;
                double least = 0;
                for (const Point& p : source) {
                    most = std::fmax(most, plane.distance(p));
                    least = std::fmin(least, plane.distance(p));
                }
                if ((most > ON_PLANE && least < -ON_PLANE) || (most <= ON_PLANE && least >= -ON_PLANE)) {
                    continue; // the source straddles the plane or lies in it
                }
                if (most > ON_PLANE) {
                    plane = Plane3{{-n[0], -n[1], -n[2]}, -plane.d};
                }
                bool behind = false;
                bool ahead = false;
                for (const Point& p : pass) {
                    const double d = plane.distance(p);
                    behind = behind || d < -ON_PLANE;
                    ahead = ahead || d > ON_PLANE;
                }
                if (behind || !ahead) {
                    continue;
                }
                target = clip(target, plane);
                if (target.empty()) {
                    return target;
                }
            }
        }
    }
    return target;
}

Winding portal_winding(const Portal& p)
{
    const int u = (p.axis + 1) % 3;
    const int v = (p.axis + 2) % 3;
    Winding w(4);
    const double uv[4][2] = {{p.box.lo[u], p.box.lo[v]}, {p.box.hi[u], p.box.lo[v]},
                             {p.box.hi[u], p.box.hi[v]}, {p.box.lo[u], p.box.hi[v]}};
    for (size_t c = 0; c < 4; ++c) {
        w[c][p.axis] = p.coord;
        w[c][u] = uv[c][0];
        w[c][v] = uv[c][1];
    }
    return w;
}

struct Exit {
    int portal;
    int to;
};

class Flow {
public:
    explicit Flow(const BspMap& map) : map_(map), exits_(map.cells.size()), on_path_(map.cells.size(), 0)
    {
        for (size_t i = 0; i < map.portals.size(); ++i) {
            const Portal& p = map.portals[i];
            exits_[static_cast<size_t>(p.back_cell)].push_back({static_cast<int>(i), p.front_cell});
            exits_[static_cast<size_t>(p.front_cell)].push_back({static_cast<int>(i), p.back_cell});
            windings_.push_back(portal_winding(p));
        }
    }

    CellSet from(int cell)
    {
        CellSet seen((map_.cells.size() + 7) / 8, 0);
        if (map_.cells[static_cast<size_t>(cell)].room < 0) {
            return seen;
        }
        seen_ = &seen;
        mark(cell);
        on_path_[static_cast<size_t>(cell)] = 1;
        for (const Exit& e : exits_[static_cast<size_t>(cell)]) {
            source_ = e.portal;
            mark(e.to);
            on_path_[static_cast<size_t>(e.to)] = 1;
            pass(e.to, -1, Winding{});
            on_path_[static_cast<size_t>(e.to)] = 0;
        }
        on_path_[static_cast<size_t>(cell)] = 0;
        return seen;
    }

private:
    void mark(int cell) { (*seen_)[static_cast<size_t>(cell) >> 3] |= static_cast<uint8_t>(1u << (cell & 7)); }

    bool coplanar(int a, int b) const
    {
        return map_.portals[static_cast<size_t>(a)].axis == map_.portals[static_cast<size_t>(b)].axis &&
               map_.portals[static_cast<size_t>(a)].coord == map_.portals[static_cast<size_t>(b)].coord;
    }

    // In `cell`, reached through the source portal and then `pass_portal`
    // (clipped to `pass`), or through the source portal alone when it is -1.
    void pass(int cell, int pass_portal, const Winding& pass_winding)
    {
        for (const Exit& e : exits_[static_cast<size_t>(cell)]) {
            if (on_path_[static_cast<size_t>(e.to)] != 0 || coplanar(e.portal, source_) ||
                (pass_portal >= 0 && coplanar(e.portal, pass_portal))) {
                continue;
            }
            Winding target = windings_[static_cast<size_t>(e.portal)];
            if (pass_portal >= 0) {
                const Winding& source = windings_[static_cast<size_t>(source_)];
                target = clip_to_separators(source, pass_winding, target);
                if (target.empty()) {
                    continue;
                }
            }
            mark(e.to);
            on_path_[static_cast<size_t>(e.to)] = 1;
            pass(e.to, e.portal, target);
            on_path_[static_cast<size_t>(e.to)] = 0;
        }
    }

    const BspMap& map_;
    std::vector<std::vector<Exit>> exits_;
    std::vector<Winding> windings_;
    std::vector<uint8_t> on_path_;
    CellSet* seen_ = nullptr;
    int source_ = -1;
};

} // namespace

std::vector<CellSet> compute_pvs(const BspMap& map)
{
    Flow flow(map);
    std::vector<CellSet> sets;
    sets.reserve(map.cells.size());
    for (size_t c = 0; c < map.cells.size(); ++c) {
        sets.push_back(flow.from(static_cast<int>(c)));
    }
    return sets;
}

} // namespace mapgen
