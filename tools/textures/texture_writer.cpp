#include "tools/textures/texture_writer.h"

#include "tools/fsys/chunk_writer.h"

#include <cstring>
#include <limits>

namespace tools {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

int nearest_entry(const std::array<uint8_t, 768>& palette, int r, int g, int b)
{
    int best = 0;
    int best_distance = std::numeric_limits<int>::max();
    for (int i = 0; i < 256; ++i) {
        const int dr = palette[3 * i] - r;
        const int dg = palette[3 * i + 1] - g;
        const int db = palette[3 * i + 2] - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

} // namespace

namespace {

// Level 0 as given, each further level one texel for every 2 x 2 of the one
// above (2 x 1 or 1 x 2 once a side is down to one texel).
template <typename Combine>
std::vector<std::vector<uint8_t>> halved_levels(const TextureImage& image, const std::vector<uint8_t>& level0,
                                                int count, Combine combine)
{
    std::vector<std::vector<uint8_t>> levels{level0};
    int uw = image.width;
    int uh = image.height;
    for (int l = 1; l < count; ++l) {
        const std::vector<uint8_t>& up = levels.back();
        const int w = uw > 1 ? uw / 2 : 1;
        const int h = uh > 1 ? uh / 2 : 1;
        const int dx = uw > 1 ? 1 : 0;
        const int dy = uh > 1 ? uw : 0;
        std::vector<uint8_t> level(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const size_t a = static_cast<size_t>((dy != 0 ? 2 * y : y) * uw + (dx != 0 ? 2 * x : x));
                const size_t b = a + static_cast<size_t>(dy);
                level[static_cast<size_t>(y * w + x)] = combine(up[a], up[a + static_cast<size_t>(dx)], up[b],
                                                                up[b + static_cast<size_t>(dx)]);
            }
        }
        levels.push_back(std::move(level));
        uw = w;
        uh = h;
    }
    return levels;
}

} // namespace

int whole_chain_levels(int width, int height)
{
    int levels = 1;
    for (int side = width > height ? width : height; side > 1; side /= 2) {
        ++levels;
    }
    return levels;
}

std::vector<std::vector<uint8_t>> index_levels(const TextureImage& image, int count)
{
    return halved_levels(image, image.index, count, [&](int i0, int i1, int i2, int i3) {
        int sum[3] = {0, 0, 0};
        for (const int i : {i0, i1, i2, i3}) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += image.palette[static_cast<size_t>(3 * i + c)];
            }
        }
        return static_cast<uint8_t>(nearest_entry(image.palette, sum[0] / 4, sum[1] / 4, sum[2] / 4));
    });
}

std::vector<std::vector<uint8_t>> alpha_levels(const TextureImage& image, int count)
{
    return halved_levels(image, image.alpha, count,
                         [](int a0, int a1, int a2, int a3) { return static_cast<uint8_t>((a0 + a1 + a2 + a3) / 4); });
}

std::vector<uint8_t> head_data(uint32_t width, uint32_t height, uint32_t levels)
{
    std::vector<uint8_t> out;
    put32(out, width);
    put32(out, height);
    put32(out, levels);
    return out;
}

std::vector<uint8_t> palette_data(const std::array<uint8_t, 768>& palette)
{
    return std::vector<uint8_t>(palette.begin(), palette.end());
}

std::vector<uint8_t> levels_data(const std::vector<std::vector<uint8_t>>& levels)
{
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& level : levels) {
        out.insert(out.end(), level.begin(), level.end());
    }
    return out;
}

std::vector<uint8_t> cmt_bytes(const TextureImage& image)
{
    const bool with_alpha = !image.alpha.empty();
    const int count = whole_chain_levels(image.width, image.height);
    ChunkWriter w(with_alpha ? "MAPT" : "MIPT");
    w.add("HEAD", head_data(static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height),
                            static_cast<uint32_t>(count)));
    w.add("PAL8", palette_data(image.palette));
    w.add("DATA", levels_data(index_levels(image, count)));
    if (with_alpha) {
        w.add("ALPH", levels_data(alpha_levels(image, count)));
    }
    return w.bytes();
}

std::vector<uint8_t> cel_bytes(const TextureImage& image)
{
    std::vector<uint8_t> out(800, 0);
    out[2] = static_cast<uint8_t>(image.width);
    out[3] = static_cast<uint8_t>(image.width >> 8);
    out[4] = static_cast<uint8_t>(image.height);
    out[5] = static_cast<uint8_t>(image.height >> 8);
    for (size_t i = 0; i < image.palette.size(); ++i) {
        out[32 + i] = static_cast<uint8_t>(image.palette[i] >> 2);
    }
    const std::vector<uint8_t> levels = levels_data(index_levels(image));
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

std::vector<uint8_t> frame_list_data(const std::vector<SequenceFrame>& frames)
{
    std::vector<uint8_t> out;
    for (const SequenceFrame& f : frames) {
        char name[8] = {};
        std::memcpy(name, f.name.data(), f.name.size() < 8 ? f.name.size() : 8);
        out.insert(out.end(), name, name + 8);
        uint32_t bits = 0;
        std::memcpy(&bits, &f.seconds, 4);
        put32(out, bits);
    }
    return out;
}

std::vector<uint8_t> mips_bytes(const std::vector<SequenceFrame>& frames, int32_t loop_start)
{
    ChunkWriter w("MIPS");
    std::vector<uint8_t> head;
    put32(head, static_cast<uint32_t>(frames.size()));
    put32(head, static_cast<uint32_t>(loop_start));
    w.add("SQHD", head);
    w.add("FRAM", frame_list_data(frames));
    return w.bytes();
}

} // namespace tools
