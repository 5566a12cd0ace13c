// The screen after a fixed script of inputs on the demo level, drawn by the
// software renderer and saved with ScreenShot, equals the approved image
// byte for byte. Everything the picture depends on is fixed: the injected
// clock, the inputs through the window's event queue at set frames, the
// loopback connection, the level and the screen's size; so the session is
// played twice and must draw the same picture both times before it is held
// against the approved one.
//
// OSTREL_UPDATE_APPROVED=1 writes tests/fixtures/e2e/demo_walk.bmp anew (do
// so when the demo level changes, and look at it before committing it).
#include "demo_session.h"

#include "client/client.h"
#include "engine/engine.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t SCAN_W = 0x11;
constexpr uint32_t SCAN_RIGHT = 0x4D;

std::vector<uint8_t> file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
    key(VK_RIGHT, SCAN_RIGHT, true);
    for (int i = 0; i < 35; ++i) {
        frame();
    }
    key('W', SCAN_W, false);
    key(VK_RIGHT, SCAN_RIGHT, false);
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
    const std::vector<uint8_t> first = scripted_shot();
    ASSERT_FALSE(HasFailure());
    const std::vector<uint8_t> second = scripted_shot();
    ASSERT_FALSE(HasFailure());
    ASSERT_GT(first.size(), 320u * 240u * 3u);
    ASSERT_TRUE(first == second) << "the same session drew two pictures: something in it is not fixed";

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
