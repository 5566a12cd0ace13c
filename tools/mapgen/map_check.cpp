#include "tools/mapgen/map_check.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace mapgen {

namespace {

// The lines of a text file after its header, '#' lines left out.
class Lines {
public:
    Lines(const std::string& text, const char* magic, uint32_t map_id, std::string& error) : error_(error)
    {
        std::istringstream in(text);
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (first) {
                char expected[64];
                std::snprintf(expected, sizeof expected, map_id != 0 ? "%s,0x%x" : "%s", magic, map_id);
                ok_ = line == expected;
                first = false;
            } else if (line.empty() || line[0] != '#') {
                lines_.push_back(line);
            }
        }
        if (!ok_) {
            error_ = std::string("bad header, expected ") + magic;
        }
    }
    bool ok() const { return ok_; }

    // Scans the next line; false after noting it.
    template <typename... T>
    bool scan(const char* format, int fields, T*... values)
    {
        if (!ok_) {
            return false;
        }
        if (next_ >= lines_.size() || std::sscanf(lines_[next_].c_str(), format, values...) != fields) {
            ok_ = false;
            error_ = "line " + std::to_string(next_ + 2) + " does not read back";
            return false;
        }
        ++next_;
        return true;
    }
    bool box(const Box& expected)
    {
        float v[6];
        if (!scan("%f %f %f %f %f %f", 6, v, v + 1, v + 2, v + 3, v + 4, v + 5)) {
            return false;
        }
        return expect(same(v, expected.lo) && same(v + 3, expected.hi), "a box differs");
    }
    bool corner(const std::array<double, 3>& expected)
    {
        float v[3];
        return scan("%f %f %f", 3, v, v + 1, v + 2) && expect(same(v, expected), "a corner differs");
    }
    bool expect(bool condition, const char* what)
    {
        if (ok_ && !condition) {
            ok_ = false;
            error_ = "line " + std::to_string(next_ + 1) + ": " + what;
        }
        return ok_;
    }
    bool at_end() { return expect(next_ == lines_.size(), "lines follow the last node"); }

private:
    static bool same(const float* v, const std::array<double, 3>& e)
    {
        for (int k = 0; k < 3; ++k) {
            if (v[k] != static_cast<float>(e[static_cast<size_t>(k)])) {
                return false;
            }
        }
        return true;
    }

    std::vector<std::string> lines_;
    size_t next_ = 0;
    bool ok_ = true;
    std::string& error_;
};

bool check_rplanes(const BspMap& map, const std::string& text, uint32_t map_id, std::string& error)
{
    Lines in(text, "textualRPlanes,version005", map_id, error);
    int models = 0;
    int planes = 0;
    int a = 0;
    int b = 0;
    if (!in.scan("%d", 1, &models) || !in.scan("%d", 1, &planes) || !in.scan("%d %d", 2, &a, &b) ||
        !in.expect(models == 1 && planes == map.planes.size(), "counts differ")) {
        return false;
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
        !in.expect(models == 1 && nodes == static_cast<int>(map.nodes.size()) &&
                       cells == static_cast<int>(map.cells.size()),
                   "counts differ") ||
        !in.scan("%d %d", 2, &a, &b) || !in.box(map.world)) {
        return false;
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

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    if (at + 4 > b.size()) {
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
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

} // namespace

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
