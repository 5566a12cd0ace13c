// Microseconds per physics tick in the generated hall (stairs, pillars,
// walls): 16 to 256 boxes of 16 units, awake (each walking its own way,
// bumping into walls, pillars, stairs and one another) and asleep (settled on
// the floor). Beside it, the same scene of boxes stepped by the Bullet
// physics library at the same 1/70 s step. Prints "name value unit" lines.
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "server/physics_server.h"
#include "tools/mapgen/mapgen.h"
#include "tools/mapgen/room_model.h"

#ifdef OSTREL_WITH_BULLET
#include <btBulletDynamicsCommon.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float HALF = 8.0f;
constexpr float GRAVITY = -800.0f;
constexpr float WALK = 150.0f;
constexpr int SETTLE_TICKS = 300;
constexpr int MEASURED_TICKS = 700;
constexpr float TICK = 1.0f / 70.0f;
constexpr float TURN_PER_TICK = 0.02f;

// The walking direction of start s at tick k.
float walk_angle(float heading, int k) { return heading + TURN_PER_TICK * static_cast<float>(k); }

void quiet(int, const char*, uintptr_t) {}

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Where the boxes start: points of a 44-unit grid over the open part of the
// hall, clear of the stairs, pillars and water, in a fixed shuffled order so
// that any number of them spreads over the hall; and the way each walks.
struct Start {
    float x, y, z;
    float heading;
};

std::vector<Start> starts(const mapgen::RoomModel& model, int n)
{
    std::vector<Start> grid;
    std::mt19937 random(42);
    std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
    for (int row = 0; row < 22; ++row) {
        for (int column = 0; column < 16; ++column) {
            const float x = 340.0f + 44.0f * static_cast<float>(column);
            const float y = 40.0f + 44.0f * static_cast<float>(row);
            bool clear = true;
            for (const mapgen::Block& b : model.blocks) {
                clear = clear && (x + HALF + 4 < b.box.lo[0] || x - HALF - 4 > b.box.hi[0] ||
                                  y + HALF + 4 < b.box.lo[1] || y - HALF - 4 > b.box.hi[1]);
            }
            if (clear) {
                grid.push_back({x, y, 20.0f + 10.0f * static_cast<float>(grid.size() % 3), angle(random)});
            }
        }
    }
    std::shuffle(grid.begin(), grid.end(), random);
    grid.resize(static_cast<size_t>(n));
    return grid;
}

double microseconds_since(std::chrono::steady_clock::time_point start, int ticks)
{
    const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
    return d.count() / ticks;
}

class OstrelScene {
public:
    OstrelScene(const std::filesystem::path& root, const mapgen::RoomModel& model) : model_(model)
    {
        sine_.init(4096);
        sine_table = &sine_;
        fs_.mount(root.string().c_str(), 1, 10);
        fsys = &fs_;
        share_.register_type(VOLUME_SHARE_ID, VolumeSet::create);
    }
    ~OstrelScene()
    {
        physics_.done();
        fsys = nullptr;
        sine_table = nullptr;
    }

    // Awake: every box walks; asleep: they settle and sleep first.
    double run(int n, bool awake, int& awake_count, PhysicsStats& stats)
    {
        uint32_t id = 0;
        physics_.init(&share_, "maps/hall/volume.txt", &script_, &id);
        physics_.set_physical_gravity(Vector{0, 0, GRAVITY});
        const int32_t volume = physics_.get_box_volume(0x2180, Vector{0, 0, 0}, Vector{HALF, HALF, HALF});
        std::vector<int32_t> ids;
        const std::vector<Start> where = starts(model_, n);
        for (const Start& s : where) {
            const int32_t e = physics_.create_entity(0, Vector{HALF, HALF, HALF}, volume,
                                                     PHYS_MOVING | PHYS_GROUND_CONTACT | PHYS_VOLUME);
            physics_.set_physical_position(e, Vector{s.x, s.y, s.z});
            physics_.set_physical_bounce(e, 0.0f);
            physics_.set_physical_step(e, 10.0f, 0.0f);
            ids.push_back(e);
        }
        int k = 0;
        const auto step = [&]() {
            for (size_t i = 0; awake && i < ids.size(); ++i) {
                const float a = walk_angle(where[i].heading, k);
                physics_.set_physical_thrust(ids[i], Vector{WALK * std::cos(a), WALK * std::sin(a), 0});
            }
            physics_.tick();
            ++k;
        };
        for (int t = 0; t < SETTLE_TICKS; ++t) {
            step();
        }
        const auto start = std::chrono::steady_clock::now();
        for (int t = 0; t < MEASURED_TICKS; ++t) {
            step();
        }
        const double us = microseconds_since(start, MEASURED_TICKS);
        awake_count = 0;
        for (const int32_t e : ids) {
            awake_count += physics_.entity(e)->awake() ? 1 : 0;
        }
        stats = physics_.stats();
        physics_.done();
        return us;
    }

private:
    class NoScript final : public PhysicsScript {
    public:
        void call_function(uint32_t, uint32_t, uint32_t, int32_t) override {}
        uint32_t call_method(uint32_t, uint32_t, uint32_t) override { return 0; }
        uint32_t class_flags(uint32_t) override { return 0; }
    };

