// Colour words whose three channels all differ reach the software screen
// each in its own channel of the pixel layout: particles, lamp glows (their
// own colour and their lamp's) and the light of a mesh (its own and its
// lights'). Each channel takes each of the three values once over the rows,
// so a channel read from another's byte shows in one of them.
#include "entity_fixture.h"
#include "renderer/lamp_sprite.h"
#include "renderer/mesh_object.h"
#include "render/sprite_draw.h"
#include "renderer/particle_render.h"
#include "support/colour_words.h"
#include "tools/textures/texture_writer.h"
#include "world/entity_link.h"
#include "world/light_source.h"
#include "world/view/texture_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

class ColourWordTest : public EntityTest {
protected:
    // A pixel's channels, read at the shifts of the screen's layout.
    Rgb channels(uint32_t pixel) const
    {
        const uint8_t* const layout = projection_.rgb_layout;
        return {static_cast<int>((pixel >> layout[0]) & 0xFFu), static_cast<int>((pixel >> layout[1]) & 0xFFu),
                static_cast<int>((pixel >> layout[2]) & 0xFFu)};
    }
    // The camera at the world origin looking along +z, x right, y down.
    void camera_identity()
    {
        mat_identity(view_.view);
        view_.set_extents(1.0f, 0.75f);
        projection_.begin_frame(view_);
        projection_.clear_window();
    }
};

// The pixel drawn in the colour is the one drawn in white scaled channel by
// channel by the colour's bytes.
void expect_scaled(const Rgb& seen, const Rgb& white, const ColourWord& c, double tolerance)
{
    EXPECT_NEAR(seen.r, white.r * c.red / 255.0, tolerance) << "red";
    EXPECT_NEAR(seen.g, white.g * c.green / 255.0, tolerance) << "green";
    EXPECT_NEAR(seen.b, white.b * c.blue / 255.0, tolerance) << "blue";
}

} // namespace

TEST_F(ColourWordTest, ParticlesShowTheirColourWordInThePixelLayout)
{
    start(64, 48);
    for (const ColourWord& c : COLOUR_WORDS) {
        for (const bool blended : {false, true}) {
            SCOPED_TRACE(testing::Message() << std::hex << c.word << (blended ? " blended" : ""));
            look({0, 0, 0}, {1, 0, 0});
            ParticleRender system;
            ASSERT_EQ(system.allocate(1), 1);
            system.set_colours(c.word, 0, projection_.rgb_layout);
            system.flags = static_cast<uint16_t>(system.flags | (blended ? PARTICLE_BLEND : 0));
            system.start(1, 10, 10, 0, 0);
            Particle& p = system.particles[0];
            p.pos[0] = 20.0f;
            p.pos[1] = 0.0f;
            p.pos[2] = 0.0f;
            p.intensity = 4.0f;
            p.phase = 0;
            system.draw(projection_);
            // Over the black window a blended particle adds a quarter of each byte.
            const Rgb expected = blended ? Rgb{c.red >> 2, c.green >> 2, c.blue >> 2} : Rgb{c.red, c.green, c.blue};
            int drawn = 0;
            for (int32_t y = 0; y < projection_.ysize; ++y) {
                for (int32_t x = 0; x < projection_.xsize; ++x) {
                    if (pixel(x, y) == 0) {
                        continue;
                    }
                    ++drawn;
                    const Rgb seen = channels(pixel(x, y));
                    ASSERT_EQ(seen.r, expected.r) << x << ", " << y;
                    ASSERT_EQ(seen.g, expected.g) << x << ", " << y;
                    ASSERT_EQ(seen.b, expected.b) << x << ", " << y;
                }
            }
            EXPECT_GT(drawn, 0);
        }
    }
}

TEST_F(ColourWordTest, AGlowTakesItsOwnColourWordOrItsLampsInThePixelLayout)
{
    start(160, 120);
    init_sprite_tables();
    LampData lamp;
    lamp.set_intensity(1.0f);
    const auto centre = [&](uint32_t own, const LampData* with) {
        camera_identity();
        LampSpriteRender glow;
        glow.set_fade(1.0f, 0.25f); // the brightest image, radius 8
        glow.set_colour(own);
        glow.set_mode(with);
        glow.position = {0.0f, 0.0f, 80.0f};
        EXPECT_EQ(glow.project(projection_), 1);
        draw_sprite(glow, projection_);
        return channels(pixel(80, 60));
    };
    const Rgb white = centre(0xFFFFFF, nullptr);
    ASSERT_GT(white.g, 200);
    lamp.set_colour(0xFFFFFF);
    lamp.map_colour(projection_.rgb_layout);
    const Rgb white_lamp = centre(0xFFFFFF, &lamp);
    ASSERT_GT(white_lamp.g, 200);
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        expect_scaled(centre(c.word, nullptr), white, c, 2.0);
        // With a lamp its colour counts and the glow's own does not.
        lamp.set_colour(c.word);
        lamp.map_colour(projection_.rgb_layout);
        expect_scaled(centre(0xFFFFFF, &lamp), white_lamp, c, 2.0);
    }
}

