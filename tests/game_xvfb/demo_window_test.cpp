// The demo as a player starts it with a display (scripts/demo.sh, as README
// says): after its opening walk the mouse turns the view. Screenshots taken
// with F12 before and after the mouse moves differ far more than two taken
// with nothing moved, whose differences are the level's own animation.
#include "support/bmp_shot.h"
#include "support/skip_or_fail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* TITLE = "Ostrel -- Win32";

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class DemoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* const display = std::getenv("DISPLAY");
        if (display == nullptr || display[0] == '\0' || !run("command -v xdotool > /dev/null")) {
            SKIP_OR_FAIL("needs an X display and xdotool (run under xvfb-run)");
        }
        shots_ = fs::path(OSTREL_DEMO_DIR) / "kavrin" / "shots";
        before_ = shot_names();
        output_ = fs::temp_directory_path() / ("ostrel_demo_window_" + std::to_string(getpid()) + ".txt");
        const std::string command = "cd '" + std::string(std::getenv("OSTREL_SOURCE_DIR")) +
                                    "' && exec env SDL_AUDIODRIVER=dummy OSTREL_NO_MESSAGE_BOX=1 bash scripts/demo.sh > '" +
                                    output_.string() + "' 2>&1";
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0); // the script and the program, ended together
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid_, 0);
    }
    void TearDown() override
    {
        if (pid_ > 0) {
            // The program ends through its shutdown on SIGTERM; a hung one is killed.
            kill(-pid_, SIGTERM);
            int status = 0;
            bool ended = false;
            for (int i = 0; i < 200 && !ended; ++i) {
                ended = waitpid(pid_, &status, WNOHANG) == pid_;
                if (!ended) {
                    pause_ms(50);
                }
            }
            if (!ended) {
                kill(-pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        std::error_code ignored;
        for (const std::string& name : shot_names()) {
            if (before_.count(name) == 0) {
                fs::remove(shots_ / name, ignored);
            }
        }
        fs::remove(output_, ignored);
    }

    std::set<std::string> shot_names() const
    {
        std::set<std::string> names;
        std::error_code ignored;
        for (const fs::directory_entry& e : fs::directory_iterator(shots_, ignored)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    // The next screenshot the program writes, polled at most `tries` times 50 ms.
    bool new_shot(Shot& shot, int tries)
    {
        for (int i = 0; i < tries; ++i) {
            for (const std::string& name : shot_names()) {
                if (before_.count(name) != 0) {
                    continue;
                }
                const std::string bytes = read_file(shots_ / name);
                Shot s;
                // A shot still being written reads short: it is taken when whole.
                if (s.read(bytes)) {
                    before_.insert(name);
                    shot = s;
                    return true;
                }
            }
            pause_ms(50);
        }
        return false;
    }
    bool press_f12(Shot& shot) { return run("timeout 10 xdotool key --window " + id_ + " F12") && new_shot(shot, 200); }

    fs::path shots_;
    fs::path output_;
    std::set<std::string> before_;
    pid_t pid_ = -1;
    std::string id_;
};

// Pixels whose colour changed by more than a little.
int changed(const Shot& a, const Shot& b)
{
    int n = 0;
    for (size_t i = 0; i + 2 < a.rgb.size() && i + 2 < b.rgb.size(); i += 3) {
        int d = 0;
        for (size_t k = 0; k < 3; ++k) {
            d += std::abs(static_cast<int>(a.rgb[i + k]) - static_cast<int>(b.rgb[i + k]));
        }
        n += d > 48 ? 1 : 0;
    }
    return n;
}

TEST_F(DemoWindow, TheMouseTurnsTheView)
{
    // The screenshot of main.cfg (the build before it is done: at most two
    // minutes for both).
    Shot walked;
    ASSERT_TRUE(new_shot(walked, 2400)) << read_file(output_);
    const std::string found = ::testing::TempDir() + "ostrel_demo_window_id.txt";
    ASSERT_TRUE(run(std::string("timeout 10 xdotool search --sync --name '^") + TITLE + "$' > " + found));
    std::getline(std::ifstream(found), id_);
    ASSERT_FALSE(id_.empty());
    ASSERT_TRUE(run("timeout 10 xdotool windowfocus --sync " + id_));
    // At a high frame rate that screenshot falls within the opening walk,
    // which the scripts play in world ticks: it ends some 3.4 seconds after
    // the start, and until then the mouse does not turn the player. The walk
    // has ended when two shots in a row show the view standing still (the
    // walk changes a third of the pixels or more between shots, the level's
    // own motion some 3%); not much later, from some
    // 6.5 seconds on, the level's walking figure crosses the view, close.
    Shot still[2];
    ASSERT_TRUE(press_f12(still[1])) << read_file(output_);
    for (int n = 0; n < 40; ++n) {
        still[0] = still[1];
        pause_ms(100);
        ASSERT_TRUE(press_f12(still[1])) << read_file(output_);
        if (changed(still[0], still[1]) < still[1].width * still[1].height / 10) {
            break;
        }
    }
    // A second of small moves to the right, as a hand turns.
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(run("timeout 10 xdotool mousemove_relative -- 20 0"));
        pause_ms(20);
    }
    pause_ms(300);
    Shot turned;
    ASSERT_TRUE(press_f12(turned)) << read_file(output_);

    ASSERT_EQ(turned.rgb.size(), still[1].rgb.size());
    const int pixels = turned.width * turned.height;
    const int animated = changed(still[0], still[1]);
    const int moved = changed(still[1], turned);
    RecordProperty("changed_still", animated);
    RecordProperty("changed_turned", moved);
    EXPECT_GT(moved, pixels / 4) << "the view turned (" << animated << " pixels change with nothing moved)";
    EXPECT_GT(moved, 3 * animated);
}

} // namespace
