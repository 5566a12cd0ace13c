// Sprites and lamp glows: the near limit, the mip level, the depth test and
// opacity, the glow images, the centre test that hides a whole glow, the
// shrinking near the eye, and a camera walking through a glow.
#include "entity_fixture.h"
#include "world/view/entity_hooks.h"
#include "renderer/lamp_sprite.h"
#include "render/poly_renderer.h"
#include "soft/lighting_tables.h"
#include "render/sprite_draw.h"
#include "world/view/texture_manager.h"
#include "world/light_source.h"
#include "tools/textures/texture_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// 16 x 16: the left half clear (opacity 0), the right half solid.
tools::TextureImage half_clear_sprite()
{
    tools::TextureImage image;
    image.width = image.height = 16;
    for (int i = 0; i < 256; ++i) {
        image.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(i);
        image.palette[static_cast<size_t>(3 * i + 1)] = 200;
        image.palette[static_cast<size_t>(3 * i + 2)] = 100;
    }
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            image.index.push_back(static_cast<uint8_t>(100 + x));
            image.alpha.push_back(x < 8 ? 0 : 255);
        }
    }
    return image;
}

class SpriteTest : public EntityTest {
protected:
    void SetUp() override
    {
        EntityTest::SetUp();
        start(160, 120);
        init_sprite_tables();
        tree_.write("kavrin/textures/sprites/half.cmt", tools::cmt_bytes(half_clear_sprite()));
        ASSERT_EQ(textures_.create(8), 1);
    }
    void camera_identity()
    {
        mat_identity(view_.view);
        view_.set_extents(1.0f, 0.75f);
        projection_.begin_frame(view_);
        projection_.clear_window();
    }
    TextureManager textures_;
};

} // namespace

TEST_F(SpriteTest, NearerThanFourUnitsASpriteIsNotDrawn)
{
    camera_identity();
    Sprite sprite;
    sprite.set_texture(textures_.get("sprites", "half", TEXTURE_KIND_SPRITE, projection_.rgb_layout), projection_);
    EXPECT_FLOAT_EQ(sprite.radius, 0.5f * std::sqrt(512.0f));
    for (const float z : {3.999f, 4.0f}) {
        projection_.clear_window();
        sprite.position = {0.0f, 0.0f, z};
        draw_sprite_transparent(sprite, projection_);
        EXPECT_EQ(drawn_pixels() > 0, z >= 4.0f) << z;
    }
}

TEST_F(SpriteTest, FarSpritesUseSmallerLevelsUpToFour)
{
    camera_identity(); // 80 pixels a unit at depth 1: a level-0 texel is a pixel at 80
    const struct {
        double z;
        int level;
    } cases[] = {{79.0, 0}, {80.0, 1}, {159.0, 1}, {160.0, 2}, {320.0, 3}, {640.0, 4}, {100000.0, 4}};
    for (const auto& c : cases) {
        EXPECT_EQ(sprite_mip_level(c.z, projection_), c.level) << c.z;
    }
}

TEST_F(SpriteTest, ClearTexelsAndNearerWallsLeaveThePixel)
{
    camera_identity();
    Sprite sprite;
    sprite.set_texture(textures_.get("sprites", "half", TEXTURE_KIND_SPRITE, projection_.rgb_layout), projection_);
    sprite.position = {0.0f, 0.0f, 40.0f}; // 32 x 32 pixels around the centre (80, 60)
    const uint16_t sprite_depth = 65536 / 40;
    projection_.depth_rows[60][90] = sprite_depth + 1; // a nearer wall
    projection_.depth_rows[61][90] = sprite_depth;     // as near as the sprite
    draw_sprite_transparent(sprite, projection_);
    EXPECT_EQ(pixel(70, 60), 0u) << "left half: opacity 0";
    EXPECT_NE(pixel(85, 60), 0u) << "right half drawn";
    EXPECT_EQ(pixel(90, 60), 0u) << "behind the wall";
    EXPECT_NE(pixel(90, 61), 0u) << "equal depth draws";
    EXPECT_EQ(projection_.depth_rows[62][90], 0) << "the depth buffer is not written";
    EXPECT_EQ(pixel(97, 60), 0u) << "beyond the sprite";
}

TEST_F(SpriteTest, ASpriteWithoutTextureOrWithAnOpaqueOneDrawsNothing)
{
    camera_identity();
    tools::TextureImage opaque = half_clear_sprite();
    opaque.alpha.clear();
    tree_.write("kavrin/textures/sprites/opaque.cmt", tools::cmt_bytes(opaque));
    Sprite none;
    none.set_texture(nullptr, projection_);
    none.position = {0, 0, 40};
    Sprite solid;
    solid.set_texture(textures_.get("sprites", "opaque", TEXTURE_KIND_SPRITE, projection_.rgb_layout), projection_);
    solid.position = {0, 0, 40};
    draw_sprite_transparent(none, projection_);
    draw_sprite_transparent(solid, projection_);
    EXPECT_EQ(drawn_pixels(), 0);
}

