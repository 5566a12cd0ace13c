#include "fsys/temp_tree.h"
#include "renderer/screen_manager.h"
#include "gl_screen_fixture.h"
#include "host/host_gl.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

class GLScreenTest : public GLScreenFixture {
protected:
    // A 64 x 64 window (two pages).
    void start_screen() { GLScreenFixture::start_screen(64, 64); }

    int freed_count()
    {
        int n = 0;
        for (int32_t i = screen.freed_list().first(); i >= 0 && n <= GL_SCREEN_FREED; i = screen.freed_list().next()) {
            ++n;
        }
        return n;
    }
};

TEST_F(GLScreenTest, InitStartsGLAndCloseReleasesEverything)
{
    start_screen();
    if (IsSkipped()) {
        return;
    }
    EXPECT_NE(GLSys::variable(GLSys::V_FINISH), nullptr);
    EXPECT_EQ(screen.x_scale(), 25600 / 64);
    EXPECT_EQ(screen.y_scale(), 19200 / 64);
    EXPECT_EQ(screen.window().x1, 64);
    EXPECT_EQ(screen.screen_rect().y1, 64);
    EXPECT_EQ(screen.icon_list().count(), GL_SCREEN_ICONS);
    EXPECT_EQ(screen.freed_list().count(), GL_SCREEN_FREED);
    EXPECT_EQ(screen.loading(), 0);
    // A second init starts afresh: no icon of the first survives.
    ASSERT_GE(screen.add_icon(0, 2560, 0, 1920), 0);
    ASSERT_EQ(screen.init(mode.get(), "small.fnt", "backgrnd", "loading"), 1);
    EXPECT_FALSE(screen.icon_active(0));
    screen.close();
    EXPECT_EQ(screen.icon_list().count(), 0);
    EXPECT_EQ(screen.freed_list().count(), 0);
    EXPECT_EQ(GLSys::variable(GLSys::V_FINISH), nullptr);
    EXPECT_EQ(cvar_list->find("GL_Finish") == nullptr || cvar_list->find("GL_Finish")->lock() == 0, true);
}

TEST_F(GLScreenTest, IconsAreAcceptedOnlyWhereTheyOverlapTheScreen)
{
    start_screen();
    if (IsSkipped()) {
        return;
    }
    // 400 x 300 virtual units a pixel on this screen.
    struct Row {
        int32_t x, w, y, h;
        bool accepted;
        GLScreenRect rect;
    };
    const Row rows[] = {
        {0, 4000, 0, 3000, true, {0, 10, 0, 10}},
        {800, 799, 600, 299, true, {2, 3, 2, 2}},
        {-4000, 4400, -3000, 3300, true, {-10, 1, -10, 1}},
        {-4000, 4000, 0, 3000, false, {}},
        {25600, 400, 0, 3000, false, {}},
        {0, 4000, 19200, 300, false, {}},
        {0, 4000, -3000, 3000, false, {}},
        {4000, -400, 0, 3000, false, {}},
    };
    for (const Row& r : rows) {
        const int id = screen.add_icon(r.x, r.w, r.y, r.h);
        EXPECT_EQ(id >= 0, r.accepted) << r.x << "," << r.y;
        if (id < 0) {
            continue;
        }
        const GLScreenIcon& icon = screen.icon(id);
        EXPECT_EQ(icon.rect.x0, r.rect.x0);
        EXPECT_EQ(icon.rect.x1, r.rect.x1);
        EXPECT_EQ(icon.rect.y0, r.rect.y0);
        EXPECT_EQ(icon.rect.y1, r.rect.y1);
        EXPECT_EQ(icon.picture, nullptr);
        EXPECT_EQ(icon.shown_width, r.rect.x1 - r.rect.x0);
        EXPECT_EQ(icon.shown, 1.0f);
        screen.remove_icon(id);
    }
    // The list holds 64 icons and refuses the next one.
    for (int i = 0; i < GL_SCREEN_ICONS; ++i) {
        ASSERT_GE(screen.add_icon(0, 400, 0, 300), 0) << i;
    }
    EXPECT_EQ(screen.add_icon(0, 400, 0, 300), -1);
}

