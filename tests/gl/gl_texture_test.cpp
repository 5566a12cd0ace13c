#include "renderer/texture.h"
#include "core/kheap.h"
#include "gl/gl_texture_manager.h"
#include "gl_fixture.h"
#include "host/host_gl.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class GLTextureTest : public GLVideoTest {
protected:
    bool start()
    {
        start_gl();
        return !IsSkipped() && !HasFatalFailure();
    }

    // Level `level` of the bound texture, RGBA.
    static std::vector<uint8_t> bound_level(int level, int32_t width, int32_t height)
    {
        std::vector<uint8_t> texels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    }

    // RGB bytes of each texel of a level through the palette, alpha given.
    static std::vector<uint8_t> expected(const Texture& t, int level, bool alpha_from_texels)
    {
        const TexelMap& map = t.levels[level];
        const size_t step = alpha_from_texels ? 2u : 1u;
        std::vector<uint8_t> out;
        for (size_t i = 0; i < static_cast<size_t>(map.width) * static_cast<size_t>(map.height); ++i) {
            const uint32_t entry = t.palette[map.texels[i * step]];
            out.push_back(static_cast<uint8_t>(entry));
            out.push_back(static_cast<uint8_t>(entry >> 8));
            out.push_back(static_cast<uint8_t>(entry >> 16));
            out.push_back(alpha_from_texels ? map.texels[i * step + 1] : 255);
        }
        return out;
    }

    static void fill(Texture& t, uint8_t seed)
    {
        for (int i = 0; i < 256; ++i) {
            t.palette[i] = static_cast<uint32_t>(i * 3 + seed) | static_cast<uint32_t>(255 - i) << 8 |
                           static_cast<uint32_t>(i ^ seed) << 16;
        }
        const size_t step = (t.flags & TEXTURE_TRANSPARENT) != 0 ? 2u : 1u;
        for (int l = 0; l < t.mipmaps; ++l) {
            const size_t n = static_cast<size_t>(t.levels[l].width) * static_cast<size_t>(t.levels[l].height) * step;
            for (size_t i = 0; i < n; ++i) {
                t.levels[l].texels[i] = static_cast<uint8_t>(i * 37u + static_cast<size_t>(l) * 11u + seed);
            }
        }
        t.dirty = 1;
    }
};

TEST(GLTextureLevelsTest, LevelsHalveDownToOneTexelAndBadSizesAreRefused)
{
    PrintCapture capture;
    struct SizeCase {
        int32_t width;
        int32_t height;
        int levels;
        int32_t ulog;
    };
    const SizeCase good[] = {{8, 8, 4, 3}, {64, 16, 7, 6}, {256, 256, 9, 8}, {1, 1, 1, 0}, {16, 100, 8, 4}, {256, 1, 9, 8}};
    for (const SizeCase& c : good) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Texture t;
        ASSERT_EQ(t.create_levels(c.width, c.height), 1);
        EXPECT_EQ(t.mipmaps, c.levels);
        EXPECT_EQ(t.usize, c.width);
        EXPECT_EQ(t.ulog, c.ulog);
        EXPECT_EQ(t.vsize, c.height);
        EXPECT_EQ(t.owner.size, 3 * c.width * c.height);
        EXPECT_EQ(t.dirty, 1u);
        ASSERT_NE(t.palette, nullptr);
        int32_t w = c.width;
        int32_t h = c.height;
        for (int i = 0; i < c.levels; ++i) {
            EXPECT_EQ(t.levels[i].width, w);
            EXPECT_EQ(t.levels[i].height, h);
            ASSERT_NE(t.levels[i].texels, nullptr);
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
        EXPECT_EQ(t.levels[c.levels - 1].width, 1);
        EXPECT_EQ(t.levels[c.levels - 1].height, 1);
    }
    const SizeCase bad[] = {{512, 256, 0, 0}, {12, 8, 0, 0}, {0, 8, 0, 0}, {8, 0, 0, 0}, {8, 300, 0, 0}, {-8, 8, 0, 0}};
    for (const SizeCase& c : bad) {
        Texture t;
        t.name = "wall";
        ASSERT_EQ(t.create_levels(16, 16), 1);
        capture.clear();
        EXPECT_EQ(t.create_levels(c.width, c.height), 0);
        const std::string message =
            "Texture(wall): size (" + std::to_string(c.width) + " * " + std::to_string(c.height) + ") refused";
        EXPECT_TRUE(capture.contains(message)) << message;
        EXPECT_EQ(t.usize, 16);
        EXPECT_EQ(t.mipmaps, 5);
    }
}

