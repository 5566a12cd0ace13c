#include "gl/gl_display_modes.h"
#include "gl/gl_video_mode.h"
#include "gl_fixture.h"
#include "host/host_gl.h"
#include "host/host_window.h"

#include <vector>

namespace {

using GLModeTest = GLVideoTest;

TEST_F(GLModeTest, StartUpRegistersTheTwoOpenGLDrivers)
{
    ASSERT_EQ(video_driver_count(), 2);
    EXPECT_STREQ(video_driver(0)->name, "WIN");
    EXPECT_STREQ(video_driver(0)->description, "Windowed OpenGL");
    EXPECT_STREQ(video_driver(1)->name, "FS");
    EXPECT_STREQ(video_driver(1)->description, "Full-screen OpenGL");
    EXPECT_EQ(video_driver(0)->bits_per_pixel, 16u);
    EXPECT_EQ(video_driver(1)->bits_per_pixel, 16u);
    // No software row is left over: the registry holds only what a program registered.
    EXPECT_EQ(video_driver(2), nullptr);
    video_clear_registry();
    EXPECT_EQ(video_driver_count(), 0);
    EXPECT_EQ(video_driver(0), nullptr);
}

TEST_F(GLModeTest, TheDisplayListHoldsListedModesThenStandardSizesNotListed)
{
    display.mode_count = 0;
    display.add_mode(32, 800, 600, 60);
    display.add_mode(16, 640, 480, 60);  // another depth: not listed...
    display.add_mode(32, 1024, 768, 75);
    display.add_mode(32, 800, 600, 85);
    display.accept_size(32, 640, 480);   // ...but the standard size is, at the window's depth
    display.accept_size(32, 1600, 1200);
    display.accept_size(32, 320, 240);
    display.window_bits_value = 32;
    ASSERT_EQ(video_enumerate_modes(), 1);
    const std::vector<std::vector<int32_t>> expected = {
        {0, 800, 600, 32, 60}, {2, 1024, 768, 32, 75}, {3, 800, 600, 32, 85},
        {-1, 320, 240, 32, 0}, {-1, 640, 480, 32, 0},  {-1, 1600, 1200, 32, 0},
    };
    ASSERT_EQ(settings_count, static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const GLDisplayMode& m = settings_info[i];
        EXPECT_EQ((std::vector<int32_t>{m.settings_index, m.width, m.height, m.bits_per_pixel, m.frequency}),
                  expected[i])
            << i;
    }
}

TEST_F(GLModeTest, FullScreenChoosesTheSmallestListedModeThatCovers)
{
    display.mode_count = 0;
    display.add_mode(32, 640, 480, 60);
    display.add_mode(32, 800, 600, 60);
    display.add_mode(32, 800, 600, 85);
    display.add_mode(32, 1024, 768, 60);
    display.add_mode(32, 600, 800, 60);
    ASSERT_EQ(video_enumerate_modes(), 1);
    KVideoMode_FS fs;
    ASSERT_EQ(fs.mode_count, settings_count);
    const struct {
        int32_t w;
        int32_t h;
        int index;
        int32_t xres;
        int32_t yres;
    } cases[] = {
        {700, 500, 2, 800, 600},    // the later of two 800 x 600 modes
        {0, 480, 0, 640, 480},      // smallest at least 480 high
        {801, 0, 3, 1024, 768},
        {1, 700, 4, 600, 800},
        {1025, 0, -1, 600, 800},    // nothing covers: the mode stays as it was
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        EXPECT_EQ(fs.select_mode(c.w, c.h), c.index);
        EXPECT_EQ(fs.xres, c.xres);
        EXPECT_EQ(fs.yres, c.yres);
        EXPECT_EQ(fs.direct, 1);
        EXPECT_EQ(fs.pages, 2);
    }
    EXPECT_EQ(fs.init_mode(2000, 2000), 0);
    EXPECT_TRUE(shown("KVideoMode_FS::init_mode: Can't find suitable mode"));
    EXPECT_EQ(display.changes, 0);
}

TEST_F(GLModeTest, AWindowedModeOpensSwapsAndCloses)
{
    open_mode("WIN", 0, 0);
    if (IsSkipped()) {
        return;
    }
    auto* const win = dynamic_cast<KVideoMode_Win*>(mode.get());
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(win->xres, 640);
    EXPECT_EQ(win->yres, 480);
    EXPECT_EQ(win->mode_count, 6);
    EXPECT_EQ(win->mode_index, 0);
    EXPECT_EQ(win->direct, 1);
    EXPECT_EQ(win->pages, 2);
    EXPECT_EQ((std::vector<int>{win->rgb_layout[0], win->rgb_layout[1], win->rgb_layout[2], win->rgb_layout[3]}),
              (std::vector<int>{0, 8, 16, 24}));
    ASSERT_NE(win->context, nullptr);
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(host::window_client_rect(x, y, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);

    // The context is current: a cleared frame reads back, and presents.
    EXPECT_EQ(win->begin_frame(), 1);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    uint8_t pixel[4] = {};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    win->present(VideoRect{0, 640, 0, 480});
    win->end_frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    win->close_mode();
    EXPECT_EQ(win->context, nullptr);
    EXPECT_EQ(win->xres, 0);
    EXPECT_EQ(win->yres, 0);
    EXPECT_EQ(win->mode_index, -1);
    // A second close does nothing; a mode can be set again.
    win->close_mode();
    ASSERT_EQ(win->init_mode(320, 200), 1);
    EXPECT_EQ(win->xres, 320);
    EXPECT_EQ(win->yres, 200);
}

TEST_F(GLModeTest, WindowedSizesFollowTheRequest)
{
    open_mode("WIN", 64, 64);
    if (IsSkipped()) {
        return;
    }
    const struct {
        int32_t w;
        int32_t h;
        int32_t xres;
        int32_t yres;
    } cases[] = {{0, 0, 640, 480}, {800, 0, 800, 600}, {1000, 0, 1000, 750}, {1000, 700, 1000, 700},
                 {0, 300, 640, 480}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        ASSERT_EQ(mode->init_mode(c.w, c.h), 1);
        EXPECT_EQ(mode->xres, c.xres);
        EXPECT_EQ(mode->yres, c.yres);
    }
    // A size the window can't take fails with its message.
    EXPECT_EQ(mode->init_mode(-8, 0), 0);
    EXPECT_TRUE(shown("KVideoMode_Win::init_mode: Can't resize window"));
}

TEST_F(GLModeTest, AFullScreenModeSwitchesTheDisplayAndGivesItBack)
{
    open_mode("FS", 700, 500);
    if (IsSkipped()) {
        return;
    }
    EXPECT_EQ(mode->xres, 800);
    EXPECT_EQ(mode->yres, 600);
    EXPECT_EQ(display.changes, 1);
    EXPECT_EQ(display.current.width, 800u);
    EXPECT_EQ(display.current.height, 600u);
    EXPECT_EQ(display.current_fields & host::DM_DISPLAYFREQUENCY, host::DM_DISPLAYFREQUENCY);
    ASSERT_TRUE(host::window_exists());
    glClear(GL_COLOR_BUFFER_BIT);
    mode->present(VideoRect{0, 800, 0, 600});
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Closing leaves the display as it is; destroying the mode restores it.
    mode->close_mode();
    EXPECT_EQ(display.restores, 0);
    mode.reset();
    EXPECT_EQ(display.restores, 1);
}

} // namespace
