// Route search on square grid graphs: a search from one corner to the
// opposite one relaxes every node of the grid.
#include "fsys/fsys.h"
#include "server/route_graph.h"
#include "tools/mapgen/graph_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Grid {
    std::filesystem::path root;
    FSys files;
    MapRoute route;
    int32_t corner_route = -1;

    explicit Grid(int side)
    {
        root = std::filesystem::temp_directory_path() / ("ostrel_route_bench_" + std::to_string(side));
        std::filesystem::create_directories(root / "maps" / "grid");
        std::ofstream(root / "maps" / "grid" / "graph.txt") << mapgen::write_grid_graph(side, side);
        fsys = &files;
        files.init();
        files.mount(root.string().c_str(), 1, 10);
        if (route.load("maps/grid", 0) == 1) {
            const int32_t from = route.create_target(0);
            const int32_t to = route.create_target(side * side - 1);
            corner_route = route.create_route(from, to);
        }
    }
    ~Grid()
    {
        route.free();
        files.close();
        fsys = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

void BM_RouteSearchGrid(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    Grid grid(side);
    if (grid.corner_route < 0) {
        state.SkipWithError("graph did not load");
        return;
    }
    RouteInfo info;
    for (auto _ : state) {
        benchmark::DoNotOptimize(grid.route.find_route(grid.corner_route, info, ROUTE_NONE, 0xFF, ROUTE_NONE, 0));
    }
    if (info.cost != static_cast<uint32_t>(2 * (side - 1))) {
        state.SkipWithError("wrong cost");
    }
    state.counters["nodes"] = side * side;
    state.counters["nodes/s"] =
        benchmark::Counter(static_cast<double>(side) * side, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RouteSearchGrid)->Arg(32)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
