// A real window under Xvfb: the frame buffer of a windowed DIB mode is
// captured from the X screen and compared with what was drawn. The test runs
// itself again inside xvfb-run; without Xvfb or ImageMagick it is skipped.
#include "host/host_process.h"
#include "soft/windowed_dib.h"
#include "video_fixture.h"
#include "support/ppm_read.h"
#include "support/skip_or_fail.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr const char* CHILD_VARIABLE = "OSTREL_XVFB_CHILD";

uint32_t shot_pattern(int x, int y)
{
    // Four coloured quadrants with a gradient, so that a shift or a wrong
    // channel order shows.
    const uint32_t base = x < 80 ? (y < 60 ? 0xC00000u : 0x00C000u) : (y < 60 ? 0x0000C0u : 0xC0C000u);
    return base | static_cast<uint32_t>(x & 0x3F) << 8 | static_cast<uint32_t>(y & 0x3F);
}

} // namespace

class VideoScreenshotTest : public VideoTest {
protected:
    void SetUp() override
    {
        if (std::getenv(CHILD_VARIABLE) != nullptr) {
            VideoTest::SetUp();
        }
    }
    void TearDown() override
    {
        if (std::getenv(CHILD_VARIABLE) != nullptr) {
            VideoTest::TearDown();
        }
    }
};

TEST_F(VideoScreenshotTest, WindowShowsTheFrameBufferUnderXvfb)
{
    if (std::getenv(CHILD_VARIABLE) == nullptr) {
        if (std::system("command -v xvfb-run > /dev/null 2>&1 && command -v import > /dev/null 2>&1") != 0) {
            SKIP_OR_FAIL("xvfb-run or ImageMagick's import is missing");
        }
        char self[4096];
        ASSERT_TRUE(host::program_path(self, sizeof self));
        // Bounded in time: a display server that never comes up must not hang the run.
        const std::string command = std::string("timeout 120 xvfb-run -a -s \"-screen 0 1024x768x24\" env ") +
                                    CHILD_VARIABLE + "=1 SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0 '" + self +
                                    "' --gtest_filter=VideoScreenshotTest.* > /dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return;
    }

    KVideoMode* const v = video_create_mode(video_find_driver("WIN_D"));
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(160, 120), 1);
    for (int32_t y = 0; y < v->yres; ++y) {
        for (int32_t x = 0; x < v->xres; ++x) {
            v->framebuffer[v->line_offset[y] + x] = shot_pattern(x, y);
        }
    }
    std::mt19937 random(std::random_device{}());
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ostrel_shot_" + std::to_string(random()) + ".ppm")).string();
    bool matched = false;
    std::string problem;
    // The X server shows the window some time after it is mapped: present
    // and look again a bounded number of times.
    for (int attempt = 0; attempt < 20 && !matched; ++attempt) {
        (void)v->begin_frame();
        v->present({0, 160, 0, 120});
        v->end_frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const WindowRect window = window_rect();
        const int wx = window.x;
        const int wy = window.y;
        const int ww = window.width;
        const int wh = window.height;
        ASSERT_EQ(ww, 320);
        ASSERT_EQ(wh, 240);
        ASSERT_EQ(std::system(("import -window root -depth 8 ppm:'" + path + "' > /dev/null 2>&1").c_str()), 0);
        int width = 0;
        int height = 0;
        std::vector<uint32_t> screen;
        ASSERT_TRUE(read_ppm(path, width, height, screen));
        ASSERT_GE(width, wx + ww);
        ASSERT_GE(height, wy + wh);
        matched = true;
        for (int y = 0; y < wh && matched; ++y) {
            for (int x = 0; x < ww && matched; ++x) {
                const uint32_t got = screen[static_cast<size_t>(wy + y) * static_cast<size_t>(width) +
                                            static_cast<size_t>(wx + x)];
                if (got != shot_pattern(x / 2, y / 2)) {
                    matched = false;
                    char text[128];
                    std::snprintf(text, sizeof text, "at %d,%d: %06X, drawn %06X", x, y, got, shot_pattern(x / 2, y / 2));
                    problem = text;
                }
            }
        }
    }
    std::filesystem::remove(path);
    EXPECT_TRUE(matched) << problem;
    video_destroy_mode(v);
}
