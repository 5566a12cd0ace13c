// Screenshots: the BMP layout, the numbering, the directory, and the files
// read back by ImageMagick as a user's tool would open them.
#include "support/screen_fixture.h"
#include "world/screenshot.h"
#include "support/ppm_read.h"
#include "support/skip_or_fail.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr uint8_t LAYOUT_RGB[4] = {16, 8, 0, 24};

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// A frame with a distinct colour in every pixel and a gap after each line.
struct Frame {
    Frame(int32_t w, int32_t h, int32_t gap = 3) : width(w), height(h), line(w + gap)
    {
        pixels.assign(static_cast<size_t>(line * h), 0xFFFFFFFF);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                pixels[static_cast<size_t>(y * line + x)] = colour(x, y);
            }
        }
    }
    static uint32_t colour(int32_t x, int32_t y)
    {
        return 0x5A000000u | static_cast<uint32_t>(x * 37 & 255) << 16 | static_cast<uint32_t>(y * 59 & 255) << 8 |
               static_cast<uint32_t>((x + y) * 11 & 255);
    }
    int32_t save(int32_t first = 0, uint32_t flags = 0, const uint8_t* layout = LAYOUT_RGB) const
    {
        return save_screenshot("shots/kvr", first, pixels.data(), width, height, line, layout, flags);
    }
    int32_t width;
    int32_t height;
    int32_t line;
    std::vector<uint32_t> pixels;
};

using ScreenshotTest = ScreenBase;

bool have_imagemagick() { return std::system("command -v convert > /dev/null 2>&1 && command -v identify > /dev/null 2>&1") == 0; }

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* const p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr) {
            out += buffer;
        }
        pclose(p);
    }
    return out;
}

} // namespace

TEST_F(ScreenshotTest, HeaderAndPaddedBottomUpRows)
{
    struct Case {
        int32_t width;
        int32_t height;
        uint32_t row_size;
    };
    // 10 pixels: 30 bytes and 2 of padding; 4 pixels need none.
    const Case cases[] = {{10, 3, 32}, {4, 2, 12}, {1, 1, 4}, {3, 5, 12}, {7, 2, 24}};
    for (const Case& c : cases) {
        const Frame f(c.width, c.height);
        const int32_t n = f.save(static_cast<int32_t>(c.width * 100));
        ASSERT_EQ(n, c.width * 100);
        char name[64];
        std::snprintf(name, sizeof name, "kavrin/shots/kvr%05d.bmp", n);
        const std::vector<uint8_t> b = read_file(name);
        ASSERT_EQ(b.size(), 54u + c.row_size * c.height) << c.width;
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        const uint32_t expected_header[] = {static_cast<uint32_t>(b.size()), 0, 54, 40,
                                            static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height)};
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(le32(b, 2 + 4 * i), expected_header[i]) << c.width << " field " << i;
        }
        EXPECT_EQ(b[26] | b[27] << 8, 1);
        EXPECT_EQ(b[28] | b[29] << 8, 24);
        EXPECT_EQ(le32(b, 30), 0u);
        EXPECT_EQ(le32(b, 34), 0u);
        EXPECT_EQ(le32(b, 38), 1000u);
        EXPECT_EQ(le32(b, 42), 1000u);
        EXPECT_EQ(le32(b, 46), 0u);
        EXPECT_EQ(le32(b, 50), 0u);
        // The file's first row is the frame's bottom line; each pixel blue, green, red.
        for (int32_t row = 0; row < c.height; ++row) {
            const int32_t y = c.height - 1 - row;
            for (int32_t x = 0; x < c.width; ++x) {
                const size_t at = 54 + row * c.row_size + 3 * x;
                const uint32_t p = Frame::colour(x, y);
                EXPECT_EQ(b[at], p & 0xFF);
                EXPECT_EQ(b[at + 1], (p >> 8) & 0xFF);
                EXPECT_EQ(b[at + 2], (p >> 16) & 0xFF);
            }
        }
    }
}

