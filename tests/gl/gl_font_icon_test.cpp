// The OpenGL program's font and icon pictures: the font's atlas and
// measures, damaged fonts and fonts too large for their atlas refused whole,
// icons read into power-of-two textures from the nearest size directory,
// damaged icons refused with their message and shown as the placeholder.
#include "core/kheap.h"
#include "gl_screen_fixture.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"
#include "tools/assets/font_writer.h"
#include "tools/assets/small_font.h"
#include "tools/fsys/chunk_writer.h"
#include "tools/fsys/write_bytes.h"

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> le32s(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> out;
    for (const uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

class GLFontIconTest : public GLScreenFixture {
protected:
    void start() { start_screen(64, 64); }

    void put(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::create_directories(std::filesystem::path(tree.path("kavrin/" + path)).parent_path());
        ASSERT_TRUE(tools::write_bytes(tree.path("kavrin/" + path).c_str(), bytes));
    }
};

TEST_F(GLFontIconTest, TheConsoleFontPacksEveryGlyphIntoOneSquareAtlas)
{
    start();
    if (IsSkipped()) {
        return;
    }
    GD_Font& font = screen.font();
    ASSERT_TRUE(font.loaded());
    EXPECT_EQ(font.line_height(), tools::SMALL_FONT_LINE);
    EXPECT_EQ(font.columns(), 64 / tools::SMALL_FONT_ADVANCE);
    EXPECT_EQ(font.rows(), 64 / tools::SMALL_FONT_LINE);
    EXPECT_EQ(screen.text_rows(), 64 / tools::SMALL_FONT_LINE);
    const int32_t side = font.texture_width;
    EXPECT_EQ(font.texture_height, side);
    EXPECT_EQ(side & (side - 1), 0) << side;
    // Each glyph inside the atlas, and no two overlapping.
    const FontFile& file = font.file();
    std::vector<uint8_t> used(static_cast<size_t>(side) * side, 0);
    for (int32_t c = file.first(); c <= file.last(); ++c) {
        const FontGlyph& g = *file.glyph(c);
        const FontPlace& p = font.place(c);
        ASSERT_LE(p.x + g.width, side) << c;
        ASSERT_LE(p.y + g.height, side) << c;
        EXPECT_FLOAT_EQ(p.s0 * static_cast<float>(side), static_cast<float>(p.x)) << c;
        EXPECT_FLOAT_EQ(p.t1 * static_cast<float>(side), static_cast<float>(p.y + g.height)) << c;
        for (int32_t y = p.y; y < p.y + g.height; ++y) {
            for (int32_t x = p.x; x < p.x + g.width; ++x) {
                EXPECT_EQ(used[static_cast<size_t>(y) * side + x]++, 0) << "glyph " << c << " at " << x << "," << y;
            }
        }
    }
    // A byte without a glyph moves the pen by the default advance.
    const char text[] = {'A', '\x01', '\0'};
    EXPECT_EQ(font.text_width(text), file.glyph('A')->advance + tools::SMALL_FONT_ADVANCE);
    EXPECT_EQ(font.text_width(""), 0);
    EXPECT_EQ(font.make_texture(), 1);
}

TEST_F(GLFontIconTest, DamagedFontsAreRefusedWhole)
{
    start();
    if (IsSkipped()) {
        return;
    }
    tools::FontDesign good;
    good.first = 'a';
    good.last = 'b';
    good.height_top = 5;
    good.height_bottom = 2;
    good.default_advance = 4;
    good.glyphs = {{0, 0, 2, 2, 1, {1, 2, 3, 4}}, {0, 0, 1, 1, 0, {5}}};
    std::vector<uint8_t> bad_magic = tools::font_bytes(good);
    bad_magic[0] = 'g';
    std::vector<uint8_t> cut_records = tools::font_bytes(good);
    cut_records.resize(14);
    std::vector<uint8_t> cut_pixels = tools::font_bytes(good);
    cut_pixels.pop_back();
    tools::FontDesign backwards = good;
    backwards.first = 'b';
    backwards.last = 'a';
    tools::FontDesign no_height = good;
    no_height.height_top = 0;
    no_height.height_bottom = 0;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int loads;
    };
    const Case cases[] = {
        {"a whole small font", tools::font_bytes(good), 1},
        {"wrong magic", bad_magic, 0},
        {"cut before the glyph records", cut_records, 0},
        {"pixels cut short", cut_pixels, 0},
        {"last character below the first", tools::font_bytes(backwards), 0},
        {"line height 0", tools::font_bytes(no_height), 0},
        {"empty file", {}, 0},
    };
    for (const Case& c : cases) {
        put("test.fnt", c.bytes);
        GD_Font font;
        EXPECT_EQ(font.load("test.fnt"), c.loads) << c.name;
        EXPECT_EQ(font.loaded(), c.loads == 1) << c.name;
        EXPECT_EQ(font.make_texture(), c.loads) << c.name;
        screen.begin_plaindraw();
        font.draw_string(0, 0, "ab");
        screen.finish_plaindraw();
        EXPECT_EQ(GLSys::report_errors("test"), 0) << c.name;
    }
    // The screen refuses to start on a damaged font, and says it was the font.
    put("test.fnt", bad_magic);
    ScreenManager other;
    EXPECT_EQ(other.init(mode.get(), "test.fnt", "backgrnd", "loading"), 0);
    EXPECT_TRUE(other.font_failed());
    other.close();
}

tools::GlyphDesign glyph(uint8_t width, uint8_t height)
{
    return {0, 0, width, height, 0, std::vector<uint8_t>(static_cast<size_t>(width) * height, 1)};
}

// The atlas has the side the glyphs' area asks for: the smallest power of two
// W with (W - default advance) x W at least the sum of the widths times the
// line height. Glyphs go in rows from the top left, each row below the
// tallest glyph of the one before.
TEST_F(GLFontIconTest, GlyphRowsLieBelowTheTallestGlyphOfTheRowBefore)
{
    start();
    if (IsSkipped()) {
        return;
    }
    tools::FontDesign font;
    font.first = 'a';
    font.last = 'f';
    font.height_top = 3;
    font.height_bottom = 1; // line height 4
    font.default_advance = 1;
    // Widths 6 x 6 glyphs: 144 texels to cover, (8 - 1) x 8 short of it, so 16 a side.
    font.glyphs = {glyph(6, 2), glyph(6, 3), glyph(6, 1), glyph(6, 1), glyph(6, 6), glyph(6, 2)};
    put("rows.fnt", tools::font_bytes(font));
    GD_Font f;
    ASSERT_EQ(f.load("rows.fnt"), 1);
    EXPECT_EQ(f.texture_width, 16);
    EXPECT_EQ(f.texture_height, 16);
    const struct {
        char c;
        int32_t x, y;
    } places[] = {{'a', 0, 0}, {'b', 6, 0}, {'c', 0, 3}, {'d', 6, 3}, {'e', 0, 4}, {'f', 6, 4}};
    for (const auto& p : places) {
        EXPECT_EQ(f.place(p.c).x, p.x) << p.c;
        EXPECT_EQ(f.place(p.c).y, p.y) << p.c;
        EXPECT_FLOAT_EQ(f.place(p.c).t0, static_cast<float>(p.y) / 16.0f) << p.c;
    }
    EXPECT_EQ(f.make_texture(), 1);

    // The console font fits the atlas its area asks for.
    EXPECT_EQ(screen.font().texture_width, 128);
}

// A font whose rows do not fit the atlas its area asks for is refused, not
// given a larger one, and so is one that needs more than the largest atlas:
// each refusal names the file and why, and the screen does not call the font
// damaged.
TEST_F(GLFontIconTest, AFontTooLargeForItsAtlasIsRefusedAndSaysSo)
{
    start();
    if (IsSkipped()) {
        return;
    }
    // Line height 1: 16 texels to cover make an 8 x 8 atlas, whose second
    // row, below two glyphs 8 tall, starts at its bottom.
    tools::FontDesign tall;
    tall.first = 'a';
    tall.last = 'd';
    tall.height_top = 1;
    tall.default_advance = 1;
    tall.glyphs = {glyph(4, 8), glyph(4, 8), glyph(4, 1), glyph(4, 1)};
    // One glyph taller than its 2 x 2 atlas, in the first row.
    tools::FontDesign deep;
    deep.first = 'a';
    deep.last = 'a';
    deep.height_top = 1;
    deep.default_advance = 1;
    deep.glyphs = {glyph(2, 12)};
    // 256 glyphs of 255 x 255 need far more than the largest atlas.
    tools::FontDesign huge;
    huge.first = 0;
    huge.last = 255;
    huge.height_top = 255;
    huge.default_advance = 8;
    for (int i = 0; i < 256; ++i) {
        huge.glyphs.push_back(glyph(255, 255));
    }
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"rows below the atlas", tools::font_bytes(tall),
         "GD_Font: the glyphs of 'big.fnt' do not fit its atlas of 8 x 8 texels"},
        {"a glyph taller than the atlas", tools::font_bytes(deep),
         "GD_Font: the glyphs of 'big.fnt' do not fit its atlas of 2 x 2 texels"},
        {"more than the largest atlas", tools::font_bytes(huge),
         "GD_Font: 'big.fnt' needs an atlas larger than 1024 x 1024 texels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put("big.fnt", c.bytes);
        capture.clear();
        GD_Font f;
        EXPECT_EQ(f.load("big.fnt"), 0);
        EXPECT_FALSE(f.loaded());
        EXPECT_TRUE(f.atlas_refused());
        EXPECT_TRUE(capture.contains(c.message));
        EXPECT_EQ(f.make_texture(), 0);
        capture.clear();
        ScreenManager other;
        EXPECT_EQ(other.init(mode.get(), "big.fnt", "backgrnd", "loading"), 0);
        EXPECT_FALSE(other.font_failed()) << "the file is whole";
        EXPECT_TRUE(capture.contains(c.message));
        other.close();
    }
}

