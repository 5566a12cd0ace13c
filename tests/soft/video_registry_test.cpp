#include "platform/video_mode.h"
#include "platform/video_registry.h"
#include "video_fixture.h"

#include <string>

namespace {

// A mode object whose sizes a test chooses; counts its creations and deaths.
class CountingMode final : public KVideoMode {
public:
    explicit CountingMode(int32_t count)
    {
        mode_count = count;
        ++created;
    }
    ~CountingMode() override { ++destroyed; }
    int init_mode(int32_t, int32_t) override { return 1; }
    void close_mode() override {}
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override {}
    void end_frame() override {}

    static int created;
    static int destroyed;
};
int CountingMode::created = 0;
int CountingMode::destroyed = 0;

int factory_calls = 0;
KVideoMode* usable_factory()
{
    ++factory_calls;
    return new CountingMode(1);
}
KVideoMode* empty_factory()
{
    ++factory_calls;
    return new CountingMode(0);
}
KVideoMode* failing_factory()
{
    ++factory_calls;
    return nullptr;
}

class VideoRegistryTest : public VideoTest {
protected:
    void SetUp() override
    {
        VideoTest::SetUp();
        factory_calls = 0;
        CountingMode::created = 0;
        CountingMode::destroyed = 0;
    }
};

} // namespace

TEST_F(VideoRegistryTest, StartsWithTheThreeWindowedRows)
{
    ASSERT_EQ(video_driver_count(), 3);
    EXPECT_EQ(driver_names(), (std::vector<std::string>{"WIN", "WIN_V", "WIN_D"}));
    EXPECT_STREQ(video_driver(0)->description, "Windowed DIB");
    EXPECT_STREQ(video_driver(1)->description, "Windowed DIB, vertical doubling");
    EXPECT_STREQ(video_driver(2)->description, "Windowed DIB, pixel doubling");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(video_driver(i)->bits_per_pixel, 32u);
    }
    EXPECT_EQ(video_driver(3), nullptr);
    EXPECT_EQ(video_driver(-1), nullptr);
}

TEST_F(VideoRegistryTest, FirstRegistrationOfANameWins)
{
    EXPECT_EQ(video_register_driver("win", "Something else", 16, usable_factory), 1);
    EXPECT_EQ(video_driver_count(), 3);
    EXPECT_STREQ(video_driver(0)->description, "Windowed DIB");
    EXPECT_EQ(video_driver(0)->bits_per_pixel, 32u);
}

TEST_F(VideoRegistryTest, TheThirtyThirdNameIsRefused)
{
    static char names[40][16];
    for (int i = 0; i < 29; ++i) {
        std::snprintf(names[i], sizeof names[i], "T%d", i);
        ASSERT_EQ(video_register_driver(names[i], "test", 32, usable_factory), 1) << i;
    }
    ASSERT_EQ(video_driver_count(), 32);
    EXPECT_EQ(video_register_driver("ONE_TOO_MANY", "test", 32, usable_factory), 0);
    EXPECT_EQ(video_driver_count(), 32);
    EXPECT_EQ(video_find_driver("ONE_TOO_MANY"), -1);
    EXPECT_EQ(video_find_driver("T28"), 31);
    EXPECT_EQ(video_register_driver("t28", "again", 32, usable_factory), 1); // known names still answer 1
}

TEST_F(VideoRegistryTest, FindsNamesWithoutRegardToCase)
{
    ASSERT_EQ(video_register_driver("FS16_V", "FullScreen DIB, 16bpp, vertical doubling", 16, usable_factory), 1);
    EXPECT_EQ(video_find_driver("fs16_v"), 3);
    EXPECT_EQ(video_find_driver("Win_D"), 2);
    EXPECT_EQ(video_find_driver("WIN_X"), -1);
    EXPECT_EQ(video_find_driver(""), -1);
}

TEST_F(VideoRegistryTest, CreateRefusesBadIndicesWithoutCallingAFactory)
{
    ASSERT_EQ(video_register_driver("TEST", "test", 32, usable_factory), 1);
    EXPECT_EQ(video_create_mode(-1), nullptr);
    EXPECT_EQ(video_create_mode(video_driver_count()), nullptr);
    EXPECT_EQ(factory_calls, 0);

    KVideoMode* const mode = video_create_mode(video_find_driver("TEST"));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(factory_calls, 1);
    EXPECT_EQ(mode->mode_index, -1);
    EXPECT_EQ(mode->xres, 0);
    video_destroy_mode(mode);
    EXPECT_EQ(CountingMode::destroyed, 1);
}

