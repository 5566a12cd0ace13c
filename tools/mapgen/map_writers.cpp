#include "tools/mapgen/map_writers.h"

#include "tools/fsys/chunk_writer.h"
#include "tools/mapgen/file_text.h"

#include <cstdio>
#include <map>

namespace mapgen {

namespace {

constexpr size_t RUN_MAX = 128;

std::string box_line(const Box& b)
{
    return number(b.lo[0]) + " " + number(b.lo[1]) + " " + number(b.lo[2]) + " " + number(b.hi[0]) + " " +
           number(b.hi[1]) + " " + number(b.hi[2]) + "\n";
}

} // namespace

std::string write_rplanes(const BspMap& map, uint32_t map_id)
{
    std::string out = header("textualRPlanes,version005", map_id);
    out += "# models, planes, then a line per model (its first plane and plane count)\n";
    out += std::to_string(1 + map.movers.size()) + "\n" + std::to_string(map.planes.size()) + "\n";
    out += "0 " + std::to_string(map.planes.size()) + "\n";
    for (size_t m = 0; m < map.movers.size(); ++m) {
        out += "0 0\n"; // a mover's faces lie on planes of the table
    }
    for (const PlaneTable::Entry& e : map.planes.entries()) {
        const double n[3] = {e.axis == 0 ? 1.0 : 0.0, e.axis == 1 ? 1.0 : 0.0, e.axis == 2 ? 1.0 : 0.0};
        out += number(n[0]) + " " + number(n[1]) + " " + number(n[2]) + " " + number(-e.coord) + "\n";
    }
    return out;
}

std::string write_rtrees(const BspMap& map, uint32_t map_id)
{
    std::string out = header("textualRTrees,version005", map_id);
    out += "# models, nodes, cells\n";
    out += std::to_string(1 + map.movers.size()) + "\n" + std::to_string(map.nodes.size()) + "\n" +
           std::to_string(map.cells.size()) + "\n";
    out += "# per model: its root node and first cell, then its box around its origin\n";
    out += "0 0\n" + box_line(map.world);
    // A mover has no tree of its own; it is drawn from its polygons.
    for (const Box& b : map.movers) {
        out += "0 0\n" + box_line(b);
    }
    out += "# per cell: first polygon, polygon count, 1 when solid\n";
    for (const BspCell& c : map.cells) {
        out += std::to_string(c.first_polygon) + " " + std::to_string(c.polygon_count) + " " +
               (c.room < 0 ? "1" : "0") + "\n";
    }
    out += "# per node: plane, 0, front and back child; its own box on two lines; the children's boxes\n";
    for (const BspNode& n : map.nodes) {
        out += std::to_string(n.plane) + " 0x0 " + hex(n.front) + " " + hex(n.back) + "\n";
        out += number(n.box.lo[0]) + " " + number(n.box.lo[1]) + " " + number(n.box.lo[2]) + "\n";
        out += number(n.box.hi[0]) + " " + number(n.box.hi[1]) + " " + number(n.box.hi[2]) + "\n";
        out += box_line(n.front_box) + box_line(n.back_box);
    }
    return out;
}

std::string write_volume(const VolumeMap& volume, uint32_t map_id)
{
    std::string out = header("textualVolume,version001", map_id);
    size_t pool = 0;
    for (const VolumeLeaf& l : volume.leaves) {
        pool += l.triggers.size();
    }
    out += "# hull trees, models, trigger list length, leaves, nodes\n";
    out += std::to_string(volume.trees.size()) + "\n" + std::to_string(1 + volume.movers.size()) + "\n" +
           std::to_string(pool) + "\n" +
           std::to_string(volume.leaves.size()) + "\n" + std::to_string(volume.nodes.size()) + "\n";
    out += "# hull vector of each tree\n";
    for (const VolumeTreeMap& t : volume.trees) {
        out += number(t.hull[0]) + " " + number(t.hull[1]) + " " + number(t.hull[2]) + "\n";
    }
    out += "# per leaf: contents, trigger count, trigger numbers\n";
    for (const VolumeLeaf& l : volume.leaves) {
        out += std::to_string(l.contents) + " " + std::to_string(l.triggers.size());
        for (const int32_t n : l.triggers) {
            out += " " + std::to_string(n);
        }
        out += "\n";
    }
    out += "# per node: plane normal and distance, front and back child\n";
    for (const VolumeNode& n : volume.nodes) {
        out += number(n.axis == 0 ? 1.0 : 0.0) + " " + number(n.axis == 1 ? 1.0 : 0.0) + " " +
               number(n.axis == 2 ? 1.0 : 0.0) + " " + number(-n.coord) + " " + hex(n.front) + " " + hex(n.back) +
               "\n";
    }
    out += "# the world model: its box, then the root element of each tree\n";
    out += box_line(volume.model_box);
    const auto element = [&](uint32_t e) {
        return std::to_string((e & CHILD_CELL) != 0 ? volume.nodes.size() + (e & ~CHILD_CELL) : e) + "\n";
    };
    for (const VolumeTreeMap& t : volume.trees) {
        out += element(t.root);
    }
    if (!volume.movers.empty()) {
        out += "# each mover: its box, then an open leaf of each tree, for it does not collide\n";
    }
    for (const Box& b : volume.movers) {
        out += box_line(b);
        for (const VolumeTreeMap& t : volume.trees) {
            out += element(CHILD_CELL | static_cast<uint32_t>(t.open_leaf));
        }
    }
    return out;
}

std::vector<uint8_t> pack_pvs(const CellSet& bits)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < bits.size()) {
        size_t run = 0;
        while (i + run < bits.size() && bits[i + run] == 0 && run < RUN_MAX) {
            ++run;
        }
        // A lone zero byte amid literals costs no more as a literal.
        if (run >= 2 || (run == 1 && i + 1 == bits.size())) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            i += run;
            continue;
        }
        size_t count = 0;
        while (i + count < bits.size() && count < RUN_MAX) {
            const bool zero_run_starts = i + count + 1 < bits.size() && bits[i + count] == 0 && bits[i + count + 1] == 0;
            if (count > 0 && zero_run_starts) {
                break;
            }
            ++count;
        }
        out.push_back(static_cast<uint8_t>(count - 1));
        out.insert(out.end(), bits.begin() + static_cast<long>(i), bits.begin() + static_cast<long>(i + count));
        i += count;
    }
    return out;
}