TEST_F(GLFontIconTest, IconsBecomePowerOfTwoTexturesWithTheirExtents)
{
    start();
    if (IsSkipped()) {
        return;
    }
    tools::PictureDesign wide;
    wide.icon = true;
    wide.width = 20;
    wide.height = 10;
    wide.palette.assign(768, 0);
    wide.palette[3] = 200;
    wide.data.assign(200, 1);
    wide.alpha.assign(200, 255);
    ASSERT_TRUE(tools::write_picture(tree.path("kavrin"), "size01", "wide", wide));
    struct Case {
        const char* name;
        int32_t width, height, texture_width, texture_height;
        float s, t;
    };
    const int32_t marker = 200 / 12;
    const Case cases[] = {
        {"marker", marker, marker, 16, 16, 1.0f, 1.0f},
        {"wide", 20, 10, 32, 16, 0.625f, 0.625f},
    };
    for (const Case& c : cases) {
        IconPicture picture;
        picture.set_name(c.name, 1);
        ASSERT_EQ(load_icon(picture, &screen, c.name), 1) << c.name;
        EXPECT_EQ(picture.width, c.width) << c.name;
        EXPECT_EQ(picture.height, c.height) << c.name;
        EXPECT_EQ(picture.texture_width, c.texture_width) << c.name;
        EXPECT_EQ(picture.texture_height, c.texture_height) << c.name;
        EXPECT_FLOAT_EQ(picture.s_extent, c.s) << c.name;
        EXPECT_FLOAT_EQ(picture.t_extent, c.t) << c.name;
        EXPECT_EQ(picture.owner.size, 2 * c.texture_width * c.texture_height) << c.name;
        EXPECT_EQ(picture.upload(), 1) << c.name;
        // Index plane, then alpha plane.
        if (std::string(c.name) == "wide") {
            EXPECT_EQ(picture.bitmap[0], 1);
            EXPECT_EQ(picture.bitmap[200], 255);
            EXPECT_EQ(picture.palette[1] & 0xFFFFFFu, 200u);
        }
        picture.release();
    }
}

