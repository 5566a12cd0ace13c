#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "engine/engine.h"
#include "engine/entry.h"
#include "host/host_clock.h"
#include "server/server.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string read_file(const char* name)
{
    std::ifstream in(name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Tagged {
    uint32_t tag;
    std::string text;
};

void collect_tagged(uint32_t tag, const char* text, uintptr_t context)
{
    reinterpret_cast<std::vector<Tagged>*>(context)->push_back({tag, text});
}

// Each test runs in a folder of its own: tests run in parallel processes and
// the engine writes "kavrin.log" and reads "main.opt" in the current folder.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::current_path() / (std::string("engine_") + info->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override
    {
        player_.reset();
        delete engine_;
        set_tagged_hook(nullptr, 0);
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }

    int start(std::vector<const char*> args)
    {
        args.insert(args.begin(), "ostrel");
        engine_ = new Engine;
        return engine_->init(static_cast<int>(args.size()), args.data());
    }

    ConfigVariable* var(const char* name) { return cvar_list->find(name); }

    // The client's frame asks to quit while a player is still in the world: a
    // fake client spawned into a generated map, whose scripts never take it
    // out when it logs out.
    bool quit_with_client_connected()
    {
        if (!write_world() || start({}) != 1 || engine_->server()->start_map("snake", nullptr) != 1) {
            return false;
        }
        player_ = std::make_unique<fake_client::FakeClient>(engine_->hive(), "local");
        for (int n = 0; n < 50 && player_slot() < 0; ++n) {
            if (player_->connect()) {
                player_->receive();
                player_->send_input();
                player_->flush();
            }
            clock_.advance_seconds(0.02);
            engine_->frame();
        }
        if (player_slot() < 0) {
            return false;
        }
        // A whole second on the engine clock, so that the shutdown's time-out
        // is measured between times the clock holds exactly.
        clock_.set_micros(10000000);
        var("Quit")->set_bool(1);
        return true;
    }

    // The slot of the spawned or logging-out player, or -1.
    int player_slot() const
    {
        const Server* const s = engine_->server();
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            const int state = s->client[c].state;
            if (state == SCSTATE_SPAWNED || state == SCSTATE_LOGGINGOUT) {
                return c;
            }
        }
        return -1;
    }

    // A map and a script that spawns every client, under the base "kavrin".
    bool write_world() const
    {
        mapgen::MapFiles files;
        std::string error;
        std::ifstream rooms(std::string(std::getenv("OSTREL_SOURCE_DIR")) + "/tools/mapgen/maps/snake4x4.rooms");
        std::stringstream text;
        text << rooms.rdbuf();
        if (!mapgen::generate_map(text.str(), files, error) ||
            !mapgen::write_map_directory(files, (folder_ / "kavrin/maps/snake").string(), error)) {
            return false;
        }
        const kasm::Assembly a = kasm::assemble(std::string(".global spawnclient, archive\n.code\n"
                                                            ".func spawnclient, 8\n push 1\n ret1\n"
                                                            ".func archive, 8\n push 0\n ret1\n") +
                                                kasm::OBJECT_BASE_SOURCE);
        if (!a.ok()) {
            return false;
        }
        const std::vector<uint8_t> kob = a.bytes();
        std::filesystem::create_directories(folder_ / "kavrin/k");
        std::ofstream(folder_ / "kavrin/k/game.kob", std::ios::binary)
            .write(reinterpret_cast<const char*>(kob.data()), static_cast<std::streamsize>(kob.size()));
        std::ofstream(folder_ / "kavrin/k/koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
        std::ofstream(folder_ / "kavrin/initial.ksv").flush();
        return true;
    }

    std::filesystem::path folder_;
    std::filesystem::path previous_;
    host::ManualClock clock_;
    host::ScopedClock scoped_{&clock_};
    Engine* engine_ = nullptr;
    std::unique_ptr<fake_client::FakeClient> player_;
};

} // namespace

TEST_F(EngineFixture, TitleNamesTheSystem)
{
    ASSERT_EQ(start({}), 1);
    EXPECT_STREQ(engine_->title(), "Ostrel -- Win32");
    delete engine_;
    engine_ = new Engine("OpenGL / Win32");
    const char* argv[] = {"ostrel_gl"};
    ASSERT_EQ(engine_->init(1, argv), 1);
    EXPECT_STREQ(engine_->title(), "Ostrel -- OpenGL / Win32");
}

