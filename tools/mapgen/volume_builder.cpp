#include "tools/mapgen/volume_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

namespace mapgen {

namespace {

struct Split {
    int axis;
    double coord;
    bool operator<(const Split& o) const { return axis != o.axis ? axis < o.axis : coord < o.coord; }
};

// Positive-volume overlap.
bool meets(const Box& a, const Box& b)
{
    for (int k = 0; k < 3; ++k) {
        if (!(a.lo[k] < b.hi[k] && b.lo[k] < a.hi[k])) {
            return false;
        }
    }
    return true;
}

Box widened(const Box& b, const std::array<double, 3>& by)
{
    Box out = b;
    for (int k = 0; k < 3; ++k) {
        out.lo[k] = static_cast<float>(b.lo[k] - by[k]);
        out.hi[k] = static_cast<float>(b.hi[k] + by[k]);
    }
    return out;
}

void add_room_walls(const RoomModel& model, const std::array<double, 3>& hull, std::vector<VolumeBox>& solids)
{
    for (size_t a = 0; a < model.rooms.size(); ++a) {
        for (size_t b = 0; b < model.rooms.size(); ++b) {
            const Box& lo = model.rooms[a].box;
            const Box& hi = model.rooms[b].box;
            for (int k = 0; k < 3; ++k) {
                if (a == b || lo.hi[k] != hi.lo[k]) {
                    continue;
                }
                const int u = (k + 1) % 3;
                const int v = (k + 2) % 3;
                const std::array<double, 4> face = {std::max(lo.lo[u], hi.lo[u]), std::min(lo.hi[u], hi.hi[u]),
                                                    std::max(lo.lo[v], hi.lo[v]), std::min(lo.hi[v], hi.hi[v])};
                if (!(face[0] < face[1] && face[2] < face[3])) {
                    continue;
                }
                std::vector<std::array<double, 4>> open;
                for (const Doorway& d : model.doors) {
                    const bool joins = (d.a == static_cast<int>(a) && d.b == static_cast<int>(b)) ||
                                       (d.a == static_cast<int>(b) && d.b == static_cast<int>(a));
                    if (joins && d.axis == k && d.box.lo[k] == lo.hi[k]) {
                        open.push_back({d.box.lo[u], d.box.hi[u], d.box.lo[v], d.box.hi[v]});
                    }
                }
                std::array<double, 3> by = hull;
                by[k] = std::max(hull[k], WALL_HALF_THICKNESS);
                for (const auto& r : wall_rectangles(face, open)) {
                    Box wall;
                    wall.lo[k] = lo.hi[k];
                    wall.hi[k] = lo.hi[k];
                    wall.lo[u] = r[0];
                    wall.hi[u] = r[1];
                    wall.lo[v] = r[2];
                    wall.hi[v] = r[3];
                    solids.push_back({widened(wall, by), VOLUME_SOLID});
                }
            }
        }
    }
}

class TreeBuilder {
public:
    explicit TreeBuilder(VolumeMap& out) : out_(out) {}

    uint32_t build(const Box& region, const std::vector<VolumeBox>& solids, const std::vector<VolumeBox>& zones)
    {
        std::set<Split> candidates;
        for (const auto* list : {&solids, &zones}) {
            for (const VolumeBox& b : *list) {
                for (int k = 0; k < 3; ++k) {
                    for (const double c : {b.box.lo[k], b.box.hi[k]}) {
                        if (region.lo[k] < c && c < region.hi[k]) {
                            candidates.insert({k, c});
                        }
                    }
                }
            }
        }
        if (candidates.empty()) {
            return leaf(region, solids, zones);
        }
        const Split split = choose(candidates, region, solids, zones);
        const size_t index = out_.nodes.size();
        out_.nodes.emplace_back();
        VolumeNode node;
        node.axis = split.axis;
        node.coord = split.coord;
        Box front = region;
        front.lo[split.axis] = split.coord;
        Box back = region;
        back.hi[split.axis] = split.coord;
        node.front = build(front, within(front, solids), within(front, zones));
        node.back = build(back, within(back, solids), within(back, zones));
        out_.nodes[index] = node;
        return static_cast<uint32_t>(index);
    }

private:
    // Every box left meets the whole region.
    uint32_t leaf(const Box& region, const std::vector<VolumeBox>& solids, const std::vector<VolumeBox>& zones)
    {
        VolumeLeaf leaf;
        leaf.box = region;
        for (const VolumeBox& b : solids) {
            leaf.contents = std::max(leaf.contents, b.contents);
        }
        std::set<int32_t> numbers;
        for (const VolumeBox& z : zones) {
            numbers.insert(z.contents);
        }
        leaf.triggers.assign(numbers.begin(), numbers.end());
        out_.leaves.push_back(leaf);
        return CHILD_CELL | static_cast<uint32_t>(out_.leaves.size() - 1);
    }

