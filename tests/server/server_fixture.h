#pragma once
// A server on a manual clock with a scratch base directory: maps made by the
// map generator, scripts made by the assembler, a hive with the loopback
// transport, and fake clients that connect to it.
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/timer.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "host/host_clock.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "server/server.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"

#include "tests/support/spawn_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

using fake_client::FakeClient;


inline const char* const REFUSING_SPAWN_SCRIPT = R"(
.global spawnclient, archive
.code
.func spawnclient, 8
    push 0
    ret1
.func archive, 8
    push 0
    ret1
)";

inline std::string source_file(const std::string& relative)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture.show_all();
        saved_list_ = cvar_list;
        cvar_list = &variables;
        saved_fsys_ = fsys;
        fsys = &files;
        files.init();
        ASSERT_EQ(files.mount(tree.path().c_str(), 1, 10), 1);
        saved_sine_ = sine_table;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        clock.set_micros(1000000);
        hive.add_protocol(loopback_protocol_create());
        ASSERT_EQ(server.init(&hive, &share), 1);
    }
    void TearDown() override
    {
        server.shutdown();
        hive.shutdown();
        files.close();
        fsys = saved_fsys_;
        cvar_list = saved_list_;
        sine_table = saved_sine_;
    }

    // maps/<name> from tools/mapgen/maps/<rooms>.rooms.
    void write_map(const std::string& name, const std::string& rooms)
    {
        mapgen::MapFiles files_out;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(source_file("tools/mapgen/maps/" + rooms + ".rooms"), files_out, error))
            << error;
        for (const mapgen::MapFile& f : files_out.files) {
            tree.write("maps/" + name + "/" + f.name, f.bytes);
        }
    }

    // The program with the base class's methods, its list and an empty initial state.
    void write_scripts(const char* source = SPAWN_SCRIPT)
    {
        const kasm::Assembly a = kasm::assemble(std::string(source) + kasm::OBJECT_BASE_SOURCE, "game");
        ASSERT_TRUE(a.ok()) << (a.errors.empty() ? "" : a.errors[0]);
        tree.write("k/game.kob", a.bytes());
        tree.write("k/koblist.txt", "textualKOBlist,version000\n1\nk/game.kob\n");
        tree.write("initial.ksv", "");
    }

    // The snake map and the scripts, started as the Map command starts it.
    void start_world(const char* source = SPAWN_SCRIPT)
    {
        ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
        ASSERT_NO_FATAL_FAILURE(write_scripts(source));
        ASSERT_EQ(server.start_map("snake", nullptr), 1) << printed();
    }

    // Everything printed so far, a line each.
    std::string printed() const
    {
        std::string all;
        for (const PrintCapture::Line& l : capture.lines()) {
            all += l.text + "\n";
        }
        return all;
    }

    ConfigVariable* var(const char* name) const { return cvar_list->find(name); }

    // One engine frame of dt seconds: the clients first, then the server.
    void frame(std::initializer_list<FakeClient*> clients = {}, double dt = 1.0 / 70.0)
    {
        for (FakeClient* c : clients) {
            if (c->connect()) {
                c->receive();
                c->send_input();
                c->flush();
            }
        }
        advance(dt);
        server.frame(now, 0);
    }

    // The engine time given to the server, and the clock behind sys_time (in ms).
    void advance(double dt)
    {
        now += dt;
        clock.set_micros(static_cast<int64_t>(now * 1e6));
    }

    // The slot of a connected client by name, or -1.
    int slot_of(const std::string& name) const
    {
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            if (server.client[c].state != SCSTATE_FREE && name == server.client[c].name) {
                return c;
            }
        }
        return -1;
    }

    // Frames until every client is spawned (bounded): true when they are.
    bool spawn(std::initializer_list<FakeClient*> clients)
    {
        for (int n = 0; n < 50; ++n) {
            frame(clients);
            bool all = true;
            for (FakeClient* c : clients) {
                const int s = slot_of(c->options().name);
                all = all && s >= 0 && server.client[s].state == SCSTATE_SPAWNED;
            }
            if (all) {
                return true;
            }
        }
        return false;
    }

    double now = 1.0;
    PrintCapture capture;
    TempTree tree;
    host::ManualClock clock;
    host::ScopedClock scoped_clock{&clock};
    ConfigVariableList variables;
    FSys files;
    SineTable sine_;
    ShareManager share;
    Hive hive;
    Server server;

private:
    ConfigVariableList* saved_list_ = nullptr;
    FSys* saved_fsys_ = nullptr;
    SineTable* saved_sine_ = nullptr;
};