    const mapgen::RoomModel& model_;
    SineTable sine_;
    FSys fs_;
    ShareManager share_;
    NoScript script_;
    PhysicsServer physics_;
};

#ifdef OSTREL_WITH_BULLET
// The hall as static boxes: each room's floor, ceiling and four walls, each
// block (steps, landing, pillars; not the water) as a box.
class BulletScene {
public:
    explicit BulletScene(const mapgen::RoomModel& model) : model_(model) {}

    double run(int n, bool awake, int& awake_count)
    {
        btDefaultCollisionConfiguration config;
        btCollisionDispatcher dispatcher(&config);
        btDbvtBroadphase broadphase;
        btSequentialImpulseConstraintSolver solver;
        btDiscreteDynamicsWorld world(&dispatcher, &broadphase, &solver, &config);
        world.setGravity(btVector3(0, 0, GRAVITY));
        std::vector<std::unique_ptr<btCollisionShape>> shapes;
        std::vector<std::unique_ptr<btRigidBody>> bodies;
        std::vector<std::unique_ptr<btDefaultMotionState>> states;
        const auto add_box = [&](float x0, float y0, float z0, float x1, float y1, float z1, float mass) {
            shapes.push_back(std::make_unique<btBoxShape>(btVector3((x1 - x0) / 2, (y1 - y0) / 2, (z1 - z0) / 2)));
            btTransform pose;
            pose.setIdentity();
            pose.setOrigin(btVector3((x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2));
            states.push_back(std::make_unique<btDefaultMotionState>(pose));
            btVector3 inertia(0, 0, 0);
            if (mass > 0) {
                shapes.back()->calculateLocalInertia(mass, inertia);
            }
            btRigidBody::btRigidBodyConstructionInfo info(mass, states.back().get(), shapes.back().get(), inertia);
            info.m_friction = 0.5f;
            info.m_restitution = 0.0f;
            bodies.push_back(std::make_unique<btRigidBody>(info));
            world.addRigidBody(bodies.back().get());
            return bodies.back().get();
        };
        const float t = 32.0f;
        for (const mapgen::Room& r : model_.rooms) {
            const auto& lo = r.box.lo;
            const auto& hi = r.box.hi;
            const float x0 = static_cast<float>(lo[0]), y0 = static_cast<float>(lo[1]), z0 = static_cast<float>(lo[2]);
            const float x1 = static_cast<float>(hi[0]), y1 = static_cast<float>(hi[1]), z1 = static_cast<float>(hi[2]);
            add_box(x0 - t, y0 - t, z0 - t, x1 + t, y1 + t, z0, 0);
            add_box(x0 - t, y0 - t, z1, x1 + t, y1 + t, z1 + t, 0);
            add_box(x0 - t, y0, z0, x0, y1, z1, 0);
            add_box(x1, y0, z0, x1 + t, y1, z1, 0);
            add_box(x0, y0 - t, z0, x1, y0, z1, 0);
            add_box(x0, y1, z0, x1, y1 + t, z1, 0);
        }
        for (const mapgen::Block& b : model_.blocks) {
            if (b.contents > 0x1FFF) {
                add_box(static_cast<float>(b.box.lo[0]), static_cast<float>(b.box.lo[1]),
                        static_cast<float>(b.box.lo[2]), static_cast<float>(b.box.hi[0]),
                        static_cast<float>(b.box.hi[1]), static_cast<float>(b.box.hi[2]), 0);
            }
        }
        std::vector<btRigidBody*> boxes;
        std::vector<float> headings;
        for (const Start& s : starts(model_, n)) {
            btRigidBody* const b = add_box(s.x - HALF, s.y - HALF, s.z - HALF, s.x + HALF, s.y + HALF, s.z + HALF, 1);
            if (awake) {
                b->setActivationState(DISABLE_DEACTIVATION);
            }
            boxes.push_back(b);
            headings.push_back(s.heading);
        }
        int k = 0;
        const auto step = [&]() {
            for (size_t i = 0; awake && i < boxes.size(); ++i) {
                const float a = walk_angle(headings[i], k);
                const btVector3 v = boxes[i]->getLinearVelocity();
                boxes[i]->setLinearVelocity(btVector3(WALK * std::cos(a), WALK * std::sin(a), v.z()));
            }
            world.stepSimulation(TICK, 1, TICK);
            ++k;
        };
        for (int t = 0; t < SETTLE_TICKS; ++t) {
            step();
        }
        const auto start = std::chrono::steady_clock::now();
        for (int t = 0; t < MEASURED_TICKS; ++t) {
            step();
        }
        const double us = microseconds_since(start, MEASURED_TICKS);
        awake_count = 0;
        for (btRigidBody* b : boxes) {
            awake_count += b->isActive() ? 1 : 0;
        }
        for (auto& b : bodies) {
            world.removeRigidBody(b.get());
        }
        return us;
    }

private:
    const mapgen::RoomModel& model_;
};
#endif

} // namespace

