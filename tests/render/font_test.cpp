// The software font: loading, the coverage codes and their mixing, the pen,
// the limits of the frame, damaged files, and a line of console text against
// an approved image.
#include "render/gd_font.h"
#include "support/screen_fixture.h"
#include "tools/assets/small_font.h"
#include "tools/fsys/write_bytes.h"
#include "support/ppm_read.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t GUARD = 0xDEADBEEF;

// A frame of w x h pixels inside a larger block whose border must stay untouched.
struct GuardedFrame {
    GuardedFrame(int32_t w, int32_t h, uint32_t fill = 0) : width(w), height(h)
    {
        block.assign(static_cast<size_t>((w + 2 * BORDER) * (h + 2 * BORDER)), GUARD);
        for (int32_t y = 0; y < h; ++y) {
            offsets.push_back(y * (w + 2 * BORDER));
            for (int32_t x = 0; x < w; ++x) {
                at(x, y) = fill;
            }
        }
    }
    uint32_t* frame() { return block.data() + BORDER * (width + 2 * BORDER) + BORDER; }
    uint32_t& at(int32_t x, int32_t y) { return frame()[offsets[static_cast<size_t>(y)] + x]; }
    bool border_intact() const
    {
        size_t inside = 0;
        for (uint32_t p : block) {
            inside += p != GUARD ? 1 : 0;
        }
        // Only pixels of the frame may differ from the guard.
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t p = block[static_cast<size_t>((y + BORDER) * (width + 2 * BORDER) + x + BORDER)];
                inside -= p != GUARD ? 1 : 0;
            }
        }
        return inside == 0;
    }

    static constexpr int32_t BORDER = 40;
    int32_t width;
    int32_t height;
    std::vector<uint32_t> block;
    std::vector<int32_t> offsets;
};

tools::GlyphDesign glyph(uint8_t x, uint8_t y, uint8_t w, uint8_t h, uint8_t spacing, std::vector<uint8_t> px)
{
    tools::GlyphDesign g;
    g.x_offset = x;
    g.y_offset = y;
    g.width = w;
    g.height = h;
    g.spacing = spacing;
    g.pixels = std::move(px);
    return g;
}

// Characters 'A' and 'B': one pixel of code `code` each; line height 4, default advance 3.
tools::FontDesign one_pixel_font(uint8_t code)
{
    tools::FontDesign f;
    f.first = 'A';
    f.last = 'B';
    f.height_top = 3;
    f.height_bottom = 1;
    f.default_advance = 3;
    f.glyphs = {glyph(0, 0, 1, 1, 1, {code}), glyph(1, 1, 1, 1, 0, {code})};
    return f;
}

class FontTest : public ScreenBase {
protected:
    int load(const std::vector<uint8_t>& bytes)
    {
        EXPECT_TRUE(tools::write_bytes("kavrin/test.fnt", bytes));
        return font_.load("test.fnt");
    }

    GD_Font font_;
};

} // namespace

TEST_F(FontTest, SmallFontLoadsWithItsHeaderAndGlyphs)
{
    ASSERT_EQ(font_.load("small.fnt"), 1);
    EXPECT_EQ(font_.first(), 32);
    EXPECT_EQ(font_.last(), 127);
    EXPECT_EQ(font_.line_height(), tools::SMALL_FONT_LINE);
    EXPECT_EQ(font_.default_advance(), tools::SMALL_FONT_ADVANCE);
    // Every printable character advances one cell.
    for (int c = 32; c <= 126; ++c) {
        ASSERT_NE(font_.glyph(c), nullptr);
        EXPECT_EQ(font_.glyph(c)->advance, tools::SMALL_FONT_ADVANCE) << c;
    }
    EXPECT_EQ(font_.measure("Ostrel"), 6 * tools::SMALL_FONT_ADVANCE);
}

TEST_F(FontTest, CodesPickARampStepAndHowItMixes)
{
    struct Case {
        const char* why;
        uint8_t code;
        uint32_t under;
        uint32_t expected;
    };
    const Case cases[] = {
        {"0 draws nothing", 0, 0x11223344, 0x11223344},
        {"16 is the colour itself", 16, 0x11223344, 0x80808080},
        {"31 is the brightest step", 31, 0, 0xF8F8F8F8},
        {"1 is the darkest lit step", 1, 0xFFFFFFFF, 0x08080808},
        {"48 mixes half of step 16", 48, 0x00204060, 0x40506070},
        {"32 mixes half of black", 32, 0x80FF4020, 0x407F2010},
        {"80 mixes a quarter of step 16", 80, 0x00204060, 0x20385068},
        {"112 mixes an eighth of step 16", 112, 0x00204060, 0x102C4864},
        {"127 mixes an eighth of step 31", 127, 0, 0x1F1F1F1F},
        {"128 draws nothing", 128, 0x11223344, 0x11223344},
        {"255 draws nothing", 255, 0x11223344, 0x11223344},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(load(tools::font_bytes(one_pixel_font(c.code))), 1) << c.why;
        GuardedFrame f(8, 8, c.under);
        font_.set_target(8, 8, f.offsets.data(), 0x80808080);
        font_.draw_string(f.frame(), 2, 3, "A");
        EXPECT_EQ(f.at(2, 3), c.expected) << c.why;
        EXPECT_EQ(f.at(3, 3), c.under) << c.why;
    }
}

