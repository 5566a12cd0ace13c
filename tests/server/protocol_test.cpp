// The game protocol's server side over the loopback transport: accept and
// reject, map load and spawn, the client's messages, texts and their
// audiences, the rate control.
#include "server_fixture.h"

#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_out.h"

#include <memory>

namespace {

using fake_client::Options;

Options named(const std::string& name)
{
    Options o;
    o.name = name;
    return o;
}

class Protocol : public ServerFixture {
protected:
    void TearDown() override
    {
        clients_.clear();
        ServerFixture::TearDown();
    }

    FakeClient& add(const Options& o)
    {
        clients_.push_back(std::make_unique<FakeClient>(&hive, "local", o));
        return *clients_.back();
    }

    // Frames for the listed clients (bounded) until done() holds.
    template <class Done>
    bool run(std::initializer_list<FakeClient*> clients, Done done, int frames = 40)
    {
        for (int n = 0; n < frames; ++n) {
            frame(clients);
            for (FakeClient* c : clients) {
                c->receive();
            }
            if (done()) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::unique_ptr<FakeClient>> clients_;
};

TEST_F(Protocol, AcceptTellsVersionBaseTitleAndCommands)
{
    ConfigVariable* const base = variables.link(CVTYPE_STRING, 0, "Base", "kavrin", 0);
    FakeClient& c = add(named("alice"));
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    EXPECT_EQ(c.base, "kavrin");
    EXPECT_EQ(c.title, "Kavrin engine demo");
    EXPECT_EQ(c.commands, "Map Load Save CloseMap");
    EXPECT_EQ(server.clients, 1);
    const int s = slot_of("alice");
    ASSERT_GE(s, 0);
    EXPECT_EQ(server.client[s].state, SCSTATE_CONNECTED);
    EXPECT_EQ(server.client[s].cps, 20000);
    EXPECT_EQ(server.client[s].flags, SCFLAG_PLAYER);
    EXPECT_TRUE(capture.contains("Server: Client accepted"));
    variables.release(base);
}

std::vector<uint8_t> request(uint32_t version, uint32_t magic, const std::string& name, bool whole = true)
{
    std::vector<uint8_t> b(256);
    NetStreamOut out;
    out.attach(b.data(), 256);
    out.write32(version);
    out.write32(magic);
    out.write_string(name.c_str());
    if (whole) {
        out.write32(5000);
        out.write_bits(0, 3);
    }
    b.resize(static_cast<size_t>((out.detach() + 7) / 8));
    return b;
}

TEST_F(Protocol, RejectionsInTheirOrder)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool cheater;
        bool administrator;
        const char* reason;
    };
    var("S_AllowCheaters")->set_bool(0);
    var("S_AllowAdministrators")->set_bool(0);
    const Case cases[] = {
        {"empty request", {}, false, false, "connection request damaged"},
        {"version before magic", request(9, 1, "a"), false, false, "protocol version mismatch"},
        {"magic", request(10, 0x4B5653, "b"), false, false, "game magic mismatch"},
        {"cut after the name", request(10, 0x4B5652, "c", false), false, false, "connection request damaged"},
        {"name without its end", {10, 0, 0, 0, 0x52, 0x56, 0x4B, 0, 'd', 'e'}, false, false,
         "connection request damaged"},
        {"name of 40", request(10, 0x4B5652, std::string(40, 'n')), false, false, "player name too long"},
        {"cheater", {}, true, false, "no cheaters allowed"},
        {"administrator", {}, false, true, "no more administrators allowed"},
        {"cheater before administrator", {}, true, true, "no cheaters allowed"},
    };
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Options o = named("r" + std::to_string(n++));
        o.cheater = k.cheater;
        o.administrator = k.administrator;
        o.raw_request = !k.bytes.empty() || std::string(k.name) == "empty request";
        o.request_bytes = k.bytes;
        FakeClient& c = add(o);
        ASSERT_TRUE(run({&c}, [&] { return c.rejected; }));
        EXPECT_EQ(c.reject_reason, k.reason);
        EXPECT_FALSE(c.accepted);
        EXPECT_TRUE(capture.contains(std::string("Server: Client rejected (") + k.reason + ")"));
        EXPECT_EQ(server.clients, 0);
        c.receive();
        EXPECT_TRUE(c.lost());
    }
    // The slot that a refused cheater held for its checks is free again.
    for (int s = 0; s < SERVER_MAXCLIENTS; ++s) {
        EXPECT_EQ(server.client[s].state, SCSTATE_FREE) << s;
        EXPECT_STREQ(server.client[s].name, "") << s;
    }
}

