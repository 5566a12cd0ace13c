// One driver, built once over each program's renderer: the engine in this
// process on the demo level, the camera put at a fixed list of poses, and one
// screenshot a pose for each set of console variables named on the command
// line. The clock only moves when the driver steps a frame, so both programs
// draw the level at the same moments.
//
//   pair_driver_<program> --out DIR [--width W --height H]
//                         [--map NAME [--map-dir DIR]]
//                         [--poses FILE] [--settle SECONDS]
//                         --pass TAG "VARIABLES" [--pass TAG "VARIABLES" ...]
//
// --poses: the poses read from a file instead, one a line: "x y z heading
// pitch", heading in turns, pitch in radians ('#' starts a comment).
// --settle: the time each of the two frames after a pass's variables takes,
// for the passes named after it (1/70 s by default; 0 keeps the world as the
// previous pass saw it).
// --map-dir: a map directory copied into the base under NAME first (the
// demo base holds only the demo's map).
// --backdrop TAG "VARIABLES": before the map, the variables set and one shot
//     TAG.bmp of the screen with no map (the backdrop picture alone).
// --console: the shots are drawn with the console open on known text (the
//     2-D layer's test) instead of its overlay cleared.
// --pose-count N: only the first N poses.
//   pair_driver_<program> --bench N [--width W --height H] [--map ...]
//     N frames drawn through the same poses in turn, in frames that take no
//     engine time (the world stands still: the frames a second are the
//     drawing's), and the frames a second on the wall clock printed.
#include "pair_poses.h"

#include "demo_base.h"

#include "client/camera.h"
#include "client/client.h"
#include "client/entity_set.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/print.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "net/udp_protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr double FRAME_SECONDS = 1.0 / 70.0;

struct Pass {
    std::string tag;
    std::string variables;
    double settle;
};

struct Session {
    host::ManualClock clock;
    host::QueueEventSource events;
    Engine engine;

    int frame(double seconds = FRAME_SECONDS)
    {
        clock.advance_seconds(seconds);
        return engine.frame();
    }
    bool run(const std::string& text) { return engine.client()->cons_cmd()->add_text(text.c_str()) == 1; }
    Camera& camera() { return engine.client()->entities().camera; }
    // The camera's view at the pose, for the frame that follows.
    void look(const pair::Pose& p)
    {
        AnglePose source[2] = {};
        source[0].position = {p.x, p.y, p.z};
        source[0].a = p.heading;
        source[1].b = p.pitch;
        camera().view.set_from_placement(source);
    }
};

// Poses from a text file; empty when it can't be read or holds a bad line.
std::vector<pair::Pose> read_poses(const fs::path& file)
{
    std::vector<pair::Pose> poses;
    FILE* f = std::fopen(file.c_str(), "r");
    if (f == nullptr) {
        return poses;
    }
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        char* const hash = std::strchr(line, '#');
        if (hash != nullptr) {
            *hash = '\0';
        }
        pair::Pose p{};
        char extra = 0;
        const int n = std::sscanf(line, "%f %f %f %f %f %c", &p.x, &p.y, &p.z, &p.heading, &p.pitch, &extra);
        if (n == 5) {
            p.heading *= pair::TURN;
            poses.push_back(p);
        } else if (n != EOF) {
            std::fclose(f);
            return {};
        }
    }
    std::fclose(f);
    return poses;
}

fs::path newest_shot(const fs::path& shots)
{
    fs::path newest;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(shots, ec)) {
        if (newest.empty() || e.path().filename() > newest.filename()) {
            newest = e.path();
        }
    }
    return newest;
}

// Console rows of known text: every glyph class of the font in a few lines,
// as many lines as the open console shows, so it shows only these.
void print_known_text()
{
    for (int i = 0; i < CONSOLE_ROWS; ++i) {
        print_format(P_MESSAGE, "%02d The quick brown fox jumps over the lazy dog: 0123456789 ([{<!?>}]) +-*/=_&%%$#@\n",
                     i);
    }
}

// Moves the newest shot to out/name; false when there is none.
bool keep_newest_shot(const fs::path& shots, const fs::path& out, const std::string& name)
{
    const fs::path shot = newest_shot(shots);
    std::error_code ec;
    fs::create_directories(out, ec);
    fs::copy_file(shot, out / name, fs::copy_options::overwrite_existing, ec);
    fs::remove(shot, ec);
    return !shot.empty() && !ec;
}

