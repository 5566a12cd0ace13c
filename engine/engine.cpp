#include "engine/engine.h"

#include "client/client.h"
#include "core/command_line.h"
#include "core/compare_nocase.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/log_file.h"
#include "core/print.h"
#include "core/random_table.h"
#include "core/scan.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/timer.h"
#include "core/video_drivers.h"
#include "fsys/dir.h"
#include "fsys/fsys.h"
#include "host/host_file.h"
#include "host/host_signals.h"
#include "net/hive.h"
#include "platform/os.h"
#include "server/server.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

Engine* engine = nullptr;

namespace {

constexpr double window_lengths[ENGINE_FPS_WINDOWS] = {1.0, 5.0, 60.0, 300.0};
constexpr const char* LOG_HEADER = "*** Kavrin started, %s ***\n";

int fail(const char* part)
{
    print_format(P_ERROR, "Kavrin: Can't initialize %s", part);
    return 0;
}

template <typename T>
void destroy(T*& object)
{
    delete object;
    object = nullptr;
}

} // namespace

Engine::Engine(const char* system_name) : system_name_(system_name)
{
    command_line = nullptr;
    cvar_list = nullptr;
    sine_table = nullptr;
    random_table = nullptr;
}

Engine::~Engine() { shutdown(); }

int Engine::init(int argc, const char* const* argv)
{
    shutdown();
    print_reset();
    print_init();

    std::snprintf(title_, sizeof title_, "%s", format_temp("Ostrel -- %s", system_name_));

    share_ = new (std::nothrow) ShareManager;
    if (share_ == nullptr) {
        return fail("share manager");
    }

    command_line = new (std::nothrow) CommandLine;
    if (command_line == nullptr) {
        return fail("command line");
    }
    (void)command_line->parse(argc, argv);
    if (host::file_exists("main.opt")) {
        (void)command_line->add_argument("@main.opt");
    }

    cvar_list = new (std::nothrow) ConfigVariableList;
    if (cvar_list == nullptr) {
        return fail("config variables");
    }
    base_ = cvar_list->link(CVTYPE_STRING, 0x40, "Base", nullptr, 1);
    fps_ = cvar_list->link(CVTYPE_INT, 0x100, "FPS", nullptr, 0);
    if (base_ == nullptr || fps_ == nullptr) {
        return fail("config variables");
    }

    log_file = new (std::nothrow) LogFile;
    if (log_file == nullptr) {
        return fail("log");
    }
    if (command_line->find_option("log")) {
        (void)log_file->open(1, "kavrin.log", LOG_HEADER);
    } else if (command_line->find_option("log_append")) {
        (void)log_file->open(2, "kavrin.log", LOG_HEADER);
    }
    command_line->end_search();

    update_print_filters();

    fsys = new (std::nothrow) FSys;
    if (fsys == nullptr || fsys->init() == 0) {
        return fail("file subsystem");
    }
    if (fsys->mount("", 1, 0) == 0) {
        print_string(P_ERROR, "Kavrin: Can't map current directory");
        return 0;
    }
    if (mount_bases() == 0) {
        return 0;
    }
    while (command_line->find_option("open")) {
        for (int i = 0; i < command_line->parameter_count(); ++i) {
            if (fsys->mount(command_line->parameter(i), 1, 10) == 0) {
                print_format(P_WARNING, "Kavrin: Can't open source '%s' !", command_line->parameter(i));
            }
        }
    }
    command_line->end_search();

    if (os_init(title_) == 0) {
        return fail("OS specific stuff");
    }
    if (video_init() == 0) {
        return fail("Video drivers");
    }

    kheap = new (std::nothrow) KHeap;
    if (kheap == nullptr) {
        return fail("KHeap");
    }
    int32_t kheap_megs = 4;
    if (command_line->find_option("kheap_megs") && command_line->parameter_count() >= 1) {
        int32_t megs = 0;
        if (scan_int(command_line->parameter(0), megs)) {
            kheap_megs = megs;
        } else {
            print_format(P_WARNING, "Kavrin: kheap_megs '%s' is not a number, using %d", command_line->parameter(0),
                         kheap_megs);
        }
    }
    command_line->end_search();
    // Computed in 64 bits: a negative or huge count is refused by init, never wrapped.
    const int64_t kheap_bytes = static_cast<int64_t>(kheap_megs) * 1048576;
    if (kheap->init(kheap_bytes > 0 ? static_cast<size_t>(kheap_bytes) : 0, 15) == 0) {
        return 0;
    }

    sine_table = new (std::nothrow) SineTable;
    random_table = new (std::nothrow) RandomTable;
    if (sine_table == nullptr || random_table == nullptr || sine_table->init(4096) == 0 ||
        random_table->init(1024) == 0) {
        return fail("global tables");
    }

    hive_ = new (std::nothrow) Hive;
    if (hive_ == nullptr || hive_->init() != 0) {
        return fail("network hive");
    }
    client_ = new (std::nothrow) Client;
    if (client_ == nullptr || client_->init(hive_, share_) == 0) {
        return fail("client");
    }
    server_ = new (std::nothrow) Server;
    if (server_ == nullptr || server_->init(hive_, share_) == 0) {
        return fail("server");
    }

    const double now = sys_time();
    for (int i = 0; i < ENGINE_FPS_WINDOWS; ++i) {
        windows_[i] = FpsWindow{};
        windows_[i].start = now;
        windows_[i].last = now;
        windows_[i].length = window_lengths[i];
    }
    smoothed_fps_ = 0.0;
    return 1;
}

