// client_real_server <seconds>: the engine's server on the UDP port with the
// map "rooms" of the current folder and a spawning script; ends with 0 once a
// spawned client holds the Forward axis and acknowledges the server's updates.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/timer.h"
#include "fsys/fsys.h"
#include "host/host_clock.h"
#include "net/hive.h"
#include "net/udp_protocol.h"
#include "server/server.h"
#include "tests/support/spawn_script.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    print_init();
    const kasm::Assembly scripts = kasm::assemble(std::string(SPAWN_SCRIPT) + kasm::OBJECT_BASE_SOURCE, "game");
    if (!scripts.ok()) {
        std::fprintf(stderr, "server: scripts do not assemble\n");
        return 2;
    }
    std::filesystem::create_directories("k");
    const std::vector<uint8_t> bytes = scripts.bytes();
    std::ofstream("k/game.kob", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ofstream("k/koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
    std::ofstream("initial.ksv").flush();

    cvar_list = new ConfigVariableList;
    cvar_list->link(CVTYPE_STRING, 0x40, "Base", nullptr, 1)->set_string("kavrin");
    fsys = new FSys;
    sine_table = new SineTable;
    if (fsys->init() == 0 || fsys->mount("", 1, 0) == 0 || sine_table->init(4096) == 0) {
        return 2;
    }
    ShareManager share;
    Hive hive;
    NetProtocol* const udp = udp_protocol_create();
    if (udp == nullptr) {
        std::fprintf(stderr, "server: no UDP\n");
        return 2;
    }
    hive.add_protocol(udp);
    int code = 1;
    {
        Server server;
        if (server.init(&hive, &share) == 0 || server.start_map("rooms", nullptr) == 0) {
            std::fprintf(stderr, "server: can't start the map\n");
            return 2;
        }
        const double start = sys_time();
        while (sys_time() - start < seconds) {
            server.frame(sys_time(), 0);
            for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
                const ServerClient& sc = server.client[c];
                if (sc.state == SCSTATE_SPAWNED && sc.analog[0] == 1.0f && sc.input_stamp >= 0) {
                    std::printf("server: '%s' spawned, Forward held, update %d acknowledged\n", sc.name,
                                sc.input_stamp);
                    code = 0;
                }
            }
            if (code == 0) {
                break;
            }
            host::sleep_milliseconds(1);
        }
        if (code != 0) {
            std::printf("server: gave up\n");
        }
        server.shutdown();
    }
    hive.shutdown();
    return code;
}