int usage()
{
    std::fprintf(stderr, "usage: pair_driver --out DIR [--width W --height H] [--poses FILE] [--pose-count N] [--settle S] --pass TAG VARIABLES ...\n"
                         "       pair_driver --bench N [--width W --height H] [--map NAME [--map-dir DIR]]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    fs::path out;
    std::string width = "640";
    std::string height = "480";
    std::vector<Pass> passes;
    int bench = 0;
    std::string map = "demo";
    fs::path map_dir;
    std::vector<Pass> backdrops;
    bool console = false;
    size_t pose_limit = SIZE_MAX;
    fs::path pose_file;
    double settle = FRAME_SECONDS;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) {
            out = fs::absolute(argv[++i]);
        } else if (a == "--width" && i + 1 < argc) {
            width = argv[++i];
        } else if (a == "--height" && i + 1 < argc) {
            height = argv[++i];
        } else if (a == "--pass" && i + 2 < argc) {
            passes.push_back({argv[i + 1], argv[i + 2], settle});
            i += 2;
        } else if (a == "--backdrop" && i + 2 < argc) {
            backdrops.push_back({argv[i + 1], argv[i + 2], settle});
            i += 2;
        } else if (a == "--console") {
            console = true;
        } else if (a == "--pose-count" && i + 1 < argc) {
            pose_limit = static_cast<size_t>(std::atoi(argv[++i]));
        } else if (a == "--map" && i + 1 < argc) {
            map = argv[++i];
        } else if (a == "--map-dir" && i + 1 < argc) {
            map_dir = fs::absolute(argv[++i]);
        } else if (a == "--poses" && i + 1 < argc) {
            pose_file = fs::absolute(argv[++i]);
        } else if (a == "--settle" && i + 1 < argc) {
            settle = std::atof(argv[++i]);
        } else if (a == "--bench" && i + 1 < argc) {
            bench = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }
    if (bench <= 0 && (out.empty() || passes.empty())) {
        return usage();
    }

    const fs::path folder = fs::temp_directory_path() / ("ostrel_pair_" + std::to_string(::getpid()));
    std::string error;
    std::error_code ec_ignored;
    if (!e2e::copy_demo_base(folder / "kavrin", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!map_dir.empty()) {
        std::error_code ec;
        fs::copy(map_dir, folder / "kavrin" / "maps" / map, fs::copy_options::recursive, ec);
        if (ec) {
            std::fprintf(stderr, "can't copy the map: %s\n", ec.message().c_str());
            return 1;
        }
    }
    std::vector<pair::Pose> poses = pose_file.empty() ? pair::poses_for(map) : read_poses(pose_file);
    poses.resize(std::min(poses.size(), pose_limit));
    if (poses.empty()) {
        std::fprintf(stderr, "no poses in %s\n", pose_file.c_str());
        fs::remove_all(folder, ec_ignored);
        return 1;
    }
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    int status = 0;
    {
        Session s;
        s.clock.set_micros(1000000);
        udp_set_server_port(0);
        host::ScopedClock clock_guard(&s.clock);
        host::ScopedEventSource events_guard(&s.events);
        const char* const args[] = {"ostrel", "-width", width.c_str(), "-height", height.c_str()};
        // The cheat variables (R_Flat among them) need the cheater flag, which
        // only takes while disconnected, at the end of a frame.
        if (s.engine.init(5, args) != 1 || !s.run("Set Client_Administrator True\nSet Client_Cheater True\n") ||
            s.frame() == 0) {
            std::fprintf(stderr, "the engine did not start\n");
            status = 1;
        }
        const fs::path shots = folder / "kavrin" / "shots";
        for (const Pass& backdrop : backdrops) {
            s.run(backdrop.variables + "\n");
            s.frame();
            s.engine.client()->console()->clear();
            s.run("ScreenShot\n");
            s.frame();
            s.frame();
            if (status == 0 && !keep_newest_shot(shots, out, backdrop.tag + ".bmp")) {
                std::fprintf(stderr, "no shot of %s\n", backdrop.tag.c_str());
                status = 1;
            }
        }
        if (status == 0 && !s.run(("Connect local\nWait 5\nMap " + map + "\n"))) {
            std::fprintf(stderr, "the engine did not connect\n");
            status = 1;
        }
        int waited = 0;
        while (status == 0 && s.engine.client()->camera() == nullptr && waited++ < 300) {
            s.frame();
        }
        if (status == 0 && s.engine.client()->camera() == nullptr) {
            std::fprintf(stderr, "no camera after %d frames\n", waited);
            status = 1;
        }
        // The player settles on the floor and the door stays shut: nothing
        // moves the camera's record after this.
        for (int i = 0; status == 0 && i < 70; ++i) {
            s.frame();
        }
        if (status == 0 && std::getenv("PAIR_SHOW_CAMERA") != nullptr) {
            const CObjCommon& c = *s.engine.client()->camera();
            for (const AnglePose& p : c.pose) {
                std::printf("camera %g %g %g  %g %g %g\n", p.position.x, p.position.y, p.position.z, p.a, p.b, p.c);
            }
        }
        if (status == 0 && bench > 0) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < bench; ++i) {
                s.look(poses[static_cast<size_t>(i) % poses.size()]);
                s.frame(0.0);
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%s %s %sx%s frames %d seconds %.3f fps %.2f\n", pair::PROGRAM, map.c_str(), width.c_str(),
                        height.c_str(), bench, seconds, bench / seconds);
        }
        if (status == 0 && console) {
            s.run("Console\n");
        }
        for (const Pass& pass : passes) {
            if (status != 0) {
                break;
            }
            s.run(pass.variables + "\n");
            s.frame(pass.settle);
            s.frame(pass.settle);
            for (size_t p = 0; p < poses.size(); ++p) {
                // The shots are drawn in frames that take no time: the server
                // sends nothing new then, and so nothing puts the view back
                // where the player stands (the first frame reads what is
                // still on the way). A shot drawn from a view so moved
                // anyway is drawn again.
                bool moved = true;
                for (int attempt = 0; attempt < 4 && moved; ++attempt) {
                    s.look(poses[p]);
                    if (console) {
                        print_known_text();
                    } else {
                        s.engine.client()->console()->clear();
                    }
                    s.run("ScreenShot\n");
                    s.frame(0.0);
                    s.look(poses[p]);
                    const Matrix set = s.camera().view.view;
                    s.frame(0.0);
                    moved = std::memcmp(&set, &s.camera().view.view, sizeof set) != 0;
                }
                if (moved) {
                    std::fprintf(stderr, "the camera keeps moving by itself at pose %zu\n", p);
                    status = 1;
                    break;
                }
                if (!keep_newest_shot(shots, out, pass.tag + "_" + std::to_string(p) + ".bmp")) {
                    std::fprintf(stderr, "no shot at pose %zu of %s\n", p, pass.tag.c_str());
                    status = 1;
                    break;
                }
            }
        }
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
