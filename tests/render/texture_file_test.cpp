#include "renderer/texel_map.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "texture_fixture.h"
#include "tools/fsys/chunk_writer.h"

#include <algorithm>
#include <numeric>

namespace {

using tools::ChunkWriter;

// The palette the reader must give for 8-bit file components: file order, halved.
uint32_t halved_entry(const std::array<uint8_t, 768>& p, int i, int shift = 0)
{
    const uint32_t r = static_cast<uint32_t>(p[3 * i] >> shift << shift);
    const uint32_t g = static_cast<uint32_t>(p[3 * i + 1] >> shift << shift);
    const uint32_t b = static_cast<uint32_t>(p[3 * i + 2] >> shift << shift);
    return (r | g << 8 | b << 16 | g << 24) >> 1 & 0x7F7F7F7F;
}

// Every level as the writer made it, the extra row repeating row 0, and the palette.
void expect_matches(const Texture& t, const tools::TextureImage& image, int palette_shift)
{
    ASSERT_EQ(t.mipmaps, 5);
    EXPECT_EQ(t.usize, image.width);
    EXPECT_EQ(t.vsize, image.height);
    EXPECT_EQ(1 << t.ulog, image.width);
    const auto indices = tools::index_levels(image);
    const bool alpha = !image.alpha.empty();
    const auto alphas = alpha ? tools::alpha_levels(image) : indices;
    for (int l = 0; l < 5; ++l) {
        const TexelMap& m = t.levels[l];
        ASSERT_EQ(m.width, image.width >> l);
        ASSERT_EQ(m.height, image.height >> l);
        EXPECT_EQ(m.flags, alpha ? TEXTURE_TRANSPARENT : 0u);
        const int bytes = alpha ? 2 : 1;
        for (int y = 0; y <= m.height; ++y) {
            const int from = y == m.height ? 0 : y;
            for (int x = 0; x < m.width; ++x) {
                const size_t src = static_cast<size_t>(from * m.width + x);
                const uint8_t* texel = m.texels + static_cast<size_t>((y * m.width + x) * bytes);
                ASSERT_EQ(texel[0], indices[l][src]) << "level " << l << " at " << x << "," << y;
                if (alpha) {
                    ASSERT_EQ(texel[1], alphas[l][src]) << "level " << l << " at " << x << "," << y;
                }
            }
        }
    }
    ASSERT_NE(t.palette, nullptr);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(t.palette[i], halved_entry(image.palette, i, palette_shift)) << i;
    }
}

class TextureFileTest : public TextureTest {
protected:
    int load(const std::vector<uint8_t>& bytes)
    {
        write("t.cmt", bytes);
        return load_cmt(texture_, "t.cmt");
    }
    void TearDown() override
    {
        texture_clear(texture_);
        TextureTest::TearDown();
    }
    Texture texture_{};
};

TEST_F(TextureFileTest, EveryFormReadsBackAsWritten)
{
    struct Case {
        const char* what;
        int width, height;
        bool alpha, cel;
    };
    const Case cases[] = {
        {"smallest opaque", 16, 16, false, false},
        {"largest opaque, wide", 256, 32, false, false},
        {"tall with alpha", 16, 128, true, false},
        {"square with alpha", 64, 64, true, false},
        {"picture", 32, 16, false, true},
        {"largest picture", 256, 256, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const tools::TextureImage image = pattern_image(c.width, c.height, c.alpha, c.width);
        write(c.cel ? "t.cel" : "t.cmt", c.cel ? tools::cel_bytes(image) : tools::cmt_bytes(image));
        ASSERT_EQ(c.cel ? load_cel(texture_, "t.cel") : load_cmt(texture_, "t.cmt"), 1);
        EXPECT_EQ(texture_.flags, c.alpha ? TEXTURE_TRANSPARENT : 0u);
        expect_matches(texture_, image, c.cel ? 2 : 0);
    }
    EXPECT_EQ(errors(), 0);
}

TEST_F(TextureFileTest, TransparentBoundsCoverTheVisibleTexels)
{
    tools::TextureImage image = pattern_image(32, 16, true);
    std::fill(image.alpha.begin(), image.alpha.end(), 0);
    image.alpha[static_cast<size_t>(3 * 32 + 5)] = 9;   // (5, 3)
    image.alpha[static_cast<size_t>(10 * 32 + 20)] = 1; // (20, 10)
    ASSERT_EQ(load(tools::cmt_bytes(image)), 1);
    const TexelMap& m = texture_.levels[0];
    EXPECT_EQ(m.bounds[0], 5);
    EXPECT_EQ(m.bounds[1], 21);
    EXPECT_EQ(m.bounds[2], 3);
    EXPECT_EQ(m.bounds[3], 11);

    std::fill(image.alpha.begin(), image.alpha.end(), 0);
    ASSERT_EQ(load(tools::cmt_bytes(image)), 1);
    const int empty[4] = {32, 0, 16, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(texture_.levels[0].bounds[k], empty[k]) << k;
    }
    // Plain maps cover themselves.
    ASSERT_EQ(load(tools::cmt_bytes(pattern_image(32, 16, false))), 1);
    const int whole[4] = {0, 32, 0, 16};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(texture_.levels[0].bounds[k], whole[k]) << k;
    }
}