int Engine::mount_bases()
{
    Dir path;
    bool first = true;
    while (command_line->find_option("base")) {
        for (int i = 0; i < command_line->parameter_count(); ++i) {
            const char* const parameter = command_line->parameter(i);
            const bool valid = path.set(parameter, DIR_FILE) != 0;
            if (first) {
                first = false;
                if (!valid || dos_name_check(path.text()) != nullptr) {
                    print_format(P_ERROR, "Kavrin: '%s' is not a valid basename", valid ? path.text() : parameter);
                    command_line->end_search();
                    return 0;
                }
                base_->set_string(path.text());
            }
            if (valid) {
                mount_base(path.text());
            }
        }
    }
    command_line->end_search();
    path.set("kavrin", DIR_FILE);
    if (first) {
        base_->set_string(path.text());
    }
    mount_base(path.text());
    return 1;
}

void Engine::mount_base(const char* path)
{
    K_ASSERT(path);
    K_ASSERT(fsys);
    host::FileStatus status;
    if (!host::file_status(path, status)) {
        print_format(P_WARNING, "Kavrin: Can't find directory '%s'", path);
        return;
    }
    if ((status.mode & host::FILE_TYPE_MASK) != host::FILE_TYPE_DIRECTORY) {
        print_format(P_WARNING, "Kavrin: '%s' is not a directory", path);
        return;
    }
    FileList* const list = fsys->list(path, FSYS_LIST_FILES);
    if (list == nullptr) {
        return;
    }
    for (const FileNode* node = list->first(); node != nullptr; node = node->next) {
        // "patch" and a number n: outranks the base's other archives by n + 10.
        int64_t priority = 10;
        int32_t n = 0;
        if (compare_nocase_n(node->name, "patch", 5) == 0 && scan_decimal(node->name + 5, n)) {
            priority = std::clamp<int64_t>(static_cast<int64_t>(n) + 20, INT32_MIN, INT32_MAX);
        }
        const std::string name = std::string(path) + "/" + node->name;
        (void)fsys->mount(name.c_str(), 1, static_cast<int32_t>(priority));
    }
    delete list;
    (void)fsys->mount(path, 1, 10);
}

