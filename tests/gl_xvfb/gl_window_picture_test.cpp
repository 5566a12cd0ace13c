// The OpenGL video modes in a real window on an X display: what the engine
// draws, what a screen shot reads back and what the desktop shows, across
// changes between windowed and full-screen modes of several sizes.
#include "host/host_gl.h"
#include "host/host_window.h"
#include "tests/gl/gl_fixture.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Rgb = std::vector<int>;

// A test picture of w x h: four quadrants of their own colours, the
// leftmost column white and the top row yellow, so that a picture shifted,
// cut, stretched or mirrored shows.
Rgb pattern_pixel(int w, int h, int x, int y, int seed) // y from the top
{
    if (x == 0) {
        return {255, 255, 255};
    }
    if (y == 0) {
        return {255, 255, 0};
    }
    const int quadrant = (x < w / 2 ? 0 : 1) + (y < h / 2 ? 0 : 2);
    static const Rgb colours[] = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {200, 0, 200}, {0, 200, 200}};
    return colours[(quadrant + seed) % 5];
}

void clear_rect(int x, int y, int w, int h, const Rgb& c) // GL's lower-left origin
{
    glScissor(x, y, w, h);
    glClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void draw_pattern(int w, int h, int seed)
{
    glEnable(GL_SCISSOR_TEST);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const int x0 = quadrant % 2 == 0 ? 0 : w / 2;
        const int top = quadrant < 2 ? 0 : h / 2; // from the top
        const int bottom = quadrant < 2 ? h / 2 : h;
        clear_rect(x0, h - bottom, (quadrant % 2 == 0 ? w / 2 : w - w / 2), bottom - top,
                   pattern_pixel(w, h, x0 + 1, top + 1, seed));
    }
    clear_rect(0, 0, 1, h, {255, 255, 255});
    clear_rect(1, h - 1, w - 1, 1, {255, 255, 0});
    glDisable(GL_SCISSOR_TEST);
}

// A screen shot as the screen manager takes it: rows lowest first, RGBA.
std::vector<uint8_t> read_shot(int w, int h)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

// Pixels of the shot unlike the pattern.
int shot_differences(const std::vector<uint8_t>& rgba, int w, int h, int seed)
{
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(h - 1 - y) * w + x) * 4];
            wrong += Rgb{p[0], p[1], p[2]} != pattern_pixel(w, h, x, y, seed) ? 1 : 0;
        }
    }
    return wrong;
}

// The X screen as a binary PPM, read with ImageMagick's import.
struct Screen {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const
    {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

bool grab_screen(Screen& s)
{
    const std::string file = ::testing::TempDir() + "ostrel_gl_screen.ppm";
    if (std::system(("timeout 20 import -silent -window root -depth 8 " + file).c_str()) != 0) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> s.width >> s.height >> maxval;
    in.get();
    if (magic != "P6" || s.width <= 0 || s.height <= 0 || maxval != 255) {
        return false;
    }
    s.rgb.resize(static_cast<size_t>(s.width) * s.height * 3);
    in.read(reinterpret_cast<char*>(s.rgb.data()), static_cast<std::streamsize>(s.rgb.size()));
    std::remove(file.c_str());
    return in.good();
}

// Close enough, for pixels the scaling filtered.
bool near(const Rgb& a, const Rgb& b)
{
    for (size_t i = 0; i < 3; ++i) {
        if (std::abs(a[i] - b[i]) > 8) {
            return false;
        }
    }
    return true;
}

// The OpenGL program's video start-up with the display's modes of the
// fixture, on a desktop of the X screen's real size.
class GLWindowPicture : public GLVideoTest {
protected:
    void SetUp() override
    {
        const char* const x_display = std::getenv("DISPLAY");
        if (x_display == nullptr || x_display[0] == '\0' || std::system("command -v import > /dev/null") != 0) {
            SKIP_OR_FAIL("needs an X display and ImageMagick's import (run under xvfb-run)");
        }
        GLVideoTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        // The video system runs now; the fake desktop is first read when a
        // full-screen mode shapes its window.
        SDL_DisplayMode desktop;
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0) << SDL_GetError();
        display.width = desktop_width_ = desktop.w;
        display.height = desktop_height_ = desktop.h;
    }

    // A new mode of the driver, set to w x h.
    bool set_mode(const char* driver, int w, int h)
    {
        mode.reset();
        const int index = video_find_driver(driver);
        if (index < 0) {
            return false;
        }
        mode.reset(video_create_mode(index));
        return mode != nullptr && mode->init_mode(w, h) == 1;
    }

    // The screen once it shows the picture at its place in a window at (0, 0)
    // of that height; up to about 10 s.
    bool screen_showing(Screen& s, const host::PictureFit& fit, int window_height, int seed)
    {
        const int w = mode->xres;
        const int h = mode->yres;
        for (int attempt = 0; attempt < 20; ++attempt) {
            draw_pattern(w, h, seed);
            mode->present({0, w, 0, h});
            glFinish();
            std::this_thread::sleep_for(std::chrono::milliseconds(50 + 50 * attempt));
            if (grab_screen(s) && s.width == desktop_width_ && s.height == desktop_height_) {
                // The centre of the picture's lower right quadrant on the screen.
                const int x = fit.x + fit.width * 3 / 4;
                const int y = window_height - fit.y - fit.height / 4;
                if (near(s.at(x, y), pattern_pixel(w, h, w * 3 / 4, h * 3 / 4, seed))) {
                    return true;
                }
            }
        }
        return false;
    }

