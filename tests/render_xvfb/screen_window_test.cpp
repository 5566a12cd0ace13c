// The screen manager in a real window: the console's text over the background
// picture, an icon and a screenshot, drawn through a windowed video mode and
// read back from the X screen and from the shot, each pixel for pixel equal
// to the frame buffer.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "renderer/icon_picture.h"
#include "world/view/icon_table.h"
#include "renderer/screen_manager.h"
#include "soft/video_fixture.h"
#include "platform/video_mode.h"
#include "tools/assets/demo_assets.h"
#include "support/ppm_read.h"
#include "support/skip_or_fail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

class ScreenWindowTest : public VideoTest {
protected:
    void SetUp() override
    {
        const char* const display = std::getenv("DISPLAY");
        if (display == nullptr || display[0] == '\0' || !run("command -v import convert > /dev/null 2>&1")) {
            SKIP_OR_FAIL("needs an X display and ImageMagick (run under xvfb-run)");
        }
        VideoTest::SetUp();
        tree_.enter();
        ASSERT_TRUE(tools::write_demo_assets(tree_.path("kavrin")));
        base_ = cvar_list->link(CVTYPE_STRING, 0x40, "Base", "kavrin", 1);
        fsys = new FSys;
        ASSERT_EQ(fsys->init(), 1);
        ASSERT_EQ(fsys->mount("kavrin", 1, 10), 1);
        started_ = true;
    }
    void TearDown() override
    {
        if (!started_) {
            return;
        }
        screen_.shutdown();
        if (mode_ != nullptr) {
            mode_->close_mode();
            video_destroy_mode(mode_);
        }
        delete fsys;
        fsys = nullptr;
        cvar_list->release(base_);
        VideoTest::TearDown();
    }

    // Pixels of the window (or the shot) that differ from the frame buffer.
    int differing(const std::vector<uint32_t>& image, int image_width, int x0, int y0, std::string& first) const
    {
        int n = 0;
        for (int32_t y = 0; y < mode_->yres; ++y) {
            for (int32_t x = 0; x < mode_->xres; ++x) {
                const uint32_t drawn = mode_->framebuffer[mode_->line_offset[y] + x] & 0xFFFFFF;
                const uint32_t seen =
                    image[static_cast<size_t>(y0 + y) * static_cast<size_t>(image_width) + static_cast<size_t>(x0 + x)];
                if (seen != drawn && n++ == 0) {
                    char text[96];
                    std::snprintf(text, sizeof text, "at %d,%d: %06X, drawn %06X", x, y, seen, drawn);
                    first = text;
                }
            }
        }
        return n;
    }

    TempTree tree_;
    ConfigVariable* base_ = nullptr;
    bool started_ = false;
    KVideoMode* mode_ = nullptr;
    ScreenManager screen_;
};

} // namespace

TEST_F(ScreenWindowTest, WindowAndScreenshotShowTheFrameBuffer)
{
    mode_ = video_create_mode(video_find_driver("WIN"));
    ASSERT_NE(mode_, nullptr);
    ASSERT_EQ(mode_->init_mode(320, 240), 1);
    ASSERT_EQ(screen_.init(mode_, "backgrnd", "loading", "small.fnt"), 1);
    screen_.set_window_size(0, 0);
    ASSERT_GE(screen_.add_text(0, 0, "Ostrel console: the font over the picture"), 0);
    ASSERT_GE(screen_.add_text(0, 1, "> ScreenShot"), 0);
    IconTable icons;
    ASSERT_EQ(icons.create(1), 1);
    const int icon = screen_.add_icon(20000, 14000, 4000, 4000);
    ASSERT_GE(icon, 0);
    screen_.set_icon_image(icon, icons.get("marker", 1));

    const std::string root = tree_.path("root.ppm");
    bool matched = false;
    std::string problem;
    // The X server shows the window some time after it is mapped: present
    // and look again a bounded number of times.
    for (int attempt = 0; attempt < 20 && !matched; ++attempt) {
        screen_.add_dirty_rect(screen_.screen_rect());
        screen_.begin_frame(0);
        screen_.present(attempt == 0 ? 1 : 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const WindowRect window = window_rect();
        ASSERT_EQ(window.width, 320);
        ASSERT_EQ(window.height, 240);
        ASSERT_TRUE(run("import -window root -depth 8 ppm:'" + root + "' > /dev/null 2>&1"));
        int width = 0;
        int height = 0;
        std::vector<uint32_t> screen;
        ASSERT_TRUE(read_ppm(root, width, height, screen));
        ASSERT_GE(width, window.x + window.width);
        ASSERT_GE(height, window.y + window.height);
        matched = differing(screen, width, window.x, window.y, problem) == 0;
    }
    EXPECT_TRUE(matched) << problem;

    // The text really is there: the font's strokes in its first line.
    int strokes = 0;
    for (int32_t y = 0; y < 11; ++y) {
        for (int32_t x = 0; x < mode_->xres; ++x) {
            strokes += (mode_->framebuffer[mode_->line_offset[y] + x] & 0xFFFFFF) == 0xE0E0E0 ? 1 : 0;
        }
    }
    EXPECT_GT(strokes, 100);

    ASSERT_TRUE(tree_.exists("kavrin/shots/kvr00000.bmp"));
    const std::string shot = tree_.path("shot.ppm");
    ASSERT_TRUE(run("convert '" + tree_.path("kavrin/shots/kvr00000.bmp") + "' -depth 8 ppm:'" + shot + "'"));
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(read_ppm(shot, width, height, pixels));
    ASSERT_EQ(width, 320);
    ASSERT_EQ(height, 240);
    EXPECT_EQ(differing(pixels, width, 0, 0, problem), 0) << problem;
}