TEST_F(EngineFixture, StatisticLinesFollowFps)
{
    ASSERT_EQ(start({"-set", "FPS", "7"}), 1);
    std::vector<Tagged> lines;
    set_tagged_hook(collect_tagged, reinterpret_cast<uintptr_t>(&lines));
    clock_.advance_seconds(0.02);
    engine_->frame();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].tag, make_tag("FPS0"));
    EXPECT_EQ(lines[4].tag, make_tag("FPS4"));
    EXPECT_NE(lines[1].text.find("(1 sec)"), std::string::npos);
    EXPECT_NE(lines[4].text.find("(5 min)"), std::string::npos);

    lines.clear();
    var("FPS")->set_int(1);
    engine_->frame();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.rfind("FPS: ", 0), 0u);
    EXPECT_NE(lines[0].text.find(", max "), std::string::npos);

    lines.clear();
    var("FPS")->set_int(0);
    engine_->frame();
    EXPECT_TRUE(lines.empty());
}

TEST_F(EngineFixture, SmoothedFpsAndWindows)
{
    ASSERT_EQ(start({}), 1);
    for (int i = 0; i < 60; ++i) {
        clock_.advance_seconds(0.02);
        engine_->frame();
    }
    // 1.2 s at 50 frames per second: the 1-second window has closed once.
    const FpsWindow& w = engine_->fps_window(0);
    EXPECT_NEAR(w.average_fps, 51.0 / 1.02, 0.01);
    EXPECT_NEAR(w.maximum_fps, 50.0, 0.01);
    EXPECT_NEAR(w.minimum_fps, 50.0, 0.01);
    EXPECT_NEAR(engine_->smoothed_fps(), 50.0, 0.5);

    // A frame whose clock did not move counts, but changes nothing else.
    const double smoothed = engine_->smoothed_fps();
    const int frames = engine_->fps_window(1).frames;
    engine_->frame();
    EXPECT_EQ(engine_->smoothed_fps(), smoothed);
    EXPECT_EQ(engine_->fps_window(1).frames, frames + 1);
}

TEST_F(EngineFixture, QuitShutsDownInOrder)
{
    ASSERT_EQ(start({}), 1);
    PrintCapture capture;
    capture.show_all();
    EXPECT_EQ(engine_->frame(), 1);
    var("Quit")->set_bool(1);
    clock_.advance_seconds(0.01);
    EXPECT_EQ(engine_->frame(), 1);
    EXPECT_TRUE(engine_->shutting_down());
    EXPECT_EQ(capture.count("Shutting down..."), 1);
    // No client slot in use: the server's next frame ends the loop.
    clock_.advance_seconds(0.01);
    EXPECT_EQ(engine_->frame(), 0);
    EXPECT_EQ(capture.count("Shutting down..."), 1);
}

