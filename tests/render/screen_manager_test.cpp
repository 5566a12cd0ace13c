// The screen manager over a video mode in memory: the stretched background
// outside the window, the dirty rectangles and their pages, what is passed
// to the video mode in which order, texts, icons with their clipping, the
// loader picture, screenshots and the timing line.
#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/print.h"
#include "renderer/icon_picture.h"
#include "world/view/icon_table.h"
#include "renderer/screen_manager.h"
#include "soft/row_draw.h"
#include "support/screen_fixture.h"
#include "support/tagged_lines.h"
#include "tools/assets/demo_assets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <string>
#include <vector>

namespace {

constexpr int32_t XRES = 64;
constexpr int32_t YRES = 48;

// The demo picture as the screen should show it at (x, y), read from the
// writer's own data: the size01 picture, stretched, in 0x00RRGGBB layout.
uint32_t expected_picture_pixel(const tools::PictureDesign& p, int32_t x, int32_t y)
{
    const int64_t xstep = (static_cast<int64_t>(p.width) << 16) / XRES;
    const int64_t ystep = (static_cast<int64_t>(p.height) << 16) / YRES;
    const uint8_t index = p.data[static_cast<size_t>(((y * ystep) >> 16) * p.width + ((x * xstep) >> 16))];
    const uint32_t r = p.palette[3 * index];
    const uint32_t g = p.palette[3 * index + 1];
    const uint32_t b = p.palette[3 * index + 2];
    return g << 24 | r << 16 | g << 8 | b;
}

class ScreenManagerTest : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        ASSERT_EQ(screen_.init(&mode_, "backgrnd", "loading", "small.fnt"), 1);
    }
    void TearDown() override
    {
        screen_.shutdown();
        ScreenBase::TearDown();
    }

    void frame(int loading = 0, int shot = 0)
    {
        mode_.presented.clear();
        screen_.begin_frame(loading);
        screen_.present(shot);
    }
    bool shows_picture(const tools::PictureDesign& p, int32_t x, int32_t y)
    {
        return mode_.at(x, y) == expected_picture_pixel(p, x, y);
    }
    int dirty_count()
    {
        int n = 0;
        for (int32_t i = screen_.dirty_list().first(); i >= 0; i = screen_.dirty_list().next()) {
            ++n;
        }
        return n;
    }

    MemoryVideoMode mode_{XRES, YRES, 2, XRES + 5};
    ScreenManager screen_;
    const tools::PictureDesign background_ = tools::demo_background(320, 200);
    const tools::PictureDesign loader_ = tools::demo_loader(320, 200);
};

} // namespace

TEST_F(ScreenManagerTest, InitBindsTheModeAndFailsWithoutAFont)
{
    EXPECT_EQ(screen_.x_unit(), 25600 / XRES);
    EXPECT_EQ(screen_.y_unit(), 19200 / YRES);
    EXPECT_EQ(screen_.window().right, XRES);
    EXPECT_EQ(screen_.screen_rect().bottom, YRES);
    ASSERT_NE(cvar_list->find("MMX"), nullptr);
    EXPECT_TRUE(cvar_list->find("MMX")->is_true());
    ScreenManager other;
    EXPECT_EQ(other.init(&mode_, "backgrnd", "loading", "none.fnt"), 0);
    other.shutdown();
    other.shutdown();
}

