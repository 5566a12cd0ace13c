// Reading "graph.txt". Every count and index is checked before it is used,
// and a file whose counts promise more than its size can hold fails before
// anything is allocated: a bad file is reported, never trusted.
#include "core/print.h"
#include "fsys/fsys.h"
#include "server/route_graph.h"
#include "world/text_file.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* GRAPH_MAGIC = "textualGraph,version004";
constexpr size_t GRAPH_DIRECTORY_MAX = 1024;
// The shortest text each item can be written in: a node's three lines
// ("0 0 0", "1", "0"), an edge ("0 0 0"), a factor line ("0"), one more
// link or router entry (" 0").
constexpr uint64_t NODE_BYTES = 6 + 2 + 2;
constexpr uint64_t EDGE_BYTES = 6;
constexpr uint64_t FACTOR_BYTES = 2;
constexpr uint64_t ENTRY_BYTES = 2;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

} // namespace

class RouteFileReader {
public:
    RouteFileReader(MapRoute& route, FileStream* stream) : r_(route), f_(stream) {}

    bool read(uint32_t map_id)
    {
        if (read_text_line(line_, f_) == nullptr || check_text_header(line_, GRAPH_MAGIC, &map_id) != TEXT_HEADER_OK) {
            return fail("bad header");
        }
        uint32_t counts[6] = {};
        for (uint32_t& c : counts) {
            if (!line() || !unsigned_field(c) || !end_of_line()) {
                return fail("bad count");
            }
        }
        const uint32_t nodecount = counts[0];
        const uint32_t edgecount = counts[1];
        const uint32_t linkcount = counts[2];
        const uint32_t factorcount = counts[3];
        const uint32_t routercount = counts[4];
        const uint32_t routersize = counts[5];
        const uint64_t infocount = uint64_t{factorcount} + routercount;
        if (!(nodecount != 0 || edgecount == 0)) {
            return fail("nodecount || edgecount == 0");
        }
        if (!(linkcount <= 2 * uint64_t{edgecount})) {
            return fail("linkcount <= 2 * edgecount");
        }
        if (!(infocount != 0 || nodecount == 0)) {
            return fail("infocount || nodecount == 0");
        }
        if (!(factorcount <= nodecount)) {
            return fail("factorcount <= nodecount");
        }
        if (!(routercount <= nodecount)) {
            return fail("routercount <= nodecount");
        }
        if (nodecount != 0 && factorcount == 0 && routercount == 0) {
            return fail("nodecount && ( factorcount || routercount )");
        }
        if (nodecount == 0 && factorcount != 0) {
            return fail("factorcount == 0");
        }
        if (nodecount == 0 && routercount != 0) {
            return fail("routercount == 0");
        }
        const int64_t size = f_->size();
        const uint64_t least = nodecount * NODE_BYTES + edgecount * EDGE_BYTES + infocount * FACTOR_BYTES +
                               (uint64_t{linkcount} + routersize) * ENTRY_BYTES;
        if (size < 0 || least > static_cast<uint64_t>(size)) {
            return fail("the counts promise more than the file holds");
        }
        r_.nodes_.assign(nodecount, RouteNode{});
        r_.edges_.assign(edgecount, RouteEdge{});
        r_.links_.assign(linkcount, 0);
        r_.factors_.assign(static_cast<size_t>(infocount), RouteFactor{});
        r_.routers_.assign(routersize, 0);
        r_.factorcount_ = static_cast<int32_t>(factorcount);
        r_.routercount_ = static_cast<int32_t>(routercount);

        uint32_t used = 0;
        for (uint32_t n = 0; n < nodecount; ++n) {
            RouteNode& node = r_.nodes_[n];
            float p[3] = {};
            if (!line() || !float_field(p[0]) || !float_field(p[1]) || !float_field(p[2])) {
                return fail("bad node position");
            }
            node.position = {p[0], p[1], p[2]};
            node.bestnode = static_cast<int32_t>(n);
            int32_t factor = 0;
            if (!line() || !int_field(factor) || !end_of_line()) {
                return fail("bad node factor");
            }
            const bool router = n < routercount;
            if (router ? factor != FACTOR_ROUTER
                       : (factor < 1 || static_cast<uint32_t>(factor) >= factorcount)) {
                return fail(router ? "a router's factor is 0" : "a node's factor names an area");
            }
            node.factor = factor;
            uint32_t count = 0;
            if (!line() || !list_count(count)) {
                return fail("bad link count");
            }
            if (uint64_t{used} + count > linkcount) {
                return fail("l < links + linkcount");
            }
            node.linkcount = count;
            node.links = used;
            for (uint32_t k = 0; k < count; ++k) {
                int32_t e = 0;
                if (!int_field(e)) {
                    return fail("bad link entry");
                }
                if (static_cast<uint32_t>(e) >= edgecount) {
                    return fail("l->edge < edges + edgecount");
                }
                r_.links_[used++] = static_cast<uint32_t>(e);
            }
            if (!end_of_line()) {
                return fail("bad link entry");
            }
        }
        if (used != linkcount) {
            return fail("l == links + linkcount");
        }
        for (uint32_t e = 0; e < edgecount; ++e) {
            RouteEdge& edge = r_.edges_[e];
            int32_t v[4] = {0, 0, 0, 1};
            if (!line() || !int_field(v[0]) || !int_field(v[1]) || !int_field(v[2])) {
                return fail("bad edge");
            }
            if (!at_end() && !int_field(v[3])) {
                return fail("bad edge");
            }
            if (!end_of_line()) {
                return fail("bad edge");
            }
            if (static_cast<uint32_t>(v[0]) >= nodecount) {
                return fail("e->from < nodes + nodecount");
            }
            if (static_cast<uint32_t>(v[1]) >= nodecount) {
                return fail("e->to < nodes + nodecount");
            }
            edge = {v[0], v[1], static_cast<uint32_t>(v[2]), static_cast<uint32_t>(v[3])};
        }
        used = 0;
        for (size_t i = 0; i < infocount; ++i) {
            RouteFactor& factor = r_.factors_[i];
            uint32_t count = 0;
            if (!line() || !list_count(count)) {
                return fail("bad router count");
            }
            if (uint64_t{used} + count > routersize) {
                return fail("r < routers + routersize");
            }
            factor.routercount = count;
            factor.routers = used;
            for (uint32_t k = 0; k < count; ++k) {
                int32_t n = 0;
                if (!int_field(n)) {
                    return fail("bad router entry");
                }
                if (static_cast<uint32_t>(n) >= routercount) {
                    return fail("*r < nodes + routercount");
                }
                r_.routers_[used++] = n;
            }
            if (!end_of_line()) {
                return fail("bad router entry");
            }
        }
        if (used != routersize) {
            return fail("r == routers + routersize");
        }
        return true;
    }

private:
    bool fail(const char* why)
    {
        print_string(P_ERROR, "MapRoute: Error in graph.txt");
        if (line_number_ > 0) {
            print_format(P_ERROR, "MapRoute: %s (line %d)", why, line_number_);
        } else {
            print_format(P_ERROR, "MapRoute: %s", why);
        }
        return false;
    }

