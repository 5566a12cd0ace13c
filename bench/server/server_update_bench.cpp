// send_client_updates for 100, 500 and 1000 objects, 1, 8 and 32 spawned
// clients, and 0, 10 or 100 percent of the objects moving each frame (a new
// place and heading). Clients are fake clients over the loopback transport
// that decode every update and acknowledge it; only send_client_updates is
// timed. Counters: bits per moving object's record, and bytes per frame and
// client.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "server/server.h"
#include "tools/fake_client/fake_client.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

// One big room; every object and camera in it sees the others.
const char* const ROOM = "room hall 0 0 0 2048 2048 512\n";
const char* const SCRIPT = ".global spawnclient, archive\n.code\n"
                           ".func spawnclient, 8\n push 1\n ret1\n"
                           ".func archive, 8\n push 0\n ret1\n";

struct Lcg {
    uint32_t state = 1;
    float next(float lo, float hi)
    {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(state >> 8) / 16777216.0f;
    }
};

struct Counts {
    int64_t record_bits = 0; // of records that change an object the client holds
    int64_t records = 0;
    int64_t message_bits = 0;
    int64_t messages = 0;
};

class World {
public:
    World(int objects, int clients)
    {
        print_init();
        set_stream_handler(quiet, 0);
        saved_list_ = cvar_list;
        saved_fsys_ = fsys;
        saved_sine_ = sine_table;
        cvar_list = &variables_;
        fsys = &files_;
        files_.init();
        sine_.init(4096);
        sine_table = &sine_;
        std::random_device seed;
        root_ = std::filesystem::temp_directory_path() / ("ostrel_bench_server_" + std::to_string(seed()));
        std::filesystem::create_directories(root_ / "k");
        mapgen::MapFiles map;
        std::string error;
        ok_ = mapgen::generate_map(ROOM, map, error) &&
              mapgen::write_map_directory(map, (root_ / "maps" / "hall").string(), error);
        const std::vector<uint8_t> kob = kasm::assemble(std::string(SCRIPT) + kasm::OBJECT_BASE_SOURCE).bytes();
        std::ofstream(root_ / "k" / "game.kob", std::ios::binary)
            .write(reinterpret_cast<const char*>(kob.data()), static_cast<std::streamsize>(kob.size()));
        std::ofstream(root_ / "k" / "koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
        std::ofstream(root_ / "initial.ksv").flush();
        files_.mount(root_.string().c_str(), 1, 10);
        hive_.add_protocol(loopback_protocol_create());
        ok_ = ok_ && server.init(&hive_, &share_) == 1 && server.start_map("hall", nullptr) == 1;
        if (!ok_) {
            return;
        }
        for (int c = 0; c < clients; ++c) {
            fake_client::Options o;
            o.name = "c" + std::to_string(c);
            o.cps = 1000000;
            clients_.push_back(std::make_unique<fake_client::FakeClient>(&hive_, "local", o));
        }
        for (int n = 0; n < 200 && spawned() < clients; ++n) {
            frame_of_clients();
            now_ += 1.0 / 70.0;
            server.frame(now_, 0);
        }
        ok_ = spawned() == clients;
        // Icons first (seen by their audience), then sprites and meshes (through the map's PVS).
        const int kinds[3][2] = {{OBJCLASS_ICON, 512}, {OBJCLASS_SPRITE, 256}, {OBJCLASS_MESH, 256}};
        for (const auto& [object_class, most] : kinds) {
            for (int i = 0; i < most && static_cast<int>(ids_.size()) < objects; ++i) {
                const int32_t id = server.mirror.create(object_class, AUDIENCE_EVERYONE, false);
                ok_ = ok_ && id >= 0;
                ids_.push_back(id);
                move(id);
            }
        }
        for (int32_t c = 0; c < clients; ++c) {
            server.mirror.set_position(server.client[c].camera_id, Vector{1024.0f, 1024.0f, 128.0f});
        }
        // Until every client holds every object and has acknowledged it.
        for (int n = 0; n < 20; ++n) {
            step(0, nullptr);
        }
    }

    ~World()
    {
        clients_.clear();
        server.shutdown();
        hive_.shutdown();
        files_.close();
        cvar_list = saved_list_;
        fsys = saved_fsys_;
        sine_table = saved_sine_;
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    bool ok() const { return ok_; }

    // One frame: a tick, `moving` objects moved, the updates (timed), then
    // the clients decode and acknowledge. Answers the seconds of the updates.
    double step(int moving, Counts* counts);


private:
    int spawned() const
    {
        int n = 0;
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            n += server.client[c].state == SCSTATE_SPAWNED ? 1 : 0;
        }
        return n;
    }
    void frame_of_clients()
    {
        for (auto& c : clients_) {
            if (c->connect()) {
                c->receive();
                c->send_input();
                c->flush();
            }
        }
    }
    void move(int32_t id)
    {
        server.mirror.set_position(id, Vector{lcg_.next(8.0f, 2040.0f), lcg_.next(8.0f, 2040.0f), lcg_.next(8.0f, 500.0f)});
        server.mirror.set_angles(id, lcg_.next(0.0f, 6.28f), 0.0f, 0.0f);
    }

public:
    Server server;

private:
    ConfigVariableList variables_;
    FSys files_;
    SineTable sine_;
    ShareManager share_;
    Hive hive_;
    std::vector<std::unique_ptr<fake_client::FakeClient>> clients_;
    std::vector<int32_t> ids_;
    std::filesystem::path root_;
    ConfigVariableList* saved_list_ = nullptr;
    FSys* saved_fsys_ = nullptr;
    SineTable* saved_sine_ = nullptr;
    double now_ = 1.0;
    Lcg lcg_;
    size_t next_ = 0;
    bool ok_ = false;
};

double World::step(int moving, Counts* counts)
{
    ++server.tick;
    server.mirror.set_current_stamp(static_cast<int32_t>(server.tick));
    server.time_world += SERVER_TICK;
    for (int i = 0; i < moving; ++i) {
        move(ids_[next_++ % ids_.size()]);
    }
    const auto t0 = std::chrono::steady_clock::now();
    server.send_client_updates();
    const auto t1 = std::chrono::steady_clock::now();
    for (auto& c : clients_) {
        c->kept.clear();
        c->keep_updates = counts != nullptr;
        const int64_t bits = c->update_bits;
        const int32_t updates = c->updates_received;
        c->receive();
        if (counts != nullptr) {
            counts->message_bits += c->update_bits - bits;
            counts->messages += c->updates_received - updates;
            for (const fake_client::UpdateMessage& m : c->kept) {
                for (const fake_client::UpdateRecord& r : m.records) {
                    if (!r.leave && !r.create()) {
                        counts->record_bits += r.bits;
                        ++counts->records;
                    }
                }
            }
        }
        c->send_input();
        c->flush();
    }
    server.now = now_;
    server.read_client_sockets();
    return std::chrono::duration<double>(t1 - t0).count();
}

void send_client_updates(benchmark::State& state)
{
    const int objects = static_cast<int>(state.range(0));
    const int clients = static_cast<int>(state.range(1));
    const int moving = objects * static_cast<int>(state.range(2)) / 100;
    World world(objects, clients);
    if (!world.ok()) {
        state.SkipWithError("the world could not be made");
        return;
    }
    Counts counts;
    for (auto _ : state) {
        state.SetIterationTime(world.step(moving, &counts));
    }
    state.counters["bits_per_moving_object"] =
        counts.records > 0 ? static_cast<double>(counts.record_bits) / counts.records : 0.0;
    state.counters["bytes_per_client_frame"] =
        counts.messages > 0 ? static_cast<double>(counts.message_bits) / 8.0 / counts.messages : 0.0;
}

BENCHMARK(send_client_updates)
    ->ArgNames({"objects", "clients", "moving%"})
    ->ArgsProduct({{100, 500, 1000}, {1, 8, 32}, {0, 10, 100}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