TEST_F(GLTextureTest, BindingUploadsOnlyWhenNotResidentOrChanged)
{
    if (!start()) {
        return;
    }
    Texture t;
    ASSERT_EQ(t.create_levels(4, 2), 1);
    fill(t, 1);
    ASSERT_EQ(t.bind(), 1);
    EXPECT_EQ(t.dirty, 0u);
    EXPECT_GE(t.owner.id, 0);
    const std::vector<uint8_t> first = expected(t, 0, false);
    EXPECT_EQ(bound_level(0, 4, 2), first);
    EXPECT_EQ(bound_level(1, 2, 1), expected(t, 1, false));
    EXPECT_EQ(bound_level(2, 1, 1), expected(t, 2, false));

    // Unchanged and resident: nothing is converted or sent again.
    fill(t, 9);
    t.dirty = 0;
    ASSERT_EQ(t.bind(), 1);
    EXPECT_EQ(bound_level(0, 4, 2), first);

    // Changed texels go into the same texture.
    const GLint name = static_cast<GLint>(gl_texture_manager.names[t.owner.id]);
    t.dirty = 1;
    ASSERT_EQ(t.bind(), 1);
    EXPECT_EQ(bound_level(0, 4, 2), expected(t, 0, false));
    EXPECT_EQ(bound_level(1, 2, 1), expected(t, 1, false));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, name);

    // A flushed cache uploads again on the next bind, without a change.
    fill(t, 20);
    t.dirty = 0;
    gl_texture_manager.flush();
    ASSERT_EQ(t.bind(), 1);
    EXPECT_EQ(bound_level(0, 4, 2), expected(t, 0, false));
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST_F(GLTextureTest, TransparentTexelsCarryTheirOwnAlpha)
{
    if (!start()) {
        return;
    }
    Texture t;
    t.flags = TEXTURE_TRANSPARENT;
    ASSERT_EQ(t.create_levels(8, 4), 1);
    fill(t, 5);
    ASSERT_EQ(t.bind(), 1);
    EXPECT_EQ(bound_level(0, 8, 4), expected(t, 0, true));
    EXPECT_EQ(bound_level(3, 1, 1), expected(t, 3, true));
    GLint format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(format, GL_RGBA);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST_F(GLTextureTest, TexturesThatCannotBeUploadedAreRefusedWithoutANameHeld)
{
    if (!start()) {
        return;
    }
    struct RefusedCase {
        const char* what;
        void (*spoil)(Texture&);
        const char* message;
    };
    const RefusedCase cases[] = {
        {"never made", [](Texture&) {}, "no palette or levels to upload"},
        {"no palette",
         [](Texture& t) {
             t.create_levels(8, 8);
             kheap_release(t.palette);
             t.palette = nullptr;
         },
         "no palette or levels to upload"},
        {"made opaque, then marked transparent",
         [](Texture& t) {
             t.create_levels(8, 8);
             t.flags = TEXTURE_TRANSPARENT;
         },
         "no palette or levels to upload"},
        {"a level lost",
         [](Texture& t) {
             t.create_levels(8, 8);
             kheap_release(t.levels[2].texels);
             t.levels[2].texels = nullptr;
         },
         "a level without texels"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.what);
        Texture t;
        t.name = "bad";
        c.spoil(t);
        capture.clear();
        EXPECT_EQ(t.bind(), 0);
        EXPECT_TRUE(capture.contains(std::string("Texture(bad): ") + c.message));
        EXPECT_EQ(t.owner.id, -1);
        EXPECT_EQ(gl_texture_manager.count, 0);
    }
    // A blank texture binds, black.
    Texture blank;
    ASSERT_EQ(blank.create_blank(16, 16), 1);
    ASSERT_EQ(blank.bind(), 1);
    std::vector<uint8_t> black(16u * 16u * 4u, 0);
    for (size_t i = 3; i < black.size(); i += 4) {
        black[i] = 255;
    }
    EXPECT_EQ(bound_level(0, 16, 16), black);
    blank.release();
    EXPECT_EQ(blank.owner.id, -1);
    EXPECT_EQ(blank.mipmaps, 0);
    EXPECT_EQ(blank.palette, nullptr);
}

TEST(GLTexturePaletteTest, BrightnessScalesColourBytesUpToWhite)
{
    struct ScaleCase {
        uint8_t in;
        float factor;
        uint8_t out;
    };
    const ScaleCase cases[] = {
        {200, 2.0f, 255}, {100, 1.0f, 100}, {100, 1.5f, 150}, {255, 1.0f, 255}, {128, 2.0f, 255},
        {127, 2.0f, 254}, {0, 100.0f, 0},   {1, 1e30f, 255},   {90, -1.0f, 0},  {90, std::nanf(""), 0},
        {10, 0.999f, 9},
    };
    for (const ScaleCase& c : cases) {
        uint32_t palette[256];
        for (uint32_t& e : palette) {
            e = c.in | static_cast<uint32_t>(c.in) << 8 | static_cast<uint32_t>(c.in) << 16 | 0xAB000000u;
        }
        scale_palette(palette, c.factor);
        const uint32_t want = c.out | static_cast<uint32_t>(c.out) << 8 | static_cast<uint32_t>(c.out) << 16 | 0xAB000000u;
        for (const uint32_t e : palette) {
            ASSERT_EQ(e, want) << static_cast<int>(c.in) << " x " << c.factor;
        }
    }
    scale_palette(nullptr, 2.0f); // a texture without palette has nothing to scale
}

} // namespace
