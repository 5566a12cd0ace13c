// The route graph's reader fed any "graph.txt", then, when the graph loads,
// targets placed by the input's numbers and searches between them.
#include "core/print.h"
#include "fsys/fsys.h"
#include "server/route_graph.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

void quiet(int, const char*, uintptr_t) {}

struct Scratch {
    std::filesystem::path root;
    FSys files;
    MapRoute route;
    Scratch()
    {
        print_init();
        set_stream_handler(quiet, 0);
        root = std::filesystem::temp_directory_path() / ("ostrel_fuzz_route_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(root / "maps" / "f");
        fsys = &files;
        files.init();
        files.mount(root.string().c_str(), 1, 10);
    }
    ~Scratch()
    {
        route.free();
        files.close();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scratch* s = new Scratch;
    std::ofstream(s->root / "maps" / "f" / "graph.txt", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (s->route.load("maps/f", 0) == 0) {
        return 0;
    }
    MapRoute& r = s->route;
    const int32_t n = r.node_count();
    // Positions and queries from the input's first bytes, wrapped into the graph.
    uint32_t seed = 0;
    std::memcpy(&seed, data, size < 4 ? size : 4);
    const int32_t a = r.create_target(static_cast<int32_t>(seed % static_cast<uint32_t>(n)));
    const int32_t b = r.create_target(static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(n)));
    const Vector p = {static_cast<float>(seed & 0x3FF), static_cast<float>((seed >> 10) & 0x3FF), 0.0f};
    r.place_target(a, p);
    r.move_target(b, {p.y, p.x, 0.0f});
    const int32_t route = r.create_route(a, b);
    RouteInfo info;
    for (uint32_t type : {0xFFu, 0x33u, 0x03u}) {
        r.find_route(route, info, ROUTE_NONE, type, ROUTE_NONE, 0);
    }
    std::vector<int32_t> neighbours, routers;
    r.node_info(static_cast<int32_t>((seed >> 16) % static_cast<uint32_t>(n)), 4, neighbours, 4, routers);
    r.destroy_target(a);
    r.destroy_target(b);
    return 0;
}