TEST_F(TextureFileTest, OpaqueFileIgnoresAlphaAndLaterChunksReplaceEarlierOnes)
{
    const tools::TextureImage first = pattern_image(16, 16, false, 1);
    const tools::TextureImage second = pattern_image(16, 16, false, 2);
    const auto levels = tools::levels_data(tools::index_levels(first));
    ChunkWriter w("MIPT");
    w.add("JUNK", std::vector<uint8_t>(5, 0xEE));
    w.add("HEAD", tools::head_data(16, 16, 6));
    w.add("PAL8", tools::palette_data(first.palette));
    w.add("DATA", levels);
    w.add("ALPH", std::vector<uint8_t>(levels.size(), 0x11));
    w.add("PAL8", tools::palette_data(second.palette));
    w.add("DATA", tools::levels_data(tools::index_levels(second)));
    ASSERT_EQ(load(w.bytes()), 1);
    expect_matches(texture_, second, 0);
    EXPECT_EQ(errors(), 0);
}

TEST_F(TextureFileTest, BadFilesFailWithTheirMessage)
{
    const tools::TextureImage image = pattern_image(16, 16, true);
    const auto pal = tools::palette_data(image.palette);
    const auto data = tools::levels_data(tools::index_levels(image));
    const auto alpha = tools::levels_data(tools::alpha_levels(image));
    const auto head = tools::head_data(16, 16, 5);
    const std::vector<uint8_t> short_data(data.begin(), data.end() - 1);
    const BadTextureCase cases[] = {
        {"another form", "MIPS", {{"HEAD", head}}, "load_cmt(t.cmt): Id is not MIPT/MAPT !"},
        {"8 x 8", "MIPT", {{"HEAD", tools::head_data(8, 8, 5)}}, "load_cmt(t.cmt): Bad size (8 * 8) !"},
        {"512 x 512", "MIPT", {{"HEAD", tools::head_data(512, 512, 5)}}, "Bad size (512 * 512) !"},
        {"24 x 16", "MIPT", {{"HEAD", tools::head_data(24, 16, 5)}}, "Bad size (24 * 16) !"},
        {"negative width", "MIPT", {{"HEAD", tools::head_data(0x80000010u, 16, 5)}}, "Bad size (-2147483632 * 16) !"},
        {"four levels", "MIPT", {{"HEAD", tools::head_data(16, 16, 4)}}, "load_cmt(t.cmt): 5 mipmaps required (4 found) !"},
        {"short head", "MIPT", {{"HEAD", std::vector<uint8_t>(8, 16)}}, "load_cmt(t.cmt): HEAD too short !"},
        {"data first", "MIPT", {{"DATA", data}, {"HEAD", head}}, "load_cmt(t.cmt): DATA without HEAD !"},
        {"alpha first", "MAPT", {{"HEAD", head}, {"ALPH", alpha}}, "load_cmt(t.cmt): ALPH without DATA !"},
        {"no head", "MIPT", {{"PAL8", pal}}, "load_cmt(t.cmt): HEAD not found !"},
        {"no palette", "MIPT", {{"HEAD", head}, {"DATA", data}}, "load_cmt(t.cmt): PAL8 not found !"},
        {"short palette", "MIPT", {{"PAL8", std::vector<uint8_t>(767, 1)}}, "load_cmt(t.cmt): Can't load palette !"},
        {"no data", "MIPT", {{"HEAD", head}, {"PAL8", pal}}, "load_cmt(t.cmt): DATA not found !"},
        {"alpha missing", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}}, "load_cmt(t.cmt): DATA/ALPH not found !"},
        {"data after alpha", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}, {"ALPH", alpha}, {"DATA", data}},
         "DATA/ALPH not found !"},
        {"short data", "MIPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", short_data}}, "load_cmt(t.cmt): Can't load mipmap 4 !"},
        {"short first level", "MIPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", std::vector<uint8_t>(100, 1)}},
         "Can't load mipmap 0 !"},
        {"short alpha", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}, {"ALPH", std::vector<uint8_t>(300, 1)}},
         "load_cmt(t.cmt): Can't load mipmap 1 alpha channel !"},
        // Alpha levels sized by a second header would not fit the indices.
        {"head after data", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}, {"HEAD", tools::head_data(32, 32, 5)}, {"ALPH", alpha}},
         "load_cmt(t.cmt): HEAD after DATA !"},
    };
    for (const BadTextureCase& c : cases) {
        SCOPED_TRACE(c.what);
        capture_.clear();
        EXPECT_EQ(load(chunked_file(c)), 0);
        EXPECT_TRUE(capture_.contains(c.message));
        EXPECT_EQ(errors(), 1);
        // Nothing is left behind from a failed load.
        EXPECT_EQ(texture_.palette, nullptr);
        EXPECT_EQ(texture_.mipmaps, 0);
        for (const TexelMap& m : texture_.levels) {
            EXPECT_EQ(m.texels, nullptr);
        }
    }
}

