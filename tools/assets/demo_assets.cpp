#include "tools/assets/demo_assets.h"

#include "tools/assets/small_font.h"
#include "tools/fsys/write_bytes.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tools {

namespace {

struct SizeDirectory {
    const char* name;
    uint32_t width;
    uint32_t height;
};

constexpr SizeDirectory demo_sizes[] = {{"size01", 320, 200}, {"size04", 640, 480}, {"size07", 1024, 768}};

// 256 entries from colour a (index 0) to colour b (index 255).
std::vector<uint8_t> ramp(const uint8_t a[3], const uint8_t b[3])
{
    std::vector<uint8_t> p;
    for (int i = 0; i < 256; ++i) {
        for (int k = 0; k < 3; ++k) {
            p.push_back(static_cast<uint8_t>(a[k] + (b[k] - a[k]) * i / 255));
        }
    }
    return p;
}

// Index by height with a gentle wave, so that stretching shows.
PictureDesign waves(uint32_t width, uint32_t height, const uint8_t from[3], const uint8_t to[3])
{
    PictureDesign p;
    p.width = width;
    p.height = height;
    p.palette = ramp(from, to);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            const double v = 0.75 * fy + 0.12 * std::sin(fx * 12.0 + fy * 5.0) + 0.1;
            p.data.push_back(static_cast<uint8_t>(std::lround(std::fmin(1.0, std::fmax(0.0, v)) * 255.0)));
        }
    }
    return p;
}

// The word in the font's strokes, `scale` pixels a stroke, centred, in index 255.
void stamp(PictureDesign& p, const char* word, uint32_t scale)
{
    uint32_t length = 0;
    for (const char* c = word; *c != '\0'; ++c) {
        ++length;
    }
    const uint32_t text_width = length * SMALL_FONT_ADVANCE * scale;
    const uint32_t text_height = 7 * scale;
    if (text_width >= p.width || text_height >= p.height) {
        return;
    }
    const uint32_t x0 = (p.width - text_width) / 2;
    const uint32_t y0 = (p.height - text_height) / 2;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t rows[9];
        if (!small_font_strokes(word[i], rows)) {
            continue;
        }
        for (uint32_t y = 0; y < 7 * scale; ++y) {
            for (uint32_t x = 0; x < 5 * scale; ++x) {
                if ((rows[y / scale] & (0x10 >> (x / scale))) != 0) {
                    p.data[(y0 + y) * p.width + x0 + i * SMALL_FONT_ADVANCE * scale + x] = 255;
                }
            }
        }
    }
}

} // namespace

PictureDesign demo_background(uint32_t width, uint32_t height)
{
    static constexpr uint8_t from[3] = {8, 16, 40};
    static constexpr uint8_t to[3] = {30, 90, 110};
    return waves(width, height, from, to);
}

PictureDesign demo_loader(uint32_t width, uint32_t height)
{
    static constexpr uint8_t from[3] = {40, 16, 8};
    static constexpr uint8_t to[3] = {150, 110, 40};
    PictureDesign p = waves(width, height, from, to);
    p.palette[3 * 255] = 255;
    p.palette[3 * 255 + 1] = 240;
    p.palette[3 * 255 + 2] = 200;
    stamp(p, "Loading", width / 160 > 0 ? width / 160 : 1);
    return p;
}

PictureDesign demo_marker(uint32_t side)
{
    PictureDesign p;
    p.icon = true;
    p.width = side;
    p.height = side;
    static constexpr uint8_t from[3] = {255, 200, 40};
    static constexpr uint8_t to[3] = {255, 60, 20};
    p.palette = ramp(from, to);
    const double c = (side - 1) / 2.0;
    for (uint32_t y = 0; y < side; ++y) {
        for (uint32_t x = 0; x < side; ++x) {
            // A diamond, opaque at its centre and fading to its edge.
            const double d = (std::fabs(x - c) + std::fabs(y - c)) / c;
            p.data.push_back(static_cast<uint8_t>(std::lround(std::fmin(d, 1.0) * 255.0)));
            p.alpha.push_back(d >= 1.0 ? 0 : static_cast<uint8_t>(std::lround((1.0 - d) * 255.0)));
        }
    }
    return p;
}

TextureImage demo_glow(int side)
{
    TextureImage t;
    t.width = side;
    t.height = side;
    for (int i = 0; i < 256; ++i) {
        // White at the heart through yellow to orange.
        t.palette[3 * i] = 255;
        t.palette[3 * i + 1] = static_cast<uint8_t>(140 + i * 115 / 255);
        t.palette[3 * i + 2] = static_cast<uint8_t>(i * i / 255);
    }
    const double c = (side - 1) / 2.0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double d = std::fmin(std::hypot(x - c, y - c) / c, 1.0);
            const double heart = 1.0 - d;
            t.index.push_back(static_cast<uint8_t>(std::lround(heart * heart * 255.0)));
            t.alpha.push_back(static_cast<uint8_t>(std::lround(heart * 255.0)));
        }
    }
    return t;
}

bool write_demo_assets(const std::string& base)
{
    std::error_code error;
    std::filesystem::create_directories(base, error);
    const std::string font = base + "/small.fnt";
    if (error || !write_bytes(font.c_str(), font_bytes(small_font()))) {
        std::fprintf(stderr, "ostrel_assets: can't write %s\n", font.c_str());
        return false;
    }
    for (const SizeDirectory& s : demo_sizes) {
        const uint32_t marker = s.height / 12;
        if (!write_picture(base, s.name, "backgrnd", demo_background(s.width, s.height)) ||
            !write_picture(base, s.name, "loading", demo_loader(s.width, s.height)) ||
            !write_picture(base, s.name, "marker", demo_marker(marker))) {
            std::fprintf(stderr, "ostrel_assets: can't write the pictures of %s/pictures/%s\n", base.c_str(),
                         s.name);
            return false;
        }
    }
    const std::filesystem::path sprites = std::filesystem::path(base) / "textures" / "sprites";
    std::filesystem::create_directories(sprites, error);
    const std::string glow = (sprites / "glow.cmt").string();
    if (error || !write_bytes(glow.c_str(), cmt_bytes(demo_glow(32)))) {
        std::fprintf(stderr, "ostrel_assets: can't write %s\n", glow.c_str());
        return false;
    }
    return true;
}

} // namespace tools
