// The demo game: what the build writes into its base directory, and the
// program playing the level headless through the scripted walk of main.cfg,
// which must end in the engine's orderly shutdown (not its time-out) with a
// screenshot that shows the level and what the scripts put into it.
#include "demo_run.h"
#include "support/bmp_shot.h"
#include "tools/sound/module_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using demo_run::read_file;

class DemoGame : public ::testing::Test {
protected:
    static fs::path base() { return OSTREL_DEMO_BASE; }
};

TEST_F(DemoGame, TheBaseHoldsTheLevelAndEverythingItUses)
{
    const char* const files[] = {"main.cfg",
                                 "small.fnt",
                                 "initial.ksv",
                                 "k/koblist.txt",
                                 "k/game.kob",
                                 "maps/demo/geometry.txt",
                                 "maps/demo/volume.txt",
                                 "maps/demo/lightmap.bin",
                                 "maps/demo/pvs.bin",
                                 "models/walker.txt",
                                 "models/walker.tmm",
                                 "models/demo/cube.tmm",
                                 "models/demo/door.tmm",
                                 "models/demo/steps.tmm",
                                 "models/demo/door.txt",
                                 "models/demo/steps.txt",
                                 "textures/sprites/glow.cmt",
                                 "pictures/size04/marker.cic",
                                 "sounds/hum.wav",
                                 "sounds/step.wav",
                                 "sounds/door.wav",
                                 "sounds/chime.wav",
                                 "music/demo.s3m"};
    for (const char* f : files) {
        EXPECT_TRUE(fs::is_regular_file(base() / f)) << f;
    }
    for (const char* wav : {"hum", "step", "door", "chime"}) {
        const std::string bytes = read_file(base() / "sounds" / (std::string(wav) + ".wav"));
        ASSERT_GT(bytes.size(), 44u) << wav;
        EXPECT_EQ(bytes.substr(0, 4), "RIFF") << wav;
        EXPECT_EQ(bytes.substr(8, 4), "WAVE") << wav;
    }
    const std::string config = read_file(base() / "main.cfg");
    for (const char* line : {"Connect local", "Map demo", "Set Client_Administrator True", "ScreenShot"}) {
        EXPECT_NE(config.find(line), std::string::npos) << line;
    }
}

TEST_F(DemoGame, TheMusicIsOurTuneAndNotSilent)
{
    tools::ModuleRender render;
    ASSERT_TRUE(render.open((base() / "music" / "demo.s3m").string().c_str(), 22050));
    std::vector<int16_t> frames;
    ASSERT_EQ(render.render(frames, 2 * 22050), 2 * 22050);
    double sum = 0.0;
    for (const int16_t s : frames) {
        sum += static_cast<double>(s) * s;
    }
    const double rms = std::sqrt(sum / static_cast<double>(frames.size()));
    EXPECT_GT(rms, 500.0) << "the tune is heard";
    EXPECT_LT(rms, 20000.0) << "and does not clip throughout";
}

TEST_F(DemoGame, AHeadlessRunWalksTheLevelShootsItAndShutsDownInOrder)
{
    const fs::path run = demo_run::scratch_folder("demo_game");
    demo_run::copy_base(run / "kavrin");
    // The time-out only keeps a hung program from holding the suite: the
    // orderly shutdown takes well under a second.
    const std::string command = "OSTREL_FRAMES=300 timeout 120 sh -c \"" +
                                demo_run::program_command(run, "-log -set S_FrameTicks 1 -width 640 -height 480") +
                                "\"";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << read_file(run / "out.txt");
    EXPECT_EQ(WEXITSTATUS(status), 0) << read_file(run / "out.txt");

    const std::string log = read_file(run / "kavrin.log");
    EXPECT_NE(log.find("Server: Loading map 'demo'"), std::string::npos) << log;
    EXPECT_NE(log.find("Client: Loading map 'demo'"), std::string::npos) << log;
    EXPECT_NE(log.find("Log: Shutting down..."), std::string::npos) << log;
    EXPECT_EQ(log.find("Shutdown: Timeout"), std::string::npos) << "every client was let go at once:\n" << log;
    // Nothing went wrong but, on a busy machine, the UDP port being taken.
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const bool trouble = line.rfind("Error: ", 0) == 0 || line.rfind("Warning: ", 0) == 0 ||
                             line.rfind("Fatal: ", 0) == 0;
        const bool port = line.find("UDP") != std::string::npos || line.find("Datagram") != std::string::npos;
        EXPECT_FALSE(trouble && !port) << line;
    }

    Shot shot;
    ASSERT_TRUE(shot.read(read_file(run / "kavrin" / "shots" / "kvr00000.bmp")));
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 480);
    const int below_text = 100; // the console's notify lines stand above
    const int pixels = shot.width * (shot.height - below_text);
    const int lit = shot.count(below_text, [](int r, int g, int b) { return r + g + b > 36; });
    EXPECT_GT(lit, pixels * 8 / 10) << "walls and floor, lit, fill the view";
    const int bricks = shot.count(below_text, [](int r, int g, int b) { return r > g + 20 && r > b + 20; });
    EXPECT_GT(bricks, pixels / 5) << "the rooms' brick walls";
    const int water = shot.count(0, [](int r, int g, int b) { return b > 200 && g > 150 && r < 170; });
    EXPECT_GT(water, 200) << "the fountain's blue drops";
    const int glow = shot.count(0, [](int r, int g, int b) { return r > 200 && g > 150 && b < 140; });
    EXPECT_GT(glow, 50) << "the glow over the fountain";
    // The markers are orange, the floor round them a dim grey-brown.
    const auto marker = [](int r, int, int b) { return r > 100 && r > b + 60; };
    EXPECT_GT(shot.count_in(0, 420, 60, 480, marker), 80) << "the marker icon at the bottom left";
    EXPECT_GT(shot.count_in(580, 420, 640, 480, marker), 80) << "the marker icon at the bottom right";

    std::error_code ignored;
    fs::remove_all(run, ignored);
}

// With the world's ticks a frame fixed, the headless walk is the same in
// every run however fast each frame goes: the client's clock, its random
// draws among the server's and the pacing of updates follow the ticks, so the
// screenshots are equal byte for byte. Two runs side by side on a busy
// machine differ in their frames' wall times.
TEST_F(DemoGame, TwoHeadlessRunsWriteTheSameScreenshot)
{
    fs::path runs[2];
    std::string commands;
    for (int i = 0; i < 2; ++i) {
        runs[i] = demo_run::scratch_folder("demo_repeat");
        demo_run::copy_base(runs[i] / "kavrin");
        commands += "(OSTREL_FRAMES=300 timeout 120 sh -c \"" +
                    demo_run::program_command(runs[i], "-log -set S_FrameTicks 1 -width 640 -height 480") +
                    "\") & ";
    }
    const int status = std::system((commands + "wait").c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(runs[0] / "out.txt");
    const std::string first = read_file(runs[0] / "kavrin" / "shots" / "kvr00000.bmp");
    const std::string second = read_file(runs[1] / "kavrin" / "shots" / "kvr00000.bmp");
    ASSERT_GT(first.size(), 640u * 480u * 3u) << read_file(runs[0] / "out.txt");
    ASSERT_EQ(first.size(), second.size());
    size_t differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        differing += first[i] != second[i] ? 1 : 0;
    }
    EXPECT_EQ(differing, 0u) << "bytes of the two screenshots differ";
    std::error_code ignored;
    for (const fs::path& run : runs) {
        fs::remove_all(run, ignored);
    }
}

} // namespace
