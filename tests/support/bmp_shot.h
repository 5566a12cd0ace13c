#pragma once
// The engine's screenshots as tests read them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A 24-bit bottom-up BMP as the engine writes its screenshots.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // rows top to bottom

    bool read(const std::string& bytes)
    {
        const auto u32 = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
        };
        if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0 || (u32(28) & 0xFFFF) != 24) {
            return false;
        }
        const uint32_t data = u32(10);
        width = static_cast<int>(u32(18));
        height = static_cast<int>(u32(22));
        if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
            return false;
        }
        const size_t row = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        if (data + row * static_cast<size_t>(height) > bytes.size()) {
            return false;
        }
        for (int y = 0; y < height; ++y) {
            const size_t line = data + row * static_cast<size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                const size_t p = line + 3 * static_cast<size_t>(x);
                rgb.push_back(static_cast<uint8_t>(bytes[p + 2]));
                rgb.push_back(static_cast<uint8_t>(bytes[p + 1]));
                rgb.push_back(static_cast<uint8_t>(bytes[p]));
            }
        }
        return true;
    }

    // Pixels of the rows from y0 on that pass the test.
    template <typename Test>
    int count(int y0, Test test) const
    {
        return count_in(0, y0, width, height, test);
    }
    // Pixels of the rectangle [x0, x1) x [y0, y1) that pass the test.
    template <typename Test>
    int count_in(int x0, int y0, int x1, int y1, Test test) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
                n += test(rgb[i], rgb[i + 1], rgb[i + 2]) ? 1 : 0;
            }
        }
        return n;
    }
};