TEST_F(SpriteTest, GlowImagesFallOffInTwoPiecesThatMeet)
{
    auto expected = [](int level, int x, int y) {
        const double d = ((2.0 * x - 63) * (2.0 * x - 63) + (2.0 * y - 63) * (2.0 * y - 63)) / 4096.0;
        const double g = d < 0.5 ? 1 / (1 + 14 * d) : d < 1.0 ? 0.25 - 0.25 * d : 0.0;
        return static_cast<int>(std::min(std::trunc((level + 1) * 0.25 * g * 256.0), 255.0));
    };
    const struct {
        int x, y;
    } texels[] = {{31, 31}, {32, 32}, {0, 0}, {63, 31}, {31, 9}, {10, 20}, {52, 40}};
    for (int level = 0; level < GLOW_LEVELS; ++level) {
        for (const auto& t : texels) {
            EXPECT_EQ(glow_image[level][t.y * GLOW_STRIDE + t.x], expected(level, t.x, t.y))
                << level << " " << t.x << "," << t.y;
        }
    }
    EXPECT_EQ(glow_image[3][31 * GLOW_STRIDE + 31], 254);
    EXPECT_EQ(glow_image[3][0], 0);
}

TEST_F(SpriteTest, SetFadeChoosesTheImageAndTheSize)
{
    const struct {
        float a;
        int level;
    } cases[] = {{0.9f, 3}, {-1.0f, 0}, {0.5f, 2}, {0.625f, 2}, {NAN, 0}};
    for (const auto& c : cases) {
        LampSpriteRender glow;
        glow.set_fade(c.a, 0.5f);
        EXPECT_EQ(glow.level, c.level) << c.a;
        EXPECT_EQ(glow.glow_radius, 16.0f);
    }
    LampSpriteRender glow;
    glow.set_size(-2.0f);
    EXPECT_EQ(glow.inv_near, 0.0f);
    glow.set_size(8.0f);
    EXPECT_EQ(glow.inv_near, 0.125f);
}

TEST_F(SpriteTest, AGlowShrinksTowardTheEyeAndHidesWithItsCentre)
{
    camera_identity();
    LampSpriteRender glow;
    glow.set_size(40.0f);
    glow.set_fade(0.75f, 0.25f); // radius 8
    const struct {
        float z;
        double factor;
    } cases[] = {{80.0f, 1.0}, {40.0f, 1.0}, {20.0f, 0.75}, {10.0f, 0.4375}};
    for (const auto& c : cases) {
        glow.position = {0.0f, 0.0f, c.z};
        ASSERT_EQ(glow.project(projection_), 1) << c.z;
        EXPECT_EQ(glow.half_width, std::lrint(8.0 * projection_.xscale_fixed * c.factor / c.z)) << c.z;
    }
    // The glow's centre pixel is behind something nearer: no part of it shows.
    glow.position = {0.0f, 0.0f, 80.0f};
    projection_.depth_rows[60][80] = 65536 / 80 + 1;
    EXPECT_EQ(glow.project(projection_), 0);
    draw_sprite(glow, projection_);
    EXPECT_EQ(drawn_pixels(), 0);
    projection_.depth_rows[60][80] = 65536 / 80;
    ASSERT_EQ(glow.project(projection_), 1);
    draw_sprite(glow, projection_);
    EXPECT_NE(pixel(80, 60), 0u);
    EXPECT_NE(pixel(80 + 7, 60), 0u) << "8 pixels of half width";
    EXPECT_EQ(pixel(80 + 9, 60), 0u);
}

TEST_F(SpriteTest, AGlowWithoutSizeOrBehindTheEyeIsSkipped)
{
    camera_identity();
    LampData dark;
    dark.set_intensity(0.0f);
    const struct {
        const char* why;
        Vector position;
        float radius;
        const LampData* lamp;
    } cases[] = {
        {"half width 0", {0, 0, 50}, 0.0f, nullptr},
        {"a lamp of intensity 0", {0, 0, 50}, 8.0f, &dark},
        {"behind the eye", {0, 0, -50}, 8.0f, nullptr},
        {"at the eye", {0, 0, 0}, 8.0f, nullptr},
        {"on the window's edge column", {-50, 0, 50}, 8.0f, nullptr},
    };
    for (const auto& c : cases) {
        LampSpriteRender glow;
        glow.glow_radius = c.radius;
        glow.set_mode(c.lamp);
        glow.position = c.position;
        EXPECT_EQ(glow.project(projection_), 0) << c.why;
        draw_sprite(glow, projection_);
    }
    EXPECT_EQ(drawn_pixels(), 0);
}

TEST_F(SpriteTest, WalkingThroughALampsGlow)
{
    build_lighting_tables();
    auto renderer = std::make_unique<PolyRenderer>();
    ASSERT_EQ(renderer->init(&projection_), 1);
    LampSpriteRender glow;
    glow.position = {100.0f, 3.0f, 40.0f};
    glow.set_size(30.0f);
    glow.set_fade(1.0f, 1.0f);
    const EntityHooks* hooks = entity_hooks(glow.entity_type());
    ASSERT_NE(hooks, nullptr);
    int shown = 0;
    for (int step = 0; step <= 400; ++step) {
        const float x = -100.0f + step;
        look({x, 3.0f, 40.0f}, {x + 1.0f, 3.0f, 40.0f});
        renderer->begin_frame();
        EXPECT_EQ(hooks->meet(glow, *renderer), 1);
        EXPECT_EQ(hooks->meet(glow, *renderer), 0) << "once a frame";
        renderer->end_frame();
        shown += (glow.render_flags & RENDER_GLOW_VISIBLE) != 0 ? 1 : 0;
        if ((glow.render_flags & RENDER_GLOW_VISIBLE) != 0) {
            EXPECT_NE(pixel(80, 60), 0u) << step;
        }
    }
    EXPECT_EQ(shown, 200) << "shown exactly while in front of the eye: 200 steps of the 401";
    EXPECT_EQ(entity_hooks(0), nullptr) << "lights draw nothing";
    renderer->close();
}
