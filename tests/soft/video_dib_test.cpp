#include "host/host_window_pixels.h"
#include "soft/fullscreen_dib.h"
#include "soft/windowed_dib.h"
#include "video_fixture.h"

#include <string>

namespace {

class VideoDIBTest : public VideoTest {
protected:
    KVideoMode* create(const char* driver)
    {
        const int index = video_find_driver(driver);
        EXPECT_GE(index, 0) << driver;
        return video_create_mode(index);
    }
    std::vector<std::pair<int32_t, int32_t>> sizes(const KVideoMode* v) const
    {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (int32_t i = 0; i < v->mode_count; ++i) {
            EXPECT_EQ(v->modes[i].direct, 0);
            EXPECT_EQ(v->modes[i].pages, 1);
            out.emplace_back(v->modes[i].width, v->modes[i].height);
        }
        return out;
    }
    const FullScreenModeInfo* fs_record(int depth, uint32_t w, uint32_t h) const
    {
        for (const XModeInfo* m = fullscreen_mode_list(depth); m != nullptr; m = m->next) {
            if (m->width == w && m->height == h) {
                return static_cast<const FullScreenModeInfo*>(m);
            }
        }
        return nullptr;
    }
};

uint32_t pattern(int32_t x, int32_t y) { return static_cast<uint32_t>((x * 3) & 0xFF) << 16 | static_cast<uint32_t>((y * 5) & 0xFF) << 8 | 0x40u; }

void draw_pattern(KVideoMode* v)
{
    for (int32_t y = 0; y < v->yres; ++y) {
        for (int32_t x = 0; x < v->xres; ++x) {
            v->framebuffer[v->line_offset[y] + x] = pattern(x, y);
        }
    }
}

std::vector<uint32_t> read_window(int x, int y, int w, int h)
{
    std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
    EXPECT_TRUE(host::window_read_pixels(x, y, w, h, out.data()));
    return out;
}

using Sizes = std::vector<std::pair<int32_t, int32_t>>;

} // namespace

TEST_F(VideoDIBTest, WindowedSizesFitTheDesktop)
{
    desktop_width = 640;
    desktop_height = 480;
    KVideoMode* const d = create("WIN_D");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(sizes(d), (Sizes{{80, 60}, {160, 120}, {200, 150}, {256, 192}, {320, 240}}));
    ASSERT_EQ(d->init_mode(0, 0), 1);
    EXPECT_EQ(d->xres, 160);
    EXPECT_EQ(d->yres, 120);
    video_destroy_mode(d);

    desktop_width = 800;
    desktop_height = 599; // 800 x 600 does not fit
    KVideoMode* const v = create("WIN_V");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(sizes(v), (Sizes{{160, 60}, {320, 120}, {400, 150}, {512, 192}, {640, 240}, {720, 270}}));
    video_destroy_mode(v);
}

