#include "world/view/palette.h"
#include "world/view/texture_manager.h"
#include "texture_fixture.h"

#include <cstring>

namespace {

// What the screen projection builds from a mode's layout: for each pixel
// byte, 8 x the palette component that lands there.
std::array<uint8_t, 4> inverse_of(const uint8_t layout[4])
{
    std::array<uint8_t, 4> inverse = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        if (layout[i] % 8 == 0 && layout[i] < 32) {
            inverse[static_cast<size_t>(layout[i] / 8)] = static_cast<uint8_t>(i * 8);
        }
    }
    return inverse;
}

std::vector<uint32_t> palette_of(const Texture* t) { return std::vector<uint32_t>(t->palette, t->palette + 256); }

std::vector<uint32_t> converted(std::vector<uint32_t> p, const uint8_t layout[4])
{
    palette_convert(p.data(), layout);
    return p;
}

class TextureManagerTest : public TextureTest {
protected:
    void SetUp() override
    {
        TextureTest::SetUp();
        for (int i = 0; i < 3; ++i) {
            write("textures/res/t" + std::to_string(i) + ".cmt", tools::cmt_bytes(pattern_image(16, 32, i == 2, i)));
        }
    }
    Texture* touch(TextureSlot* slot)
    {
        TextureAnim anim{slot, 0, 0.0f};
        return slot->get_frame(anim, 0);
    }
};

TEST_F(TextureManagerTest, FindsByExactNamesAndRefusesWhenFull)
{
    TextureManager m;
    ASSERT_EQ(m.create(3), 1);
    TextureSlot* a = m.get("res", "t0", TEXTURE_KIND_MAP);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(m.get("res", "t0", TEXTURE_KIND_MAP), a);
    TextureSlot* upper = m.get("res", "T0", TEXTURE_KIND_MAP);
    EXPECT_NE(upper, a);
    EXPECT_NE(m.get("RES", "t0", TEXTURE_KIND_MAP), a);
    EXPECT_EQ(m.count(), 3);
    capture_.clear();
    EXPECT_EQ(m.get("res", "t1", TEXTURE_KIND_MAP), nullptr);
    EXPECT_TRUE(capture_.contains("TextureManager: Too many textures!"));
    EXPECT_EQ(m.get("res", "T0", TEXTURE_KIND_MAP), upper); // known slots are still found
    // No frame was loaded by asking.
    EXPECT_EQ(a->frames[0].texture, nullptr);
}

TEST_F(TextureManagerTest, OverlongNamesAreRefusedNotCut)
{
    TextureManager m;
    ASSERT_EQ(m.create(4), 1);
    EXPECT_EQ(m.get("res", "t0xxxxxxx", TEXTURE_KIND_MAP), nullptr);
    EXPECT_EQ(m.get("resource9", "t0", TEXTURE_KIND_MAP), nullptr);
    EXPECT_EQ(m.count(), 0);
    EXPECT_EQ(errors(), 2);
    ASSERT_NE(m.get("12345678", "abcdefgh", TEXTURE_KIND_MAP), nullptr);
}

TEST_F(TextureManagerTest, MissingTexturesFallBack)
{
    TextureManager m;
    ASSERT_EQ(m.create(4), 1);
    // Neither the texture nor the fallback: a grey 16 x 16.
    Texture* grey = touch(m.get("res", "absent", TEXTURE_KIND_MAP));
    ASSERT_NE(grey, nullptr);
    EXPECT_TRUE(capture_.contains("Can't load texture 'res:absent'"));
    EXPECT_TRUE(capture_.contains("Can't load 'none:none' either"));
    EXPECT_EQ(grey->usize, 16);
    EXPECT_EQ(grey->vsize, 16);
    EXPECT_EQ(grey->mipmaps, 5);
    EXPECT_EQ(grey->palette[0], PALETTE_GREY);
    EXPECT_EQ(grey->palette[255], PALETTE_GREY);

    write("textures/none/none.cmt", tools::cmt_bytes(pattern_image(64, 16, false)));
    capture_.clear();
    Texture* none = touch(m.get("res", "gone", TEXTURE_KIND_MAP));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->usize, 64);
    EXPECT_TRUE(capture_.contains("Can't load texture 'res:gone'"));
    EXPECT_TRUE(capture_.contains("Loading default texture instead"));
    EXPECT_EQ(errors(), 0);

    // Both names empty: the cleared texture, without a word.
    capture_.clear();
    Texture* cleared = touch(m.get("", "", TEXTURE_KIND_MAP));
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->usize, 16);
    EXPECT_TRUE(capture_.lines().empty());
}

