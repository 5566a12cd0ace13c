// The OpenGL program on the demo base: it opens its mode on llvmpipe, starts
// GL and names the driver, takes keys and console commands, draws frames and
// writes a screen shot read back from the frame; its console key opens the
// console over the 2-D layer.
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "client/client_renderer.h"
#include "core/console.h"
#include "core/text_screen.h"
#include "engine/engine.h"
#include "platform/video_mode.h"
#include "support/bmp_shot.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t VK_F12 = 0x7B;
constexpr uint32_t VK_TILDE = 0xC0; // the key left of 1

class GLProgram : public e2e::DemoSession {
protected:
    void start_program(const char* width = "320", const char* height = "240")
    {
        ASSERT_NO_FATAL_FAILURE(start({"-width", width, "-height", height}));
        ASSERT_NE(client().video_mode(), nullptr) << "no mode opened";
        ASSERT_NE(client().renderer(), nullptr);
        ASSERT_TRUE(client().renderer()->has_screen());
        ASSERT_TRUE(client().renderer()->has_projection());
    }

    std::vector<uint8_t> file_bytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A shot of the frame as the program writes it: a 320 x 240 bitmap.
    void expect_shot(const fs::path& shot)
    {
        ASSERT_TRUE(fs::exists(shot)) << shot;
        const std::vector<uint8_t> b = file_bytes(shot);
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        const auto le32 = [&b](size_t at) {
            return static_cast<size_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
        };
        EXPECT_EQ(le32(18), 320u);
        EXPECT_EQ(le32(22), 240u);
        const size_t bits = b[28] | b[29] << 8;
        EXPECT_EQ(b.size(), le32(10) + 320u * 240u * bits / 8u);
    }

    Shot read_shot(const char* name)
    {
        Shot shot;
        const fs::path path = folder_ / "kavrin" / "shots" / name;
        EXPECT_TRUE(fs::exists(path)) << name;
        std::ifstream in(path, std::ios::binary);
        EXPECT_TRUE(shot.read(std::string{std::istreambuf_iterator<char>(in), {}})) << name;
        return shot;
    }

    // The font's strokes are a light grey that neither demo picture nor the
    // demo level holds.
    static bool stroke(const Shot& shot, int x, int y)
    {
        if (x < 0 || y < 0 || x >= shot.width || y >= shot.height) {
            return false;
        }
        const uint8_t* const p = &shot.rgb[3 * (static_cast<size_t>(y) * shot.width + x)];
        return p[0] >= 200 && p[0] == p[1] && p[0] == p[2];
    }

    // The shot's pixels as red, green, blue words, top row first.
    std::vector<uint32_t> shot_pixels(const fs::path& shot)
    {
        const std::vector<uint8_t> b = file_bytes(shot);
        std::vector<uint32_t> out;
        if (b.size() < 54) {
            return out;
        }
        const size_t offset = b[10] | b[11] << 8 | b[12] << 16;
        const size_t bytes = (b[28] | b[29] << 8) / 8u;
        const size_t stride = (320u * bytes + 3u) & ~size_t{3};
        if (bytes < 3 || offset + stride * 240u > b.size()) {
            return out;
        }
        for (size_t y = 0; y < 240; ++y) {
            const uint8_t* row = b.data() + offset + stride * (239u - y);
            for (size_t x = 0; x < 320; ++x) {
                const uint8_t* p = row + bytes * x;
                out.push_back(static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0]);
            }
        }
        return out;
    }
};

