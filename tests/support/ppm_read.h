#pragma once
// Binary PPM files (P6, 8 bits a channel) as written by ImageMagick and by the
// approved images, read back as rows of 0x00RRGGBB.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

inline bool read_ppm(const std::string& path, int& width, int& height, std::vector<uint32_t>& pixels)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    if (!(in >> magic >> width >> height >> maximum) || magic != "P6" || maximum != 255 || width <= 0 ||
        height <= 0 || width > 8192 || height > 8192) {
        return false;
    }
    in.get();
    std::vector<unsigned char> bytes(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        return false;
    }
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint32_t>(bytes[3 * i]) << 16 | static_cast<uint32_t>(bytes[3 * i + 1]) << 8 |
                    bytes[3 * i + 2];
    }
    return true;
}