TEST_F(VideoDIBTest, WindowedInitModeRoundsAndCutsTheSize)
{
    struct Case {
        const char* why;
        const char* driver;
        int32_t desktop_w;
        int32_t desktop_h;
        int32_t w;
        int32_t h;
        int32_t xres;
        int32_t yres;
    };
    const Case cases[] = {
        {"default", "WIN", 1920, 1200, 0, 0, 320, 240},
        {"wide: 1024 and 4:3", "WIN", 1920, 1200, 1500, 0, 1024, 768},
        {"rounded up to 8 x 4", "WIN", 1920, 1200, 100, 50, 104, 52},
        {"height from width, vertical doubling", "WIN_V", 1920, 1200, 320, 0, 320, 120},
        {"width from height, pixel doubling", "WIN_D", 1920, 1200, 0, 150, 200, 152},
        {"cut to the desktop after rounding", "WIN", 640, 480, 1000, 700, 640, 480},
        {"tiny sizes become 8 x 4", "WIN", 1920, 1200, 1, 1, 8, 4},
        {"negative width is taken unsigned", "WIN", 1920, 1200, -5, 16, 1024, 16},
    };
    for (const Case& c : cases) {
        desktop_width = c.desktop_w;
        desktop_height = c.desktop_h;
        KVideoMode* const v = create(c.driver);
        ASSERT_NE(v, nullptr) << c.why;
        ASSERT_EQ(v->init_mode(c.w, c.h), 1) << c.why;
        EXPECT_EQ(v->xres, c.xres) << c.why;
        EXPECT_EQ(v->yres, c.yres) << c.why;
        EXPECT_EQ(v->line_width, c.xres) << c.why;
        EXPECT_EQ(v->pages, 1) << c.why;
        EXPECT_EQ(v->direct, 0) << c.why;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(v->framebuffer) % 64, 0u) << c.why;
        EXPECT_EQ(v->framebuffer[v->line_offset[c.yres - 1] + c.xres - 1], 0u) << c.why;
        const auto* const dib = static_cast<const VideoDIB*>(v);
        EXPECT_EQ(window_rect().width, c.xres * dib->xscale) << c.why;
        EXPECT_EQ(window_rect().height, c.yres * dib->yscale) << c.why;
        v->close_mode();
        EXPECT_EQ(v->mode_index, -1) << c.why;
        EXPECT_EQ(v->framebuffer, nullptr) << c.why;
        v->close_mode(); // harmless twice
        video_destroy_mode(v);
    }
}

TEST_F(VideoDIBTest, PresentCopiesOneRectangleScaledIntoTheWindow)
{
    struct Case {
        const char* why;
        const char* driver;
        int32_t scale_x;
        int32_t scale_y;
    };
    const Case cases[] = {
        {"1 x 1", "WIN", 1, 1},
        {"vertical doubling", "WIN_V", 1, 2},
        {"pixel doubling", "WIN_D", 2, 2},
    };
    for (const Case& c : cases) {
        KVideoMode* const v = create(c.driver);
        ASSERT_NE(v, nullptr) << c.why;
        ASSERT_EQ(v->init_mode(160, 120), 1) << c.why;
        ASSERT_EQ(v->xres, 160) << c.why;
        ASSERT_EQ(v->yres, 120) << c.why;
        // Black out what an earlier case left in the window.
        v->present({0, 160, 0, 120});
        draw_pattern(v);
        v->present({10, 20, 30, 40});
        v->end_frame();
        const int sx = c.scale_x;
        const int sy = c.scale_y;
        const std::vector<uint32_t> shown = read_window(0, 0, 160 * sx, 120 * sy);
        for (int y = 0; y < 120 * sy; ++y) {
            for (int x = 0; x < 160 * sx; ++x) {
                const int fx = x / sx;
                const int fy = y / sy;
                const bool inside = fx >= 10 && fx < 20 && fy >= 30 && fy < 40;
                ASSERT_EQ(shown[static_cast<size_t>(y * 160 * sx + x)], inside ? pattern(fx, fy) : 0u)
                    << c.why << " at " << x << "," << y;
            }
        }
        video_destroy_mode(v);
    }
}

TEST_F(VideoDIBTest, StretchArgumentsCountSourceRowsFromTheBottom)
{
    // The rectangle 10, 20, 30, 40 of a 240-row mode doubled: source x 10,
    // source y 200, 10 x 10 pixels, to the window at 20, 60, 20 x 20.
    KVideoMode* const v = create("WIN_D");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(320, 240), 1);
    draw_pattern(v);
    const auto* const dib = static_cast<const VideoDIB*>(v);
    EXPECT_EQ(dib->bitmap_info->header.height, -240);
    EXPECT_EQ(dib->bitmap_info->header.width, 320);
    EXPECT_EQ(dib->bitmap_info->header.size, 40u);
    EXPECT_EQ(dib->bitmap_info->header.bit_count, 32);
    EXPECT_TRUE(stretch_dib_bits(20, 60, 20, 20, 10, 200, 10, 10, v->framebuffer, dib->bitmap_info));
    const std::vector<uint32_t> shown = read_window(20, 60, 20, 20);
    EXPECT_EQ(shown[0], pattern(10, 30));
    EXPECT_EQ(shown[19 * 20 + 19], pattern(19, 39));
    // Outside the bitmap, nothing is shown.
    EXPECT_FALSE(stretch_dib_bits(0, 0, 20, 20, 0, 235, 10, 10, v->framebuffer, dib->bitmap_info));
    video_destroy_mode(v);
}

