#include "tools/mapgen/map_check.h"

#include "tools/mapgen/check_lines.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

namespace mapgen {

namespace {

bool check_rplanes(const BspMap& map, const std::string& text, uint32_t map_id, std::string& error)
{
    Lines in(text, "textualRPlanes,version005", map_id, error);
    int models = 0;
    int planes = 0;
    int a = 0;
    int b = 0;
    if (!in.scan("%d", 1, &models) || !in.scan("%d", 1, &planes) || !in.scan("%d %d", 2, &a, &b) ||
        !in.expect(models == 1 + static_cast<int>(map.movers.size()) && planes == map.planes.size(), "counts differ")) {
        return false;
    }
    for (size_t m = 0; m < map.movers.size(); ++m) {
        if (!in.scan("%d %d", 2, &a, &b)) {
            return false;
        }
    }
    for (const PlaneTable::Entry& e : map.planes.entries()) {
        float v[4];
        if (!in.scan("%f %f %f %f", 4, v, v + 1, v + 2, v + 3)) {
            return false;
        }
        for (int k = 0; k < 3; ++k) {
            if (!in.expect(v[k] == (k == e.axis ? 1.0f : 0.0f), "a plane normal differs")) {
                return false;
            }
        }
        if (!in.expect(v[3] == -static_cast<float>(e.coord), "a plane offset differs")) {
            return false;
        }
    }
    return in.at_end();
}

bool check_rtrees(const BspMap& map, const std::string& text, uint32_t map_id, std::string& error)
{
    Lines in(text, "textualRTrees,version005", map_id, error);
    int models = 0;
    int nodes = 0;
    int cells = 0;
    int a = 0;
    int b = 0;
    if (!in.scan("%d", 1, &models) || !in.scan("%d", 1, &nodes) || !in.scan("%d", 1, &cells) ||
        !in.expect(models == 1 + static_cast<int>(map.movers.size()) && nodes == static_cast<int>(map.nodes.size()) &&
                       cells == static_cast<int>(map.cells.size()),
                   "counts differ") ||
        !in.scan("%d %d", 2, &a, &b) || !in.box(map.world)) {
        return false;
    }
    for (const Box& m : map.movers) {
        if (!in.scan("%d %d", 2, &a, &b) || !in.box(m)) {
            return false;
        }
    }
    for (const BspCell& c : map.cells) {
        int v[3];
        if (!in.scan("%d %d %d", 3, v, v + 1, v + 2) ||
            !in.expect(v[0] == c.first_polygon && v[1] == c.polygon_count && v[2] == (c.room < 0 ? 1 : 0),
                       "a cell differs")) {
            return false;
        }
    }
    for (const BspNode& n : map.nodes) {
        int plane = 0;
        unsigned unused = 0;
        unsigned front = 0;
        unsigned back = 0;
        if (!in.scan("%d 0x%x 0x%x 0x%x", 4, &plane, &unused, &front, &back) ||
            !in.expect(plane == n.plane && front == n.front && back == n.back, "a node differs") ||
            !in.corner(n.box.lo) || !in.corner(n.box.hi) || !in.box(n.front_box) || !in.box(n.back_box)) {
            return false;
        }
    }
    return in.at_end();
}

bool check_pvs(const std::vector<CellSet>& pvs, const std::vector<uint8_t>& bin, uint32_t map_id, std::string& error)
{
    const size_t cells = pvs.size();
    const size_t pold = 12 + 16;
    const size_t data = pold + 8 + 4 * cells + 8;
    if (bin.size() < data || std::memcmp(bin.data(), "CPVSHEAD", 8) != 0 || le32(bin, 8) != 16 ||
        le32(bin, 12) != 0 || le32(bin, 16) != map_id || le32(bin, 20) != cells ||
        std::memcmp(bin.data() + pold, "POLD", 4) != 0 || std::memcmp(bin.data() + data - 8, "DATA", 4) != 0) {
        error = "pvs.bin: the header differs";
        return false;
    }
    const size_t size = le32(bin, 24);
    if (le32(bin, data - 4) != size || data + size > bin.size()) {
        error = "pvs.bin: the data block differs";
        return false;
    }
    for (size_t c = 0; c < cells; ++c) {
        size_t at = data + le32(bin, pold + 8 + 4 * c);
        CellSet bits;
        while (bits.size() * 8 < cells && at < data + size) {
            const uint8_t control = bin[at++];
            const size_t n = (control & 0x7Fu) + 1u;
            for (size_t i = 0; i < n; ++i) {
                bits.push_back((control & 0x80u) != 0 ? 0 : at < data + size ? bin[at++] : 0);
            }
        }
        bits.resize(pvs[c].size(), 0xEE);
        if (bits != pvs[c]) {
            error = "pvs.bin: the set of cell " + std::to_string(c) + " differs";
            return false;
        }
    }
    return true;
}

struct ReadNode {
    float plane[4];
    unsigned front;
    unsigned back;
};

struct ReadVolume {
    std::vector<std::array<float, 3>> hulls;
    std::vector<std::vector<long long>> leaves; // contents, count, numbers
    std::vector<ReadNode> nodes;
    std::vector<int> roots;
};

// Each mover's roots must be leaves of open space.
bool read_volume_text(const std::string& text, uint32_t map_id, size_t movers, ReadVolume& v, std::string& error)
{
    Lines in(text, "textualVolume,version001", map_id, error);
    int counts[5] = {};
    for (int& c : counts) {
        if (!in.scan("%d", 1, &c)) {
            return false;
        }
    }
    if (!in.expect(counts[1] == 1 + static_cast<int>(movers) && counts[0] >= 1 && counts[3] >= 0 && counts[4] >= 0, "counts differ")) {
        return false;
    }
    v.hulls.resize(static_cast<size_t>(counts[0]));
    for (auto& h : v.hulls) {
        if (!in.scan("%f %f %f", 3, &h[0], &h[1], &h[2])) {
            return false;
        }
    }
    long long pool = 0;
    v.leaves.resize(static_cast<size_t>(counts[3]));
    for (auto& l : v.leaves) {
        if (!in.ints(l) || !in.expect(l.size() >= 2 && l[1] + 2 == static_cast<long long>(l.size()), "a leaf's count differs")) {
            return false;
        }
        pool += l[1];
    }
    if (!in.expect(pool == counts[2], "the trigger lists differ from their length")) {
        return false;
    }
    v.nodes.resize(static_cast<size_t>(counts[4]));
    for (ReadNode& n : v.nodes) {
        if (!in.scan("%f %f %f %f 0x%x 0x%x", 6, n.plane, n.plane + 1, n.plane + 2, n.plane + 3, &n.front, &n.back)) {
            return false;
        }
    }
    float box[6];
    if (!in.scan("%f %f %f %f %f %f", 6, box, box + 1, box + 2, box + 3, box + 4, box + 5)) {
        return false;
    }
    v.roots.resize(v.hulls.size());
    for (int& r : v.roots) {
        if (!in.scan("%d", 1, &r)) {
            return false;
        }
    }
    for (size_t m = 0; m < movers; ++m) {
        if (!in.scan("%f %f %f %f %f %f", 6, box, box + 1, box + 2, box + 3, box + 4, box + 5)) {
            return false;
        }
        for (size_t t = 0; t < v.hulls.size(); ++t) {
            int r = 0;
            if (!in.scan("%d", 1, &r)) {
                return false;
            }
            const long long leaf = static_cast<long long>(r) - static_cast<long long>(v.nodes.size());
            if (!in.expect(leaf >= 0 && leaf < static_cast<long long>(v.leaves.size()) &&
                               v.leaves[static_cast<size_t>(leaf)] == std::vector<long long>{VOLUME_AIR, 0},
                           "a mover's root is not open space")) {
                return false;
            }
        }
    }
    return in.at_end();
}

// The leaf holding p: front only when n.p + d > 0. Null when an index is bad
// or the walk runs longer than there are nodes.
const std::vector<long long>* leaf_at(const ReadVolume& v, int root, const std::array<double, 3>& p)
{
    const size_t nodes = v.nodes.size();
    size_t element = static_cast<size_t>(root);
    for (size_t steps = 0; steps <= nodes; ++steps) {
        if (element >= nodes) {
            return element - nodes < v.leaves.size() ? &v.leaves[element - nodes] : nullptr;
        }
        const ReadNode& n = v.nodes[element];
        const float d = n.plane[0] * static_cast<float>(p[0]) + n.plane[1] * static_cast<float>(p[1]) +
                        n.plane[2] * static_cast<float>(p[2]) + n.plane[3];
        const unsigned child = d > 0.0f ? n.front : n.back;
        element = (child & CHILD_CELL) != 0 ? nodes + (child & ~CHILD_CELL) : child;
    }
    return nullptr;
}

bool strictly_inside(const Box& b, const std::array<double, 3>& p)
{
    for (int k = 0; k < 3; ++k) {
        if (!(b.lo[k] < p[k] && p[k] < b.hi[k])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool check_volume_file(const RoomModel& model, const BspMap& map, const VolumeMap& volume, uint32_t map_id,
                       const std::string& text, std::string& error)
{
    ReadVolume v;
    if (!read_volume_text(text, map_id, volume.movers.size(), v, error)) {
        return false;
    }
    std::vector<VolumeBox> solids;
    std::vector<VolumeBox> zones;
    for (size_t t = 0; t < volume.trees.size(); ++t) {
        const VolumeTreeMap& tree = volume.trees[t];
        volume_boxes(model, map, tree.hull, solids, zones);
        for (size_t i = tree.first_leaf; i < tree.end_leaf; ++i) {
            const Box& b = volume.leaves[i].box;
            const std::array<double, 3> p = {(b.lo[0] + b.hi[0]) / 2, (b.lo[1] + b.hi[1]) / 2, (b.lo[2] + b.hi[2]) / 2};
            std::vector<long long> expected = {VOLUME_AIR, 0};
            std::set<long long> numbers;
            for (const VolumeBox& s : solids) {
                if (strictly_inside(s.box, p)) {
                    expected[0] = std::max<long long>(expected[0], s.contents);
                }
            }
            for (const VolumeBox& z : zones) {
                if (strictly_inside(z.box, p)) {
                    numbers.insert(z.contents);
                }
            }
            expected[1] = static_cast<long long>(numbers.size());
            expected.insert(expected.end(), numbers.begin(), numbers.end());
            const std::vector<long long>* const got = leaf_at(v, v.roots[t], p);
            if (got == nullptr || *got != expected) {
                error = "tree " + std::to_string(t) + " gives other contents or triggers at the centre of leaf " +
                        std::to_string(i);
                return false;
            }
        }
    }
    return true;
}

bool check_map_files(const BspMap& map, const std::vector<CellSet>& pvs, uint32_t map_id, const std::string& rplanes,
                     const std::string& rtrees, const std::vector<uint8_t>& pvs_bin, std::string& error)
{
    if (!check_rplanes(map, rplanes, map_id, error)) {
        error = "rplanes.txt: " + error;
        return false;
    }
    if (!check_rtrees(map, rtrees, map_id, error)) {
        error = "rtrees.txt: " + error;
        return false;
    }
    return check_pvs(pvs, pvs_bin, map_id, error);
}

} // namespace mapgen
