// The 2-D layer of the OpenGL screen manager read back from the frame: the
// backdrop picture laid at the screen's size, text over it with the font's
// coverage classes, icons blended by their alpha and cut by their gauge,
// freed rectangles repainted when the mode keeps its frame, the loader
// picture on the switch to loading, and all of it again after the texture
// cache dropped every texture.
#include "core/print.h"
#include "gl_screen_fixture.h"
#include "host/host_gl.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"
#include "support/bmp_shot.h"
#include "support/tagged_lines.h"
#include "world/view/icon_table.h"
#include "tools/assets/small_font.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int32_t LAYER_SIDE = 64;
// On a 64 x 64 screen: 400 x 300 virtual units a pixel.
constexpr int32_t UX = 25600 / LAYER_SIDE;
constexpr int32_t UY = 19200 / LAYER_SIDE;

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

bool near(const Rgb& a, const Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

Rgb palette_colour(const tools::PictureDesign& p, uint8_t index)
{
    return {p.palette[3 * index], p.palette[3 * index + 1], p.palette[3 * index + 2]};
}

Rgb picture_pixel(const tools::PictureDesign& p, int32_t x, int32_t y)
{
    const std::vector<int> c = stretched_picture_pixel(p, LAYER_SIDE, LAYER_SIDE, x, y);
    return {c[0], c[1], c[2]};
}

// The software font's mix of a code into a pixel (its ramp from 0x80).
Rgb font_mix(const Rgb& d, uint8_t code)
{
    const int grey = (code & 31) * 8;
    const int weight[4][2] = {{0, 1}, {1, 1}, {3, 1}, {7, 1}};
    const int shift[4] = {0, 1, 2, 3};
    const int k = (code >> 5) & 3;
    const auto mix = [&](int c) { return (c * weight[k][0] + grey * weight[k][1]) >> shift[k]; };
    return {mix(d.r), mix(d.g), mix(d.b)};
}

Rgb alpha_mix(const Rgb& d, const Rgb& c, int alpha)
{
    const auto mix = [&](int under, int over) { return (under * (255 - alpha) + over * alpha + 127) / 255; };
    return {mix(d.r, c.r), mix(d.g, c.g), mix(d.b, c.b)};
}

// A window mode whose frame is kept between frames: a whole repaint only
// when the test asks for one.
class KeptWindow final : public KVideoMode_Win {
public:
    int begin_frame() override { return repaint; }
    int repaint = 1;
};

class GLScreenLayerTest : public GLScreenFixture {
protected:
    void start(bool kept = false)
    {
        start_screen(LAYER_SIDE, LAYER_SIDE, kept ? new KeptWindow : nullptr);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // No map: the 3-D window covers nothing.
        screen.set_window_size(0, 0);
    }

    // One whole frame with nothing drawn between the screen's two halves;
    // the frame as its shot shows it.
    Shot frame(int loading = 0)
    {
        screen.begin_frame(loading);
        screen.present(1);
        char name[64];
        std::snprintf(name, sizeof name, "kavrin/shots/kvr%05d.bmp", screen.shot_number() - 1);
        std::ifstream in(tree.path(name), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        Shot shot;
        EXPECT_TRUE(shot.read(bytes)) << name;
        return shot;
    }

    static Rgb at(const Shot& shot, int x, int y)
    {
        if (shot.rgb.empty()) {
            return {-1, -1, -1};
        }
        const size_t i = 3 * (static_cast<size_t>(y) * shot.width + x);
        return {shot.rgb[i], shot.rgb[i + 1], shot.rgb[i + 2]};
    }

    // The back buffer's pixel, y from the top.
    static Rgb back_pixel(int x, int y)
    {
        uint8_t p[4] = {};
        glReadPixels(x, LAYER_SIDE - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }

    static void fill_back(uint8_t r, uint8_t g, uint8_t b)
    {
        glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    int shown_icon(int32_t x0, int32_t y0, int32_t side)
    {
        const int id = screen.add_icon(x0 * UX, side * UX, y0 * UY, side * UY);
        EXPECT_GE(id, 0);
        icons.create(2);
        IconPicture* const marker = icons.get("marker", 1);
        EXPECT_NE(marker, nullptr);
        screen.set_icon_value(id, marker);
        return id;
    }

    IconTable icons;
    // The demo's size01 files: the nearest to a 64 x 64 screen.
    const tools::PictureDesign background = tools::demo_background(320, 200);
    const tools::PictureDesign loader = tools::demo_loader(320, 200);
    const tools::PictureDesign marker = tools::demo_marker(200 / 12);
    const tools::FontDesign font = tools::small_font();
};

TEST_F(GLScreenLayerTest, BackgroundIsTheStretchedPictureAndTheLoaderReplacesIt)
{
    start();
    if (IsSkipped()) {
        return;
    }
    for (const int loading : {0, 1, 0}) {
        const tools::PictureDesign& picture = loading != 0 ? loader : background;
        const Shot shot = frame(loading);
        EXPECT_EQ(screen.repaint_all(), 1);
        int wrong = 0;
        for (int y = 0; y < LAYER_SIDE; ++y) {
            for (int x = 0; x < LAYER_SIDE; ++x) {
                wrong += at(shot, x, y) == picture_pixel(picture, x, y) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0) << "loading " << loading << ", first pixel " << at(shot, 0, 0) << " against "
                            << picture_pixel(picture, 0, 0);
    }
}

TEST_F(GLScreenLayerTest, TextCoversItsGlyphPixelsAsTheSoftwareFontMixesThem)
{
    start();
    if (IsSkipped()) {
        return;
    }
    // Character 127 charts every code 0-255; "A" is a stroked letter with shadows.
    const char chart[] = {'\x7f', '\0'};
    struct Case {
        const char* name;
        const char* text;
        int row;
    };
    const Case cases[] = {{"code chart", chart, 0}, {"letter", "A", 3}};
    for (const Case& c : cases) {
        ASSERT_GE(screen.add_text(1, c.row, c.text), 0) << c.name;
    }
    const Shot shot = frame();
    for (const Case& c : cases) {
        const tools::GlyphDesign& g = font.glyphs[static_cast<unsigned char>(c.text[0]) - font.first];
        const int x0 = tools::SMALL_FONT_ADVANCE + g.x_offset;
        const int y0 = c.row * tools::SMALL_FONT_LINE + g.y_offset;
        int wrong = 0;
        int drawn = 0;
        for (int row = 0; row < g.height; ++row) {
            for (int column = 0; column < g.width; ++column) {
                const int x = x0 + column;
                const int y = y0 + row;
                if (x >= LAYER_SIDE || y >= LAYER_SIDE) {
                    continue;
                }
                const uint8_t code = g.pixels[static_cast<size_t>(row) * g.width + column];
                const Rgb under = picture_pixel(background, x, y);
                const Rgb want = code == 0 || code >= 128 ? under : font_mix(under, code);
                drawn += code != 0 && code < 128 ? 1 : 0;
                if (!near(at(shot, x, y), want, 2)) {
                    ++wrong;
                    ADD_FAILURE() << c.name << " pixel " << x << "," << y << " code " << int{code} << ": "
                                  << at(shot, x, y) << " against " << want;
                }
            }
        }
        EXPECT_GT(drawn, 0) << c.name;
        EXPECT_EQ(wrong, 0) << c.name;
    }
    // Left of the first column nothing is drawn.
    EXPECT_EQ(at(shot, 0, 5), picture_pixel(background, 0, 5));
}

TEST_F(GLScreenLayerTest, IconsBlendByAlphaAndTheGaugeShowsTheirLeftPart)
{
    start();
    if (IsSkipped()) {
        return;
    }
    const int32_t side = static_cast<int32_t>(marker.width);
    const int id = shown_icon(40, 30, side);
    const auto check = [&](const Shot& shot, int32_t shown, const char* when) {
        int wrong = 0;
        for (int32_t y = 0; y < side; ++y) {
            for (int32_t x = 0; x < side; ++x) {
                const size_t i = static_cast<size_t>(y) * side + x;
                const Rgb under = picture_pixel(background, 40 + x, 30 + y);
                const Rgb want = x < shown ? alpha_mix(under, palette_colour(marker, marker.data[i]), marker.alpha[i])
                                           : under;
                wrong += near(at(shot, 40 + x, 30 + y), want, 2) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0) << when;
    };
    check(frame(), side, "whole icon");
    // Half the width: the right half shows the background again.
    screen.set_icon_extent(id, side / 2 * UX);
    check(frame(), side / 2, "half gauge");
    screen.remove_icon(id);
    check(frame(), 0, "removed");
    icons.release_all();
}

TEST_F(GLScreenLayerTest, DroppedTexturesAreBuiltAgainOnTheNextFrame)
{
    start();
    if (IsSkipped()) {
        return;
    }
    const int32_t side = static_cast<int32_t>(marker.width);
    shown_icon(40, 30, side);
    ASSERT_GE(screen.add_text(0, 0, "Kept"), 0);
    const Shot before = frame();
    // The GL cache forgets every texture; the heap's cache drops the icon.
    gl_texture_manager.flush();
    icons.release_all();
    const Shot after = frame();
    EXPECT_EQ(before.rgb, after.rgb);
    // A frame in which nothing changed uploads nothing: every owner stays resident.
    ASSERT_NE(screen.background(), nullptr);
    EXPECT_EQ(screen.background()->owner.activate(), 1);
    EXPECT_EQ(screen.font().owner.activate(), 1);
    icons.release_all();
}

TEST_F(GLScreenLayerTest, AFrameInWhichNothingChangedUploadsNothing)
{
    start();
    if (IsSkipped()) {
        return;
    }
    shown_icon(40, 30, static_cast<int32_t>(marker.width));
    ASSERT_GE(screen.add_text(0, 0, "Still"), 0);
    const uint64_t before_first = GLSys::uploads();
    frame();
    const uint64_t after_first = GLSys::uploads();
    // The first frame builds the backdrop, the font and the icon.
    EXPECT_GT(after_first, before_first);
    frame();
    EXPECT_EQ(GLSys::uploads(), after_first) << "uploads in a frame that changed nothing";
    // Dropped textures come back: their uploads are counted again.
    gl_texture_manager.flush();
    frame();
    EXPECT_GT(GLSys::uploads(), after_first);
    icons.release_all();
}

TEST_F(GLScreenLayerTest, AKeptFrameRepaintsOnlyFreedIconAndTextRectangles)
{
    start(true);
    if (IsSkipped()) {
        return;
    }
    auto* const kept = static_cast<KeptWindow*>(mode.get());
    ASSERT_GE(screen.add_text(0, 0, "Hi"), 0);
    const int icon = screen.add_icon(40 * UX, 10 * UX, 40 * UY, 10 * UY); // no picture: nothing drawn over it
    ASSERT_GE(icon, 0);
    screen.set_window_size(32, 32); // 16..48 both ways
    // Two whole frames use up the screen that start() gave up to the window.
    kept->repaint = 1;
    frame();
    frame();
    kept->repaint = 0;
    // A freed rectangle inside the window is left to the world; one that
    // overlaps the window's edge is repainted whole.
    screen.add_freed_rect({20, 30, 20, 30});
    screen.add_freed_rect({10, 20, 50, 60});
    fill_back(0, 255, 0);
    screen.begin_frame(0);
    const Rgb green{0, 255, 0};
    struct Case {
        const char* where;
        int x;
        int y;
        bool repainted;
    };
    const Case cases[] = {
        {"the text's rectangle", 2, 2, true},         {"the icon's rectangle", 45, 45, true},
        {"freed across the window's edge", 12, 55, true}, {"freed inside the window", 25, 25, false},
        {"nothing queued there", 2, 40, false},        {"right of the text", 60, 2, false},
    };
    for (const Case& c : cases) {
        const Rgb want = c.repainted ? picture_pixel(background, c.x, c.y) : green;
        EXPECT_EQ(back_pixel(c.x, c.y), want) << c.where;
    }
    screen.present(0);
    // The switch to loading repaints everything with the loader picture.
    fill_back(0, 255, 0);
    screen.begin_frame(1);
    EXPECT_EQ(screen.repaint_all(), 1);
    EXPECT_EQ(back_pixel(2, 40), picture_pixel(loader, 2, 40));
    screen.present(0);
}

TEST_F(GLScreenLayerTest, TimingLineGoesOutTagged)
{
    start();
    if (IsSkipped()) {
        return;
    }
    const TaggedLines timing("ScCy");
    frame();
    screen.print_timing();
    const std::vector<std::string>& lines = timing.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Screen: Clear=", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(", Draw="), std::string::npos);
    EXPECT_NE(lines[0].find(", Video="), std::string::npos);
}

} // namespace
