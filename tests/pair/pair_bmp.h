#pragma once
// The 24-bit BMP frames the pair drivers write, read and written back (for
// the pictures a failed comparison leaves beside the frames).
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pair {

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // top row first
    const uint8_t* at(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))]; }
};

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

inline Frame load_bmp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Frame f;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || b[28] != 24) {
        return f;
    }
    const uint32_t offset = le32(b, 10);
    const int w = static_cast<int>(le32(b, 18));
    const int h = static_cast<int>(le32(b, 22));
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || offset + stride * static_cast<size_t>(h) > b.size()) {
        return f;
    }
    f.width = w;
    f.height = h;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = b.data() + offset + stride * static_cast<size_t>(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            f.rgb.insert(f.rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return f;
}

inline void save_bmp(const std::string& path, const Frame& f)
{
    const uint32_t stride = (static_cast<uint32_t>(f.width) * 3 + 3) & ~3u;
    const uint32_t size = 54 + stride * static_cast<uint32_t>(f.height);
    std::vector<uint8_t> b(size, 0);
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(f.width));
    put32(22, static_cast<uint32_t>(f.height));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < f.height; ++y) {
        uint8_t* row = b.data() + 54 + stride * static_cast<uint32_t>(f.height - 1 - y);
        for (int x = 0; x < f.width; ++x) {
            const uint8_t* c = f.at(x, y);
            row[3 * x] = c[2];
            row[3 * x + 1] = c[1];
            row[3 * x + 2] = c[0];
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

} // namespace pair
