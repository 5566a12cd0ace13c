// The screen after a fixed script of inputs on the demo level, drawn by the
// software renderer and saved with ScreenShot, equals the approved image
// byte for byte. Everything the picture depends on is fixed: the injected
// clock, the inputs through the window's event queue at set frames, the
// loopback connection, the level and the screen's size. The engine's random
// table is filled once a process from a fixed seed, so the session is played
// in two processes of its own (the test runs itself again) and must draw the
// same picture in both before it is held against the approved one.
//
// OSTREL_UPDATE_APPROVED=1 writes tests/fixtures/e2e/demo_walk.bmp anew (do
// so when the demo level changes, and look at it before committing it).
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "engine/engine.h"
#include "host/host_process.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr const char* CHILD_VARIABLE = "OSTREL_E2E_SHOT";
constexpr uint32_t VK_RIGHT = 0x27;

std::vector<uint8_t> file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string file_text(const fs::path& path)
{
    const std::vector<uint8_t> bytes = file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The shot's pixels, from a 24-bit bottom-up BMP; empty when it is not one.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first
    const uint8_t* at(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))]; }
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

Frame decode_bmp(const std::vector<uint8_t>& b)
{
    Frame f;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || b[28] != 24) {
        return f;
    }
    const uint32_t offset = le32(b, 10);
    const int w = static_cast<int>(le32(b, 18));
    const int h = static_cast<int>(le32(b, 22));
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || offset + stride * static_cast<size_t>(h) > b.size()) {
        return f;
    }
    f.width = w;
    f.height = h;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = b.data() + offset + stride * static_cast<size_t>(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            f.rgb.insert(f.rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return f;
}

// What the scripted walk must show, known from the level, the demo's pictures
// and the screen layout rather than from the approved picture.
void expect_the_walk_frame(const Frame& f)
{
    ASSERT_EQ(f.width, 320);
    ASSERT_EQ(f.height, 240);
    auto count = [&](int y0, int y1, int x0, int x1, auto&& is) {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                n += is(f.at(x, y)) ? 1 : 0;
            }
        }
        return n;
    };
    const auto text = [](const uint8_t* c) { return c[0] == 224 && c[1] == 224 && c[2] == 224; };
    const auto sky = [](const uint8_t* c) { return c[2] > c[0] + 40; };
    const auto brick = [](const uint8_t* c) { return c[0] > c[2] + 15; };
    const auto grey = [](const uint8_t* c) { return std::abs(c[0] - c[2]) < 16 && std::abs(c[0] - c[1]) < 16; };
    const auto marker = [](const uint8_t* c) { return c[0] - c[2] > 100; };

    std::set<uint32_t> colours;
    for (size_t i = 0; i < f.rgb.size(); i += 3) {
        colours.insert(static_cast<uint32_t>(f.rgb[i]) << 16 | static_cast<uint32_t>(f.rgb[i + 1]) << 8 | f.rgb[i + 2]);
    }
    EXPECT_GT(colours.size(), 1000u) << "a textured, lit room, not a blank or flat frame";

    // The console's seven lines of 11 rows in its text colour, and no text below them.
    int lines = 0;
    for (int i = 0; i < 7; ++i) {
        lines += count(11 * i, 11 * i + 11, 0, 320, text) > 50 ? 1 : 0;
    }
    EXPECT_GE(lines, 6) << "console lines at the top";
    EXPECT_EQ(count(80, 240, 0, 320, text), 0) << "console text below its lines";

    // Looking level down the corridor: sky through the opening above the
    // horizon, brick walls around it, the grey floor below; never sky below.
    EXPECT_GT(count(12, 53, 0, 320, sky), 3000) << "sky above the horizon";
    EXPECT_EQ(count(130, 240, 0, 320, sky), 0) << "sky below the horizon";
    EXPECT_GT(count(76, 117, 0, 320, brick), 41 * 320 / 2) << "brick walls at eye height";
    EXPECT_EQ(count(172, 216, 0, 320, grey), 44 * 320) << "only the grey floor near the feet";

    // The two orange markers, 15 pixels square at (500, 17500) and (23900, 17500)
    // of 25600 x 19200: centred in their boxes, transparent at the box corners,
    // and nothing orange elsewhere near the floor.
    for (const double left : {500.0 * 320 / 25600, 23900.0 * 320 / 25600}) {
        const double top = 17500.0 * 240 / 19200;
        const int x0 = static_cast<int>(left);
        const int y0 = static_cast<int>(top);
        double sx = 0;
        double sy = 0;
        int n = 0;
        for (int y = y0; y < y0 + 16; ++y) {
            for (int x = x0; x < x0 + 16; ++x) {
                if (marker(f.at(x, y))) {
                    sx += x;
                    sy += y;
                    ++n;
                }
            }
        }
        ASSERT_GT(n, 10) << "marker at x " << left;
        EXPECT_NEAR(sx / n, left + 7.5, 1.5) << "marker at x " << left;
        EXPECT_NEAR(sy / n, top + 7.5, 1.5) << "marker at x " << left;
        for (const auto& [x, y] : {std::pair{x0, y0}, std::pair{x0 + 14, y0}, std::pair{x0, y0 + 14}, std::pair{x0 + 14, y0 + 14}}) {
            EXPECT_FALSE(marker(f.at(x, y))) << "the marker's transparent corner at " << x << ", " << y;
        }
    }
    EXPECT_EQ(count(172, 240, 0, 320, marker), count(218, 235, 6, 22, marker) + count(218, 235, 298, 314, marker))
        << "orange only in the markers";
}

