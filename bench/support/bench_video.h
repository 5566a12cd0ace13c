#pragma once
// What a benchmark that draws through one program's video driver starts
// with: print streams silenced, the variables and command line, the base
// directory named by Base and mounted, the platform and the program's video
// drivers, and a mode object of its windowed driver ("WIN"). And the figure
// below which a share q of the measured values lie.
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "core/video_drivers.h"
#include "fsys/fsys.h"
#include "platform/os.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

inline double percentile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))];
}

inline void bench_quiet(int, const char*, uintptr_t) {}

// The mode, or null after a message naming the benchmark (then nothing is
// to be stopped).
inline std::unique_ptr<KVideoMode> start_bench_video(const char* base_dir, const char* system_name, const char* bench)
{
    print_init();
    set_stream_handler(bench_quiet, 0);
    cvar_list = new ConfigVariableList;
    command_line = new CommandLine;
    const char* args[] = {"ostrel"};
    command_line->parse(1, args);
    cvar_list->link(CVTYPE_STRING, 0x40, "Base", base_dir, 1);
    fsys = new FSys;
    if (fsys->init() == 0 || fsys->mount(base_dir, 1, 10) == 0 || os_init(system_name) == 0 || video_init() == 0) {
        std::fprintf(stderr, "%s: no start-up\n", bench);
        return nullptr;
    }
    const int driver = video_find_driver("WIN");
    std::unique_ptr<KVideoMode> mode(driver >= 0 ? video_create_mode(driver) : nullptr);
    if (mode == nullptr) {
        std::fprintf(stderr, "%s: no windowed video driver\n", bench);
    }
    return mode;
}

inline void stop_bench_video(std::unique_ptr<KVideoMode>& mode)
{
    mode.reset();
    video_done();
    os_shutdown();
}