TEST_F(VideoDIBTest, BeginFrameAsksForOneFullPresentAfterARepaint)
{
    KVideoMode* const v = create("WIN");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(320, 240), 1);
    (void)v->begin_frame(); // the new window shape asked for a repaint
    EXPECT_EQ(v->begin_frame(), 0);
    host::window_set_repaint();
    EXPECT_EQ(v->begin_frame(), 1);
    EXPECT_EQ(v->begin_frame(), 0);
    video_destroy_mode(v);
}

TEST_F(VideoDIBTest, FullScreenListsKeepTheHighestRefreshAndTestedSizes)
{
    display.add_mode(16, 640, 480, 60);
    display.add_mode(16, 640, 480, 75);
    display.add_mode(16, 640, 480, 75);
    display.add_mode(16, 800, 600, 60);
    display.add_mode(8, 640, 480, 60);   // no driver for 8 bits
    display.add_mode(32, 400, 300, 70);  // also a fixed size: keeps these data
    display.add_mode(24, 1024, 768, 60);
    display.accept_size(32, 320, 200);
    display.accept_size(15, 512, 384);
    ASSERT_EQ(start_video(), 1);

    const FullScreenModeInfo* const m = fs_record(2, 640, 480);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->refresh, 75u);
    EXPECT_EQ(m->enum_index, 1);
    EXPECT_EQ(m->pages, 1);
    EXPECT_EQ(m->direct, 0);
    EXPECT_EQ(XModeInfo::count(fullscreen_mode_list(2)), 2);

    const FullScreenModeInfo* const fixed = fs_record(0, 320, 200);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->enum_index, -1);
    EXPECT_EQ(fixed->refresh, 0u);
    const FullScreenModeInfo* const listed = fs_record(0, 400, 300);
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->enum_index, 5);
    EXPECT_EQ(listed->refresh, 70u);
    ASSERT_NE(fs_record(3, 512, 384), nullptr);

    const std::vector<std::string> names = driver_names();
    for (const char* n : {"FS32", "FS32_V", "FS32_D", "FS24", "FS16", "FS16_V", "FS16_D", "FS15_D"}) {
        EXPECT_GE(video_find_driver(n), 0) << n;
    }
    EXPECT_STREQ(video_driver(video_find_driver("FS16_V"))->description, "FullScreen DIB, 16bpp, vertical doubling");
    EXPECT_EQ(video_driver(video_find_driver("FS15"))->bits_per_pixel, 15u);
    EXPECT_TRUE(shown("FullScreenDIB driver installed: 16 bits per pixel"));
    EXPECT_TRUE(shown(" FullScreen DIB mode: 640x480x16bpp, 75Hz"));
    EXPECT_TRUE(shown(" FullScreen DIB mode: 320x200x32bpp, 0Hz"));
}

TEST_F(VideoDIBTest, ModesWiderThanTheEngineDrawsAreSkippedOnceWithTheReason)
{
    display.add_mode(32, 5120, 2880, 60);
    display.add_mode(32, 8192, 4608, 30);
    display.add_mode(32, 8193, 4608, 30);
    display.add_mode(32, 10240, 4320, 60);
    display.add_mode(32, 10240, 4320, 30);
    display.add_mode(16, 10240, 4320, 60);
    ASSERT_EQ(start_video(), 1);
    EXPECT_NE(fs_record(0, 5120, 2880), nullptr);
    EXPECT_NE(fs_record(0, 8192, 4608), nullptr);
    EXPECT_EQ(fs_record(0, 8193, 4608), nullptr);
    EXPECT_EQ(fs_record(0, 10240, 4320), nullptr);
    EXPECT_EQ(fullscreen_mode_list(2), nullptr);
    EXPECT_EQ(video_find_driver("FS16"), -1);
    EXPECT_EQ(count_shown(" FullScreen DIB mode: 10240x4320x32bpp skipped, wider than 8192 pixels"), 1);
    EXPECT_EQ(count_shown(" FullScreen DIB mode: 10240x4320x16bpp skipped, wider than 8192 pixels"), 1);
    EXPECT_EQ(count_shown(" FullScreen DIB mode: 8193x4608x32bpp skipped"), 1);
    EXPECT_EQ(count_shown(" FullScreen DIB mode: 5120x2880x32bpp, 60Hz"), 1);
}

