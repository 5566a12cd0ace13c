#pragma once
// How the generator's writers put numbers into the map files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mapgen {

// Floats as the files hold them: exact, no negative zero.
inline std::string number(double v)
{
    const float f = static_cast<float>(v) + 0.0f;
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
    return text;
}

// The magic line, naming the map when its identifier is not 0.
inline std::string header(const char* magic, uint32_t map_id)
{
    std::string line = magic;
    if (map_id != 0) {
        char id[16];
        std::snprintf(id, sizeof id, ",0x%x", map_id);
        line += id;
    }
    return line + "\n";
}

inline std::string hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", v);
    return text;
}

inline void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

} // namespace mapgen
