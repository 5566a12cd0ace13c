// Two coplanar lit polygons that share an edge, drawn by the polygon renderer
// with every lit drawer: along the seam no pixel may turn darker than both
// its neighbours. The floor recedes to where a pixel spans more than half a
// light texel, so that a light sample taken a few pixels beyond a polygon's
// edge lands well outside its lightmap.
#include "poly_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LitSeamTest : public PolyTest {
protected:
    void SetUp() override
    {
        PolyTest::SetUp();
        start(96, 72);
        tools::TextureImage grey;
        grey.width = 16;
        grey.height = 16;
        grey.index.assign(16 * 16, 0);
        grey.palette[0] = grey.palette[1] = grey.palette[2] = 200;
        patch_ = texture("grey", grey);
    }
    AlgoTexture* patch_ = nullptr;
};

// A lightmap of one grey level over a w x h block, whole rows.
struct UniformLightmap {
    std::vector<LightRow> rows;
    std::vector<uint8_t> samples;

    UniformLightmap(MapPolygon& polygon, int w, int h, uint8_t level)
        : rows(static_cast<size_t>(h)), samples(static_cast<size_t>(w * h), level)
    {
        for (int r = 0; r < h; ++r) {
            rows[static_cast<size_t>(r)] = LightRow{static_cast<int16_t>(r * w), 0, static_cast<uint8_t>(w)};
        }
        polygon.lightmap = LightRows{rows.data(), w, h, 40.0f};
        polygon.samples = samples.data();
        polygon.s0 = 0;
        polygon.t0 = 0;
    }
};

int brightness(uint32_t p) { return static_cast<int>((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF)); }

TEST_F(LitSeamTest, NoSeamPixelIsDarkerThanBothItsSides)
{
    // A floor one unit below the eye from depth 2 to 8, split at x = seam.
    // The left half's texture origin is on the seam with u running left, so
    // its spans end on its lightmap's column 0; the right half's runs u
    // along the depth and v right, so its spans start on its row 0. A light
    // texel spans 16 texels of 1/64 unit, a quarter unit; a pixel spans a
    // third of one at depth 4, two thirds at depth 8.
    //
    // The seam lies a hair right of the pixels at the screen's centre
    // column: those are the left half's last pixels, on its edge to within
    // rounding, where the plan's coordinates may step just past it.
    const float seam = 1e-5f;
    const float zn = 2.0f;
    const float zf = 8.0f;
    const float side = 5.0f;
    Scene scene;
    SoupPolygon left;
    left.vertices = {{seam, 1, zn}, {-side, 1, zn}, {-side, 1, zf}, {seam, 1, zf}};
    SoupPolygon right;
    right.vertices = {{seam, 1, zn}, {seam, 1, zf}, {side, 1, zf}, {side, 1, zn}};
    Scene::Item& l = scene.add(left, patch_, 1.0 / 64, 3);
    Scene::Item& r = scene.add(right, patch_, 1.0 / 64, 2);

    struct Form {
        const char* name;
        const char* lfilter;
        const char* tfilter;
        const char* mmx;
    };
    const Form forms[] = {
        {"nearest light", "False", "False", "False"},
        {"blended light", "True", "False", "False"},
        {"MMX light", "True", "False", "True"},
        {"filtered light and texture", "True", "True", "False"},
    };
    // Grey levels of the left and the right half: a dark pixel at the end
    // of the left half's spans shows against a brighter right, one at the
    // start of the right half's against a brighter left.
    struct Lights {
        const char* why;
        uint8_t left, right;
    };
    const Lights lights[] = {
        {"dim left, bright right", 64, 160},
        {"bright left, dim right", 160, 64},
    };
    set("R_Lighting", "True");
    for (const Lights& light : lights) {
        UniformLightmap left_light(l.polygon, 21, 25, light.left);
        UniformLightmap right_light(r.polygon, 25, 21, light.right);
        for (const Form& form : forms) {
            SCOPED_TRACE(testing::Message() << form.name << ", " << light.why);
            set("R_LFilter", form.lfilter);
            set("R_TFilter", form.tfilter);
            set("MMX", form.mmx);
            draw(scene, POLY_CLIP);
            ASSERT_EQ(renderer_.stats.drawn, 2);
            const std::vector<int> ids = span_ids(scene);
            const auto id = [&](int32_t x, int32_t y) { return ids[static_cast<size_t>(y * projection_.xsize + x)]; };
            int seam_rows = 0;
            int dark = 0;
            std::string first_dark;
            // Each half has one light: every pixel of a half shows the colour
            // of its first pixel.
            uint32_t colour[2] = {};
            bool seen[2] = {false, false};
            int off = 0;
            std::string first_off;
            for (int32_t y = 0; y < projection_.ysize; ++y) {
                for (int32_t x = 0; x < projection_.xsize; ++x) {
                    const int half = id(x, y);
                    if (half < 0) {
                        continue;
                    }
                    const uint32_t here = pixel(x, y);
                    if (!seen[half]) {
                        colour[half] = here;
                        seen[half] = true;
                    } else if (here != colour[half] && off++ == 0) {
                        first_off = std::to_string(x) + "," + std::to_string(y);
                    }
                    if (x == 0 || x + 1 == projection_.xsize || id(x - 1, y) < 0 || id(x + 1, y) < 0) {
                        continue;
                    }
                    seam_rows += half == 0 && id(x + 1, y) == 1 ? 1 : 0;
                    const int b = brightness(here);
                    const int before = brightness(pixel(x - 1, y));
                    const int after = brightness(pixel(x + 1, y));
                    if (b < before && b < after && dark++ == 0) {
                        first_dark = std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(before) +
                                     ", " + std::to_string(b) + ", " + std::to_string(after);
                    }
                }
            }
            EXPECT_GT(seam_rows, 20);
            EXPECT_TRUE(seen[0] && seen[1]);
            EXPECT_EQ(dark, 0) << "pixels darker than both their sides, the first at " << first_dark;
            EXPECT_EQ(off, 0) << "pixels off their half's colour, the first at " << first_off;
        }
    }
}

} // namespace
