#include "core/config_variable.h"
#include "host/host_window_pixels.h"
#include "soft/ddraw_devices.h"
#include "soft/ddraw_errors.h"
#include "soft/ddraw_mode.h"
#include "soft/light_block.h"
#include "soft/lighting_tables.h"
#include "soft/lit_span.h"
#include "soft/pixel_convert.h"
#include "video_fixture.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace host::ddraw;

namespace {

DeviceSetup device_with(std::vector<ModeSetup> modes, uint32_t memory = 16u << 20)
{
    DeviceSetup d;
    d.modes = std::move(modes);
    d.video_memory = memory;
    return d;
}

class VideoDDrawTest : public VideoTest {
protected:
    void install(const Config& config)
    {
        configure(config);
        ASSERT_EQ(start_video(), 1);
        reopen_console();
    }
    void install_one(const DeviceSetup& device)
    {
        Config c;
        c.devices.push_back(device);
        install(c);
    }
    const DDrawModeInfo* record(int device, int depth, uint32_t w, uint32_t h) const
    {
        for (const XModeInfo* m = ddraw_devices[device].modes[depth]; m != nullptr; m = m->next) {
            if (m->width == w && m->height == h) {
                return static_cast<const DDrawModeInfo*>(m);
            }
        }
        return nullptr;
    }
    VideoDDraw* create(const char* driver)
    {
        const int index = video_find_driver(driver);
        EXPECT_GE(index, 0) << driver;
        return static_cast<VideoDDraw*>(video_create_mode(index));
    }
    bool has_dd_rows() const
    {
        for (const std::string& n : driver_names()) {
            if (n.rfind("DD", 0) == 0) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(VideoDDrawTest, MissingPiecesLeaveNoDriversButStartUpGoesOn)
{
    struct Case {
        const char* why;
        bool no_direct_draw;
        bool com;
        bool library;
        bool proc;
        const char* message;
    };
    const Case cases[] = {
        {"option no_direct_draw", true, false, false, false, nullptr},
        {"COM", false, true, false, false, "VideoDDraw::initialize(): COM didn't initialized"},
        {"library", false, false, true, false, "VideoDDraw::initialize(): Can't load ddraw.dll"},
        {"enumeration function", false, false, false, true, "GetProcAddress() failed: DirectDrawEnumerateA"},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        debug_console_clear();
        reopen_console();
        set_options(c.no_direct_draw ? std::vector<const char*>{"-no_direct_draw"} : std::vector<const char*>{});
        Config config;
        config.devices.push_back(device_with({standard_mode(640, 480, 16, 60)}));
        config.co_initialize_fails = c.com;
        config.load_library_fails = c.library;
        config.get_proc_fails = c.proc;
        configure(config);
        EXPECT_EQ(start_video(), 1) << c.why;
        EXPECT_FALSE(has_dd_rows()) << c.why;
        EXPECT_EQ(ddraw_device_count, 0) << c.why;
        if (c.message != nullptr) {
            EXPECT_TRUE(shown(c.message)) << c.why;
        }
        stop_video();
        EXPECT_FALSE(com_initialized()) << c.why;
    }
}

TEST_F(VideoDDrawTest, AFailingDeviceEnumerationStopsStartUp)
{
    Config config;
    config.enumerate_result = DDERR_GENERIC;
    configure(config);
    EXPECT_EQ(start_video(), 0);
    EXPECT_TRUE(shown("DirectDrawEnumerate(): DDERR_GENERIC - Generic failure"));
}

TEST_F(VideoDDrawTest, RegistersANormalAndALacedDriverPerDepthWithModes)
{
    DeviceSetup d = device_with({standard_mode(640, 480, 16, 60), standard_mode(800, 600, 16, 72),
                                standard_mode(640, 480, 32, 60), standard_mode(320, 200, 8, 70)},
                               4u << 20);
    d.driver_name = "emu";
    Config c;
    c.devices = {d, d};
    install(c);
    ASSERT_EQ(ddraw_device_count, 2);
    const std::vector<std::string> all = driver_names();
    const std::set<std::string> names(all.begin(), all.end());
    for (const char* n : {"DD32", "DD32_L", "DD16", "DD16_L", "DD32_2", "DD32_2_L", "DD16_2", "DD16_2_L"}) {
        EXPECT_EQ(names.count(n), 1u) << n;
    }
    EXPECT_EQ(names.count("DD24"), 0u);
    EXPECT_EQ(names.count("DD15"), 0u);
    EXPECT_STREQ(video_driver(video_find_driver("DD16_2_L"))->description, "DirectDraw Laced, 16bpp, device #2 (emu)");
    EXPECT_STREQ(video_driver(video_find_driver("DD32"))->description, "DirectDraw, 32bpp, device #1 (emu)");
    EXPECT_EQ(video_driver(video_find_driver("DD16"))->bits_per_pixel, 16u);
    // Start-up messages went to the console before it closed.
    debug_console_clear();
    stop_video();
    video_reset_registry();
    configure(c);
    reopen_console();
    ASSERT_EQ(start_video(), 1);
    EXPECT_TRUE(shown("DirectDraw driver installed: 16 bits per pixel, #2 deviceId (4.0MB)"));
    EXPECT_TRUE(shown(" DirectDraw mode: 800x600x16bpp, 72Hz"));
    EXPECT_EQ(count_shown(" DirectDraw mode: 640x480x16bpp, 60Hz"), 2);
}

TEST_F(VideoDDrawTest, ANinthDeviceIsSkipped)
{
    Config c;
    for (int i = 0; i < 9; ++i) {
        DeviceSetup d = device_with({standard_mode(640, 480, 15, 60)});
        d.driver_name = "card" + std::to_string(i + 1);
        c.devices.push_back(d);
    }
    configure(c);
    reopen_console();
    ASSERT_EQ(start_video(), 1);
    EXPECT_EQ(ddraw_device_count, 8);
    EXPECT_TRUE(shown("card9: skipping, I've got already 8 DirectDraw devices"));
    EXPECT_GE(video_find_driver("DD15_8_L"), 0);
    EXPECT_STREQ(video_driver(video_find_driver("DD15_8"))->description, "DirectDraw, 15bpp, device #8 (card8)");
    EXPECT_EQ(video_find_driver("DD15_9"), -1);
}

TEST_F(VideoDDrawTest, BrokenDevicesAreSkippedWithTheirMessage)
{
    struct Case {
        const char* why;
        void (*spoil)(DeviceSetup&);
        bool kept;
        const char* message;
    };
    const Case cases[] = {
        {"no DirectDraw2", [](DeviceSetup& d) { d.no_direct_draw2 = true; }, false,
         "DirectX too old: I require DirectDraw version 2+"},
        {"initialize", [](DeviceSetup& d) { d.initialize_result = DDERR_NODIRECTDRAWHW; }, false,
         "DirectDraw::Initialize(): DDERR_NODIRECTDRAWHW - "},
        {"mode list", [](DeviceSetup& d) { d.mode_enum_result = DDERR_OUTOFMEMORY; }, false,
         "DirectDraw::EnumDisplayModes(): DDERR_OUTOFMEMORY - "},
        {"capabilities", [](DeviceSetup& d) { d.get_caps_result = DDERR_INVALIDOBJECT; }, true,
         "DirectDraw::GetCaps(): DDERR_INVALIDOBJECT - "},
        {"memory enumeration", [](DeviceSetup& d) { d.memory_enum_result = DDERR_GENERIC; }, true,
         "DirectDraw::EnumDisplayModes(): DDERR_GENERIC - Generic failure"},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        DeviceSetup bad = device_with({standard_mode(640, 480, 16, 60)});
        bad.driver_name = "bad";
        c.spoil(bad);
        DeviceSetup good = device_with({standard_mode(320, 240, 16, 60)});
        good.driver_name = "good";
        Config config;
        config.devices = {bad, good};
        configure(config);
        reopen_console();
        ASSERT_EQ(start_video(), 1) << c.why;
        EXPECT_TRUE(shown(c.message)) << c.why;
        ASSERT_EQ(ddraw_device_count, c.kept ? 2 : 1) << c.why;
        // The good device takes the next free number.
        const char* const good_driver = c.kept ? "DD16_2" : "DD16";
        EXPECT_NE(std::string(video_driver(video_find_driver(good_driver))->description).find("(good)"),
                  std::string::npos)
            << c.why;
        stop_video();
        EXPECT_EQ(device_stats(0).live_objects + device_stats(1).live_objects, 0) << c.why;
    }
}

TEST_F(VideoDDrawTest, VideoMemoryIsMeasuredAndRounded)
{
    struct Case {
        const char* why;
        uint32_t reported;
        bool caps_fail;
        uint32_t expected;
    };
    const Case cases[] = {
        {"rounded up to 256 KiB", 4000000, false, 4194304},
        {"already round", 4194304, false, 4194304},
        {"at least the largest mode", 1000, false, 1310720},          // 640 x 480 x 4 rounded
        {"capabilities failed: the largest mode", 8u << 20, true, 1310720},
        {"near 4 GiB stays in range", 0xFFFFFFF0u, false, 0xFFFC0000u},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        DeviceSetup d = device_with({standard_mode(640, 480, 16, 60), standard_mode(640, 480, 32, 60)}, c.reported);
        if (c.caps_fail) {
            d.get_caps_result = DDERR_GENERIC;
        }
        Config config;
        config.devices = {d};
        configure(config);
        ASSERT_EQ(start_video(), 1) << c.why;
        ASSERT_EQ(ddraw_device_count, 1) << c.why;
        EXPECT_EQ(ddraw_devices[0].video_memory, c.expected) << c.why;
    }
}

TEST_F(VideoDDrawTest, ModesWiderThanTheEngineDrawsAreSkippedOnceWithTheReason)
{
    Config c;
    c.devices.push_back(device_with({standard_mode(5120, 2880, 32, 60), standard_mode(8192, 4608, 32, 30),
                                     standard_mode(8193, 4608, 32, 30), standard_mode(10240, 4320, 32, 60),
                                     standard_mode(10240, 4320, 32, 30), standard_mode(10240, 4320, 16, 60)},
                                    256u << 20));
    configure(c);
    ASSERT_EQ(start_video(), 1);
    EXPECT_NE(record(0, 0, 5120, 2880), nullptr);
    EXPECT_NE(record(0, 0, 8192, 4608), nullptr);
    EXPECT_EQ(record(0, 0, 8193, 4608), nullptr);
    EXPECT_EQ(record(0, 0, 10240, 4320), nullptr);
    EXPECT_EQ(ddraw_devices[0].modes[2], nullptr);
    EXPECT_EQ(video_find_driver("DD16"), -1);
    EXPECT_EQ(count_shown(" DirectDraw mode: 10240x4320x32bpp skipped, wider than 8192 pixels"), 1);
    EXPECT_EQ(count_shown(" DirectDraw mode: 10240x4320x16bpp skipped, wider than 8192 pixels"), 1);
    EXPECT_EQ(count_shown(" DirectDraw mode: 8193x4608x32bpp skipped"), 1);
    EXPECT_EQ(count_shown(" DirectDraw mode: 5120x2880x32bpp, 60Hz"), 1);
    // A row of the 5120-pixel mode drawn whole by a lit drawer, which keeps a line of light per plan.
    VideoDDraw* const v = create("DD32");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(5120, 2880), 1);
    ASSERT_EQ(v->xres, 5120);
    v->begin_frame();
    build_lighting_tables();
    for (uint32_t& l : surface_light_block) {
        l = 0x20202020; // light 32 keeps the colour
    }
    std::vector<uint8_t> texels(16 * 17, 1);
    uint32_t palette[256] = {};
    palette[1] = 0x00102030;
    std::vector<uint64_t> plan(span_plan_max_bytes(5120) / 8 + 1);
    SpanPlan* const p = reinterpret_cast<SpanPlan*>(plan.data());
    uint32_t* const row = v->framebuffer + v->line_offset[2879];
    std::vector<uint16_t> depth(5120);
    span_setup_persp(p, row, depth.data(), 5120, 0, 0, 0.0f, 0.0f, 65536.0f, 0.0f, 1.0f, 0.0f);
    span_draw_lit(p, 1, texels.data(), palette, 4, 16, 0, 0, 0, nullptr, nullptr);
    for (int x = 0; x < 5120; ++x) {
        ASSERT_EQ(row[x], 0x00102030u) << x;
    }
    v->end_frame();
    video_destroy_mode(v);
}

TEST_F(VideoDDrawTest, PagesDirectAndRefreshOfEachMode)
{
    struct Case {
        const char* why;
        uint32_t memory;
        uint32_t bits;
        int32_t pages;
        int32_t direct;
    };
    const Case cases[] = {
        {"32 bits, one frame fits", 2u << 20, 32, 1, 0},
        {"32 bits, three frames fit", 4u << 20, 32, 3, 1},
        {"16 bits is never direct", 4u << 20, 16, 6, 0},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        install_one(device_with({standard_mode(640, 480, c.bits, 60)}, c.memory));
        const DDrawModeInfo* const r = record(0, depth_index_of(c.bits), 640, 480);
        ASSERT_NE(r, nullptr) << c.why;
        EXPECT_EQ(r->pages, c.pages) << c.why;
        EXPECT_EQ(r->direct, c.direct) << c.why;
    }

    stop_video();
    video_reset_registry();
    ModeSetup pitched = standard_mode(640, 480, 32, 60);
    pitched.pitch = 4096; // 2 MiB a frame
    ModeSetup again = pitched;
    again.refresh = 85;
    again.pitch = 2560;
    ModeSetup lower = again;
    lower.refresh = 70;
    ModeSetup no_refresh = standard_mode(800, 600, 32, 60);
    no_refresh.desc_flags &= ~DDSD_REFRESHRATE;
    ModeSetup palettized = standard_mode(1024, 768, 32, 60);
    palettized.format_flags = DDPF_PALETTEINDEXED8;
    install_one(device_with({pitched, again, lower, no_refresh, palettized}, 4u << 20));
    const DDrawModeInfo* const r = record(0, 0, 640, 480);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->refresh, 85u);
    EXPECT_EQ(r->pages, 2); // from the first report
    EXPECT_EQ(XModeInfo::count(ddraw_devices[0].modes[0]), 1);
}

TEST_F(VideoDDrawTest, ErrorTexts)
{
    EXPECT_STREQ(ddraw_error_text(DD_OK), "DD_OK - No error");
    EXPECT_STREQ(ddraw_error_text(DDERR_INVALIDMODE), "DDERR_INVALIDMODE - Requested mode is unsupported");
    EXPECT_STREQ(ddraw_error_text(DDERR_OUTOFVIDEOMEMORY), "DDERR_OUTOFVIDEOMEMORY - DirectDraw ran out of video memory");
    EXPECT_STREQ(ddraw_error_text(DDERR_SURFACELOST), "DDERR_SURFACELOST - Surface lost");
    EXPECT_STREQ(ddraw_error_text(DDERR_CANTLOCKSURFACE),
                 "DDERR_CANTLOCKSURFACE - Can't lock surface - no DCI provider? [Wrong or no driver]");
    EXPECT_STREQ(ddraw_error_text(DDERR_WASSTILLDRAWING), "DDERR_WASSTILLDRAWING - Still performing Blit");
    EXPECT_STREQ(ddraw_error_text(0x12345678u), "Unknown error");
    EXPECT_STREQ(ddraw_error_text(dd_result(9999)), "Unknown error");
}

namespace {

// Fills the frame buffer through line_offset with a pattern of (x, y).
void draw_pattern(KVideoMode* v, uint32_t seed)
{
    for (int32_t y = 0; y < v->yres; ++y) {
        for (int32_t x = 0; x < v->xres; ++x) {
            const uint32_t r = (static_cast<uint32_t>(x) * 7u + seed) & 0xFF;
            const uint32_t g = (static_cast<uint32_t>(y) * 13u + seed * 3u) & 0xFF;
            const uint32_t b = static_cast<uint32_t>(x ^ y) & 0xFF;
            v->framebuffer[v->line_offset[y] + x] = r << v->rgb_layout[0] | g << v->rgb_layout[1] |
                                                   b << v->rgb_layout[2];
        }
    }
}

} // namespace

TEST_F(VideoDDrawTest, ThirtyTwoBitModesDrawIntoTheLockedBackBuffer)
{
    struct Case {
        const char* why;
        int32_t pitch;
        uint32_t memory;
        int32_t pages;
        int32_t direct;
    };
    const Case cases[] = {
        {"three frames fit, padded rows", 2560 + 64, 4u << 20, 3, 1},
        // One frame fits: not direct, and still drawn through the locked back buffer.
        {"one frame fits", 2560, 2u << 20, 1, 0},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        ModeSetup m = standard_mode(640, 480, 32, 60);
        m.pitch = c.pitch;
        install_one(device_with({m, standard_mode(320, 240, 32, 60)}, c.memory));
        for (const int laced : {0, 1}) {
            VideoDDraw* const v = create(laced ? "DD32_L" : "DD32");
            ASSERT_NE(v, nullptr) << c.why;
            EXPECT_EQ(device_stats(0).cooperative_level, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
            ASSERT_EQ(v->mode_count, 2);
            EXPECT_EQ(v->modes[0].height, laced ? 240 : 480);
            ASSERT_EQ(v->init_mode(640, laced ? 240 : 480), 1) << c.why;
            EXPECT_EQ(v->xres, 640);
            EXPECT_EQ(v->yres, laced ? 240 : 480);
            EXPECT_EQ(v->direct, c.direct) << c.why;
            EXPECT_EQ(v->pages, c.pages) << c.why;
            EXPECT_EQ(v->begin_frame(), 0);
            EXPECT_EQ(v->line_width, (laced + 1) * c.pitch / 4) << c.why;
            EXPECT_EQ(v->line_offset[1], v->line_width);
            draw_pattern(v, 5);
            const uint32_t* const drawn = v->framebuffer;
            v->present({0, 640, 0, 480});
            v->end_frame();
            const FrontBuffer front = front_buffer(0);
            ASSERT_EQ(front.pixels, reinterpret_cast<const uint8_t*>(drawn)); // flipped to the front
            for (uint32_t y = 0; y < 480; ++y) {
                for (const uint32_t x : {0u, 1u, 333u, 639u}) {
                    uint32_t p = 0;
                    std::memcpy(&p, front.pixels + y * static_cast<uint32_t>(front.pitch) + x * 4, 4);
                    const bool drawn_line = laced == 0 || y % 2 == 0;
                    const uint32_t fy = laced ? y / 2 : y;
                    const uint32_t expected =
                        ((x * 7u + 5u) & 0xFF) << 16 | ((fy * 13u + 15u) & 0xFF) << 8 | ((x ^ fy) & 0xFF);
                    ASSERT_EQ(p, drawn_line ? expected : 0u)
                        << c.why << ", laced " << laced << " at " << x << "," << y;
                }
            }
            // The next frame locks the other buffer.
            EXPECT_EQ(v->begin_frame(), 0);
            EXPECT_NE(v->framebuffer, drawn);
            v->end_frame();
            video_destroy_mode(v);
            EXPECT_EQ(device_stats(0).live_surfaces, 0);
            EXPECT_EQ(device_stats(0).cooperative_level, DDSCL_NORMAL);
        }
        EXPECT_EQ(device_stats(0).restores, 2) << c.why;
    }
}

TEST_F(VideoDDrawTest, ALockWithoutMemoryDrawsIntoAScratchRow)
{
    DeviceSetup d = device_with({standard_mode(320, 240, 32, 60)}, 1u << 20);
    d.lock_without_memory = true;
    install_one(d);
    VideoDDraw* const v = create("DD32");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(320, 240), 1);
    EXPECT_EQ(v->pages, 3);
    EXPECT_EQ(v->begin_frame(), 0);
    EXPECT_EQ(v->line_width, 0);
    EXPECT_EQ(v->line_offset[239], 0);
    draw_pattern(v, 1); // all rows land in the one scratch row
    v->end_frame();
    EXPECT_EQ(device_stats(0).flips, 1);
    video_destroy_mode(v);
}

namespace {

struct ConvertCase {
    const char* why;
    const char* driver;
    ModeSetup mode;
    bool mmx;
};

} // namespace

TEST_F(VideoDDrawTest, ConvertingModesShowTheShadowBufferInTheSurfaceFormat)
{
    ModeSetup odd_pitch = standard_mode(318, 200, 16, 60);
    odd_pitch.pitch = 700;
    ModeSetup bgr = standard_mode(320, 240, 16, 60);
    bgr.red_mask = 0x001F;
    bgr.blue_mask = 0xF800;
    ModeSetup four = standard_mode(320, 240, 16, 60);
    four.red_mask = 0x0F00, four.green_mask = 0x00F0, four.blue_mask = 0x000F;
    const ConvertCase cases[] = {
        {"5-6-5 plain", "DD16", standard_mode(320, 240, 16, 60), false},
        {"5-6-5 dithered", "DD16", standard_mode(320, 240, 16, 60), true},
        {"5-5-5 plain", "DD15", standard_mode(320, 240, 15, 60), false},
        {"5-5-5 dithered laced", "DD15_L", standard_mode(320, 240, 15, 60), true},
        {"padded rows, odd width", "DD16", odd_pitch, true},
        {"blue on top", "DD16_L", bgr, false},
        {"generic masks", "DD16", four, true},
        {"24 bits", "DD24", standard_mode(320, 240, 24, 60), false},
    };
    for (const ConvertCase& c : cases) {
        stop_video();
        video_reset_registry();
        DeviceSetup d = device_with({c.mode}, 4u << 20);
        d.surface_offset = 2;
        install_one(d);
        VideoDDraw* const v = create(c.driver);
        ASSERT_NE(v, nullptr) << c.why;
        ASSERT_NE(cvar_list->find("MMX"), nullptr);
        ASSERT_EQ(cvar_list->find("MMX")->set_bool(c.mmx ? 1 : 0), 1);
        const bool laced = v->laced != 0;
        ASSERT_EQ(v->init_mode(static_cast<int32_t>(c.mode.width), 0), 1) << c.why;
        EXPECT_EQ(v->pages, 2) << c.why;
        EXPECT_EQ(v->direct, 0) << c.why;
        EXPECT_EQ(v->begin_frame(), 0) << c.why;
        EXPECT_EQ(v->framebuffer, v->shadow_buffer) << c.why;
        EXPECT_EQ(v->yres, static_cast<int32_t>(c.mode.height / (laced ? 2 : 1))) << c.why;
        draw_pattern(v, 9);

        v->end_frame();
        const FrontBuffer front = front_buffer(0);
        ASSERT_NE(front.pixels, nullptr) << c.why;

        // What the chosen converter makes of the frame, row by row, into
        // memory laid out and aligned like the surface.
        const int32_t bytes = c.mode.bits == 24 ? 3 : 2;
        const int32_t pitch = c.mode.pitch > 0 ? c.mode.pitch : static_cast<int32_t>(c.mode.width) * bytes;
        ASSERT_EQ(front.pitch, pitch) << c.why;
        const size_t size = static_cast<size_t>(pitch) * c.mode.height;
        std::vector<uint8_t> block(size + 16, 0);
        const size_t start = (reinterpret_cast<uintptr_t>(front.pixels) - reinterpret_cast<uintptr_t>(block.data())) % 8;
        uint8_t* const expected = block.data() + start;
        const PixelConverter convert = c.mmx ? converter_pair.mmx : converter_pair.plain;
        for (int32_t y = 0; y < v->yres; ++y) {
            convert(v->shadow_buffer + y * v->xres, expected + static_cast<size_t>(y) * pitch * (laced ? 2 : 1),
                    v->xres, 1, 0, 0, y);
        }
        EXPECT_EQ(std::vector<uint8_t>(front.pixels, front.pixels + size), std::vector<uint8_t>(expected, expected + size))
            << c.why;

        // A frame converts again into the other buffer.
        v->begin_frame();
        v->end_frame();
        EXPECT_EQ(device_stats(0).flips, 2) << c.why;
        video_destroy_mode(v);
        EXPECT_EQ(device_stats(0).live_surfaces, 0) << c.why;
    }
}

TEST_F(VideoDDrawTest, FailedSetUpStepsLeaveTheModeReusable)
{
    struct Case {
        const char* why;
        void (*spoil)(DeviceSetup&);
        const char* message;
    };
    const Case cases[] = {
        {"display mode", [](DeviceSetup& d) { d.set_display_mode_result = DDERR_INVALIDMODE; },
         "DirectDraw::SetDisplayMode(): DDERR_INVALIDMODE - Requested mode is unsupported"},
        {"surface", [](DeviceSetup& d) { d.create_surface_result = DDERR_OUTOFVIDEOMEMORY; },
         "DirectDraw::CreateSurface(): DDERR_OUTOFVIDEOMEMORY"},
        {"back buffer", [](DeviceSetup& d) { d.attached_result = DDERR_SURFACELOST; },
         "DirectDrawSurface::GetAttachedSurface(): DDERR_SURFACELOST"},
        {"pixel format", [](DeviceSetup& d) { d.pixel_format_result = DDERR_SURFACELOST; },
         "DirectDrawSurface::GetPixelFormat(): DDERR_SURFACELOST"},
    };
    for (const Case& c : cases) {
        stop_video();
        video_reset_registry();
        DeviceSetup d = device_with({standard_mode(320, 240, 16, 60)});
        c.spoil(d);
        install_one(d);
        VideoDDraw* const v = create("DD16");
        ASSERT_NE(v, nullptr) << c.why;
        EXPECT_EQ(v->init_mode(320, 240), 0) << c.why;
        EXPECT_TRUE(shown(c.message)) << c.why;
        EXPECT_EQ(v->mode_index, -1) << c.why;
        EXPECT_EQ(v->framebuffer, nullptr) << c.why;
        EXPECT_EQ(v->begin_frame(), 0) << c.why;
        v->end_frame();
        EXPECT_EQ(device_stats(0).live_surfaces, 0) << c.why;
        video_destroy_mode(v);
    }
}

TEST_F(VideoDDrawTest, ALacedModeOfOneDisplayLineIsRefused)
{
    install_one(device_with({standard_mode(320, 1, 32, 60), standard_mode(320, 1, 16, 60)}));
    for (const char* driver : {"DD32_L", "DD16_L"}) {
        VideoDDraw* const v = create(driver);
        ASSERT_NE(v, nullptr) << driver;
        EXPECT_EQ(v->modes[0].height, 0) << driver;
        EXPECT_EQ(v->init_mode(320, 0), 0) << driver;
        EXPECT_EQ(v->mode_index, -1) << driver;
        EXPECT_EQ(v->yres, 0) << driver;
        EXPECT_EQ(v->begin_frame(), 0) << driver;
        v->end_frame();
        EXPECT_EQ(device_stats(0).flips, 0) << driver;
        video_destroy_mode(v);
    }
}

TEST_F(VideoDDrawTest, TheMmxVariableIsLinkedTrueAndReleasedAtShutdown)
{
    install_one(device_with({standard_mode(320, 240, 16, 60)}));
    VideoDDraw* const v = create("DD16");
    ASSERT_NE(v, nullptr);
    ConfigVariable* const mmx = cvar_list->find("MMX");
    ASSERT_NE(mmx, nullptr);
    EXPECT_EQ(mmx->type(), CVTYPE_BOOL);
    EXPECT_TRUE(mmx->is_true());
    video_destroy_mode(v);
    stop_video();
    EXPECT_EQ(cvar_list->find("MMX"), nullptr);
}

TEST_F(VideoDDrawTest, DriversOfAShutDownDeviceMakeNoMode)
{
    install_one(device_with({standard_mode(320, 240, 16, 60)}));
    const int index = video_find_driver("DD16");
    ASSERT_GE(index, 0);
    stop_video();
    EXPECT_EQ(video_create_mode(index), nullptr);
}

TEST_F(VideoDDrawTest, OnAPlainDesktopFlippedFramesShowInTheWindow)
{
    display.add_mode(32, 320, 240, 60);
    configure_default();
    ASSERT_EQ(start_video(), 1);
    for (const char* n : {"DD32", "DD16", "DD15_L"}) {
        EXPECT_GE(video_find_driver(n), 0) << n;
    }
    EXPECT_EQ(video_find_driver("DD24"), -1);

    VideoDDraw* const v = create("DD16");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->init_mode(320, 240), 1);
    EXPECT_EQ(window_rect().width, 320);
    EXPECT_EQ(window_rect().height, 240);
    ASSERT_NE(cvar_list->find("MMX"), nullptr);
    ASSERT_EQ(cvar_list->find("MMX")->set_bool(0), 1);
    v->begin_frame();
    draw_pattern(v, 3);
    v->end_frame();
    std::vector<uint32_t> shown(320 * 240);
    ASSERT_TRUE(host::window_read_pixels(0, 0, 320, 240, shown.data()));
    // Each channel keeps its top bits, widened again by repeating them.
    const auto widen = [](uint32_t value, int bits) { return (value << (8 - bits)) | (value >> (2 * bits - 8)); };
    for (const int y : {0, 1, 117, 239}) {
        for (const int x : {0, 5, 160, 319}) {
            const uint32_t p = v->shadow_buffer[y * 320 + x];
            const uint32_t expected = widen((p >> 19) & 0x1F, 5) << 16 | widen((p >> 10) & 0x3F, 6) << 8 |
                                      widen((p >> 3) & 0x1F, 5);
            EXPECT_EQ(shown[static_cast<size_t>(y * 320 + x)], expected) << x << "," << y;
        }
    }
    video_destroy_mode(v);
}
