// e2e_udp_player_soft and e2e_udp_player_gl, one over each program: the whole engine on the real clock, headless, in a folder
// that holds the demo base ("kavrin"); one line of report per event on stdout.
//   e2e_udp_player host <seconds>
//     serves the demo level on a UDP port the system picks ("port <n>"),
//     plays on it through the loopback ("ready"), reports each client slot
//     taken and freed ("slot <c> <name>", "free <c> <name>"); console text
//     written to "type.txt" in its folder is typed in and the file removed
//     ("typed").
//   e2e_udp_player join <port> <name> <seconds> [<address>]
//     connects to <address> (127.0.0.1) on the port holding Forward ("spawned"),
//     says when it has seen another figure walk WALK_DISTANCE straight north from
//     where it first saw it ("saw <id> walk"; the guard and the drone turn), and quits through the console once the
//     seconds have passed and a file "stop" is in its folder (or, bounded,
//     STOP_WAIT seconds later).
//   Either, as it ends, reports every object it saw move ("moved <id> from
//   <x> <y> <z> to <x> <y> <z>") and that it ended ("quit").
#include "client/client.h"
#include "client/cobj_manager.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/timer.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "net/hive.h"
#include "net/net_protocol.h"
#include "net/udp_protocol.h"
#include "server_slots.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr float WALK_DISTANCE = 100.0f; // units a figure walks north before it counts as walking
constexpr double STOP_WAIT = 20.0;      // seconds a player waits for the stop file
constexpr uint32_t FIGURE_CLASS = 5;

struct Seen {
    float first[3];
    float last[3];
    bool walked;
};

void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

uint16_t listening_port(Engine& engine)
{
    for (NetProtocol* p = engine.hive()->first_protocol(); p != nullptr; p = p->next) {
        if (p->id == UDP_PROTOCOL_ID) {
            return static_cast<UDPProtocol*>(p)->listening_port();
        }
    }
    return 0;
}

void watch_objects(Client& client, std::map<uint32_t, Seen>& seen)
{
    for (int c = 1; c < OBJID_CLASSMAX; ++c) {
        CObjManager* const m = client.decoder().manager(c);
        for (int i = m != nullptr ? m->first() : -1; i >= 0; i = m->next()) {
            const CObjCommon& o = m->common(i);
            // The carrier's place and the object's own on it; near enough for a figure upright on its body.
            const float p[3] = {o.pose[0].position.x + o.pose[1].position.x, o.pose[0].position.y + o.pose[1].position.y,
                                o.pose[0].position.z + o.pose[1].position.z};
            auto [it, fresh] = seen.try_emplace(o.id, Seen{{p[0], p[1], p[2]}, {p[0], p[1], p[2]}, false});
            Seen& s = it->second;
            std::memcpy(s.last, p, sizeof p);
            if (!s.walked && o.id >> 20 == FIGURE_CLASS && s.last[1] - s.first[1] >= WALK_DISTANCE &&
                std::fabs(s.last[0] - s.first[0]) < 1.0f) {
                s.walked = true;
                report("saw %x walk", o.id);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool host = argc == 3 && std::strcmp(argv[1], "host") == 0;
    const bool join = (argc == 5 || argc == 6) && std::strcmp(argv[1], "join") == 0;
    if (!host && !join) {
        std::fprintf(stderr, "usage: e2e_udp_player host <seconds> | join <port> <name> <seconds> [<address>]\n");
        return 2;
    }
    const double seconds = std::atof(argv[host ? 2 : 4]);
    udp_set_server_port(host ? 0 : static_cast<uint16_t>(std::atoi(argv[2])));
    Engine engine;
    const char* const engine_argv[] = {"ostrel", "-nosound"};
    if (engine.init(2, engine_argv) == 0) {
        report("failed to start");
        return 1;
    }
    Client& client = *engine.client();
    if (host) {
        report("port %d", listening_port(engine));
        client.cons_cmd()->add_text("Set Client_Name host\nSet Client_Administrator True\nConnect local\nWait 5\nMap demo");
    } else {
        const std::string text = std::string("Set Client_Name ") + argv[3] + "\nPress Forward\nConnect " +
                                 (argc == 6 ? argv[5] : "127.0.0.1");
        client.cons_cmd()->add_text(text.c_str());
    }
    std::map<uint32_t, Seen> seen;
    std::vector<std::string> slots(static_cast<size_t>(server_slot_count()));
    bool spawned = false;
    bool quitting = false;
    const double start = sys_time();
    // Bounded by the seconds and the shutdown after them.
    while (engine.frame() != 0) {
        const double t = sys_time() - start;
        if (!spawned && client.camera() != nullptr) {
            spawned = true;
            report(host ? "ready" : "spawned");
        }
        if (client.map_active()) {
            watch_objects(client, seen);
        }
        if (host) {
            if (std::FILE* const typed = std::fopen("type.txt", "rb"); typed != nullptr) {
                char text[256] = {};
                const size_t n = std::fread(text, 1, sizeof text - 1, typed);
                std::fclose(typed);
                std::remove("type.txt");
                text[n] = '\0';
                client.cons_cmd()->add_text(text);
                report("typed");
            }
            for (int c = 0; c < server_slot_count(); ++c) {
                const std::string now = server_slot_holder(engine, c);
                std::string& was = slots[static_cast<size_t>(c)];
                if (now != was) {
                    if (!was.empty()) {
                        report("free %d %s", c, was.c_str());
                    }
                    if (!now.empty()) {
                        report("slot %d %s", c, now.c_str());
                    }
                    was = now;
                }
            }
        }
        if (!quitting && t > seconds && (host || t > seconds + STOP_WAIT || std::filesystem::exists("stop"))) {
            quitting = true;
            client.cons_cmd()->add_text("Quit");
        }
        host::sleep_milliseconds(2);
    }
    // However it ended: its own Quit or one typed in.
    for (const auto& [id, s] : seen) {
        if (std::memcmp(s.first, s.last, sizeof s.first) != 0) {
            report("moved %x from %.1f %.1f %.1f to %.1f %.1f %.1f", id, s.first[0], s.first[1], s.first[2], s.last[0],
                   s.last[1], s.last[2]);
        }
    }
    report("quit");
    return 0;
}