std::vector<uint8_t> write_pvs(const std::vector<CellSet>& pvs, int cells, uint32_t map_id)
{
    // Cells that see the same set share one packed string.
    std::map<std::vector<uint8_t>, uint32_t> known;
    std::vector<uint8_t> data;
    std::vector<uint8_t> offsets;
    for (const CellSet& set : pvs) {
        const std::vector<uint8_t> packed = pack_pvs(set);
        auto at = known.find(packed);
        if (at == known.end()) {
            at = known.emplace(packed, static_cast<uint32_t>(data.size())).first;
            data.insert(data.end(), packed.begin(), packed.end());
        }
        put32(offsets, at->second);
    }
    std::vector<uint8_t> head;
    put32(head, 0);
    put32(head, map_id);
    put32(head, static_cast<uint32_t>(cells));
    put32(head, static_cast<uint32_t>(data.size()));
    tools::ChunkWriter w("CPVS");
    w.add("HEAD", head);
    w.add("POLD", offsets);
    w.add("DATA", data);
    return w.bytes();
}

std::vector<uint8_t> write_unlit_lightmap(uint32_t map_id, uint32_t polygons, uint32_t lamps)
{
    std::vector<uint8_t> head;
    const uint32_t words[9] = {1, map_id, polygons, 0, 0, 0, lamps, 0, 0};
    for (const uint32_t w : words) {
        put32(head, w);
    }
    std::vector<uint8_t> pold;
    for (uint32_t p = 0; p < polygons; ++p) {
        put32(pold, 0);
    }
    tools::ChunkWriter w("LIMP");
    w.add("HEAD", head);
    w.add("POLD", pold);
    w.add("XLAT", std::vector<uint8_t>{});
    w.add("RLMD", std::vector<uint8_t>{});
    return w.bytes();
}

} // namespace mapgen
