// The OpenGL program on the demo base: it opens its mode on llvmpipe, starts
// GL and names the driver, takes keys and console commands, draws frames and
// writes a screen shot read back from the frame; its console key opens the
// console over the 2-D layer.
#include "demo_session.h"

#include "client/client.h"
#include "client/client_renderer.h"
#include "core/console.h"
#include "core/text_screen.h"
#include "engine/engine.h"
#include "platform/video_mode.h"
#include "support/bmp_shot.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t VK_F12 = 0x7B;
constexpr uint32_t SCAN_F12 = 0x58;
constexpr uint32_t VK_TILDE = 0xC0; // the key left of 1
constexpr uint32_t SCAN_TILDE = 0x29;

class GLProgram : public e2e::DemoSession {
protected:
    void start_program()
    {
        ASSERT_NO_FATAL_FAILURE(start({"-width", "320", "-height", "240"}));
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

TEST_F(GLProgram, TheConsoleKeyOpensTheConsoleAndTheShotShowsItsText)
{
    ASSERT_NO_FATAL_FAILURE(start_program());
    run("Call keys.cfg");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    // The font's strokes are a light grey that neither demo picture holds:
    // such pixels in rows y0..y1 of a shot.
    const auto text_pixels = [this](const char* name, int y0, int y1) {
        Shot shot;
        EXPECT_TRUE(fs::exists(folder_ / "kavrin" / "shots" / name)) << name;
        std::ifstream in(folder_ / "kavrin" / "shots" / name, std::ios::binary);
        EXPECT_TRUE(shot.read(std::string{std::istreambuf_iterator<char>(in), {}})) << name;
        int n = 0;
        for (int y = y0; y < y1 && y < shot.height; ++y) {
            for (int x = 0; x < shot.width; ++x) {
                const uint8_t* const p = &shot.rgb[3 * (static_cast<size_t>(y) * shot.width + x)];
                n += p[0] >= 200 && p[0] == p[1] && p[0] == p[2] ? 1 : 0;
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

} // namespace
