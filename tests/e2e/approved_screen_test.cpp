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

#include "client/client.h"
#include "engine/engine.h"
#include "host/host_process.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr const char* CHILD_VARIABLE = "OSTREL_E2E_SHOT";
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t SCAN_W = 0x11;
constexpr uint32_t SCAN_RIGHT = 0x4D;

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