    // The next line that is not a comment; false at the end of the file.
    bool line()
    {
        if (read_text_line(line_, f_) == nullptr) {
            cursor_ = line_;
            line_[0] = '\0';
            return false;
        }
        ++line_number_;
        cursor_ = line_;
        return true;
    }

    // The next blank-separated word of the line, or false.
    bool word(std::string& out)
    {
        while (*cursor_ != '\0' && is_blank(*cursor_)) {
            ++cursor_;
        }
        const char* const start = cursor_;
        while (*cursor_ != '\0' && !is_blank(*cursor_)) {
            ++cursor_;
        }
        out.assign(start, cursor_);
        return !out.empty();
    }

    bool at_end()
    {
        while (*cursor_ != '\0' && is_blank(*cursor_)) {
            ++cursor_;
        }
        return *cursor_ == '\0';
    }
    bool end_of_line() { return at_end(); }

    // A decimal count: digits only, within 32 bits.
    bool unsigned_field(uint32_t& value)
    {
        std::string w;
        if (!word(w) || w.size() > 10) {
            return false;
        }
        uint64_t v = 0;
        for (const char c : w) {
            if (c < '0' || c > '9') {
                return false;
            }
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        if (v > UINT32_MAX) {
            return false;
        }
        value = static_cast<uint32_t>(v);
        return true;
    }

    // Decimal, 0x hexadecimal or leading-0 octal, the whole word, any value
    // of 32 bits (a sign wraps).
    bool int_field(int32_t& value)
    {
        std::string w;
        if (!word(w)) {
            return false;
        }
        size_t i = 0;
        const bool negative = w[0] == '-';
        if (w[0] == '-' || w[0] == '+') {
            ++i;
        }
        uint32_t base = 10;
        if (i + 1 < w.size() && w[i] == '0' && (w[i + 1] == 'x' || w[i + 1] == 'X')) {
            base = 16;
            i += 2;
        } else if (i < w.size() && w[i] == '0') {
            base = 8;
        }
        if (i >= w.size()) {
            return false;
        }
        uint64_t v = 0;
        for (; i < w.size(); ++i) {
            const char c = w[i];
            const uint32_t d = c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0')
                               : c >= 'a' && c <= 'f' ? static_cast<uint32_t>(c - 'a' + 10)
                               : c >= 'A' && c <= 'F' ? static_cast<uint32_t>(c - 'A' + 10)
                                                      : 99;
            if (d >= base) {
                return false;
            }
            v = v * base + d;
            if (v > UINT32_MAX) {
                return false;
            }
        }
        const uint32_t u = static_cast<uint32_t>(v);
        value = static_cast<int32_t>(negative ? 0u - u : u);
        return true;
    }

    // A count that begins a list line.
    bool list_count(uint32_t& count)
    {
        int32_t v = 0;
        if (!int_field(v) || v < 0) {
            return false;
        }
        count = static_cast<uint32_t>(v);
        return true;
    }

    bool float_field(float& value)
    {
        std::string w;
        if (!word(w)) {
            return false;
        }
        char* end = nullptr;
        value = std::strtof(w.c_str(), &end);
        return end == w.c_str() + w.size() && std::isfinite(value);
    }

    MapRoute& r_;
    FileStream* f_;
    char line_[TEXT_LINE_SIZE] = {};
    const char* cursor_ = line_;
    int32_t line_number_ = 0;
};

int MapRoute::load(const char* directory, uint32_t map_id)
{
    free();
    if (std::strlen(directory) > GRAPH_DIRECTORY_MAX) {
        print_string(P_ERROR, "MapRoute: Graph directory name too long");
        return 0;
    }
    const std::string path = std::string(directory) + "/graph.txt";
    FileStream* const f = fsys != nullptr ? fsys->open(path.c_str(), FSYS_TEXT) : nullptr;
    if (f == nullptr) {
        print_format(P_ERROR, "MapRoute: Can't open %s", path.c_str());
        return 0;
    }
    RouteFileReader reader(*this, f);
    const bool ok = reader.read(map_id);
    f->close();
    if (!ok) {
        free();
        return 0;
    }
    if (nodes_.empty()) {
        // A map without a graph still has one place to put targets on.
        RouteNode origin;
        origin.bestnode = 0;
        nodes_.push_back(origin);
        routercount_ = 1;
        factorcount_ = 0;
        factors_.assign(1, RouteFactor{});
    }
    stack_.resize(nodes_.size());
    queue_.resize(links_.size() + 1);
    visited_.assign(nodes_.size(), 0);
    reset_tables();
    return 1;
}

void MapRoute::free()
{
    nodes_.clear();
    edges_.clear();
    links_.clear();
    factors_.clear();
    routers_.clear();
    stack_.clear();
    queue_.clear();
    visited_.clear();
    nodes_.shrink_to_fit();
    edges_.shrink_to_fit();
    links_.shrink_to_fit();
    factors_.shrink_to_fit();
    routers_.shrink_to_fit();
    factorcount_ = 0;
    routercount_ = 0;
    reset_tables();
}