class ApprovedScreen : public e2e::DemoSession {
protected:
    // The scripted session; the bytes of its screenshot.
    std::vector<uint8_t> scripted_shot();
};

std::vector<uint8_t> ApprovedScreen::scripted_shot()
{
    clock_.set_micros(1000000);
    events_.clear();
    fs::remove_all(folder_ / "kavrin" / "shots");
    start({"-width", "320", "-height", "240"});
    if (HasFatalFailure()) {
        return {};
    }
    run("Set Client_Administrator True\nKeyDef W Forward\nKeyDef Right HeadingRight\nConnect local\nWait 5\n"
        "Map demo");
    EXPECT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    // Forward for a second, then forward and turning for half a second, then still.
    key('W', SCAN_W, true);
    for (int i = 0; i < 70; ++i) {
        frame();
    }
    key(VK_RIGHT, SCAN_RIGHT, true, true);
    for (int i = 0; i < 35; ++i) {
        frame();
    }
    key('W', SCAN_W, false);
    key(VK_RIGHT, SCAN_RIGHT, false, true);
    for (int i = 0; i < 35; ++i) {
        frame();
    }
    run("ScreenShot");
    frame();
    frame();
    engine_.reset();
    const fs::path shot = folder_ / "kavrin" / "shots" / "kvr00000.bmp";
    EXPECT_TRUE(fs::exists(shot)) << shot;
    return file_bytes(shot);
}

TEST_F(ApprovedScreen, TheScriptedWalkDrawsTheApprovedPicture)
{
    if (const char* const out = std::getenv(CHILD_VARIABLE); out != nullptr) {
        const std::vector<uint8_t> shot = scripted_shot();
        std::ofstream(out, std::ios::binary)
            .write(reinterpret_cast<const char*>(shot.data()), static_cast<std::streamsize>(shot.size()));
        return;
    }
    char self[4096];
    ASSERT_TRUE(host::program_path(self, sizeof self));
    std::vector<uint8_t> shots[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path out = folder_ / ("shot" + std::to_string(i) + ".bmp");
        const std::string command = std::string("timeout 60 env ") + CHILD_VARIABLE + "='" + out.string() + "' '" +
                                    self + "' --gtest_filter=ApprovedScreen.* > '" + out.string() + ".log' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << file_text(out.string() + ".log");
        shots[i] = file_bytes(out);
    }
    const std::vector<uint8_t>& first = shots[0];
    ASSERT_GT(first.size(), 320u * 240u * 3u);
    ASSERT_TRUE(first == shots[1]) << "the same session drew two pictures: something in it is not fixed";
    expect_the_walk_frame(decode_bmp(first));

    const fs::path approved = fs::path(std::getenv("OSTREL_SOURCE_DIR")) / "tests/fixtures/e2e/demo_walk.bmp";
    if (std::getenv("OSTREL_UPDATE_APPROVED") != nullptr) {
        fs::create_directories(approved.parent_path());
        std::ofstream(approved, std::ios::binary)
            .write(reinterpret_cast<const char*>(first.data()), static_cast<std::streamsize>(first.size()));
    }
    const std::vector<uint8_t> expected = file_bytes(approved);
    ASSERT_EQ(expected.size(), first.size()) << approved;
    size_t differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        differing += first[i] != expected[i] ? 1 : 0;
    }
    if (differing != 0) {
        const fs::path seen = fs::temp_directory_path() / "ostrel_demo_walk_seen.bmp";
        std::ofstream(seen, std::ios::binary)
            .write(reinterpret_cast<const char*>(first.data()), static_cast<std::streamsize>(first.size()));
        ADD_FAILURE() << differing << " bytes differ from " << approved << "; the picture drawn is in " << seen
                      << " (OSTREL_UPDATE_APPROVED=1 approves it, when the demo level changed)";
    }
}

} // namespace
