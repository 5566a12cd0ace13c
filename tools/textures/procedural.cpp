#include "tools/textures/procedural.h"

#include "tools/fsys/write_bytes.h"

#include <cmath>
#include <filesystem>

namespace tools {

namespace {

TextureImage blank(int width, int height)
{
    TextureImage image;
    image.width = width;
    image.height = height;
    image.index.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return image;
}

void set_entry(TextureImage& image, int i, int r, int g, int b)
{
    image.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(r);
    image.palette[static_cast<size_t>(3 * i + 1)] = static_cast<uint8_t>(g);
    image.palette[static_cast<size_t>(3 * i + 2)] = static_cast<uint8_t>(b);
}

// A ramp of 256 entries from one colour to another.
void ramp(TextureImage& image, int r0, int g0, int b0, int r1, int g1, int b1)
{
    for (int i = 0; i < 256; ++i) {
        set_entry(image, i, r0 + (r1 - r0) * i / 255, g0 + (g1 - g0) * i / 255, b0 + (b1 - b0) * i / 255);
    }
}

uint8_t& at(TextureImage& image, int x, int y)
{
    return image.index[static_cast<size_t>(y * image.width + x)];
}

// Lattice hash for the noise: deterministic, independent of the platform.
uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double lattice(int x, int y, int period, uint32_t seed)
{
    return static_cast<double>(hash(static_cast<uint32_t>(x % period), static_cast<uint32_t>(y % period), seed) & 0xFFFF) /
           65535.0;
}

// Tileable value noise: cell corners wrap with the texture.
double value_noise(double x, double y, int cell, int size, uint32_t seed)
{
    const int period = size / cell;
    const int x0 = static_cast<int>(x) / cell;
    const int y0 = static_cast<int>(y) / cell;
    const double fx = (x - x0 * cell) / cell;
    const double fy = (y - y0 * cell) / cell;
    const double sx = fx * fx * (3 - 2 * fx);
    const double sy = fy * fy * (3 - 2 * fy);
    const double a = lattice(x0, y0, period, seed);
    const double b = lattice(x0 + 1, y0, period, seed);
    const double c = lattice(x0, y0 + 1, period, seed);
    const double d = lattice(x0 + 1, y0 + 1, period, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

} // namespace

TextureImage make_checker(int size, int square)
{
    TextureImage image = blank(size, size);
    set_entry(image, 0, 96, 96, 104);
    set_entry(image, 1, 200, 200, 192);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            at(image, x, y) = static_cast<uint8_t>(((x / square) + (y / square)) & 1);
        }
    }
    return image;
}

TextureImage make_brick(int size)
{
    TextureImage image = blank(size, size);
    ramp(image, 90, 30, 20, 200, 90, 60);
    set_entry(image, 0, 170, 165, 150); // mortar
    for (int y = 0; y < size; ++y) {
        const int row = y / 16;
        for (int x = 0; x < size; ++x) {
            const int bx = (x + (row & 1) * 16) % 32;
            const bool mortar = y % 16 < 2 || bx < 2;
            const uint32_t brick = static_cast<uint32_t>(row * 7 + (x + (row & 1) * 16) / 32);
            at(image, x, y) = mortar ? 0 : static_cast<uint8_t>(64 + (hash(brick, 0, 5) % 128) + (hash(x, y, 9) % 32));
        }
    }
    return image;
}

TextureImage make_noise(int size, uint32_t seed)
{
    TextureImage image = blank(size, size);
    ramp(image, 40, 30, 20, 210, 180, 140);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double n = 0.5 * value_noise(x, y, 32, size, seed) + 0.3 * value_noise(x, y, 16, size, seed + 1) +
                             0.2 * value_noise(x, y, 8, size, seed + 2);
            at(image, x, y) = static_cast<uint8_t>(std::lround(n * 255.0));
        }
    }
    return image;
}

TextureImage make_sky(int size, uint32_t seed)
{
    TextureImage image = blank(size, size);
    ramp(image, 30, 60, 140, 230, 235, 250);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double n = 0.6 * value_noise(x, y, 32, size, seed) + 0.4 * value_noise(x, y, 8, size, seed + 1);
            at(image, x, y) = static_cast<uint8_t>(std::lround(n * n * 255.0));
        }
    }
    return image;
}