TEST_F(Protocol, TheThirtyThirdClientIsRejected)
{
    std::vector<FakeClient*> all;
    for (int i = 0; i < 33; ++i) {
        Options o = named("c" + std::to_string(i));
        o.player = false;
        all.push_back(&add(o));
    }
    for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(run({all[static_cast<size_t>(i)]}, [&] { return all[static_cast<size_t>(i)]->accepted; })) << i;
    }
    EXPECT_EQ(server.clients, 32);
    ASSERT_TRUE(run({all[32]}, [&] { return all[32]->rejected; }));
    EXPECT_EQ(all[32]->reject_reason, "client limit exceeded");
    EXPECT_EQ(server.clients, 32);
}

TEST_F(Protocol, AWeirdRateBecomesAThousand)
{
    Options o = named("slow");
    o.cps = 500;
    FakeClient& c = add(o);
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    EXPECT_TRUE(capture.contains("Server: Client slow - weird cps 500"));
    EXPECT_EQ(server.client[slot_of("slow")].cps, 1000);
}

TEST_F(Protocol, ImpulsesKeepTheFirstThirtyTwo)
{
    FakeClient& c = add(named("imp"));
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    std::vector<uint8_t> codes;
    for (int i = 0; i < 40; ++i) {
        codes.push_back(static_cast<uint8_t>(i | (i % 2 != 0 ? 0x80 : 0)));
    }
    ASSERT_TRUE(c.send_impulses(codes));
    c.flush();
    frame({});
    const ServerClient& sc = server.client[slot_of("imp")];
    ASSERT_EQ(sc.impulse_count, 32);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(sc.impulses[i], codes[static_cast<size_t>(i)]) << i;
    }
    EXPECT_EQ(capture.count("Server: Impulse buffer overflow !"), 1);
}

TEST_F(Protocol, InputFillsTheSlot)
{
    FakeClient& c = add(named("in"));
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    // Groups of 3, 2 and 4 axes; absent axes are 0.
    const std::vector<float> analog = {1.0f, 0.0f, -0.5f, 0.0f, 0.0f, 0.25f, 0.0f, 0.0f, -4.0f};
    ASSERT_TRUE(c.send_input_stamp(-1, analog, 0x81));
    c.flush();
    frame({});
    const ServerClient& sc = server.client[slot_of("in")];
    for (size_t i = 0; i < analog.size(); ++i) {
        EXPECT_EQ(sc.analog[i], analog[i]) << i;
    }
    EXPECT_EQ(sc.current_state, 0x81u);
    ASSERT_TRUE(c.send_input_stamp(-1, {}, 0x2));
    c.flush();
    frame({});
    EXPECT_EQ(sc.current_state, 0x2u);
    EXPECT_EQ(sc.accumulated_state, 0x83u);
    EXPECT_EQ(sc.analog[0], 0.0f);
}