    int32_t desktop_width_ = 0;
    int32_t desktop_height_ = 0;
};

} // namespace

TEST(PictureFit, ScalesToTheWindowKeepingTheShapeAndCentres)
{
    const struct {
        int w, h, ww, wh;
        host::PictureFit fit;
    } cases[] = {
        {640, 480, 1024, 768, {0, 0, 1024, 768}},    // the same shape: fills
        {640, 480, 1280, 1024, {0, 32, 1280, 960}},  // narrower window: bars above and below
        {800, 600, 1920, 1080, {240, 0, 1440, 1080}}, // wider window: bars left and right
        {1000, 700, 1000, 700, {0, 0, 1000, 700}},   // a windowed mode: one to one
        {320, 240, 321, 241, {0, 0, 321, 240}},      // odd leftovers round down
        {0, 480, 1024, 768, {0, 0, 0, 0}},
        {640, 480, 0, 768, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " in " << c.ww << "x" << c.wh);
        const host::PictureFit f = host::fit_picture(c.w, c.h, c.ww, c.wh);
        EXPECT_EQ((std::vector<int>{f.x, f.y, f.width, f.height}),
                  (std::vector<int>{c.fit.x, c.fit.y, c.fit.width, c.fit.height}));
    }
}

// A full-screen mode covers the desktop with its picture, scaled and centred,
// while the engine keeps drawing at the mode's size; the screen shot of every
// mode, after any change of mode, is the picture that was drawn and shown.
TEST_F(GLWindowPicture, FullScreenCoversTheDesktopAndShotsReadTheFrameShown)
{
    const struct {
        const char* driver;
        int w;
        int h;
    } steps[] = {
        {"WIN", 320, 240},  {"FS", 800, 600}, {"WIN", 800, 600}, {"FS", 640, 480},  {"FS", 1024, 768},
        {"WIN", 1000, 700}, {"FS", 640, 480}, {"WIN", 513, 385}, {"FS", 800, 600},
    };
    int seed = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.driver << " " << step.w << "x" << step.h);
        ++seed;
        if (!set_mode(step.driver, step.w, step.h)) {
            if (seed == 1) {
                SKIP_OR_FAIL("no OpenGL context: " << host::gl_error_text());
            }
            ADD_FAILURE() << "the mode was not set";
            continue;
        }
        const bool full_screen = step.driver[0] == 'F';
        const int w = mode->xres;
        const int h = mode->yres;
        EXPECT_EQ(w, step.w);
        EXPECT_EQ(h, step.h);
        int x = -1;
        int y = -1;
        int ww = 0;
        int wh = 0;
        ASSERT_TRUE(host::window_client_rect(x, y, ww, wh));
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(ww, full_screen ? desktop_width_ : w);
        EXPECT_EQ(wh, full_screen ? desktop_height_ : h);

        // The shot, before the frame is presented and after, is the picture.
        draw_pattern(w, h, seed);
        EXPECT_EQ(shot_differences(read_shot(w, h), w, h, seed), 0);
        mode->present({0, w, 0, h});
        EXPECT_EQ(shot_differences(read_shot(w, h), w, h, seed), 0);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        // What the desktop shows: the picture over the window, scaled to fit
        // and centred, black around it.
        const host::PictureFit fit = host::fit_picture(w, h, ww, wh);
        Screen s;
        ASSERT_TRUE(screen_showing(s, fit, wh, seed));
        const int top = wh - fit.y - fit.height;
        for (int qy = 0; qy < 2; ++qy) {
            for (int qx = 0; qx < 2; ++qx) {
                const int px = w / 4 + qx * w / 2;
                const int py = h / 4 + qy * h / 2;
                EXPECT_TRUE(near(s.at(fit.x + px * fit.width / w, top + py * fit.height / h),
                                 pattern_pixel(w, h, px, py, seed)))
                    << "quadrant " << qx << "," << qy;
            }
        }
        // The white column at the picture's left edge and the yellow top row.
        EXPECT_GT(s.at(fit.x, top + fit.height / 3)[2], 150) << "left column";
        EXPECT_LT(s.at(fit.x + fit.width / 3, top)[2], 100) << "top row";
        EXPECT_GT(s.at(fit.x + fit.width / 3, top)[1], 150) << "top row";
        if (full_screen && fit.y > 0) {
            EXPECT_EQ(s.at(desktop_width_ / 2, 0), (Rgb{0, 0, 0})) << "black above";
        }
        if (full_screen && fit.x > 0) {
            EXPECT_EQ(s.at(0, desktop_height_ / 2), (Rgb{0, 0, 0})) << "black at the left";
        }
    }
}