TEST_F(TextureFileTest, MissingAndShortPicturesFailQuietly)
{
    const tools::TextureImage image = pattern_image(16, 16, false);
    const std::vector<uint8_t> whole = tools::cel_bytes(image);
    std::vector<uint8_t> small = whole;
    small[2] = 8;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"header only", std::vector<uint8_t>(whole.begin(), whole.begin() + 6)},
        {"palette cut", std::vector<uint8_t>(whole.begin(), whole.begin() + 500)},
        {"last level cut", std::vector<uint8_t>(whole.begin(), whole.end() - 1)},
        {"too small", small},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write("p.cel", c.bytes);
        EXPECT_EQ(load_cel(texture_, "p.cel"), 0);
        EXPECT_EQ(texture_.palette, nullptr);
    }
    EXPECT_EQ(load_cel(texture_, "absent.cel"), 0);
    EXPECT_EQ(load_cmt(texture_, "absent.cmt"), 0);
    EXPECT_TRUE(capture_.lines().empty());
}

TEST_F(TextureFileTest, FindTriesTheChunkedFileThenThePicture)
{
    const tools::TextureImage a = pattern_image(16, 16, false, 3);
    const tools::TextureImage b = pattern_image(32, 32, false, 4);
    write("gfx/res/both.cmt", tools::cmt_bytes(a));
    write("gfx/res/both.cel", tools::cel_bytes(b));
    write("gfx/res/pic.cel", tools::cel_bytes(b));
    write("gfx/top.cmt", tools::cmt_bytes(a));
    write("gfx/res/bad.cmt", std::vector<uint8_t>{'M', 'I', 'P', 'T'});
    write("gfx/res/bad.cel", tools::cel_bytes(b));
    ASSERT_EQ(find_texture_file(texture_, "gfx", "res", "both"), 1);
    EXPECT_EQ(texture_.usize, 16);
    ASSERT_EQ(find_texture_file(texture_, "gfx", "res", "pic"), 1);
    EXPECT_EQ(texture_.usize, 32);
    ASSERT_EQ(find_texture_file(texture_, "gfx", "", "top"), 1);
    EXPECT_EQ(texture_.usize, 16);
    ASSERT_EQ(find_texture_file(texture_, "gfx", "res", "bad"), 1); // the broken ".cmt" is reported, the ".cel" used
    EXPECT_EQ(texture_.usize, 32);
    EXPECT_EQ(find_texture_file(texture_, "gfx", "res", "absent"), 0);
    EXPECT_EQ(texture_.mipmaps, 0);
}

// Files hold the whole chain down to 1 x 1, so that a reader that wants every
// level finds them; the software reader takes the first five.
TEST(TextureWriter, ChunkedFilesHoldTheWholeChain)
{
    struct Case {
        int width, height, levels;
    };
    for (const Case c : {Case{16, 16, 5}, Case{64, 16, 7}, Case{16, 256, 9}, Case{256, 256, 9}}) {
        const tools::TextureImage image = pattern_image(c.width, c.height, true, 5);
        ASSERT_EQ(tools::whole_chain_levels(c.width, c.height), c.levels);
        const auto levels = tools::index_levels(image, c.levels);
        const auto alphas = tools::alpha_levels(image, c.levels);
        ASSERT_EQ(levels.size(), static_cast<size_t>(c.levels));
        for (int l = 0; l < c.levels; ++l) {
            const size_t texels = static_cast<size_t>(std::max(1, c.width >> l)) * static_cast<size_t>(std::max(1, c.height >> l));
            EXPECT_EQ(levels[static_cast<size_t>(l)].size(), texels) << c.width << "x" << c.height << " level " << l;
            EXPECT_EQ(alphas[static_cast<size_t>(l)].size(), texels) << c.width << "x" << c.height << " level " << l;
        }
        // Past a side of one texel, two texels make one: the last alpha is the mean of the whole image.
        const auto& top = image.alpha;
        const long sum = std::accumulate(top.begin(), top.end(), 0L);
        EXPECT_NEAR(alphas.back()[0], static_cast<double>(sum) / static_cast<double>(top.size()), c.levels)
            << c.width << "x" << c.height;
    }
}

TEST(TexelMap, CreatedMapsAreZeroAndWhole)
{
    for (uint32_t flags : {0u, TEXTURE_TRANSPARENT}) {
        TexelMap m{};
        ASSERT_EQ(texel_map_create(m, nullptr, 16, 8, flags, "Test"), 1);
        EXPECT_EQ(m.bounds[1], 16);
        EXPECT_EQ(m.bounds[3], 8);
        const size_t bytes = 16u * 9u * (flags != 0 ? 2u : 1u);
        EXPECT_EQ(std::count(m.texels, m.texels + bytes, 0), static_cast<long>(bytes));
        texel_map_free(m);
        EXPECT_EQ(m.texels, nullptr);
    }
}

} // namespace