TEST_F(GLScreenTest, ExtentClampsAndQueuesTheUncoveredStrip)
{
    start_screen();
    if (IsSkipped()) {
        return;
    }
    const int id = screen.add_icon(4000, 4000, 3000, 3000); // pixels 10..20 x 10..20
    ASSERT_GE(id, 0);
    struct Row {
        int32_t extent;
        int32_t shown;
        float fraction;
        int freed_x0, freed_x1; // -1: nothing queued
    };
    const Row rows[] = {
        {2000, 5, 0.5f, 15, 20},  {8000, 10, 1.0f, -1, -1}, {-400, 0, 0.0f, 10, 20},
        {1200, 3, 0.3f, -1, -1},  {400, 1, 0.1f, 11, 13},
    };
    for (const Row& r : rows) {
        screen.freed_list().reset();
        screen.set_icon_extent(id, r.extent);
        const GLScreenIcon& icon = screen.icon(id);
        EXPECT_EQ(icon.shown_width, r.shown) << r.extent;
        EXPECT_FLOAT_EQ(icon.shown, r.fraction) << r.extent;
        const int32_t f = screen.freed_list().first();
        if (r.freed_x0 < 0) {
            EXPECT_LT(f, 0) << r.extent;
            continue;
        }
        ASSERT_GE(f, 0) << r.extent;
        EXPECT_EQ(screen.freed(f).rect.x0, r.freed_x0);
        EXPECT_EQ(screen.freed(f).rect.x1, r.freed_x1);
        EXPECT_EQ(screen.freed(f).rect.y0, 10);
        EXPECT_EQ(screen.freed(f).rect.y1, 20);
        EXPECT_EQ(screen.freed(f).frames_left, 2); // the mode's pages
    }
    // A negative id does nothing.
    screen.set_icon_extent(-1, 0);
    screen.set_icon_value(-1, nullptr);
    screen.remove_icon(-1);
}

TEST_F(GLScreenTest, FreedRectanglesLastThePagesOfFramesAndTheFrameRestoresGL)
{
    start_screen();
    if (IsSkipped()) {
        return;
    }
    const int id = screen.add_icon(0, 4000, 0, 3000);
    ASSERT_GE(id, 0);
    screen.remove_icon(id);
    screen.set_window_size(32, 32);
    EXPECT_EQ(screen.window().x0, 16);
    EXPECT_EQ(screen.window().y1, 48);
    EXPECT_EQ(freed_count(), 2); // the icon and the screen the window gave up
    // Growing the window back gives up nothing.
    screen.set_window_size(64, 64);
    EXPECT_EQ(freed_count(), 2);
    for (int frame = 0; frame < 3; ++frame) {
        screen.begin_frame(frame == 2 ? 1 : 0);
        // The window's mode asks for a whole repaint every frame.
        EXPECT_EQ(screen.repaint_all(), 1);
        EXPECT_EQ(screen.loading(), frame == 2 ? 1 : 0);
        screen.present(0);
        EXPECT_EQ(freed_count(), frame == 0 ? 2 : 0) << frame;
        GLint depth = 0;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1);
        EXPECT_EQ(GLSys::report_errors("test"), 0);
    }
    // No shot asked for: nothing read back, the number unchanged.
    EXPECT_EQ(screen.shot_number(), 0);
}

TEST_F(GLScreenTest, ScreenshotReadsTheFrameBackTopRowLast)
{
    start_screen();
    if (IsSkipped()) {
        return;
    }
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    screen.begin_plaindraw();
    GLSys::set_texturing(0);
    glColor3ub(255, 0, 0);
    glRecti(0, 0, 1, 1); // the top-left pixel
    screen.finish_plaindraw();
    screen.present(1);
    EXPECT_EQ(screen.shot_number(), 1);
    std::ifstream in(tree.path("kavrin/shots/kvr00000.bmp"), std::ios::binary);
    const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(b.size(), 54u + 64u * 64u * 3u);
    const size_t data = b[10] | b[11] << 8;
    // BMP rows run bottom first: the top row is the last one, blue-green-red.
    const size_t top = data + 63u * 64u * 3u;
    EXPECT_EQ(b[top], 0);
    EXPECT_EQ(b[top + 2], 255);
    EXPECT_EQ(b[top + 3], 255); // the next pixel: blue
    EXPECT_EQ(b[top + 5], 0);
    EXPECT_EQ(b[data], 255); // bottom-left: blue
    EXPECT_EQ(b[data + 2], 0);
}

} // namespace