void Engine::update_statistics(double now)
{
    const double dt = now - windows_[0].last;
    if (dt > 0.0) {
        const double e = std::exp(-5.0 * dt);
        smoothed_fps_ = e * smoothed_fps_ + (1.0 - e) / dt;
    }
    for (FpsWindow& w : windows_) {
        w.frames += 1;
        const double d = now - w.last;
        w.last = now;
        if (d > 0.0) {
            w.longest = std::max(w.longest, d);
            w.shortest = std::min(w.shortest, d);
        }
        const double elapsed = now - w.start;
        if (elapsed > w.length) {
            w.average_fps = w.frames / elapsed;
            w.maximum_fps = 1.0 / w.shortest;
            // A window without a frame of positive length reports an infinite minimum.
            w.minimum_fps = w.longest > 0.0 ? 1.0 / w.longest : HUGE_VAL;
            w.frames = 0;
            w.longest = 0.0;
            w.shortest = 1024.0;
            w.start = now;
        }
    }
}

void Engine::print_statistics()
{
    const int32_t level = fps_ != nullptr ? fps_->int_value() : 0;
    if (level == 1) {
        print_tagged(make_tag("FPS0"), "FPS: %.1f, max %.1f, min %.1f", smoothed_fps_, windows_[0].maximum_fps,
                     windows_[0].minimum_fps);
    } else if (level >= 2) {
        static constexpr uint32_t tags[ENGINE_FPS_WINDOWS] = {make_tag("FPS1"), make_tag("FPS2"), make_tag("FPS3"),
                                                              make_tag("FPS4")};
        static constexpr const char* spans[ENGINE_FPS_WINDOWS] = {"1 sec", "5 sec", "1 min", "5 min"};
        print_tagged(make_tag("FPS0"), "FPS: %.1f", smoothed_fps_);
        for (int i = 0; i < ENGINE_FPS_WINDOWS; ++i) {
            print_tagged(tags[i], "FPS: avg %.1f, max %.1f, min %.1f (%s)", windows_[i].average_fps,
                         windows_[i].maximum_fps, windows_[i].minimum_fps, spans[i]);
        }
    }
}

int Engine::frame()
{
    const int go_on = run_frame();
    // Once a frame, so that a program that is killed leaves its log.
    if (log_file != nullptr) {
        log_file->flush();
    }
    return go_on;
}

int Engine::run_frame()
{
    // A termination signal ends the program as Quit does, through the shutdown.
    if (host::take_termination_signal() && cvar_list != nullptr) {
        if (ConfigVariable* const quit = cvar_list->find("Quit"); quit != nullptr) {
            quit->set_bool(1);
        }
    }
    const double now = sys_time();
    update_statistics(now);
    print_statistics();

    int r = server_->frame(now, shutting_down_);
    if (shutting_down_ != 0) {
        if (r == 0) {
            return 0;
        }
        if (now - shutdown_start_ > ENGINE_SHUTDOWN_TIMEOUT) {
            print_string(P_WARNING, "Shutdown: Timeout");
            return 0;
        }
    }
    if (client_->frame(now) == 0) {
        r = 0;
    }
    if (r == 0 && shutting_down_ == 0) {
        print_string(P_LOG, "Shutting down...");
        shutting_down_ = 1;
        shutdown_start_ = now;
    }
    return 1;
}

void Engine::shutdown()
{
    destroy(server_);
    destroy(client_);
    destroy(hive_);
    destroy(random_table);
    destroy(sine_table);
    destroy(kheap);
    video_done();
    os_shutdown();
    destroy(fsys);
    destroy(log_file);
    if (base_ != nullptr || fps_ != nullptr) {
        K_ASSERT(cvar_list);
        if (base_ != nullptr) {
            cvar_list->release(base_);
            base_ = nullptr;
        }
        if (fps_ != nullptr) {
            cvar_list->release(fps_);
            fps_ = nullptr;
        }
    }
    release_print_filters();
    destroy(cvar_list);
    destroy(command_line);
    destroy(share_);
    shutting_down_ = 0;
}