TEST_F(VideoDIBTest, NoFullScreenDriversWithoutModes)
{
    ASSERT_EQ(start_video(), 1);
    EXPECT_EQ(video_find_driver("FS32"), -1);
    EXPECT_EQ(fullscreen_mode_list(0), nullptr);
}

namespace {

// A display whose list of modes never ends: every number gives the same mode.
class EndlessDisplay final : public host::Display {
public:
    host::DesktopResult desktop_size(int32_t& width, int32_t& height) override
    {
        width = 1024;
        height = 768;
        return host::DESKTOP_OK;
    }
    bool enum_mode(uint32_t n, host::DisplayMode& mode) override
    {
        // Gives up long after any bound the installer should keep, so that a test fails instead of hanging.
        if (++asked > (1u << 20)) {
            return false;
        }
        mode = {16, 640, 480, 60 + (n & 1u)};
        return true;
    }
    int32_t change_mode(const host::DisplayMode*, uint32_t, uint32_t) override
    {
        return host::DISP_CHANGE_SUCCESSFUL;
    }
    uint32_t asked = 0;
};

} // namespace

TEST_F(VideoDIBTest, AModeListThatNeverEndsIsCutShort)
{
    EndlessDisplay endless;
    host::Display* const previous = host::set_display(&endless);
    const int started = start_video();
    host::set_display(previous);
    ASSERT_EQ(started, 1);
    EXPECT_LE(endless.asked, 65536u);
    const FullScreenModeInfo* const m = fs_record(2, 640, 480);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->refresh, 61u);
    EXPECT_EQ(m->enum_index, 1); // the first mode of the highest rate wins
}

TEST_F(VideoDIBTest, FullScreenInitModeSwitchesTheDisplay)
{
    display.add_mode(16, 640, 480, 60);
    display.add_mode(16, 640, 480, 85);
    display.accept_size(16, 320, 240);
    ASSERT_EQ(start_video(), 1);
    reopen_console();

    KVideoMode* const v = create("FS16_D");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(sizes(v), (Sizes{{320, 240}, {160, 120}}));
    ASSERT_EQ(v->init_mode(300, 200), 1);
    EXPECT_EQ(v->xres, 320);
    EXPECT_EQ(v->yres, 240);
    EXPECT_EQ(display.current.width, 640u);
    EXPECT_EQ(display.current.frequency, 85u);
    EXPECT_EQ(display.current_fields, 0x7C0000u);
    EXPECT_EQ(window_rect().width, 640);
    EXPECT_EQ(window_rect().height, 480);

    ASSERT_EQ(v->init_mode(160, 120), 1);
    EXPECT_EQ(display.current.width, 320u);
    EXPECT_EQ(display.current.bits_per_pixel, 16u);
    EXPECT_EQ(display.current_fields, 0x1C0000u);
    EXPECT_EQ(v->xres, 160);

    display.refuse_all = true;
    EXPECT_EQ(v->init_mode(160, 120), 0);
    EXPECT_TRUE(shown("FullScreenDIB::init_mode(): ChangeDisplaySettings() failed"));
    EXPECT_EQ(v->mode_index, -1);
    display.refuse_all = false;
    ASSERT_EQ(v->init_mode(160, 120), 1);

    const int restores = display.restores;
    v->close_mode();
    EXPECT_EQ(display.restores, restores); // closing alone keeps the display mode
    video_destroy_mode(v);
    EXPECT_EQ(display.restores, restores + 1);
}