TEST_F(GLFontIconTest, TheSizeDirectoryNearestTheScreenIsUsed)
{
    start_screen(640, 480);
    if (IsSkipped()) {
        return;
    }
    // Only in size01 (4 pixels wide) and size07 (8 wide): 640 x 480 is nearer 320 x 200.
    for (const auto& [directory, side] : {std::pair{"size01", 4u}, std::pair{"size07", 8u}}) {
        tools::PictureDesign p;
        p.icon = true;
        p.width = side;
        p.height = 2;
        p.palette.assign(768, 0);
        p.data.assign(side * 2, 0);
        p.alpha.assign(side * 2, 0);
        ASSERT_TRUE(tools::write_picture(tree.path("kavrin"), directory, "twice", p));
    }
    IconPicture picture;
    picture.set_name("twice", 1);
    ASSERT_EQ(load_icon(picture, &screen, "twice"), 1);
    EXPECT_EQ(picture.width, 4);
    picture.release();
}

TEST_F(GLFontIconTest, DamagedIconsAreRefusedWithTheirMessageAndShowThePlaceholder)
{
    start();
    if (IsSkipped()) {
        return;
    }
    const std::vector<uint8_t> palette(768, 7);
    const auto icon = [&](uint32_t w, uint32_t h, bool data, bool alpha) {
        tools::ChunkWriter file("ICON");
        file.add("HEAD", le32s({w, h}));
        file.add("PAL8", palette);
        if (data) {
            file.add("DATA", std::vector<uint8_t>(static_cast<size_t>(w) * h, 1));
        }
        if (alpha) {
            file.add("ALPH", std::vector<uint8_t>(static_cast<size_t>(w) * h, 2));
        }
        return file.bytes();
    };
    tools::ChunkWriter picture_form("PICT");
    picture_form.add("HEAD", le32s({2, 2}));
    tools::ChunkWriter data_first("ICON");
    data_first.add("DATA", std::vector<uint8_t>(4, 1));
    data_first.add("HEAD", le32s({2, 2}));
    tools::ChunkWriter short_data("ICON");
    short_data.add("HEAD", le32s({4, 4}));
    short_data.add("PAL8", palette);
    short_data.add("DATA", std::vector<uint8_t>(15, 1));
    tools::ChunkWriter short_palette("ICON");
    short_palette.add("HEAD", le32s({2, 2}));
    short_palette.add_with_length("PAL8", 10, palette);
    tools::ChunkWriter no_palette("ICON");
    no_palette.add("HEAD", le32s({2, 2}));
    no_palette.add("DATA", std::vector<uint8_t>(4, 1));
    no_palette.add("ALPH", std::vector<uint8_t>(4, 1));
    tools::ChunkWriter twice("ICON");
    twice.add("HEAD", le32s({2, 2}));
    twice.add("HEAD", le32s({2, 2}));
    struct Case {
        const char* message;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"load_icon(broken): Bad size 256x4", icon(256, 4, true, true)},
        {"load_icon(broken): Bad size 4x300", icon(4, 300, true, true)},
        {"load_icon(broken): Bad size 0x4", icon(0, 4, true, true)},
        {"load_icon(broken): ALPH chunk is missing", icon(4, 4, true, false)},
        {"load_icon(broken): DATA chunk is missing", icon(4, 4, false, true)},
        {"load_icon(broken): Id is not ICON", picture_form.bytes()},
        {"load_icon(broken): DATA without HEAD", data_first.bytes()},
        {"load_icon(broken): DATA chunk is too short", short_data.bytes()},
        {"load_icon(broken): Palette is missing", no_palette.bytes()},
        {"load_icon(broken): PAL8 chunk is too short", short_palette.bytes()},
        {"load_icon(broken): Multiple HEAD chunks found", twice.bytes()},
    };
    for (const Case& c : cases) {
        put("pictures/size01/broken.cic", c.bytes);
        capture.clear();
        IconPicture picture;
        picture.set_name("broken", 1);
        EXPECT_EQ(load_icon(picture, &screen, "broken"), 0) << c.message;
        EXPECT_TRUE(capture.contains(c.message)) << c.message;
        picture.release();
        // Through the cache: the placeholder, with the warning.
        capture.clear();
        ASSERT_EQ(picture.touch(reinterpret_cast<uintptr_t>(&screen)), 1) << c.message;
        EXPECT_TRUE(capture.contains("Can't load icon 'broken'")) << c.message;
        EXPECT_EQ(picture.width, ICON_PLACEHOLDER_SIDE);
        EXPECT_EQ(picture.texture_width, 4);
        EXPECT_FLOAT_EQ(picture.s_extent, 1.0f);
        EXPECT_EQ(picture.bitmap[16], ICON_PLACEHOLDER_ALPHA);
        EXPECT_EQ(picture.bitmap[1], 1); // a checkerboard
        EXPECT_EQ(picture.palette[0], 0x104060u);
        EXPECT_EQ(picture.upload(), 1);
        picture.flush();
    }
    // A picture file of the icon's form is refused the same way.
    put("pictures/size01/broken.cpc", icon(4, 4, true, true));
    capture.clear();
    IconPicture picture;
    picture.set_name("broken", 0);
    EXPECT_EQ(load_icon(picture, &screen, "broken"), 0);
    EXPECT_TRUE(capture.contains("load_icon(broken): Id is not PICT"));
    picture.release();
    // A missing icon loads nothing and says nothing; the cache then warns.
    IconPicture missing;
    missing.set_name("nothere", 1);
    capture.clear();
    EXPECT_EQ(load_icon(missing, &screen, "nothere"), 0);
    EXPECT_TRUE(capture.lines().empty());
    missing.release();
}

} // namespace
