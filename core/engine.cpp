#include "core/engine.h"

#include "client/client.h"
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/log_file.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/video_drivers.h"
#include "host/host_file.h"
#include "net/hive.h"
#include "platform/os.h"
#include "platform/timer.h"
#include "server/server.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

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

    if (os_init(title_) == 0) {
        return fail("OS specific stuff");
    }
    if (video_init() == 0) {
        return fail("Video drivers");
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

void Engine::mount_base(const char*)
{
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
    video_done();
    os_shutdown();
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