TEST_F(ScreenshotTest, BottomUpFramesAndOtherLayouts)
{
    // Lines stored bottom first (as OpenGL reads them) in RGBA byte order.
    const uint8_t rgba[4] = {0, 8, 16, 24};
    Frame f(2, 2, 0);
    f.pixels = {0x00030201, 0x00060504, 0x00090807, 0x000C0B0A};
    ASSERT_EQ(f.save(0, SHOT_BOTTOM_UP, rgba), 0);
    const std::vector<uint8_t> b = read_file("kavrin/shots/kvr00000.bmp");
    const std::vector<uint8_t> rows(b.begin() + 54, b.end());
    EXPECT_EQ(rows, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 9, 8, 7, 12, 11, 10, 0, 0}));
}

TEST_F(ScreenshotTest, NumbersAreNeverReusedAndTheDirectoryIsMade)
{
    EXPECT_FALSE(tree_.exists("kavrin/shots"));
    const Frame f(3, 2);
    EXPECT_EQ(f.save(0), 0);
    EXPECT_TRUE(tree_.exists("kavrin/shots/kvr00000.bmp"));
    EXPECT_EQ(f.save(0), 1);
    // Numbers already taken are skipped, from the first number given on.
    tree_.write("kavrin/shots/kvr00002.bmp", std::string("taken"));
    tree_.write("kavrin/shots/kvr00003.bmp", std::string("taken"));
    EXPECT_EQ(f.save(0), 4);
    EXPECT_EQ(read_file(tree_.path("kavrin/shots/kvr00002.bmp")).size(), 5u);
    // More digits above 99999.
    EXPECT_EQ(f.save(100000), 100000);
    EXPECT_TRUE(tree_.exists("kavrin/shots/kvr100000.bmp"));
    // The last number that leaves its successor positive.
    EXPECT_EQ(f.save(INT32_MAX - 1), INT32_MAX - 1);
}

TEST_F(ScreenshotTest, FailuresWriteNothingAndAnswerMinusOne)
{
    const Frame f(3, 2);
    // A file where the directory should be.
    tree_.write("kavrin/shots", std::string("not a directory"));
    EXPECT_EQ(f.save(0), -1);
    EXPECT_EQ(f.save(-5), -1);
    EXPECT_EQ(save_screenshot("shots/kvr", 0, f.pixels.data(), 0, 2, f.line, LAYOUT_RGB, 0), -1);
    EXPECT_EQ(save_screenshot("shots/kvr", 0, f.pixels.data(), 3, 0, f.line, LAYOUT_RGB, 0), -1);
}

TEST_F(ScreenshotTest, ImageMagickReadsEveryPixelBackAtOddWidths)
{
    if (!have_imagemagick()) {
        SKIP_OR_FAIL("ImageMagick's identify and convert are missing");
    }
    const int32_t sizes[][2] = {{1, 1}, {5, 3}, {13, 7}, {33, 17}, {64, 2}};
    int32_t n = 0;
    for (const auto& s : sizes) {
        const Frame f(s[0], s[1]);
        ASSERT_EQ(f.save(n), n);
        char bmp[64];
        std::snprintf(bmp, sizeof bmp, "kavrin/shots/kvr%05d.bmp", n);
        ++n;
        const std::string identified = run(std::string("identify -format '%m %w %h %z' ") + bmp);
        // A BMP with the 40-byte information header, 8 bits a channel.
        EXPECT_EQ(identified, "BMP3 " + std::to_string(s[0]) + " " + std::to_string(s[1]) + " 8") << bmp;
        const std::string ppm = tree_.path("back.ppm");
        ASSERT_EQ(std::system((std::string("convert ") + bmp + " -depth 8 ppm:'" + ppm + "'").c_str()), 0);
        int w = 0;
        int h = 0;
        std::vector<uint32_t> back;
        ASSERT_TRUE(read_ppm(ppm, w, h, back)) << bmp;
        ASSERT_EQ(w, s[0]);
        ASSERT_EQ(h, s[1]);
        int differing = 0;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                differing += back[static_cast<size_t>(y * w + x)] != (Frame::colour(x, y) & 0xFFFFFF) ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0) << bmp;
    }
}