TEST_F(GLProgram, OpensItsModeNamesTheDriverAndRunsFrames)
{
    ::testing::internal::CaptureStdout();
    start_program();
    const std::string text = ::testing::internal::GetCapturedStdout();
    ASSERT_FALSE(HasFatalFailure()) << text;
    EXPECT_EQ(client().video_mode()->xres, 320);
    EXPECT_EQ(client().video_mode()->yres, 240);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(frame(), 1) << "frame " << i;
    }
    for (const char* line : {"OpenGL vendor: ", "OpenGL renderer: ", "OpenGL version: ", "OpenGL extensions: "}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST_F(GLProgram, KeysAndConsoleCommandsTakeShotsAndQuitEndsIt)
{
    ASSERT_NO_FATAL_FAILURE(start_program());
    run("Call keys.cfg");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    key(VK_F12, SCAN_F12, true);
    key(VK_F12, SCAN_F12, false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    expect_shot(folder_ / "kavrin" / "shots" / "kvr00000.bmp");
    run("ScreenShot");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    expect_shot(folder_ / "kavrin" / "shots" / "kvr00001.bmp");
    run("Quit");
    int frames = 0;
    while (frames < 10 && frame() == 1) {
        ++frames;
    }
    EXPECT_LT(frames, 10) << "Quit ended the engine";
}

// The demo level drawn: with flat colours each polygon shows its own, and
// without textures the lightmaps show; either way the room fills the view
// the camera starts with (the frame is never the cleared black one).
TEST_F(GLProgram, DrawsTheDemoLevel)
{
    ASSERT_NO_FATAL_FAILURE(start_program());
    // Only a cheater may change the drawing variables.
    run("Set Client_Administrator True\nSet Client_Cheater True");
    ASSERT_EQ(frame(), 1);
    run("Connect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300)) << "no camera on the demo map";
    const struct {
        const char* settings;
        size_t min_colours;
    } looks[] = {{"Set R_Flat True", 20}, {"Set R_Flat False\nSet R_Texture False", 50}};
    int shot = 0;
    for (const auto& look : looks) {
        run(look.settings);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(frame(), 1);
        }
        run("ScreenShot");
        ASSERT_EQ(frame(), 1);
        ASSERT_EQ(frame(), 1);
        char name[32];
        std::snprintf(name, sizeof name, "kvr%05d.bmp", shot++);
        const fs::path path = folder_ / "kavrin" / "shots" / name;
        ASSERT_NO_FATAL_FAILURE(expect_shot(path));
        const std::vector<uint32_t> pixels = shot_pixels(path);
        ASSERT_EQ(pixels.size(), 320u * 240u);
        // The band about the horizon, below the console's lines.
        std::set<uint32_t> colours;
        size_t lit = 0;
        size_t band = 0;
        for (size_t y = 90; y < 200; ++y) {
            for (size_t x = 0; x < 320; ++x) {
                const uint32_t c = pixels[y * 320 + x];
                colours.insert(c);
                lit += c != 0 ? 1 : 0;
                ++band;
            }
        }
        EXPECT_GT(lit, band * 9 / 10) << look.settings << ": the room covers the view";
        EXPECT_GE(colours.size(), look.min_colours) << look.settings;
    }
}

TEST_F(GLProgram, TheConsoleKeyOpensTheConsoleAndTheShotShowsItsText)
{
    ASSERT_NO_FATAL_FAILURE(start_program());
    run("Call keys.cfg");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    // Stroke pixels in rows y0..y1 of a shot.
    const auto text_pixels = [this](const char* name, int y0, int y1) {
        const Shot shot = read_shot(name);
        int n = 0;
        for (int y = y0; y < y1 && y < shot.height; ++y) {
            for (int x = 0; x < shot.width; ++x) {
                n += stroke(shot, x, y) ? 1 : 0;
            }
        }
        return n;
    };
    run("ScreenShot");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    Console& console = *client().console();
    ASSERT_EQ(console.shown(), 0);
    key(VK_TILDE, SCAN_TILDE, true);
    key(VK_TILDE, SCAN_TILDE, false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    ASSERT_EQ(console.shown(), 1) << "opened";
    run("ScreenShot");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    // The latest message stands on the first line either way; the input
    // line's prompt on the last one only while the console is open.
    TextScreen* const screen = client().renderer()->text_screen();
    ASSERT_NE(screen, nullptr);
    ASSERT_GT(screen->text_rows(), 0);
    const int line = 240 / screen->text_rows();
    EXPECT_GT(text_pixels("kvr00000.bmp", 0, line), 20) << "message line, closed";
    EXPECT_GT(text_pixels("kvr00001.bmp", 0, line), 20) << "message line, open";
    EXPECT_EQ(text_pixels("kvr00000.bmp", 240 - 2 * line, 240), 0) << "no prompt while closed";
    EXPECT_GT(text_pixels("kvr00001.bmp", 240 - 2 * line, 240), 0) << "the prompt while open";
}

// A mode larger than the window the program opens first (500 x 340): the
// frame is drawn over the whole screen, not into that window's old corner
// with the rest left unread. The message lines show the font's glyphs, whose
// strokes join up, and the level fills the rows below them out to the right.
TEST_F(GLProgram, AModeLargerThanTheFirstWindowDrawsTheWholeScreen)
{
    ASSERT_NO_FATAL_FAILURE(start_program("640", "480"));
    ASSERT_EQ(client().video_mode()->xres, 640);
    ASSERT_EQ(client().video_mode()->yres, 480);
    // Only an administrator may change the map.
    run("Set Client_Administrator True");
    ASSERT_EQ(frame(), 1);
    run("Connect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300)) << "no camera on the demo map";
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    run("ScreenShot");
    ASSERT_EQ(frame(), 1);
    ASSERT_EQ(frame(), 1);
    const Shot shot = read_shot("kvr00000.bmp");
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 480);

    TextScreen* const screen = client().renderer()->text_screen();
    ASSERT_NE(screen, nullptr);
    ASSERT_GT(screen->text_rows(), 0);
    const int line = 480 / screen->text_rows();
    // Each message line: glyph strokes, most of them touching another.
    for (int row = 0; row < 3; ++row) {
        int strokes = 0;
        int joined = 0;
        for (int y = row * line; y < (row + 1) * line; ++y) {
            for (int x = 0; x < 640; ++x) {
                if (!stroke(shot, x, y)) {
                    continue;
                }
                ++strokes;
                bool touches = false;
                for (int dy = -1; dy <= 1 && !touches; ++dy) {
                    for (int dx = -1; dx <= 1 && !touches; ++dx) {
                        touches = (dx != 0 || dy != 0) && stroke(shot, x + dx, y + dy);
                    }
                }
                joined += touches ? 1 : 0;
            }
        }
        EXPECT_GT(strokes, 40) << "message line " << row;
        EXPECT_GT(joined, strokes * 3 / 4) << "message line " << row;
    }

    // Below the message lines (ten of them and a margin), across the whole
    // width: the level, lit, with the smooth shading of walls and floor
    // rather than noise.
    const struct {
        const char* name;
        int x0, x1, y0, y1;
    } areas[] = {{"rows below the text", 0, 640, 12 * line, 480}, {"right-hand columns", 520, 640, 12 * line, 480}};
    for (const auto& area : areas) {
        size_t pixels = 0;
        size_t lit = 0;
        size_t jumps = 0;
        for (int y = area.y0; y < area.y1; ++y) {
            for (int x = area.x0; x < area.x1; ++x) {
                const uint8_t* const p = &shot.rgb[3 * (static_cast<size_t>(y) * 640 + x)];
                ++pixels;
                lit += p[0] + p[1] + p[2] > 0 ? 1 : 0;
                if (x > area.x0) {
                    for (int c = 0; c < 3; ++c) {
                        if (std::abs(p[c] - p[c - 3]) > 96) {
                            ++jumps;
                            break;
                        }
                    }
                }
            }
        }
        EXPECT_GT(lit, pixels * 95 / 100) << area.name;
        EXPECT_LT(jumps, pixels / 50) << area.name;
    }
}

} // namespace