// Arguments, both optional: the only entity count to run, and "awake" or
// "asleep" for the only state (for profiling one case).
int main(int argc, char** argv)
{
    const int only_count = argc > 1 ? std::atoi(argv[1]) : 0;
    const std::string only_state = argc > 2 ? argv[2] : "";
    set_stream_handler(quiet, 0);
    const std::string description = read_text(std::string(OSTREL_SOURCE_DIR) + "/tools/mapgen/maps/physics_hall.rooms");
    mapgen::MapFiles files;
    std::string error;
    mapgen::RoomModel model;
    if (!mapgen::generate_map(description, files, error) || !mapgen::parse_room_model(description, model, error)) {
        std::fprintf(stderr, "physics_bench: %s\n", error.c_str());
        return 1;
    }
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("ostrel_physics_bench_" + std::to_string(std::random_device{}()));
    if (!mapgen::write_map_directory(files, (root / "maps" / "hall").string(), error)) {
        std::fprintf(stderr, "physics_bench: %s\n", error.c_str());
        return 1;
    }
    {
        OstrelScene ostrel(root, model);
#ifdef OSTREL_WITH_BULLET
        BulletScene bullet(model);
#endif
        for (const bool awake : {true, false}) {
            for (const int n : {16, 64, 128, 256}) {
                const char* const state = awake ? "awake" : "asleep";
                if ((only_count != 0 && n != only_count) || (!only_state.empty() && only_state != state)) {
                    continue;
                }
                int moving = 0;
                PhysicsStats stats;
                const double us = ostrel.run(n, awake, moving, stats);
                std::printf("ostrel_tick_%s_%d %.1f us\n", state, n, us);
                std::printf("ostrel_tick_%s_%d_active %d entities\n", state, n, moving);
                // The work counted over the whole run, to tell a change of
                // speed from a change of what was done.
                std::printf("ostrel_locates_%s_%d %d locates\n", state, n, stats.locates);
                std::printf("ostrel_locate_tests_%s_%d %d tests\n", state, n, stats.locate_volume_tests);
                std::printf("ostrel_ray_casts_%s_%d %d casts\n", state, n, stats.ray_casts);
                std::printf("ostrel_ray_tests_%s_%d %d tests\n", state, n, stats.ray_volume_tests);
#ifdef OSTREL_WITH_BULLET
                const double bt = bullet.run(n, awake, moving);
                std::printf("bullet_step_%s_%d %.1f us\n", state, n, bt);
                std::printf("bullet_step_%s_%d_active %d bodies\n", state, n, moving);
#endif
                std::fflush(stdout);
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
