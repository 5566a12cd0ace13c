// Microseconds per world tick on the generated 4x4 grid of rooms: 256 server
// objects move and are relinked into the leaves their spheres touch, then the
// objects visible from a camera's cell are walked, as the update encoder
// does for one client. The parts are measured apart as well.
#include "core/print.h"
#include "fsys/fsys.h"
#include "tools/mapgen/mapgen.h"
#include "world/entity_link.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

constexpr int ENTITIES = 256;
constexpr float WORLD = 1024.0f;

void quiet(int, const char*, uintptr_t) {}

struct Lcg {
    uint32_t state = 1;
    float next(float lo, float hi)
    {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(state >> 8) / 16777216.0f;
    }
};

class Mover : public Placement {
public:
    int entity_type() const override { return 6; }
    void visit(uint32_t) override { ++visits; }

    Vector velocity{0, 0, 0};
    int visits = 0;
};

// The map, loaded once for every benchmark.
class GridWorld {
public:
    GridWorld()
    {
        set_stream_handler(quiet, 0);
        std::ifstream in(std::string(OSTREL_SOURCE_DIR) + "/tools/mapgen/maps/grid4x4.rooms");
        std::ostringstream text;
        text << in.rdbuf();
        mapgen::MapFiles files;
        std::string error;
        root_ = std::filesystem::temp_directory_path() / "ostrel_bench_world";
        if (!mapgen::generate_map(text.str(), files, error) ||
            !mapgen::write_map_directory(files, (root_ / "maps" / "grid").string(), error)) {
            std::abort();
        }
        fs_.mount(root_.string().c_str(), 1, 10);
        fsys = &fs_;
        uint32_t identifier = 0;
        if (map.load_bsp_directory("maps/grid", &identifier, 1) == 0) {
            std::abort();
        }
    }
    ~GridWorld()
    {
        map.free_world();
        fsys = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    SharedMap map;

private:
    std::filesystem::path root_;
    FSys fs_;
};

GridWorld& world()
{
    static GridWorld w;
    return w;
}

std::vector<Mover> make_movers()
{
    Lcg random;
    std::vector<Mover> movers(ENTITIES);
    for (Mover& m : movers) {
        m.position = Vector{random.next(0, WORLD), random.next(0, WORLD), random.next(8, 120)};
        m.radius = random.next(8, 64);
        m.velocity = Vector{random.next(-6, 6), random.next(-6, 6), 0};
        link_new_entity(world().map, m);
    }
    return movers;
}

void move(Mover& m)
{
    vec_add(m.position, m.velocity);
    if (m.position.x < 0 || m.position.x > WORLD) {
        m.velocity.x = -m.velocity.x;
    }
    if (m.position.y < 0 || m.position.y > WORLD) {
        m.velocity.y = -m.velocity.y;
    }
}

void unlink_all(std::vector<Mover>& movers)
{
    for (Mover& m : movers) {
        unlink_entity(world().map, m);
    }
}

// The camera walks from room to room, one step a tick.
Vector camera_at(int64_t tick)
{
    const int64_t room = (tick / 16) % 16;
    return Vector{128.0f + 256.0f * static_cast<float>(room % 4), 128.0f + 256.0f * static_cast<float>(room / 4), 64};
}

void BM_WorldTick(benchmark::State& state)
{
    SharedMap& map = world().map;
    std::vector<Mover> movers = make_movers();
    int64_t tick = 0;
    int64_t visits = 0;
    for (auto _ : state) {
        for (Mover& m : movers) {
            move(m);
            link_entity(map, m);
        }
        for_each_visible_entity(map, find_leaf(map, camera_at(tick)), 6, 0);
        ++tick;
    }
    for (const Mover& m : movers) {
        visits += m.visits;
    }
    state.counters["visits_per_tick"] = static_cast<double>(visits) / static_cast<double>(tick);
    unlink_all(movers);
}

void BM_LinkAndRelink(benchmark::State& state)
{
    SharedMap& map = world().map;
    std::vector<Mover> movers = make_movers();
    for (auto _ : state) {
        for (Mover& m : movers) {
            move(m);
            link_entity(map, m);
        }
    }
    int64_t links = 0;
    for (const Mover& m : movers) {
        links += m.linked_leaves;
    }
    state.counters["links_held"] = static_cast<double>(links);
    unlink_all(movers);
}

void BM_VisibleWalk(benchmark::State& state)
{
    SharedMap& map = world().map;
    std::vector<Mover> movers = make_movers();
    int64_t tick = 0;
    for (auto _ : state) {
        for_each_visible_entity(map, find_leaf(map, camera_at(tick)), 6, 0);
        ++tick;
    }
    unlink_all(movers);
}

BENCHMARK(BM_WorldTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinkAndRelink)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VisibleWalk)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
