#include "world/view/texture_manager.h"
#include "texture_fixture.h"
#include "tools/textures/procedural.h"

namespace {

TEST_F(TextureTest, ProceduralTexturesLoadByTheirNames)
{
    ASSERT_TRUE(tools::write_procedural_textures(tree_.path()));
    TextureManager m;
    ASSERT_EQ(m.create(32), 1);
    for (const tools::NamedTexture& t : tools::procedural_textures()) {
        SCOPED_TRACE(t.name);
        TextureSlot* slot = m.get(t.resource.c_str(), t.name.c_str(), TEXTURE_KIND_MAP);
        ASSERT_NE(slot, nullptr);
        TextureAnim anim{slot, 0, 0.0f};
        const Texture* tx = slot->get_frame(anim, 0);
        ASSERT_NE(tx, nullptr);
        EXPECT_EQ(tx->usize, t.image.width);
        EXPECT_EQ(tx->flags, t.image.alpha.empty() ? 0u : TEXTURE_TRANSPARENT);
    }
    TextureSlot* blink = m.get(tools::PROCEDURAL_RESOURCE, "blink", TEXTURE_KIND_MAP);
    ASSERT_NE(blink, nullptr);
    EXPECT_EQ(blink->frame_count, 3);
    EXPECT_EQ(blink->loop_start, 0);
    EXPECT_EQ(errors() + warnings(), 0);
}

TEST_F(TextureTest, UvGridTexelsTellTheirPlace)
{
    ASSERT_TRUE(tools::write_procedural_textures(tree_.path()));
    TextureManager m;
    ASSERT_EQ(m.create(1), 1);
    TextureSlot* slot = m.get(tools::PROCEDURAL_RESOURCE, "uvgrid", TEXTURE_KIND_MAP);
    TextureAnim anim{slot, 0, 0.0f};
    const Texture* t = slot->get_frame(anim, 0);
    ASSERT_NE(t, nullptr);
    for (int v = 0; v < 256; v += 5) {
        for (int u = 0; u < 256; u += 7) {
            const uint32_t colour = t->palette[t->levels[0].texels[v * 256 + u]];
            // Halved: red 8 * (u / 16) + 4, green 8 * (v / 16) + 4.
            ASSERT_EQ(static_cast<int>(colour & 0xFF) / 8, u / 16);
            ASSERT_EQ(static_cast<int>(colour >> 8 & 0xFF) / 8, v / 16);
        }
    }
}

} // namespace