// The middle light (R_Lighting off) shows the skin's texels as they are; an
// object's own light of byte b in a channel is b / 128 of the middle light
// there, and a light's colour adds to each channel by its byte.
TEST_F(ColourWordTest, AMeshIsLitChannelByChannelByItsOwnLightAndItsLights)
{
    start(160, 120);
    // The cube's skin of one texel colour, its channels apart and mid-way.
    tools::TextureImage skin = tools::model_skin(0);
    for (int i = 0; i < 256; ++i) {
        skin.palette[static_cast<size_t>(3 * i)] = 100;
        skin.palette[static_cast<size_t>(3 * i + 1)] = 80;
        skin.palette[static_cast<size_t>(3 * i + 2)] = 120;
    }
    tree_.write("kavrin/models/demo/cubes0.cmt", tools::cmt_bytes(skin));
    MeshModel model;
    MeshObject mesh;
    ASSERT_EQ(model.set_name("demo", "cube"), 1);
    mesh.attach(&model, projection_);
    ASSERT_NE(model.model, nullptr);
    const auto frame = [&] {
        look({80, 10, 20}, {0, 0, 0});
        mesh.draw(projection_);
        std::vector<Rgb> out;
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            for (int32_t x = 0; x < projection_.xsize; ++x) {
                out.push_back(channels(pixel(x, y)));
            }
        }
        return out;
    };
    set("R_Lighting", false);
    const std::vector<Rgb> texels = frame();
    set("R_Lighting", true);
    // Pixels where the brightest channel, 0xE0 / 0x80 of the texel, stays below 255.
    std::vector<size_t> chosen;
    for (size_t i = 0; i < texels.size(); ++i) {
        const Rgb& t = texels[i];
        if (std::min({t.r, t.g, t.b}) >= 40 && std::max({t.r, t.g, t.b}) <= 140) {
            chosen.push_back(i);
        }
    }
    ASSERT_GT(chosen.size(), 100u);
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        mesh.set_skin(c.word);
        const std::vector<Rgb> lit = frame();
        int agreed = 0;
        for (const size_t i : chosen) {
            const Rgb& t = texels[i];
            const Rgb& l = lit[i];
            agreed += std::abs(l.r - t.r * c.red / 128) <= 2 && std::abs(l.g - t.g * c.green / 128) <= 2 &&
                              std::abs(l.b - t.b * c.blue / 128) <= 2
                          ? 1
                          : 0;
        }
        EXPECT_GT(agreed, static_cast<int>(chosen.size()) * 95 / 100) << agreed << " of " << chosen.size();

        // A light of the colour, and a white light of a lamp of the colour,
        // near the camera: each channel's light over the texel, as a byte of
        // the object's own light, is one share of the colour's byte.
        mesh.set_skin(0);
        LampData lamp;
        lamp.set_intensity(1.0f);
        lamp.set_colour(c.word);
        for (const bool by_lamp : {false, true}) {
            SCOPED_TRACE(by_lamp ? "by a lamp" : "by a light");
            LightSource light;
            light.set_range(2.0f);
            light.set_intensity(1.0f);
            light.set_colour(by_lamp ? 0xFFFFFFu : c.word);
            light.set_lamp(by_lamp ? &lamp : nullptr);
            light.set_position({60, 8, 15}, {-1, 0, 0});
            EntityLink link = {&light, nullptr};
            const std::vector<Rgb> shone = [&] {
                look({80, 10, 20}, {0, 0, 0});
                (by_lamp ? mesh.light_list_b : mesh.light_list_a) = &link;
                mesh.draw(projection_);
                mesh.light_list_a = mesh.light_list_b = nullptr;
                std::vector<Rgb> out;
                for (int32_t y = 0; y < projection_.ysize; ++y) {
                    for (int32_t x = 0; x < projection_.xsize; ++x) {
                        out.push_back(channels(pixel(x, y)));
                    }
                }
                return out;
            }();
            int lit = 0;
            int shared = 0;
            for (const size_t i : chosen) {
                const Rgb& t = texels[i];
                const Rgb& l = shone[i];
                const double q[3] = {l.r * 128.0 / t.r, l.g * 128.0 / t.g, l.b * 128.0 / t.b};
                const double share = q[c.red == 0xE0 ? 0 : c.green == 0xE0 ? 1 : 2] / 0xE0;
                if (share < 0.3) {
                    continue;
                }
                ++lit;
                shared += std::fabs(q[0] - share * c.red) <= 6.0 && std::fabs(q[1] - share * c.green) <= 6.0 &&
                                  std::fabs(q[2] - share * c.blue) <= 6.0
                              ? 1
                              : 0;
            }
            ASSERT_GT(lit, 100);
            EXPECT_GT(shared, lit * 95 / 100) << shared << " of " << lit;
        }
    }
}

// A sprite's palette words reach the screen in the pixel layout: a texel of
// full opacity shows its palette colour (the blend toward it by 255 / 256).
TEST_F(ColourWordTest, ASpriteShowsItsPaletteWordsInThePixelLayout)
{
    start(160, 120);
    TextureManager textures;
    ASSERT_EQ(textures.create(8), 1);
    const auto centre = [&](const char* name, int red, int green, int blue) {
        tools::TextureImage image;
        image.width = image.height = 16;
        for (int i = 0; i < 256; ++i) {
            image.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(red);
            image.palette[static_cast<size_t>(3 * i + 1)] = static_cast<uint8_t>(green);
            image.palette[static_cast<size_t>(3 * i + 2)] = static_cast<uint8_t>(blue);
        }
        image.index.assign(256, 7);
        image.alpha.assign(256, 255);
        tree_.write(std::string("kavrin/textures/sprites/") + name + ".cmt", tools::cmt_bytes(image));
        camera_identity();
        Sprite sprite;
        sprite.set_texture(textures.get("sprites", name, TEXTURE_KIND_SPRITE, projection_.rgb_layout), projection_);
        sprite.position = {0.0f, 0.0f, 40.0f};
        draw_sprite_transparent(sprite, projection_);
        return channels(pixel(80, 60));
    };
    const Rgb white = centre("white", 255, 255, 255);
    ASSERT_GT(white.g, 200);
    int n = 0;
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        const std::string name = "colour" + std::to_string(n++);
        expect_scaled(centre(name.c_str(), c.red, c.green, c.blue), white, c, 1.0);
    }
}