    static std::vector<VolumeBox> within(const Box& region, const std::vector<VolumeBox>& boxes)
    {
        std::vector<VolumeBox> out;
        for (const VolumeBox& b : boxes) {
            if (meets(region, b.box)) {
                out.push_back(b);
            }
        }
        return out;
    }

    // The split that leaves a point the fewest boxes to tell apart on the way
    // down: each side's box count weighted by the share of the region it
    // covers, so that wide empty space becomes a leaf early and walks through
    // it stay short. The first such in axis and coordinate order, so that the
    // same description gives the same tree.
    static Split choose(const std::set<Split>& candidates, const Box& region, const std::vector<VolumeBox>& solids,
                        const std::vector<VolumeBox>& zones)
    {
        Split best = *candidates.begin();
        double best_cost = -1.0;
        for (const Split& s : candidates) {
            long front = 0;
            long back = 0;
            for (const auto* list : {&solids, &zones}) {
                for (const VolumeBox& b : *list) {
                    front += b.box.hi[s.axis] > s.coord ? 1 : 0;
                    back += b.box.lo[s.axis] < s.coord ? 1 : 0;
                }
            }
            const double share = (s.coord - region.lo[s.axis]) / (region.hi[s.axis] - region.lo[s.axis]);
            const double cost = share * static_cast<double>(back) + (1.0 - share) * static_cast<double>(front);
            if (best_cost < 0.0 || cost < best_cost) {
                best = s;
                best_cost = cost;
            }
        }
        return best;
    }

    VolumeMap& out_;
};

} // namespace

void volume_boxes(const RoomModel& model, const BspMap& map, const std::array<double, 3>& hull,
                  std::vector<VolumeBox>& solids, std::vector<VolumeBox>& zones)
{
    solids.clear();
    zones.clear();
    const Box region = widened(map.world, {2 * hull[0], 2 * hull[1], 2 * hull[2]});
    for (const BspCell& c : map.cells) {
        if (c.room < 0) {
            solids.push_back({widened(c.box, hull), VOLUME_SOLID});
        }
    }
    // The shell between the world's box and the tree's region is solid too.
    for (int k = 0; k < 3; ++k) {
        if (hull[k] > 0.0) {
            Box low = region;
            low.hi[k] = map.world.lo[k];
            Box high = region;
            high.lo[k] = map.world.hi[k];
            solids.push_back({low, VOLUME_SOLID});
            solids.push_back({high, VOLUME_SOLID});
        }
    }
    add_room_walls(model, hull, solids);
    for (const Block& b : model.blocks) {
        solids.push_back({widened(b.box, hull), b.contents});
    }
    for (const TriggerZone& z : model.triggers) {
        zones.push_back({widened(z.box, hull), z.number});
    }
}

VolumeMap build_volume(const RoomModel& model, const BspMap& map)
{
    VolumeMap out;
    out.model_box = map.world;
    TreeBuilder builder(out);
    std::vector<VolumeBox> solids;
    std::vector<VolumeBox> zones;
    for (const std::array<double, 3>& hull : hull_vectors(model)) {
        VolumeTreeMap tree;
        tree.hull = hull;
        tree.region = widened(map.world, {2 * hull[0], 2 * hull[1], 2 * hull[2]});
        volume_boxes(model, map, hull, solids, zones);
        tree.first_leaf = out.leaves.size();
        tree.root = builder.build(tree.region, solids, zones);
        tree.end_leaf = out.leaves.size();
        tree.open_leaf = tree.first_leaf;
        for (size_t i = tree.first_leaf; i < tree.end_leaf; ++i) {
            if (out.leaves[i].contents == VOLUME_AIR && out.leaves[i].triggers.empty()) {
                tree.open_leaf = i;
                break;
            }
        }
        out.trees.push_back(tree);
    }
    out.movers = model.movers;
    return out;
}

} // namespace mapgen
