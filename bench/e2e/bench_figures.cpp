#include "bench_figures.h"

#include "engine/engine.h"

#include <algorithm>
#include <cstdio>

namespace e2e_bench {

namespace {

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[at];
}

} // namespace

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const std::string& name, const std::vector<double>& frame_ms)
{
    std::printf("%s_frames %zu frames\n", name.c_str(), frame_ms.size());
    std::printf("%s_median %.3f ms\n", name.c_str(), percentile(frame_ms, 0.5));
    std::printf("%s_p95 %.3f ms\n", name.c_str(), percentile(frame_ms, 0.95));
}

std::unique_ptr<Engine> start_engine(std::initializer_list<const char*> options)
{
    auto engine = std::make_unique<Engine>();
    std::vector<const char*> argv = {"bench_e2e"};
    argv.insert(argv.end(), options);
    if (engine->init(static_cast<int>(argv.size()), argv.data()) == 0) {
        return nullptr;
    }
    return engine;
}

} // namespace e2e_bench