TEST_F(VideoRegistryTest, CreateDeletesAModeWithoutSizesAndPassesOnAFailedFactory)
{
    ASSERT_EQ(video_register_driver("EMPTY", "test", 32, empty_factory), 1);
    ASSERT_EQ(video_register_driver("FAILS", "test", 32, failing_factory), 1);
    EXPECT_EQ(video_create_mode(video_find_driver("EMPTY")), nullptr);
    EXPECT_EQ(CountingMode::created, 1);
    EXPECT_EQ(CountingMode::destroyed, 1);
    EXPECT_EQ(video_create_mode(video_find_driver("FAILS")), nullptr);
    EXPECT_EQ(factory_calls, 2);
}

TEST_F(VideoRegistryTest, WindowedDriverIsUnusableOnATinyDesktop)
{
    desktop_width = 150;
    desktop_height = 100;
    EXPECT_EQ(video_create_mode(0), nullptr);
}

TEST_F(VideoRegistryTest, MeasuresTheDesktop)
{
    struct Case {
        const char* why;
        host::DesktopResult result;
        int expected_return;
        int32_t width;
        int32_t height;
        const char* message;
    };
    const Case cases[] = {
        {"measured", host::DESKTOP_OK, 1, 1280, 1024, nullptr},
        {"size unreadable: guess", host::DESKTOP_NO_RECT, 1, 640, 480,
         "measure_desktop(): Can't measure desktop size, guessing for 640x480"},
        {"no desktop: fail", host::DESKTOP_NO_WINDOW, 0, 7, 7, "GetDesktopWindow(): Where's the desktop window?"},
    };
    for (const Case& c : cases) {
        debug_console_clear();
        display.desktop_result = c.result;
        display.width = 1280;
        display.height = 1024;
        desktop_width = 7;
        desktop_height = 7;
        EXPECT_EQ(measure_desktop(), c.expected_return) << c.why;
        EXPECT_EQ(desktop_width, c.width) << c.why;
        EXPECT_EQ(desktop_height, c.height) << c.why;
        if (c.message != nullptr) {
            EXPECT_TRUE(shown(c.message)) << c.why;
        }
    }
}

TEST_F(VideoRegistryTest, StartUpContinuesOnAnUnreadableDesktop)
{
    display.desktop_result = host::DESKTOP_NO_RECT;
    EXPECT_EQ(start_video(), 1);
    EXPECT_EQ(desktop_width, 640);
    EXPECT_EQ(desktop_height, 480);
    display.desktop_result = host::DESKTOP_NO_WINDOW;
    stop_video();
    EXPECT_EQ(start_video(), 0);
}

namespace {

// A mode with rows wider than its picture, over a buffer of its own.
class PaddedMode final : public KVideoMode {
public:
    int init_mode(int32_t, int32_t) override { return 1; }
    void close_mode() override {}
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override {}
    void end_frame() override {}
    ~PaddedMode() override
    {
        free_line_offsets();
        delete[] framebuffer;
    }
};

} // namespace

TEST_F(VideoRegistryTest, ClearLeavesRowPaddingAlone)
{
    PaddedMode mode;
    mode.xres = 5;
    mode.yres = 3;
    mode.line_width = 8;
    ASSERT_EQ(mode.alloc_framebuffer(), 1);
    ASSERT_EQ(mode.init_line_offsets(), 1);
    EXPECT_EQ(mode.line_offset[0], 0);
    EXPECT_EQ(mode.line_offset[1], 8);
    EXPECT_EQ(mode.line_offset[2], 16);
    for (int i = 0; i < 24; ++i) {
        mode.framebuffer[i] = 0xAB000000u + static_cast<uint32_t>(i);
    }
    mode.clear();
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint32_t expected = x < 5 ? 0u : 0xAB000000u + static_cast<uint32_t>(y * 8 + x);
            EXPECT_EQ(mode.framebuffer[y * 8 + x], expected) << x << "," << y;
        }
    }
    EXPECT_EQ(mode.rgb_layout[0], 16);
    EXPECT_EQ(mode.rgb_layout[1], 8);
    EXPECT_EQ(mode.rgb_layout[2], 0);
    EXPECT_EQ(mode.rgb_layout[3], 24);
}