// The client's variables take their values from "-set" on the command line;
// "Quit" set there ends the program after its first frames.
TEST_F(EngineFixture, SetOnTheCommandLineReachesTheClientsVariables)
{
    struct Case {
        std::vector<const char*> args;
        bool quits;
    } const cases[] = {
        {{"-set", "Quit", "1"}, true},
        {{"-set", "quit", "True"}, true},
        {{"-set", "Quit", "0"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no -set" : c.args[2]);
        ASSERT_EQ(start(c.args), 1);
        ConfigVariable* const quit = var("Quit");
        ASSERT_NE(quit, nullptr);
        EXPECT_EQ(quit->type(), CVTYPE_BOOL);
        EXPECT_EQ(quit->flags() & ~CVFMASK_INTERNAL, 0u);
        EXPECT_EQ(quit->as_bool(), c.quits);
        int frames = 0;
        while (frames < 10 && engine_->frame() != 0) {
            clock_.advance_seconds(0.01);
            ++frames;
        }
        EXPECT_EQ(frames, c.quits ? 1 : 10);
        delete engine_;
        engine_ = nullptr;
    }
}

TEST_F(EngineFixture, ShutdownGivesUpAfterFifteenSeconds)
{
    ASSERT_TRUE(quit_with_client_connected());
    PrintCapture capture;
    capture.show_all();
    EXPECT_EQ(engine_->frame(), 1);
    int frames = 0;
    while (engine_->frame() != 0 && frames < 1000) {
        clock_.advance_seconds(0.5);
        ++frames;
    }
    EXPECT_EQ(frames, 31); // 15.5 s is the first time past 15.0 s
    EXPECT_EQ(capture.count("Shutdown: Timeout"), 1);
    EXPECT_EQ(capture.count("Shutting down..."), 1);
}

TEST_F(EngineFixture, ShutdownEndsWhenTheLastClientLeaves)
{
    ASSERT_TRUE(quit_with_client_connected());
    PrintCapture capture;
    capture.show_all();
    EXPECT_EQ(engine_->frame(), 1);
    for (int i = 0; i < 10; ++i) {
        clock_.advance_seconds(1.0);
        EXPECT_EQ(engine_->frame(), 1) << i;
    }
    // The scripts take the player out, as their poll of a logging-out client does.
    const int slot = player_slot();
    ASSERT_GE(slot, 0);
    EXPECT_EQ(engine_->server()->client[slot].state, SCSTATE_LOGGINGOUT);
    engine_->server()->remove_script_client(slot);
    engine_->server()->begin_logout(slot);
    // One frame drops the slot, the next finds none in use.
    clock_.advance_seconds(1.0);
    EXPECT_EQ(engine_->frame(), 1);
    clock_.advance_seconds(1.0);
    EXPECT_EQ(engine_->frame(), 0);
    EXPECT_EQ(capture.count("Shutting down..."), 1);
    EXPECT_EQ(capture.count("Shutdown: Timeout"), 0);
}

TEST_F(EngineFixture, LogOptionsWriteHeaderAndRule)
{
    ASSERT_EQ(start({"-log"}), 1);
    print_string(P_IMPORTANT, "first run");
    delete engine_;
    engine_ = nullptr;
    ASSERT_EQ(start({"/Log_Append"}), 1);
    print_string(P_IMPORTANT, "second run");
    delete engine_;
    engine_ = nullptr;
    const std::string log = read_file("kavrin.log");
    const std::string rule = "-------------------------------------------------------\n\n";
    EXPECT_EQ(log.rfind("*** Kavrin started, ", 0), 0u);
    // Shutdown still logs (the heap's "Closing KHeap") between the last line and the rule.
    const size_t first = log.find("first run\n");
    EXPECT_NE(first, std::string::npos);
    const size_t restart = log.find(rule + "*** Kavrin started, ", first);
    EXPECT_NE(restart, std::string::npos);
    const size_t second = log.find("second run\n", restart);
    EXPECT_NE(second, std::string::npos);
    EXPECT_NE(log.find(rule, second), std::string::npos);
}

// Only error lines are flushed as they are written; every frame ends by
// flushing the rest, so that a program that is killed leaves its log.
TEST_F(EngineFixture, EachFrameLeavesItsLinesInTheLogFile)
{
    ASSERT_EQ(start({"-log"}), 1);
    print_string(P_IMPORTANT, "said before the frame");
    clock_.advance_seconds(0.02);
    ASSERT_EQ(engine_->frame(), 1);
    EXPECT_NE(read_file("kavrin.log").find("said before the frame\n"), std::string::npos) << read_file("kavrin.log");
    print_string(P_IMPORTANT, "said after it");
    EXPECT_EQ(read_file("kavrin.log").find("said after it"), std::string::npos) << "written only at the frame's end";
    clock_.advance_seconds(0.02);
    ASSERT_EQ(engine_->frame(), 1);
    EXPECT_NE(read_file("kavrin.log").find("said after it\n"), std::string::npos);
}

TEST_F(EngineFixture, MainOptFollowsTheRealArguments)
{
    {
        std::FILE* f = std::fopen("main.opt", "w");
        ASSERT_NE(f, nullptr);
        std::fputs("-set FPS 3\n-log\n", f);
        std::fclose(f);
    }
    ASSERT_EQ(start({"-set", "FPS", "2"}), 1);
    EXPECT_EQ(var("FPS")->as_int(), 2); // the real argument comes first
    delete engine_;
    engine_ = nullptr;
    EXPECT_EQ(read_file("kavrin.log").rfind("*** Kavrin started, ", 0), 0u);
    std::remove("main.opt");
}

TEST_F(EngineFixture, BaseIsForcedAndShutdownReleasesEverything)
{
    ASSERT_EQ(start({"-set", "Base", "elsewhere"}), 1);
    EXPECT_STRNE(var("Base")->string(), "elsewhere");
    engine_->shutdown();
    EXPECT_EQ(cvar_list, nullptr);
    engine_->shutdown(); // twice is harmless
}

// A step of the start-up that fails names itself, and the program ends with a
// failure after taking down what it had made: the log gets its closing rule.
TEST_F(EngineFixture, FailedStartUpStepIsNamedAndUndone)
{
    const std::string driver = std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "";
    setenv("SDL_VIDEODRIVER", "no_such_video_driver", 1);
    setenv("OSTREL_NO_MESSAGE_BOX", "1", 1);
    ::testing::internal::CaptureStdout();
    const char* argv[] = {"ostrel", "-log"};
    const int result = program_main(2, argv, "Win32");
    const std::string out = ::testing::internal::GetCapturedStdout();
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);

    EXPECT_EQ(result, -1);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(cvar_list, nullptr);
    EXPECT_EQ(command_line, nullptr);
    EXPECT_NE(out.find("Error: Kavrin: Can't initialize OS specific stuff"), std::string::npos);
    const std::string log = read_file("kavrin.log");
    const std::string rule = "-------------------------------------------------------\n\n";
    EXPECT_NE(log.find("Error: Kavrin: Can't initialize OS specific stuff\n"), std::string::npos);
    ASSERT_GE(log.size(), rule.size());
    EXPECT_EQ(log.substr(log.size() - rule.size()), rule);
}
