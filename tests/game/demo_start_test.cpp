// What a player meets when the program starts and ends: the greeting on a
// 640-pixel screen, start-up that names a missing or damaged font, a log
// that grows while the program runs, and termination signals that end it
// through the orderly shutdown.
#include "demo_run.h"
#include "tools/assets/small_font.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using demo_run::read_file;

// The text of every `Echo "..."` line of a command file.
std::vector<std::string> echoed(const std::string& commands)
{
    std::vector<std::string> lines;
    std::istringstream in(commands);
    for (std::string line; std::getline(in, line);) {
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (line.rfind("Echo ", 0) == 0 && open != std::string::npos && close > open) {
            lines.push_back(line.substr(open + 1, close - open - 1));
        }
    }
    return lines;
}

// The index of the first output line that holds `text`, or -1.
int line_of(const std::string& output, const std::string& text)
{
    std::istringstream in(output);
    int n = 0;
    for (std::string line; std::getline(in, line); ++n) {
        if (line.find(text) != std::string::npos) {
            return n;
        }
    }
    return -1;
}

TEST(DemoStart, TheGreetingFitsTheScreenAndSaysHowToCloseTheConsole)
{
    const fs::path base = OSTREL_DEMO_BASE;
    const std::vector<std::string> lines = echoed(read_file(base / "main.cfg"));
    ASSERT_GE(lines.size(), 2u);
    bool tells_escape = false;
    for (const std::string& line : lines) {
        // The console's font has one advance for every character.
        EXPECT_LE(static_cast<int>(line.size()) * tools::SMALL_FONT_ADVANCE, 640) << line;
        tells_escape = tells_escape || line.find("Escape closes") != std::string::npos;
        // The console's input line takes the key left of 1: only Escape closes it.
        EXPECT_EQ(line.find("or Escape close"), std::string::npos) << line;
    }
    EXPECT_TRUE(tells_escape) << "the greeting says how to close the console";
    // The console's input line takes the key that opens it; Escape reaches the bindings.
    const std::string keys = read_file(base / "keys.cfg");
    EXPECT_NE(keys.find("KeyDef Escape Console"), std::string::npos) << keys;
    EXPECT_NE(keys.find("KeyDef Tilde Console"), std::string::npos) << keys;
}

TEST(DemoStart, AFontThatIsMissingOrDamagedIsNamedBeforeTheScreenFails)
{
    const std::string font = read_file(fs::path(OSTREL_DEMO_BASE) / "small.fnt");
    ASSERT_GT(font.size(), 64u);
    struct Case {
        const char* what;
        bool present;
        std::string bytes;
        const char* message;
    } const cases[] = {
        {"missing", false, "", "Client: Can't find the font 'small.fnt'"},
        {"cut in its glyph records", true, font.substr(0, 40), "Client: The font 'small.fnt' is damaged"},
        {"cut in its pixels", true, font.substr(0, font.size() - 10), "Client: The font 'small.fnt' is damaged"},
        {"not a font", true, std::string(200, 'x'), "Client: The font 'small.fnt' is damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path run = demo_run::scratch_folder("demo_font");
        // Start-up stops at the screen, before anything else of the base is read.
        fs::create_directories(run / "kavrin");
        if (c.present) {
            std::ofstream(run / "kavrin" / "small.fnt", std::ios::binary) << c.bytes;
        }
        const int status = std::system(("OSTREL_FRAMES=5 timeout 60 sh -c \"" +
                                        demo_run::program_command(run, "-width 640 -height 480") + "\"")
                                           .c_str());
        const std::string out = read_file(run / "out.txt");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
        const int named = line_of(out, c.message);
        const int screen = line_of(out, "ScreenManager init error");
        EXPECT_GE(named, 0) << out;
        EXPECT_LT(named, screen) << out;
        EXPECT_LT(named, line_of(out, "Can't initialize video")) << out;
        std::error_code ignored;
        fs::remove_all(run, ignored);
    }
}

// The running program, started in its own process; with `sigint_ignored`
// as a shell starts a background job, which inherits SIGINT ignored.
class RunningDemo {
public:
    RunningDemo(const fs::path& folder, bool sigint_ignored) : folder_(folder)
    {
        const std::string command = demo_run::program_command(folder, "-log -width 320 -height 240");
        pid_ = fork();
        if (pid_ == 0) {
            if (sigint_ignored) {
                signal(SIGINT, SIG_IGN);
            }
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~RunningDemo()
    {
        if (running()) {
            kill(pid_, SIGKILL);
            (void)wait_for_end(100);
        }
    }
    bool started() const { return pid_ > 0; }
    bool running() const { return pid_ > 0 && status_ < 0; }
    // Polls the log until it holds `text`, at most `tries` times 50 ms.
    bool log_shows(const std::string& text, int tries) const
    {
        for (int i = 0; i < tries && running(); ++i) {
            if (read_file(folder_ / "kavrin.log").find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The exit status once the process ended, polled at most `tries` times 50 ms; -1 while it runs.
    int wait_for_end(int tries)
    {
        for (int i = 0; i < tries && status_ < 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status_;
    }
    pid_t pid() const { return pid_; }

private:
    fs::path folder_;
    pid_t pid_ = -1;
    int status_ = -1;
};

TEST(DemoStart, TheLogGrowsWhileThePlayIsOnAndSignalsEndItInOrder)
{
    struct Case {
        const char* what;
        std::vector<int> signals;
        bool sigint_ignored;
    } const cases[] = {
        {"SIGINT", {SIGINT}, false},
        {"SIGTERM", {SIGTERM}, false},
        {"SIGINT twice", {SIGINT, SIGINT}, false},
        {"SIGTERM after SIGINT", {SIGINT, SIGTERM}, false},
        {"SIGINT to a background job", {SIGINT}, true},
        {"SIGTERM to a background job", {SIGTERM}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path run = demo_run::scratch_folder("demo_signal");
        demo_run::copy_base(run / "kavrin");
        RunningDemo demo(run, c.sigint_ignored);
        ASSERT_TRUE(demo.started());
        // Written while the program runs, not only when it ends: up to 60 s.
        ASSERT_TRUE(demo.log_shows("Client: Loading map 'demo'", 1200))
            << "log:\n" << read_file(run / "kavrin.log") << "\noutput:\n" << read_file(run / "out.txt");
        for (const int s : c.signals) {
            ASSERT_EQ(kill(demo.pid(), s), 0);
        }
        const int status = demo.wait_for_end(400);
        const std::string log = read_file(run / "kavrin.log");
        ASSERT_GE(status, 0) << "still running 20 s after the signal:\n" << log;
        EXPECT_TRUE(WIFEXITED(status)) << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_NE(log.find("Log: Shutting down..."), std::string::npos) << log;
        EXPECT_EQ(log.find("Shutdown: Timeout"), std::string::npos) << log;
        std::error_code ignored;
        fs::remove_all(run, ignored);
    }
}

} // namespace
