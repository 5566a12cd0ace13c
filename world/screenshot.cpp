#include "world/screenshot.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "fsys/stdio2.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int32_t BMP_HEADER_SIZE = 54;
constexpr int32_t BMP_INFO_SIZE = 40;
constexpr int32_t BMP_PIXELS_PER_METRE = 1000;

std::string shot_name(const char* base, const char* prefix, uint32_t n)
{
    const int length = std::snprintf(nullptr, 0, "%s/%s%05u.bmp", base, prefix, n);
    std::string name(static_cast<size_t>(length), '\0');
    std::snprintf(name.data(), name.size() + 1, "%s/%s%05u.bmp", base, prefix, n);
    return name;
}

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<uint8_t> bmp_header(int32_t width, int32_t height, int64_t row_size)
{
    std::vector<uint8_t> h;
    h.reserve(BMP_HEADER_SIZE);
    h.push_back('B');
    h.push_back('M');
    put32(h, static_cast<uint32_t>(row_size * height + BMP_HEADER_SIZE));
    put32(h, 0);
    put32(h, BMP_HEADER_SIZE);
    put32(h, BMP_INFO_SIZE);
    put32(h, static_cast<uint32_t>(width));
    put32(h, static_cast<uint32_t>(height));
    put16(h, 1);
    put16(h, 24);
    put32(h, 0);
    put32(h, 0);
    put32(h, BMP_PIXELS_PER_METRE);
    put32(h, BMP_PIXELS_PER_METRE);
    put32(h, 0);
    put32(h, 0);
    return h;
}

} // namespace

int32_t save_screenshot(const char* prefix, int32_t first, const uint32_t* pixels, int32_t width, int32_t height,
                        int32_t line_width, const uint8_t rgb_layout[4], uint32_t flags)
{
    K_ASSERT(cvar_list);
    const ConfigVariable* const base = cvar_list->find("Base");
    K_ASSERT(base);
    K_ASSERT(prefix && pixels && rgb_layout);
    const int64_t row_size = shot_row_size(width);
    // The file size field is 32 bits.
    if (width <= 0 || height <= 0 || first < 0 || row_size * height + BMP_HEADER_SIZE > UINT32_MAX) {
        return -1;
    }

    // Numbers stay below INT32_MAX so that the one returned, and the caller's
    // next one, are never negative.
    uint32_t n = static_cast<uint32_t>(first);
    std::string name = shot_name(base->string(), prefix, n);
    while (file_exists(name.c_str())) {
        n = n + 1 < INT32_MAX ? n + 1 : 0;
        if (n == static_cast<uint32_t>(first)) {
            return -1;
        }
        name = shot_name(base->string(), prefix, n);
    }

    std::FILE* const file = open_for_write(name.c_str(), STDIO2_BINARY);
    if (file == nullptr) {
        return -1;
    }
    uint8_t* const row = new (std::nothrow) uint8_t[static_cast<size_t>(row_size)];
    if (row == nullptr) {
        std::fclose(file);
        std::remove(name.c_str());
        return -1;
    }
    for (int64_t i = 3 * static_cast<int64_t>(width); i < row_size; ++i) {
        row[i] = 0;
    }
    const std::vector<uint8_t> header = bmp_header(width, height, row_size);
    bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    const int red = rgb_layout[0] & 31;
    const int green = rgb_layout[1] & 31;
    const int blue = rgb_layout[2] & 31;
    for (int32_t i = 0; i < height && written; ++i) {
        // The file's first row is the picture's bottom line.
        const int32_t line = (flags & SHOT_BOTTOM_UP) != 0 ? i : height - 1 - i;
        const uint32_t* const source = pixels + static_cast<int64_t>(line) * line_width;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = source[x];
            row[3 * x] = static_cast<uint8_t>(p >> blue);
            row[3 * x + 1] = static_cast<uint8_t>(p >> green);
            row[3 * x + 2] = static_cast<uint8_t>(p >> red);
        }
        written = std::fwrite(row, 1, static_cast<size_t>(row_size), file) == static_cast<size_t>(row_size);
    }
    delete[] row;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        // A short file would pass for a shot; take it away and report the failure.
        std::remove(name.c_str());
        return -1;
    }
    return static_cast<int32_t>(n);
}
