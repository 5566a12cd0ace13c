// client_test_server <seconds>: waits on the UDP port for one client, accepts
// it, has it load the map "rooms", sends it the camera and ends with 0 once an
// input message acknowledges the camera's update with the Forward axis held.
#include "core/config_variable.h"
#include "core/poll.h"
#include "core/print.h"
#include "fake_server.h"
#include "net/net_stream_out.h"
#include "host/host_clock.h"
#include "net/hive.h"
#include "net/udp_protocol.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    print_init();
    cvar_list = new ConfigVariableList;
    Hive hive;
    NetProtocol* const udp = udp_protocol_create();
    if (udp == nullptr) {
        std::fprintf(stderr, "server: no UDP\n");
        return 2;
    }
    hive.add_protocol(udp);
    fake::Server server(hive);
    const uint32_t start = host::time_get_time();
    bool sent = false;
    uint32_t stamp = 0;
    uint32_t last_update = start;
    int code = 1;
    while ((host::time_get_time() - start) < seconds * 1000.0) {
        poll_all();
        if (!server.connected()) {
            (void)server.accept();
        } else if (!sent) {
            std::printf("server: connected, player '%s'\n", server.request().name.c_str());
            server.send_accept("kavrin", "UDP game", "say");
            server.send_map_load("rooms", 5);
            sent = true;
        }
        server.receive();
        // Updates travel unreliably, apart from the reliable messages: they
        // start once the map is loaded and come every 20 ms, as a server's frames.
        const uint32_t now = host::time_get_time();
        if (!server.maps_loaded.empty() && now - last_update >= 20) {
            fake::Object camera;
            camera.object_class = 10;
            camera.mask = 0x2000 | 0x400 | 0x7;
            camera.position[0] = 100.0f;
            camera.position[1] = 64.0f;
            // No tint and no extents.
            camera.class_part = [](NetStreamOut& s) { s.write_bits(0, 2); };
            server.send_update(++stamp, {camera});
            last_update = now;
        }
        server.flush();
        if (!server.maps_loaded.empty() && !server.inputs.empty()) {
            const fake::Input& in = server.inputs.back();
            if (in.stamp >= 1 && in.axes[0] == 32768 + 8192) {
                std::printf("server: map answer %u, input with Forward at stamp %d\n", server.maps_loaded[0].word,
                            in.stamp);
                code = 0;
                break;
            }
        }
        host::sleep_milliseconds(1);
    }
    if (code != 0) {
        std::printf("server: gave up (maps %zu, inputs %zu)\n", server.maps_loaded.size(), server.inputs.size());
    }
    server.close();
    hive.shutdown();
    return code;
}
