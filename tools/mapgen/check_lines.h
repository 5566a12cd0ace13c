#pragma once
// The generator's own reading of the text and binary files it wrote, for
// its self-check; it shares nothing with the engine's readers.
#include "tools/mapgen/bsp_map.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace mapgen {

// The lines of a text file after its header, '#' lines left out.
class Lines {
public:
    // comments_first: '#' lines may stand before the header too.
    Lines(const std::string& text, const char* magic, uint32_t map_id, std::string& error, bool comments_first = false)
        : error_(error)
    {
        std::istringstream in(text);
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (first && comments_first && !line.empty() && line[0] == '#') {
                continue;
            }
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
    // The next line as whitespace-separated integers.
    bool ints(std::vector<long long>& out)
    {
        out.clear();
        if (!ok_ || next_ >= lines_.size()) {
            return expect(false, "the file ends early");
        }
        std::istringstream line(lines_[next_++]);
        long long v = 0;
        while (line >> v) {
            out.push_back(v);
        }
        return expect(line.eof() && !out.empty(), "a line of integers does not read back");
    }
    // The next line whole.
    bool text(std::string& out)
    {
        if (!ok_ || next_ >= lines_.size()) {
            return expect(false, "the file ends early");
        }
        out = lines_[next_++];
        return true;
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

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    if (at + 4 > b.size()) {
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

} // namespace mapgen