TEST_F(FontTest, RampIsBuiltPerByteAndSaturates)
{
    ASSERT_EQ(load(tools::font_bytes(one_pixel_font(16))), 1);
    GuardedFrame f(4, 4);
    font_.set_target(4, 4, f.offsets.data(), 0xFF804010);
    EXPECT_EQ(font_.ramp(0), 0u);
    EXPECT_EQ(font_.ramp(8), 0x7F402008u);
    EXPECT_EQ(font_.ramp(16), 0xFF804010u);
    EXPECT_EQ(font_.ramp(24), 0xFFC06018u);
    EXPECT_EQ(font_.ramp(31), 0xFFF87C1Fu);
    EXPECT_EQ(font_.ramp(24 + 64), font_.ramp(24));
}

TEST_F(FontTest, PenMovesByAdvancesAndStopsBeforeAGlyphPastTheRightLimit)
{
    // 'A' at the pen, 'B' one pixel right of and below it; both advance 2.
    ASSERT_EQ(load(tools::font_bytes(one_pixel_font(16))), 1);
    GuardedFrame f(7, 6);
    font_.set_target(7, 6, f.offsets.data(), 0x80808080);
    font_.draw_string(f.frame(), 0, 0, "ABzA");
    EXPECT_EQ(f.at(0, 0), 0x80808080u);
    EXPECT_EQ(f.at(3, 1), 0x80808080u); // B: pen 2, offsets (1, 1)
    // 'z' has no glyph: the pen moves by the default advance, 3.
    EXPECT_EQ(f.at(7 - 1, 0), 0u);
    // The last 'A' would end at 2 + 2 + 3 + 2 = 9 > 7: not drawn.
    for (int32_t x = 4; x < 7; ++x) {
        EXPECT_EQ(f.at(x, 0), 0u) << x;
    }
    EXPECT_EQ(font_.measure("ABzA"), 2 + 2 + 3 + 2);
    EXPECT_EQ(font_.measure("zz"), 6);
    EXPECT_EQ(font_.measure(""), 0);
    // A glyph that ends exactly at the limit is drawn.
    GuardedFrame g(7, 6);
    font_.set_target(7, 6, g.offsets.data(), 0x80808080);
    font_.draw_string(g.frame(), 5, 0, "A");
    EXPECT_EQ(g.at(5, 0), 0x80808080u);
    EXPECT_TRUE(f.border_intact());
}

TEST_F(FontTest, TextOnTheLastLineIsDrawnAndBelowItNotAtAll)
{
    ASSERT_EQ(load(tools::font_bytes(one_pixel_font(16))), 1);
    GuardedFrame f(6, 10);
    font_.set_target(6, 10, f.offsets.data(), 0x80808080);
    font_.draw_string(f.frame(), 0, 10 - 4, "A");
    EXPECT_EQ(f.at(0, 6), 0x80808080u);
    font_.draw_string(f.frame(), 2, 10 - 4 + 1, "A");
    EXPECT_EQ(f.at(2, 7), 0u);
    font_.draw_string(f.frame(), 0, 0, "");
    EXPECT_EQ(f.at(0, 0), 0u);
}

TEST_F(FontTest, NoPixelIsWrittenOutsideTheFrame)
{
    // Glyphs reaching far right and below their pen, and texts placed partly
    // off every edge.
    tools::FontDesign spec;
    spec.first = 'A';
    spec.last = 'B';
    spec.height_top = 2;
    spec.height_bottom = 0;
    spec.default_advance = 2;
    spec.glyphs = {glyph(0, 0, 3, 3, 0, std::vector<uint8_t>(9, 20)),
                   glyph(200, 250, 2, 2, 0, std::vector<uint8_t>(4, 20))};
    ASSERT_EQ(load(tools::font_bytes(spec)), 1);
    const int32_t places[][2] = {{-2, -2}, {-30, 3}, {4, -30}, {9, 9}, {-1000000, 0}, {3, 8}, {8, 3}};
    for (const auto& p : places) {
        GuardedFrame f(10, 10);
        font_.set_target(10, 10, f.offsets.data(), 0x80808080);
        font_.draw_string(f.frame(), p[0], p[1], "AAABBAzA");
        EXPECT_TRUE(f.border_intact()) << p[0] << "," << p[1];
    }
    // Clipped pixel by pixel: the part of a glyph on the frame is drawn.
    GuardedFrame f(10, 10);
    font_.set_target(10, 10, f.offsets.data(), 0x80808080);
    font_.draw_string(f.frame(), -2, -2, "A");
    EXPECT_EQ(f.at(0, 0), font_.ramp(20));
    EXPECT_EQ(f.at(1, 0), 0u);
}

