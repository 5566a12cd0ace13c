// Feeds arbitrary messages from a server to a connected client: the receive
// loop, the message handler, map loads and update decoding. Input: repeated
// {u8 message id, u16 length in bits, payload}, sent through the server's end
// of a loopback connection, then two client frames.
#include "client/client.h"
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "host/host_clock.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"
#include "tests/client/recording_renderer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

class MemoryMode final : public KVideoMode {
public:
    MemoryMode()
    {
        modes = &table_;
        mode_count = 1;
    }
    ~MemoryMode() override { close_mode(); }
    int init_mode(int32_t, int32_t) override
    {
        close_mode();
        xres = 64;
        yres = 48;
        line_width = 64;
        pages = 1;
        init_line_offsets();
        pixels_.assign(64 * 48, 0);
        framebuffer = pixels_.data();
        return 1;
    }
    void close_mode() override
    {
        reset_mode_fields();
        pixels_.clear();
    }
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override {}
    void end_frame() override {}

private:
    VideoModeRecord table_{64, 48, 0, 1};
    std::vector<uint32_t> pixels_;
};

KVideoMode* make_mode() { return new MemoryMode; }

// x = 0 splits space; x >= 0 is split again by y = 0.
const char* const RPLANES = "textualRPlanes,version005\n1\n2\n0 2\n1 0 0 0\n0 1 0 0\n";
const char* const RTREES = "textualRTrees,version005\n1\n2\n3\n0 0\n-3 0 0 0 4 0\n0 4 0\n4 2 0\n6 1 7\n"
                           "0 0x0 0x1 0x80000000\n-100 -100 -100\n100 100 100\n0 -100 -100 100 100 100\n"
                           "-100 -100 -100 0 100 100\n1 0x0 0x80000001 0x80000002\n0 -100 -100\n100 100 100\n"
                           "0 0 -100 100 100 100\n0 -100 -100 100 0 100\n";

struct World {
    host::ManualClock clock;
    CommandLine arguments;
    ShareManager share;
    Hive hive;
    Client* client = nullptr;
    NetSocket* server = nullptr;
    std::string directory;

    void frame()
    {
        clock.advance_seconds(0.03);
        (void)client->frame(static_cast<double>(clock.micros()) / 1e6);
    }

    bool connect()
    {
        if (server != nullptr) {
            hive.close_socket(server);
            server = nullptr;
        }
        client->cancel_connect();
        (void)client->connect("local", 0);
        uint8_t request[256];
        int32_t length = sizeof request;
        server = hive.accept(request, &length);
        if (server == nullptr) {
            return false;
        }
        frame();
        NetStreamOut s;
        if (server->message_begin(&s, 0xB0, NET_STREAM_RELIABLE) != 0) {
            return false;
        }
        s.write32(10);
        s.write32(0x4B5652);
        s.write_string("kavrin");
        s.write_string("fuzz");
        s.write_string("say kick");
        server->message_end(&s);
        frame();
        return client->net_state() == CSTATE_ACCEPTED;
    }
};

World* start()
{
    print_init();
    set_stream_handler(quiet, 0);
    World* const w = new World;
    host::set_clock(&w->clock);
    cvar_list = new ConfigVariableList;
    cvar_list->link(CVTYPE_STRING, 0x40, "Base", nullptr, 1)->set_string("kavrin");
    const char* argv[] = {"fuzz", "-video", "MEM", "-nosound"};
    w->arguments.parse(4, argv);
    command_line = &w->arguments;
    sine_table = new SineTable;
    sine_table->init(4096);
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/fuzz_client_%p", static_cast<void*>(w));
    w->directory = name;
    std::filesystem::create_directories(w->directory + "/maps/m");
    static std::string made;
    made = w->directory;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    std::ofstream(w->directory + "/maps/m/rplanes.txt") << RPLANES;
    std::ofstream(w->directory + "/maps/m/rtrees.txt") << RTREES;
    fsys = new FSys;
    fsys->init();
    fsys->mount(w->directory.c_str(), 1, 0);
    video_register_driver("MEM", "Memory", 32, make_mode);
    w->hive.add_protocol(loopback_protocol_create());
    // The tests' renderer: the screen's files are not needed to read messages.
    set_client_renderer_factory(RecordingRenderer::make);
    w->client = new Client;
    if (w->client->init(&w->hive, &w->share) == 0) {
        std::abort();
    }
    set_stream_handler(quiet, 0);
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World* const w = start();
    if (w->client->net_state() != CSTATE_ACCEPTED && !w->connect()) {
        return 0;
    }
    size_t at = 0;
    for (int messages = 0; messages < 32 && at + 3 <= size && w->server != nullptr; ++messages) {
        const int id = data[at];
        const int32_t bits = std::min<int32_t>(data[at + 1] | data[at + 2] << 8, 8 * 4000);
        at += 3;
        NetStreamOut s;
        if (w->server->message_begin(&s, id, NET_STREAM_RELIABLE) != 0) {
            break;
        }
        for (int32_t b = 0; b < bits; b += 8) {
            const uint32_t byte = at < size ? data[at++] : 0;
            const int n = bits - b < 8 ? bits - b : 8;
            s.write_bits(byte & ((1u << n) - 1), n);
        }
        w->server->message_end(&s);
    }
    w->frame();
    w->frame();
    // What the client sent is read and dropped, so the line never fills.
    for (int guard = 0; guard < 1000 && w->server != nullptr; ++guard) {
        NetStreamIn in;
        int id = 0;
        if (w->server->read(&in, &id, nullptr) != 0) {
            break;
        }
        in.detach();
    }
    return 0;
}