TEST_F(Protocol, MapLoadAndSpawn)
{
    ASSERT_NO_FATAL_FAILURE(write_map("rooms", "three_rooms"));
    ASSERT_NO_FATAL_FAILURE(write_scripts());
    ASSERT_EQ(server.start_map("rooms", nullptr), 1);
    ASSERT_EQ(server.map_id, 0x1a2bu);
    Options o = named("p");
    o.answer_map = false;
    FakeClient& c = add(o);
    ASSERT_TRUE(run({&c}, [&] { return c.load_maps == 1; }));
    EXPECT_EQ(c.map_name, "rooms");
    EXPECT_EQ(c.map_word, 0x1a2bu);
    const int s = slot_of("p");
    EXPECT_EQ(server.client[s].state, SCSTATE_LOADING);

    struct Case {
        const char* name;
        std::string map;
        uint32_t word;
        const char* message; // on the print streams, or null for none
        int map_changes;
    };
    const Case cases[] = {
        {"other map", "snake", 0x1a2b, "Server: Client loaded map snake, expected rooms", 0},
        {"name cut to fit", "roomsroomsrooms", 0x1a2b, "Server: Client loaded map roomsroom, expected rooms", 0},
        {"load failed", "rooms", 0xFFFFFFFFu, "Server: Client loadmap failed", 0},
        {"other identifier", "rooms", 0x1a2c, "Server: Client magic mismatch", 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        const int changes = c.map_changes;
        ASSERT_TRUE(c.send_map_loaded(k.map, k.word));
        c.flush();
        frame({});
        c.receive();
        EXPECT_TRUE(capture.contains(k.message));
        EXPECT_EQ(c.map_changes - changes, k.map_changes);
        EXPECT_EQ(server.client[s].state, SCSTATE_LOADING);
    }
    ASSERT_TRUE(c.send_map_loaded("rooms", 0x1a2b));
    c.flush();
    frame({});
    EXPECT_EQ(server.client[s].state, SCSTATE_SPAWNED);
    // Once spawned, another map-loaded message is ignored without a word.
    capture.clear();
    ASSERT_TRUE(c.send_map_loaded("snake", 1));
    c.flush();
    frame({});
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(server.client[s].state, SCSTATE_SPAWNED);

    // A closed map sends every loading or spawned client back.
    server.unload_map();
    c.receive();
    EXPECT_EQ(c.map_changes, 2);
    EXPECT_EQ(server.client[s].state, SCSTATE_CONNECTED);
    EXPECT_EQ(server.client[s].camera_id, -1);
}

TEST_F(Protocol, ARefusedSpawnLeavesTheClientLoadingAndNoCamera)
{
    ASSERT_NO_FATAL_FAILURE(start_world(REFUSING_SPAWN_SCRIPT));
    FakeClient& c = add(named("refused"));
    ASSERT_TRUE(run({&c}, [&] { return capture.contains("Server: Can't spawn K client refused"); }));
    const int s = slot_of("refused");
    EXPECT_EQ(server.client[s].state, SCSTATE_LOADING);
    EXPECT_EQ(server.client[s].camera_id, -1);
    // Every try makes a camera of its own and releases it when refused.
    for (int i = 0; i < 40; ++i) {
        c.send_map_loaded("snake", 0);
        c.flush();
        frame({});
    }
    EXPECT_EQ(server.cameras.head, -1);
}

TEST_F(Protocol, CommandsRunWithTheClientsRights)
{
    struct Case {
        const char* name;
        bool administrator;
        bool cheater;
        const char* command;
        const char* variable;
        bool changed;
    };
    const Case cases[] = {
        {"player may not set server variables", false, false, "Set S_PVS False", "S_PVS", false},
        {"administrator may", true, false, "Set S_PVS False", "S_PVS", true},
        {"frame ticks need a cheating administrator", true, false, "Set S_FrameTicks 2", "S_FrameTicks", false},
        {"cheating administrator", true, true, "Set S_FrameTicks 2", "S_FrameTicks", true},
    };
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        var("S_PVS")->set_bool(1);
        var("S_FrameTicks")->set_int(0);
        Options o = named("cmd" + std::to_string(n++));
        o.administrator = k.administrator;
        o.cheater = k.cheater;
        o.player = false;
        FakeClient& c = add(o);
        ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
        const std::string before = var(k.variable)->string();
        ASSERT_TRUE(c.send_command(k.command));
        c.flush();
        frame({});
        EXPECT_EQ(std::string(var(k.variable)->string()) != before, k.changed);
        EXPECT_EQ(server.current_client, CLIENTID_NONE);
    }
    var("S_FrameTicks")->set_int(0);
}

TEST_F(Protocol, AClientsCommandRunsAloneAndLeavesNothingBehind)
{
    Options o = named("admin");
    o.administrator = true;
    o.cheater = true;
    FakeClient& c = add(o);
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    // Text the server queued itself waits for its frame and keeps its rights.
    server.cmd->add_text("Set S_Profile True");
    ASSERT_TRUE(c.send_command("Wait 3; Set S_PVS False"));
    c.flush();
    clock.advance_seconds(0.01);
    server.read_client_sockets();
    EXPECT_TRUE(var("S_PVS")->as_bool()) << "what follows a Wait is dropped";
    EXPECT_FALSE(var("S_Profile")->as_bool());
    EXPECT_STREQ(server.cmd->buffer(), "Set S_Profile True\n");
    server.cmd->exec_buffer();
    EXPECT_TRUE(var("S_Profile")->as_bool());
    var("S_Profile")->set_bool(0);
    // A non-administrator's text cannot touch the server's variables, and
    // the server's own text afterwards runs with every right again.
    Options p = named("player");
    p.player = false;
    FakeClient& d = add(p);
    ASSERT_TRUE(run({&d}, [&] { return d.accepted; }));
    ASSERT_TRUE(d.send_command("Set S_Profile True"));
    d.flush();
    server.read_client_sockets();
    EXPECT_FALSE(var("S_Profile")->as_bool());
    EXPECT_TRUE(capture.contains("Can't set 'S_Profile' - permission denied"));
    server.cmd->add_text("Set S_Profile True");
    server.cmd->exec_buffer();
    EXPECT_TRUE(var("S_Profile")->as_bool());
    var("S_Profile")->set_bool(0);
}

