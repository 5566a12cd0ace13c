#pragma once
// Writes pictures (".cpc", form "PICT") and icons (".cic", form "ICON"):
// chunks "HEAD" (u32 width, height), "PAL8" (256 x red, green, blue),
// "DATA" (a palette index a pixel) and, for icons, "ALPH" (an alpha a pixel).
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct PictureDesign {
    bool icon = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> palette; // 768 bytes
    std::vector<uint8_t> data;    // width x height
    std::vector<uint8_t> alpha;   // width x height, icons only
};

std::vector<uint8_t> picture_bytes(const PictureDesign& picture);
// "pictures/<size directory>/<name>.cic" or ".cpc" under base, directories
// created; false on failure.
bool write_picture(const std::string& base, const char* size_directory, const char* name,
                   const PictureDesign& picture);

} // namespace tools