TEST_F(ScreenManagerTest, ExposedModeRepaintsThePictureStretchedOverTheWholeScreen)
{
    // The window starts as the whole screen: nothing lies outside it.
    mode_.repaint_next = 1;
    frame();
    EXPECT_EQ(mode_.at(5, 7), 0xDEADBEEFu);
    screen_.set_window_size(0, 0);
    mode_.repaint_next = 1;
    frame();
    EXPECT_EQ(screen_.repaint_all(), 1);
    int wrong = 0;
    for (int32_t y = 0; y < YRES; ++y) {
        for (int32_t x = 0; x < XRES; ++x) {
            wrong += shows_picture(background_, x, y) ? 0 : 1;
        }
        // The gap after each line stays untouched.
        EXPECT_EQ(mode_.pixels[static_cast<size_t>(mode_.line_offset[y] + XRES)], 0xDEADBEEFu);
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(mode_.presented.size(), 1u);
    EXPECT_TRUE(mode_.was_presented(0, XRES, 0, YRES));
    EXPECT_EQ(mode_.frames_begun, 2);
    EXPECT_EQ(mode_.frames_ended, 2);
}

TEST_F(ScreenManagerTest, RowsThatCrossTheWindowArePaintedOnlyBesideIt)
{
    screen_.set_window_size(20, 10);
    EXPECT_EQ(screen_.window().left, 22);
    EXPECT_EQ(screen_.window().right, 42);
    EXPECT_EQ(screen_.window().top, 19);
    EXPECT_EQ(screen_.window().bottom, 29);
    mode_.repaint_next = 1;
    frame();
    for (int32_t y = 0; y < YRES; ++y) {
        for (int32_t x = 0; x < XRES; ++x) {
            const bool in_window = x >= 22 && x < 42 && y >= 19 && y < 29;
            if (in_window) {
                EXPECT_EQ(mode_.at(x, y), 0xDEADBEEFu) << x << "," << y;
            } else {
                EXPECT_TRUE(shows_picture(background_, x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(ScreenManagerTest, ShrinkingTheWindowQueuesTheOldOneAndGrowingItNothing)
{
    screen_.set_window_size(20, 10);
    ASSERT_EQ(dirty_count(), 1);
    EXPECT_EQ(screen_.dirty(screen_.dirty_list().first()).rect.right, XRES);
    screen_.set_window_size(40, 30);
    EXPECT_EQ(dirty_count(), 1);
    screen_.set_window_size(40, 30);
    EXPECT_EQ(dirty_count(), 1);
    // Moving sideways does not contain the old window either.
    screen_.set_window_size(10, 40);
    EXPECT_EQ(dirty_count(), 2);
}

TEST_F(ScreenManagerTest, RemovedTextIsPresentedOncePerPageThenForgotten)
{
    screen_.set_window_size(0, 0);
    frame();
    const int id = screen_.add_text(1, 1, "Hi");
    ASSERT_GE(id, 0);
    const ScreenRect r = screen_.text(id).rect;
    frame();
    EXPECT_TRUE(mode_.was_presented(r.left, r.right, r.top, r.bottom));
    screen_.remove_text(id);
    ASSERT_EQ(dirty_count(), 1);
    // Two pages: passed in the next two frames, painted over with the background.
    for (int i = 0; i < 2; ++i) {
        frame();
        EXPECT_TRUE(mode_.was_presented(r.left, r.right, r.top, r.bottom)) << i;
        for (int32_t y = r.top; y < r.bottom; ++y) {
            for (int32_t x = r.left; x < r.right; ++x) {
                EXPECT_TRUE(shows_picture(background_, x, y));
            }
        }
    }
    EXPECT_EQ(dirty_count(), 0);
    frame();
    EXPECT_FALSE(mode_.was_presented(r.left, r.right, r.top, r.bottom));
}

TEST_F(ScreenManagerTest, FramePassesDirtyTextsIconsAndWindowInThatOrderSkippingWhatTheWindowCovers)
{
    screen_.set_window_size(20, 10); // queues the old window: the whole screen
    const int text = screen_.add_text(0, 0, "ab");
    const int icon = screen_.add_icon(0, 16000, 2000, 2000);
    const int hidden = screen_.add_text(4, 2, "x"); // wholly inside the window: (24, 22)..(30, 33)
    ASSERT_GE(text, 0);
    ASSERT_GE(icon, 0);
    ASSERT_GE(hidden, 0);
    screen_.set_window_size(20, 20); // contains the old window: nothing more queued
    frame();
    const ScreenRect t = screen_.text(text).rect;
    const ScreenRect i = screen_.icon(icon).rect;
    const ScreenRect w = screen_.window();
    // The shrink queued the whole screen; the text at row 2 lies inside the window.
    std::vector<VideoRect> expected = {{0, XRES, 0, YRES}, {t.left, t.right, t.top, t.bottom},
                                       {i.left, i.right, i.top, i.bottom}, {w.left, w.right, w.top, w.bottom}};
    ASSERT_EQ(mode_.presented.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(mode_.presented[k].x0, expected[k].x0) << k;
        EXPECT_EQ(mode_.presented[k].x1, expected[k].x1) << k;
        EXPECT_EQ(mode_.presented[k].y0, expected[k].y0) << k;
        EXPECT_EQ(mode_.presented[k].y1, expected[k].y1) << k;
    }
}

TEST_F(ScreenManagerTest, LoaderPictureRepaintsTheWholeScreenWhileAMapLoads)
{
    screen_.set_window_size(0, 0);
    frame(0);
    frame(1);
    EXPECT_EQ(screen_.repaint_all(), 1);
    ASSERT_EQ(mode_.presented.size(), 1u);
    EXPECT_TRUE(mode_.was_presented(0, XRES, 0, YRES));
    EXPECT_TRUE(shows_picture(loader_, 0, 0));
    EXPECT_TRUE(shows_picture(loader_, XRES / 2, YRES / 2));
    frame(1);
    EXPECT_EQ(screen_.repaint_all(), 0);
    frame(0);
    EXPECT_EQ(screen_.repaint_all(), 1);
    EXPECT_TRUE(shows_picture(background_, XRES / 2, YRES / 2));
    EXPECT_TRUE(mode_.was_presented(0, XRES, 0, YRES));
}

TEST_F(ScreenManagerTest, TextsAreDrawnOverIconsWithTheFont)
{
    screen_.set_window_size(0, 0);
    IconTable table;
    ASSERT_EQ(table.create(1), 1);
    const int icon = screen_.add_icon(0, 0, 25600, 19200);
    screen_.set_icon_image(icon, table.get("marker", 1));
    const int text = screen_.add_text(0, 0, "||||");
    ASSERT_GE(text, 0);
    mode_.repaint_next = 1;
    frame();
    // '|' is a stroke in column 2 of each cell, rows 0 to 6, in step 28 of grey 0x80.
    for (int c = 0; c < 4; ++c) {
        for (int32_t y = 0; y < 7; ++y) {
            EXPECT_EQ(mode_.at(6 * c + 2, y), 0xE0E0E0E0u) << c << "," << y;
        }
    }
}

TEST_F(ScreenManagerTest, IconsAreRefusedOffTheScreenOrWhenAllAreUsed)
{
    const int32_t u = screen_.x_unit();
    const int32_t v = screen_.y_unit();
    struct Case {
        const char* why;
        int32_t x, y, w, h;
    };
    const Case refused[] = {
        {"left at the right edge", XRES * u, 0, 10 * u, 10 * v},
        {"right at the left edge", -10 * u, 0, 10 * u, 10 * v},
        {"top at the bottom edge", 0, YRES * v, 10 * u, 10 * v},
        {"bottom at the top edge", 0, -10 * v, 10 * u, 10 * v},
        {"a negative width", 20 * u, 0, -10 * u, 10 * v},
        {"sums past 32 bits", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(screen_.add_icon(c.x, c.y, c.w, c.h), -1) << c.why;
    }
    int last = -1;
    for (int i = 0; i < SCREEN_ICONS; ++i) {
        last = screen_.add_icon(0, 0, 4 * u, 4 * v);
        ASSERT_GE(last, 0);
    }
    EXPECT_EQ(screen_.add_icon(0, 0, 4 * u, 4 * v), -1);
    screen_.remove_icon(last);
    EXPECT_GE(screen_.add_icon(0, 0, 4 * u, 4 * v), 0);
}

TEST_F(ScreenManagerTest, IconCutAtTheEdgeShowsTheSamePixelsAsWhereItIsWhole)
{
    const int32_t u = screen_.x_unit();
    const int32_t v = screen_.y_unit();
    IconTable table;
    ASSERT_EQ(table.create(1), 1);
    IconPicture* const marker = table.get("marker", 1);
    screen_.set_window_size(0, 0);
    // 30 x 20 pixels: whole at (20, 20), cut by 7 pixels at the left and 5 at the top.
    const int whole = screen_.add_icon(20 * u, 20 * v, 30 * u, 20 * v);
    const int cut = screen_.add_icon(-7 * u, -5 * v, 30 * u, 20 * v);
    ASSERT_GE(whole, 0);
    ASSERT_GE(cut, 0);
    const ScreenIcon& c = screen_.icon(cut);
    EXPECT_EQ(c.rect.left, 0);
    EXPECT_EQ(c.rect.right, 23);
    EXPECT_EQ(c.rect.bottom, 15);
    EXPECT_EQ(c.full_width, 30);
    EXPECT_EQ(c.x_start, (7 << 16) / 30);
    EXPECT_EQ(c.y_start, (5 << 16) / 20);
    EXPECT_EQ(c.shown_width, 23);
    screen_.set_icon_image(whole, marker);
    screen_.set_icon_image(cut, marker);
    for (const int mmx : {1, 0}) {
        cvar_list->find("MMX")->set_bool(mmx);
        screen_.begin_frame(0);
        std::fill(mode_.pixels.begin(), mode_.pixels.end(), 0x00406080u);
        screen_.present(0);
        int differing = 0;
        for (int32_t y = 0; y < 15; ++y) {
            for (int32_t x = 0; x < 23; ++x) {
                differing += mode_.at(x, y) != mode_.at(20 + 7 + x, 20 + 5 + y) ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0) << mmx;
        // The icon drew something: its centre is opaque.
        EXPECT_NE(mode_.at(35, 30), 0x00406080u) << mmx;
    }
}

TEST_F(ScreenManagerTest, IconNarrowerThanAPixelOrShowingAPictureDrawsNothing)
{
    const int32_t u = screen_.x_unit();
    const int32_t v = screen_.y_unit();
    IconTable table;
    ASSERT_EQ(table.create(2), 1);
    screen_.set_window_size(0, 0);
    const int thin = screen_.add_icon(10 * u, 10 * v, u - 1, 10 * v);
    ASSERT_GE(thin, 0);
    EXPECT_EQ(screen_.icon(thin).full_width, 0);
    screen_.set_icon_image(thin, table.get("marker", 1));
    const int picture = screen_.add_icon(30 * u, 10 * v, 10 * u, 10 * v);
    screen_.set_icon_image(picture, table.get("backgrnd", 0));
    screen_.begin_frame(0);
    std::fill(mode_.pixels.begin(), mode_.pixels.end(), 0x00406080u);
    screen_.present(0);
    for (uint32_t p : mode_.pixels) {
        ASSERT_EQ(p, 0x00406080u);
    }
}

TEST_F(ScreenManagerTest, ShrinkingAnIconsExtentQueuesTheStripItUncovers)
{
    const int32_t u = screen_.x_unit();
    const int32_t v = screen_.y_unit();
    const int id = screen_.add_icon(10 * u, 4 * v, 20 * u, 6 * v);
    screen_.set_icon_extent(id, 8 * u);
    ASSERT_EQ(dirty_count(), 1);
    const ScreenRect strip = screen_.dirty(screen_.dirty_list().first()).rect;
    EXPECT_EQ(strip.left, 18);
    EXPECT_EQ(strip.right, 30);
    EXPECT_EQ(strip.top, 4);
    EXPECT_EQ(strip.bottom, 10);
    EXPECT_EQ(screen_.icon(id).shown_width, 8);
    // Growing queues nothing and is clamped to the icon.
    screen_.set_icon_extent(id, 1000 * u);
    EXPECT_EQ(screen_.icon(id).shown_width, 20);
    EXPECT_EQ(dirty_count(), 1);
    // Cut at the left edge: the extent still counts from the icon's own left edge.
    const int cut = screen_.add_icon(-5 * u, 0, 20 * u, 6 * v);
    screen_.set_icon_extent(cut, 12 * u);
    EXPECT_EQ(screen_.icon(cut).shown_width, 7);
    screen_.set_icon_extent(cut, 3 * u);
    EXPECT_EQ(screen_.icon(cut).shown_width, 0);
    screen_.set_icon_extent(-1, 0);
}

TEST_F(ScreenManagerTest, ScreenshotsAreNumberedAndAFailedOneKeepsItsNumber)
{
    frame(0, 1);
    EXPECT_TRUE(tree_.exists("kavrin/shots/kvr00000.bmp"));
    EXPECT_EQ(screen_.shot_number(), 1);
    frame(0, 1);
    EXPECT_TRUE(tree_.exists("kavrin/shots/kvr00001.bmp"));
    EXPECT_EQ(screen_.shot_number(), 2);
    std::filesystem::remove_all(tree_.path("kavrin/shots"));
    tree_.write("kavrin/shots", std::string("not a directory"));
    frame(0, 1);
    EXPECT_EQ(screen_.shot_number(), 2);
    EXPECT_EQ(mode_.frames_ended, 3);
}

TEST_F(ScreenManagerTest, TimingLineGoesOutTagged)
{
    const TaggedLines timing("ScCy");
    frame();
    screen_.print_timing();
    const std::vector<std::string>& lines = timing.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Screen: Clear=", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(", Draw="), std::string::npos);
    EXPECT_NE(lines[0].find(", Video="), std::string::npos);
}