TEST_F(TextureManagerTest, LayoutChangesAndBackGiveThePalettesBack)
{
    const uint8_t layouts[][4] = {{16, 8, 0, 24}, {8, 16, 24, 0}, {0, 8, 16, 24}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(testing::Message() << int(layout[0]) << "," << int(layout[1]) << "," << int(layout[2]));
        TextureManager m;
        ASSERT_EQ(m.create(4), 1);
        TextureSlot* s0 = m.get("res", "t0", TEXTURE_KIND_MAP);
        TextureSlot* s2 = m.get("res", "t2", TEXTURE_KIND_MAP);
        const std::vector<uint32_t> file0 = palette_of(touch(s0));
        const std::vector<uint32_t> file2 = palette_of(touch(s2));
        TextureSlot* s1 = m.get("res", "t1", TEXTURE_KIND_MAP); // not loaded before the change
        const std::array<uint8_t, 4> inverse = inverse_of(layout);

        m.convert_all(layout);
        EXPECT_EQ(palette_of(touch(s0)), converted(file0, layout));
        EXPECT_EQ(palette_of(touch(s2)), converted(file2, layout));
        const std::vector<uint32_t> pixel1 = palette_of(touch(s1)); // loaded after: converted once
        m.convert_all(inverse.data());
        EXPECT_EQ(palette_of(touch(s0)), file0);
        EXPECT_EQ(palette_of(touch(s2)), file2);
        EXPECT_EQ(converted(palette_of(touch(s1)), layout), pixel1);
        // A slot asked for after the change back loads in file order.
        EXPECT_EQ(palette_of(touch(m.get("res", "t1", TEXTURE_KIND_MAP))), converted(pixel1, inverse.data()));
    }
}

TEST_F(TextureManagerTest, EvictedTexturesReloadInTheCurrentLayout)
{
    open_heap(400 * 1024);
    // Three textures with alpha of about 175 KB each: the heap holds two at most.
    for (int i = 0; i < 3; ++i) {
        write("textures/big/b" + std::to_string(i) + ".cmt", tools::cmt_bytes(pattern_image(256, 256, true, i)));
    }
    {
        TextureManager m;
        ASSERT_EQ(m.create(3), 1);
        TextureSlot* s[3];
        std::vector<uint32_t> file[3];
        std::vector<uint8_t> texels[3];
        for (int i = 0; i < 3; ++i) {
            s[i] = m.get("big", ("b" + std::to_string(i)).c_str(), TEXTURE_KIND_MAP);
            ASSERT_NE(s[i], nullptr);
            const Texture* t = touch(s[i]);
            ASSERT_NE(t, nullptr) << i;
            file[i] = palette_of(t);
            const TexelMap& l = t->levels[2];
            texels[i].assign(l.texels, l.texels + (l.height + 1) * l.width * 2);
        }
        EXPECT_EQ(s[0]->frames[0].texture, nullptr); // the least recently used went
        EXPECT_NE(s[2]->frames[0].texture, nullptr);

        const uint8_t layout[4] = {16, 8, 0, 24};
        m.convert_all(layout);
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 3; ++i) {
                const Texture* t = touch(s[i]);
                ASSERT_NE(t, nullptr);
                EXPECT_EQ(palette_of(t), converted(file[i], layout)) << i;
                const TexelMap& l = t->levels[2];
                EXPECT_TRUE(std::equal(texels[i].begin(), texels[i].end(), l.texels)) << i;
            }
        }
        EXPECT_EQ(heap_.check(1), 1);
    }
    // Everything went back to the heap with the manager.
    EXPECT_TRUE(heap_.first_block()->is_free());
    EXPECT_EQ(heap_.first_block()->size, 400u * 1024u);
    EXPECT_EQ(errors(), 0);
}

} // namespace