TEST_F(FontTest, DamagedFontsAreRefused)
{
    const std::vector<uint8_t> good = tools::font_bytes(one_pixel_font(16));
    struct Case {
        const char* why;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", {}});
    cases.push_back({"magic without its zero", good});
    cases.back().bytes[7] = ' ';
    cases.push_back({"wrong magic", good});
    cases.back().bytes[0] = 'g';
    cases.push_back({"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 12)});
    cases.push_back({"last below first", good});
    cases.back().bytes[9] = 'A' - 1;
    cases.push_back({"line height 0", good});
    cases.back().bytes[10] = 0;
    cases.back().bytes[11] = 0;
    cases.push_back({"glyph records cut short", std::vector<uint8_t>(good.begin(), good.begin() + 13 + 7)});
    cases.push_back({"pixels cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    tools::FontDesign more = one_pixel_font(16);
    more.last = 'Z'; // 26 records announced, 2 written
    cases.push_back({"more characters than records", tools::font_bytes(more)});
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.bytes), 0) << c.why;
        EXPECT_FALSE(font_.loaded()) << c.why;
    }
    EXPECT_EQ(font_.load("no_such.fnt"), 0);
    EXPECT_EQ(load(good), 1);
}

// A line of console text over a grey ramp, as the screen draws it, against
// tests/fixtures/render/console_line.ppm. OSTREL_UPDATE_APPROVED=1 writes the
// image anew (look at it before committing it).
TEST_F(FontTest, ConsoleLineMatchesTheApprovedImage)
{
    ASSERT_EQ(font_.load("small.fnt"), 1);
    constexpr int32_t W = 160;
    constexpr int32_t H = 24;
    GuardedFrame f(W, H);
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const uint32_t v = static_cast<uint32_t>(0x20 + x / 2);
            f.at(x, y) = v << 16 | (v / 2) << 8 | 0x40;
        }
    }
    std::vector<uint32_t> ramp(static_cast<size_t>(W * H));
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            ramp[static_cast<size_t>(y * W + x)] = f.at(x, y);
        }
    }
    font_.set_target(W, H, f.offsets.data(), 0x80808080);
    struct Line {
        int32_t x, y;
        const char* text;
    };
    const Line lines[] = {{1, 1, "> Map demo; Quit 1"}, {1, 12, "gjpqy {Ostrel} @#$%&*?"}};
    for (const Line& l : lines) {
        font_.draw_string(f.frame(), l.x, l.y, l.text);
    }
    ASSERT_TRUE(f.border_intact());

    // Text changes pixels only in the boxes of its glyphs, placed by the pen
    // and the glyphs' own offsets, and every glyph but the space shows.
    std::vector<bool> in_box(static_cast<size_t>(W * H), false);
    for (const Line& l : lines) {
        int32_t pen = l.x;
        for (const char* c = l.text; *c != 0; ++c) {
            const FontGlyph* const g = font_.glyph(static_cast<unsigned char>(*c));
            if (g == nullptr) {
                pen += font_.default_advance();
                continue;
            }
            int changed = 0;
            for (int32_t y = l.y + g->y_offset; y < l.y + g->y_offset + g->height; ++y) {
                for (int32_t x = pen + g->x_offset; x < pen + g->x_offset + g->width; ++x) {
                    ASSERT_TRUE(x >= 0 && x < W && y >= 0 && y < H) << *c;
                    in_box[static_cast<size_t>(y * W + x)] = true;
                    changed += f.at(x, y) != ramp[static_cast<size_t>(y * W + x)] ? 1 : 0;
                }
            }
            EXPECT_TRUE(*c == ' ' || changed > 0) << "'" << *c << "' shows";
            pen += g->advance;
        }
    }
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            if (!in_box[static_cast<size_t>(y * W + x)]) {
                EXPECT_EQ(f.at(x, y), ramp[static_cast<size_t>(y * W + x)]) << "outside every glyph at " << x << "," << y;
            }
        }
    }

    const std::string path = std::string(std::getenv("OSTREL_SOURCE_DIR")) + "/tests/fixtures/render/console_line.ppm";
    if (std::getenv("OSTREL_UPDATE_APPROVED") != nullptr) {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << W << " " << H << "\n255\n";
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                const uint32_t p = f.at(x, y);
                out.put(static_cast<char>(p >> 16)).put(static_cast<char>(p >> 8)).put(static_cast<char>(p));
            }
        }
    }
    int w = 0;
    int h = 0;
    std::vector<uint32_t> approved;
    ASSERT_TRUE(read_ppm(path, w, h, approved)) << path;
    ASSERT_EQ(w, W);
    ASSERT_EQ(h, H);
    int differing = 0;
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            differing += (f.at(x, y) & 0xFFFFFF) != approved[static_cast<size_t>(y * W + x)] ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
}