TEST_F(Protocol, TextsReachTheirAudience)
{
    std::vector<FakeClient*> all;
    for (int i = 0; i < 4; ++i) {
        Options o = named("t" + std::to_string(i));
        o.player = false;
        all.push_back(&add(o));
        ASSERT_TRUE(run({all.back()}, [&] { return all.back()->accepted; }));
    }
    server.client[slot_of("t2")].group = 7;
    server.client[slot_of("t3")].group = 7;
    struct Case {
        const char* name;
        int32_t audience;
        std::vector<bool> reached;
    };
    const int s1 = slot_of("t1");
    const Case cases[] = {
        {"everyone", TEXT_EVERYONE, {true, true, true, true}},
        {"nobody", TEXT_NOBODY, {false, false, false, false}},
        {"one client", s1, {false, true, false, false}},
        {"all but one", TEXT_ALL_BUT | s1, {true, false, true, true}},
        {"a group", TEXT_GROUP | 7, {false, false, true, true}},
        {"all but wins over group", TEXT_ALL_BUT | TEXT_GROUP | s1, {true, false, true, true}},
        {"another mode", 0x40000 | s1, {false, false, false, false}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        for (FakeClient* c : all) {
            c->texts.clear();
        }
        server.send_text(k.audience, 3, "hello");
        for (size_t i = 0; i < all.size(); ++i) {
            all[i]->receive();
            ASSERT_EQ(all[i]->texts.size(), k.reached[i] ? 1u : 0u) << i;
            if (k.reached[i]) {
                EXPECT_EQ(all[i]->texts[0].first, 3);
                EXPECT_EQ(all[i]->texts[0].second, "hello");
            }
        }
    }
    // 256 characters go, 257 reach nobody; a format over 128 characters sends nothing.
    for (FakeClient* c : all) {
        c->texts.clear();
    }
    server.send_text(TEXT_EVERYONE, 0, std::string(256, 'x').c_str());
    server.send_text(TEXT_EVERYONE, 0, std::string(257, 'y').c_str());
    server.send_textf(TEXT_EVERYONE, 0, "%s %d", "n", 5);
    server.send_textf(TEXT_EVERYONE, 0, "%s", std::string(129, 'z').c_str());
    const std::string long_format = std::string(129, 'f') + "%d";
    server.send_textf(TEXT_EVERYONE, 0, long_format.c_str(), 1);
    all[0]->receive();
    ASSERT_EQ(all[0]->texts.size(), 3u);
    EXPECT_EQ(all[0]->texts[0].second, std::string(256, 'x'));
    EXPECT_EQ(all[0]->texts[1].second, "n 5");
}

TEST_F(Protocol, ALostClientIsDropped)
{
    FakeClient& c = add(named("gone"));
    ASSERT_TRUE(run({&c}, [&] { return c.accepted; }));
    c.close();
    frame({});
    EXPECT_TRUE(capture.contains("Server: Connection lost"));
    EXPECT_TRUE(capture.contains("Server: Disconnecting gone (0)"));
    EXPECT_EQ(server.clients, 1);
    frame({});
    EXPECT_EQ(server.clients, 0);
}

TEST_F(Protocol, RateControlOfTheUpdateInterval)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& c = add(named("rate"));
    ASSERT_TRUE(spawn({&c}));
    ServerClient& sc = server.client[slot_of("rate")];
    struct Case {
        const char* name;
        int32_t rate;
        double interval;
        double expected;
    };
    const Case cases[] = {
        {"half the rate shrinks by 2%", 10000, 0.05, 0.049},
        {"down to 1/140 s", 10000, 0.0071, 1.0 / 140.0},
        {"twice the rate grows by 5%", 40000, 0.05, 0.0525},
        {"up to 0.1 s", 40000, 0.099, 0.1},
        {"slightly over follows the ratio", 20400, 0.05, 0.05 * 1.02},
        {"within 0.9 to 1.0 nothing changes", 19000, 0.5, 0.5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        sc.cps = 20000;
        sc.rate = k.rate;
        sc.update_interval = k.interval;
        server.send_client_updates();
        EXPECT_NEAR(sc.update_interval, k.expected, 1e-12);
    }
}

TEST_F(Protocol, SpawnedClientsGetTheirOwnCamera)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& a = add(named("a"));
    FakeClient& b = add(named("b"));
    ASSERT_TRUE(spawn({&a, &b}));
    ASSERT_TRUE(run({&a, &b}, [&] { return !a.objects.empty() && !b.objects.empty(); }));
    for (FakeClient* c : {&a, &b}) {
        SCOPED_TRACE(c->options().name);
        const ServerClient& sc = server.client[slot_of(c->options().name)];
        // Its camera and the map's one lamp.
        ASSERT_EQ(c->objects.size(), 2u);
        const auto camera = c->objects.find(static_cast<uint32_t>(sc.camera_id));
        ASSERT_NE(camera, c->objects.end());
        const auto& [id, view] = *camera;
        EXPECT_EQ(view.state.object_class, 10);
        EXPECT_EQ(view.creates, 1);
        EXPECT_TRUE(c->errors.empty()) << c->errors[0];
        EXPECT_TRUE(c->stamps_increase);
        EXPECT_FALSE(view.state.filter_present);
        EXPECT_FALSE(view.state.zoom_present);
    }
}

} // namespace