TextureImage make_uv_grid()
{
    TextureImage image = blank(256, 256);
    for (int i = 0; i < 256; ++i) {
        set_entry(image, i, 16 * (i % 16) + 8, 16 * (i / 16) + 8, 128);
    }
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            at(image, x, y) = static_cast<uint8_t>((y / 16) * 16 + x / 16);
        }
    }
    return image;
}

TextureImage make_grate(int size)
{
    TextureImage image = blank(size, size);
    ramp(image, 30, 30, 35, 150, 150, 160);
    image.alpha.assign(image.index.size(), 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool bar = x % 16 < 4 || y % 16 < 4;
            at(image, x, y) = static_cast<uint8_t>(bar ? 128 + (x + y) % 64 : 0);
            image.alpha[static_cast<size_t>(y * size + x)] = bar ? 255 : 0;
        }
    }
    return image;
}

TextureImage make_glass(int size)
{
    TextureImage image = blank(size, size);
    ramp(image, 120, 180, 200, 220, 240, 255);
    image.alpha.assign(image.index.size(), 128);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            at(image, x, y) = static_cast<uint8_t>((x * 5 + y * 3) % 256);
        }
    }
    return image;
}

TextureImage make_ring(int size)
{
    TextureImage image = blank(size, size);
    ramp(image, 255, 120, 20, 255, 240, 160);
    image.alpha.assign(image.index.size(), 0);
    const double centre = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double r = std::hypot(x - centre, y - centre) / (size / 2.0);
            const double a = std::fmax(0.0, 1.0 - std::fabs(r - 0.6) / 0.3);
            at(image, x, y) = static_cast<uint8_t>(std::lround(a * 255.0));
            image.alpha[static_cast<size_t>(y * size + x)] = static_cast<uint8_t>(std::lround(a * 255.0));
        }
    }
    return image;
}

TextureImage make_missing()
{
    TextureImage image = make_checker(16, 4);
    set_entry(image, 0, 0, 0, 0);
    set_entry(image, 1, 255, 0, 255);
    return image;
}

std::vector<NamedTexture> procedural_textures()
{
    const std::string r = PROCEDURAL_RESOURCE;
    std::vector<NamedTexture> list = {
        {r, "checker", make_checker(), false}, {r, "brick", make_brick(), false},
        {r, "noise", make_noise(), false},     {r, "uvgrid", make_uv_grid(), false},
        {r, "grate", make_grate(), false},     {r, "glass", make_glass(), false},
        {r, "ring", make_ring(), false},       {r, "stone", make_noise(64, 7), true},
        {"none", "none", make_missing(), false},
    };
    // The sky: six box sides ending in b, t, n, e, s, w and two dome layers.
    const std::string sky_endings = "btnesw12";
    for (size_t i = 0; i < sky_endings.size(); ++i) {
        list.push_back({r, std::string("sky") + sky_endings[i], make_sky(128, static_cast<uint32_t>(20 + 3 * i)), false});
    }
    // The frames of the sequence: the checker in three tints.
    const int tints[3][3] = {{255, 80, 80}, {80, 255, 80}, {80, 80, 255}};
    for (int i = 0; i < 3; ++i) {
        TextureImage frame = make_checker(32, 8);
        set_entry(frame, 1, tints[i][0], tints[i][1], tints[i][2]);
        list.push_back({r, "blink" + std::to_string(i), frame, false});
    }
    return list;
}

std::vector<SequenceFrame> blink_sequence() { return {{"blink0", 0.25f}, {"blink1", 0.25f}, {"blink2", 0.25f}}; }

bool write_procedural_textures(const std::string& directory)
{
    std::error_code error;
    for (const NamedTexture& t : procedural_textures()) {
        const std::filesystem::path folder = std::filesystem::path(directory) / "textures" / t.resource;
        std::filesystem::create_directories(folder, error);
        const std::string path = (folder / (t.name + (t.cel ? ".cel" : ".cmt"))).string();
        if (!write_bytes(path.c_str(), t.cel ? cel_bytes(t.image) : cmt_bytes(t.image))) {
            return false;
        }
    }
    const std::string blink =
        (std::filesystem::path(directory) / "textures" / PROCEDURAL_RESOURCE / "blink.cmt").string();
    return write_bytes(blink.c_str(), mips_bytes(blink_sequence(), 0));
}

} // namespace tools
