#include "soft/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The pixel layout the channel analysis chooses.
struct Layout {
    uint8_t rgb_layout[4] = {16, 8, 0, 24};
};

uint16_t ref_565(uint32_t p)
{
    const uint32_t r = (p >> 16) & 0xFF;
    const uint32_t g = (p >> 8) & 0xFF;
    const uint32_t b = p & 0xFF;
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

uint16_t ref_555(uint32_t p)
{
    const uint32_t r = (p >> 16) & 0xFF;
    const uint32_t g = (p >> 8) & 0xFF;
    const uint32_t b = p & 0xFF;
    return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

uint32_t saturate(uint32_t v) { return v > 255 ? 255 : v; }

// The pixel after the dither offsets of a position; outer offsets go to the
// bytes at bits 16-23 and 0-7, middle ones to bits 8-15.
uint32_t dithered(uint32_t p, uint32_t outer, uint32_t middle)
{
    return saturate(((p >> 16) & 0xFF) + outer) << 16 | saturate(((p >> 8) & 0xFF) + middle) << 8 |
           saturate((p & 0xFF) + outer);
}

constexpr uint32_t OUTER[2][4] = {{0, 4, 1, 5}, {6, 2, 7, 3}};
constexpr uint32_t MIDDLE_565[2][4] = {{0, 2, 0, 2}, {3, 1, 3, 1}};

void put16(std::vector<uint8_t>& out, size_t at, uint16_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

struct Frame {
    std::vector<uint32_t> source;
    int32_t width;
    int32_t rows;
    int32_t source_skip; // bytes
};

// What a fixed converter must leave in a destination that starts at
// `offset` bytes past an 8-byte boundary.
std::vector<uint8_t> reference_fixed(const Frame& f, bool is_565, bool mmx, int dither_row, size_t offset,
                                     int32_t destination_skip, size_t size)
{
    std::vector<uint8_t> out(size, 0xEE);
    size_t d = offset;
    size_t s = 0;
    for (int32_t row = 0; row < f.rows; ++row) {
        const int dither = (dither_row + row) & 1;
        int32_t x = 0;
        auto plain = [&](uint32_t p) { return is_565 ? ref_565(p) : ref_555(p); };
        if (mmx) {
            while (x < f.width && (d % 8) != 0) {
                put16(out, d, plain(f.source[s + static_cast<size_t>(x)]));
                d += 2;
                ++x;
            }
            while (x + 4 <= f.width) {
                for (int k = 0; k < 4; ++k) {
                    const uint32_t middle = is_565 ? MIDDLE_565[dither][k] : OUTER[dither][k];
                    put16(out, d, plain(dithered(f.source[s + static_cast<size_t>(x)], OUTER[dither][k], middle)));
                    d += 2;
                    ++x;
                }
            }
        }
        for (; x < f.width; ++x) {
            put16(out, d, plain(f.source[s + static_cast<size_t>(x)]));
            d += 2;
        }
        d += static_cast<size_t>(destination_skip);
        s += static_cast<size_t>(f.width) + static_cast<size_t>(f.source_skip / 4);
    }
    return out;
}

Frame random_frame(std::mt19937& random, int32_t width, int32_t rows, int32_t source_skip)
{
    Frame f{{}, width, rows, source_skip};
    f.source.resize(static_cast<size_t>(width + source_skip / 4) * static_cast<size_t>(rows) + 1);
    for (uint32_t& p : f.source) {
        p = random();
        // Bytes near 0xFF and near 0 show saturation and rounding.
        if ((p & 7u) == 0) {
            p |= 0x00FFFFFF;
        }
    }
    return f;
}

// A destination buffer whose first byte lies `offset` bytes past a 64-byte boundary.
struct Destination {
    Destination(size_t size, size_t offset) : block(size + 64, 0xEE)
    {
        const uintptr_t base = reinterpret_cast<uintptr_t>(block.data());
        start = (64 - base % 64) % 64;
        bytes = block.data() + start;
        this->offset = offset;
    }
    std::vector<uint8_t> view(size_t size) const { return {bytes, bytes + size}; }
    std::vector<uint8_t> block;
    size_t start;
    size_t offset;
    uint8_t* bytes;
};

} // namespace

TEST(VideoConvert, FixedConvertersPackTheTopBitsOfEachByte)
{
    struct Case {
        uint32_t pixel;
        uint32_t out_565;
        uint32_t out_555;
    };
    const Case cases[] = {
        {0x00FFFFFF, 0xFFFF, 0x7FFF}, {0x00F80000, 0xF800, 0x7C00}, {0x0000FC00, 0x07E0, 0x03E0},
        {0x00070307, 0x0000, 0x0000}, {0xFF000000, 0x0000, 0x0000}, {0x00000008, 0x0001, 0x0001},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pixel_to_565(c.pixel), c.out_565) << std::hex << c.pixel;
        EXPECT_EQ(pixel_to_555(c.pixel), c.out_555) << std::hex << c.pixel;
        alignas(8) uint8_t out[2] = {};
        convert_32_to_565(&c.pixel, out, 1, 1, 0, 0, 0);
        EXPECT_EQ(out[0] | out[1] << 8, static_cast<int>(c.out_565));
        convert_32_to_555(&c.pixel, out, 1, 1, 0, 0, 0);
        EXPECT_EQ(out[0] | out[1] << 8, static_cast<int>(c.out_555));
    }
}

TEST(VideoConvert, MmxFormDithersGroupsOfFour)
{
    const uint32_t source[4] = {0x00070307, 0x00070307, 0x00FFFFFF, 0x00FFFF00};
    alignas(8) uint8_t out[8] = {};
    convert_32_to_565_mmx(source, out, 4, 1, 0, 0, 0);
    // Position 1 of row 0 adds 4, 2, 4: 0x0B050B, which no longer rounds to black.
    EXPECT_EQ(out[2] | out[3] << 8, 0x0821);
    EXPECT_EQ(out[0] | out[1] << 8, 0x0000);
    EXPECT_EQ(out[4] | out[5] << 8, 0xFFFF); // saturated, not wrapped
    convert_32_to_565(source, out, 4, 1, 0, 0, 0);
    EXPECT_EQ(out[2] | out[3] << 8, 0x0000);
}

TEST(VideoConvert, SingleLeadingPixelsReachTheWordAlignment)
{
    // Two bytes past an 8-byte boundary: three single pixels before the first
    // dithered group in the MMX form. A pixel that only dithering lifts above
    // black shows which pixels were grouped.
    const uint32_t lifted = 0x00070307; // position 1 of a group in row 0
    std::vector<uint32_t> source(9, lifted);
    alignas(8) uint8_t out[32] = {};
    convert_32_to_565_mmx(source.data(), out + 2, 9, 1, 0, 0, 0);
    std::vector<uint32_t> got;
    for (int i = 0; i < 9; ++i) {
        got.push_back(static_cast<uint32_t>(out[2 + 2 * i] | out[3 + 2 * i] << 8));
    }
    // Singles at 0..2, a group at 3..6 whose positions 1..3 add (4, 2), (1, 0)
    // and (5, 2), singles at 7..8.
    EXPECT_EQ(got, (std::vector<uint32_t>{0, 0, 0, 0, 0x0821, 0x0801, 0x0821, 0, 0}));
}

TEST(VideoConvert, FixedConvertersAreByteExactOnOddWidthsAndAlignments)
{
    std::mt19937 random(12345);
    int checked = 0;
    for (const bool is_565 : {true, false}) {
        for (const bool mmx : {false, true}) {
            for (const int32_t width : {0, 1, 2, 3, 4, 5, 7, 8, 9, 13, 17, 31}) {
                for (const size_t offset : {0u, 1u, 2u, 3u, 4u, 6u}) {
                    for (const int32_t rows : {1, 3}) {
                        for (const int32_t skip : {0, 6, 10}) {
                            const int dither = (checked % 4);
                            const Frame f = random_frame(random, width, rows, skip == 6 ? 8 : 0);
                            const size_t size = offset + static_cast<size_t>(rows) * (2u * width + skip) + 16;
                            Destination dest(size, offset);
                            const PixelConverter convert = is_565 ? (mmx ? convert_32_to_565_mmx : convert_32_to_565)
                                                                  : (mmx ? convert_32_to_555_mmx : convert_32_to_555);
                            convert(f.source.data(), dest.bytes + offset, width, rows, skip, f.source_skip, dither);
                            const std::vector<uint8_t> expected =
                                reference_fixed(f, is_565, mmx, dither, offset, skip, size);
                            ASSERT_EQ(dest.view(size), expected)
                                << (is_565 ? "565" : "555") << (mmx ? " mmx" : " plain") << " width " << width
                                << " offset " << offset << " rows " << rows << " skip " << skip << " dither "
                                << dither;
                            ++checked;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 2 * 2 * 12 * 6 * 2 * 3);
}

namespace {

struct Masks {
    const char* why;
    uint32_t red;
    uint32_t green;
    uint32_t blue;
    uint8_t layout[3]; // red, green, blue
    PixelConverter plain;
    PixelConverter mmx;
};

const Masks MASK_CASES[] = {
    {"5-6-5 red on top", 0xF800, 0x07E0, 0x001F, {16, 8, 0}, convert_32_to_565, convert_32_to_565_mmx},
    {"5-5-5 red on top", 0x7C00, 0x03E0, 0x001F, {16, 8, 0}, convert_32_to_555, convert_32_to_555_mmx},
    {"5-6-5 blue on top", 0x001F, 0x07E0, 0xF800, {0, 8, 16}, convert_32_to_565, convert_32_to_565_mmx},
    {"red, blue, green", 0xF800, 0x001F, 0x07E0, {16, 0, 8}, convert_32_to_565, convert_32_to_565_mmx},
    {"blue, red, green", 0x07E0, 0x001F, 0xF800, {8, 0, 16}, convert_32_to_565, convert_32_to_565_mmx},
    {"green, blue, red", 0x001F, 0xF800, 0x07E0, {0, 16, 8}, convert_32_to_565, convert_32_to_565_mmx},
    {"green, red, blue", 0x07E0, 0xF800, 0x001F, {8, 16, 0}, convert_32_to_565, convert_32_to_565_mmx},
    {"4-4-4 needs the generic one", 0x0F00, 0x00F0, 0x000F, {16, 8, 0}, convert_generic, convert_generic},
    {"6-5-5 needs the generic one", 0xFC00, 0x03E0, 0x001F, {16, 8, 0}, convert_generic, convert_generic},
    {"5-5-5 widths with a gap", 0x001F, 0x07C0, 0xF800, {0, 8, 16}, convert_generic, convert_generic},
    {"3-3-2 bytes", 0xE0, 0x1C, 0x03, {16, 8, 0}, convert_generic, convert_generic},
    {"a channel wider than a byte", 0xFF80, 0x0070, 0x000F, {16, 8, 0}, convert_generic, convert_generic},
};

// The top bits of each channel's byte, where the layout put it, placed at the
// surface's mask.
uint32_t ref_generic(uint32_t p, const Masks& m)
{
    const uint32_t masks[3] = {m.red, m.green, m.blue};
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        int shift = 0;
        int width = 0;
        channel_shape(masks[c], shift, width);
        const uint32_t byte = (p >> m.layout[c]) & 0xFF;
        const uint32_t v = width >= 8 ? byte << (width - 8) : byte >> (8 - width);
        out |= v << shift;
    }
    return out;
}

} // namespace

TEST(VideoConvert, ChannelAnalysisChoosesLayoutAndConverters)
{
    for (const Masks& m : MASK_CASES) {
        Layout mode;
        analyse_channels(m.red, m.green, m.blue, 2, mode.rgb_layout);
        EXPECT_EQ(mode.rgb_layout[0], m.layout[0]) << m.why;
        EXPECT_EQ(mode.rgb_layout[1], m.layout[1]) << m.why;
        EXPECT_EQ(mode.rgb_layout[2], m.layout[2]) << m.why;
        EXPECT_EQ(mode.rgb_layout[3], 24) << m.why;
        EXPECT_EQ(converter_pair.plain, m.plain) << m.why;
        EXPECT_EQ(converter_pair.mmx, m.mmx) << m.why;
    }
    Layout mode;
    analyse_channels(0xFF0000, 0xFF00, 0xFF, 3, mode.rgb_layout);
    EXPECT_EQ(converter_pair.plain, convert_generic_24);
}

TEST(VideoConvert, EveryConverterShowsThePixelsTheRendererWrites)
{
    // Pixels are written through rgb_layout as the renderer does; whatever
    // converter the analysis picks must give the surface's own packing.
    std::mt19937 random(99);
    for (const Masks& m : MASK_CASES) {
        Layout mode;
        analyse_channels(m.red, m.green, m.blue, 2, mode.rgb_layout);
        for (const int32_t width : {1, 2, 5, 8, 11}) {
            const int32_t rows = 2;
            const int32_t skip = 4;
            std::vector<uint32_t> source(static_cast<size_t>(width * rows));
            for (uint32_t& p : source) {
                const uint32_t rgb = random() & 0xFFFFFF;
                p = ((rgb >> 16) & 0xFF) << mode.rgb_layout[0] | ((rgb >> 8) & 0xFF) << mode.rgb_layout[1] |
                    (rgb & 0xFF) << mode.rgb_layout[2];
            }
            const size_t size = static_cast<size_t>(rows) * (2u * width + skip) + 8;
            Destination dest(size, 0);
            converter_pair.plain(source.data(), dest.bytes, width, rows, skip, 0, 0);
            std::vector<uint8_t> expected(size, 0xEE);
            size_t d = 0;
            for (int32_t y = 0; y < rows; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    put16(expected, d, static_cast<uint16_t>(ref_generic(source[static_cast<size_t>(y * width + x)], m)));
                    d += 2;
                }
                d += skip;
            }
            EXPECT_EQ(dest.view(size), expected) << m.why << " width " << width;
        }
    }
}

TEST(VideoConvert, GenericConverterPairsPixelsAndConvertsAnOddLastOne)
{
    Layout mode;
    analyse_channels(0x0F00, 0x00F0, 0x000F, 2, mode.rgb_layout);
    const uint32_t source[3] = {0x00123456, 0x00ABCDEF, 0x00F0F0F0};
    alignas(8) uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    convert_generic(source, out, 3, 1, 0, 0, 0);
    EXPECT_EQ(out[0] | out[1] << 8, 0x0135);
    EXPECT_EQ(out[2] | out[3] << 8, 0x0ACE);
    EXPECT_EQ(out[4] | out[5] << 8, 0x0FFF);
    EXPECT_EQ(out[6], 0xEE);
}

TEST(VideoConvert, TwentyFourBitSurfacesGetThreeBytesAPixel)
{
    Layout mode;
    analyse_channels(0x0000FF, 0x00FF00, 0xFF0000, 3, mode.rgb_layout);
    EXPECT_EQ(mode.rgb_layout[0], 0);
    EXPECT_EQ(mode.rgb_layout[2], 16);
    // Written through the layout: red 0x11, green 0x22, blue 0x33.
    const uint32_t pixel = 0x11u << mode.rgb_layout[0] | 0x22u << mode.rgb_layout[1] | 0x33u << mode.rgb_layout[2];
    const uint32_t source[2] = {pixel, pixel};
    uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    converter_pair.plain(source, out, 2, 1, 0, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 0xEE, 0xEE}));
}
