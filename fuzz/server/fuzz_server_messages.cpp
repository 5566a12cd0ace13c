// The server's handler of client messages, fed any sequence of messages of
// any id and content from a client that is loading a map, then the updates
// the messages may have changed.
//
// Input: repeated records of one id byte, one byte n and n bytes of the
// message, whose last byte's top bits (given by the id byte's count of the
// length) may be cut.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "net/net_stream_in.h"
#include "server/server.h"
#include "tools/fake_client/fake_client.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

// The scratch base directory goes when the fuzzer ends.
struct Scratch {
    std::filesystem::path root;
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};
Scratch scratch;

const char* const SCRIPT = ".global spawnclient, archive\n.code\n"
                           ".func spawnclient, 8\n push 1\n ret1\n"
                           ".func archive, 8\n push 0\n ret1\n";

// A server with a map loaded and one client, told to load it, that never answers by itself.
struct World {
    ConfigVariableList variables;
    FSys files;
    SineTable sine;
    ShareManager share;
    Hive hive;
    Server server;
    fake_client::FakeClient* client = nullptr;
    int slot = -1;
    double now = 1.0;

    World()
    {
        print_init();
        set_stream_handler(quiet, 0);
        cvar_list = &variables;
        fsys = &files;
        files.init();
        sine.init(4096);
        sine_table = &sine;
        std::random_device seed;
        scratch.root = std::filesystem::temp_directory_path() / ("ostrel_fuzz_server_" + std::to_string(seed()));
        const std::filesystem::path& root = scratch.root;
        std::filesystem::create_directories(root / "k");
        mapgen::MapFiles map;
        std::string error;
        if (!mapgen::generate_map("id 0x77\nroom a 0 0 0 256 256 128\nroom b 256 0 0 512 256 128\n"
                                  "door a b 256 96 0 256 160 96\n",
                                  map, error) ||
            !mapgen::write_map_directory(map, (root / "maps" / "m").string(), error)) {
            __builtin_trap();
        }
        const std::vector<uint8_t> kob = kasm::assemble(std::string(SCRIPT) + kasm::OBJECT_BASE_SOURCE).bytes();
        std::ofstream(root / "k" / "game.kob", std::ios::binary)
            .write(reinterpret_cast<const char*>(kob.data()), static_cast<std::streamsize>(kob.size()));
        std::ofstream(root / "k" / "koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
        std::ofstream(root / "initial.ksv").flush();
        files.mount(root.string().c_str(), 1, 10);
        hive.add_protocol(loopback_protocol_create());
        if (server.init(&hive, &share) == 0 || server.start_map("m", nullptr) == 0) {
            __builtin_trap();
        }
        fake_client::Options o;
        o.answer_map = false;
        client = new fake_client::FakeClient(&hive, "local", o);
        for (int n = 0; n < 20 && slot < 0; ++n) {
            client->connect();
            client->receive();
            client->flush();
            now += 0.02;
            server.frame(now, 0);
            for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
                if (server.client[c].state == SCSTATE_LOADING) {
                    slot = c;
                }
            }
        }
        if (slot < 0) {
            __builtin_trap();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World* world = new World;
    Server& s = world->server;
    ServerClient& sc = s.client[world->slot];
    size_t at = 0;
    for (int m = 0; m < 64 && at + 2 <= size; ++m) {
        const int id = data[at];
        const size_t n = data[at + 1];
        at += 2;
        const size_t length = n < size - at ? n : size - at;
        std::vector<uint8_t> message(data + at, data + at + length);
        at += length;
        const int32_t cut = length > 0 ? (id >> 5) & 7 : 0;
        NetStreamIn in;
        in.attach(message.empty() ? data : message.data(), static_cast<int32_t>(length * 8) - cut);
        s.dispatch_client_message(world->slot, &in, id);
        in.detach();
    }
    if (sc.state == SCSTATE_SPAWNED) {
        s.mirror.set_current_stamp(s.mirror.current_stamp + 1);
        s.time_world += SERVER_TICK;
        s.send_client_updates();
        // Back to loading, as a map change would leave it, so that every input starts alike.
        s.mirror.destroy(sc.camera_id);
        sc.camera_id = -1;
        sc.state = SCSTATE_LOADING;
        s.send_client_updates();
    }
    sc.impulse_count = 0;
    world->client->receive();
    return 0;
}
