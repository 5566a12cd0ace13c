// Connecting, accept and reject, the receive loop's handling of every server
// message, and what the client sends.
#include "client_fixture.h"

#include "net/net_stream_out.h"

#include <string>

namespace {

TEST_F(ClientTest, RequestCarriesTheVariables)
{
    var("Client_Name")->set_string("Tester");
    var("Client_CPS")->set_int(5000);
    var("Client_Administrator")->set_bool(1);
    connect_and_accept();
    const fake::Request& r = server_->request();
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.version, 10u);
    EXPECT_EQ(r.magic, 0x4B5652u);
    EXPECT_EQ(r.name, "Tester");
    EXPECT_EQ(r.rate, 5000u);
    EXPECT_EQ(r.player, 1);
    EXPECT_EQ(r.cheater, 0);
    EXPECT_EQ(r.administrator, 1);
    EXPECT_TRUE(capture_->contains("Client: Accepted to 'Test game'"));
}

TEST_F(ClientTest, AddressLength)
{
    const std::string ok(63, '9');
    run(("Connect " + ok).c_str());
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED) << "no protocol takes it";
    EXPECT_STREQ(client_->net_address(), ok.c_str());
    EXPECT_TRUE(capture_->contains("Client: Can't connect"));
    run(("Connect " + ok + "9").c_str());
    EXPECT_TRUE(capture_->contains("Client: Address is a little bit too long"));
    EXPECT_STREQ(client_->net_address(), ok.c_str());
}

TEST_F(ClientTest, PendingRequestIsOfferedEveryFrame)
{
    run("Connect local");
    EXPECT_EQ(client_->net_state(), CSTATE_CONNECTING);
    frame();
    frame();
    EXPECT_EQ(client_->net_state(), CSTATE_CONNECTING);
    run("Connect local");
    EXPECT_EQ(client_->net_state(), CSTATE_CONNECTING) << "the same address again is a retry";
    ASSERT_TRUE(server_->accept());
    frame();
    EXPECT_EQ(client_->net_state(), CSTATE_CONNECTED);
    run("Disconnect");
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED);
    EXPECT_EQ(client_->socket(), nullptr);
}

TEST_F(ClientTest, CancelWithdrawsThePendingRequest)
{
    run("Connect local");
    run("Disconnect");
    EXPECT_TRUE(capture_->contains("Client: Cancelling connect"));
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED);
    EXPECT_FALSE(server_->accept()) << "nothing left to accept";
}

TEST_F(ClientTest, AcceptChecks)
{
    struct Case {
        const char* name;
        uint32_t version;
        uint32_t magic;
        std::string base;
        const char* message;
    };
    const Case cases[] = {
        {"protocol", 9, 0x4B5652, "kavrin", "Client: Protocol mismatch (exp. 10, found 9)"},
        {"magic", 10, 0x4B5653, "kavrin", "Client: Game magic mismatch"},
        {"base case", 10, 0x4B5652, "Kavrin", "Client: Current is 'kavrin', should be 'Kavrin'"},
        {"base cut", 10, 0x4B5652, "kavrin" + std::string(40, 'x'), "Client: Base directory mismatch"},
    };
    for (const Case& c : cases) {
        capture_->clear();
        run("Connect local");
        ASSERT_TRUE(server_->accept()) << c.name;
        frame();
        server_->send_accept(c.base, "t", "", c.version, c.magic);
        server_->flush();
        frame();
        EXPECT_TRUE(capture_->contains(c.message)) << c.name;
        EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED) << c.name << ": closed by the same receive loop";
        EXPECT_TRUE(capture_->contains("Client: Disconnecting...")) << c.name;
        server_->close();
    }
    EXPECT_TRUE(capture_->contains("Client: Re-run game with '-base kavrin"));
}

TEST_F(ClientTest, CutCommandListLeavesTheClientWaiting)
{
    run("Connect local");
    ASSERT_TRUE(server_->accept());
    frame();
    server_->send_accept("kavrin", "t", std::string(300, 'c'));
    server_->flush();
    frame();
    EXPECT_EQ(client_->net_state(), CSTATE_CONNECTED);
    EXPECT_STREQ(client_->server_commands(), "");
}

TEST_F(ClientTest, RejectClosesAtTheNextLoop)
{
    run("Connect local");
    ASSERT_TRUE(server_->accept());
    frame();
    server_->send_reject("Server is full");
    server_->send_text(0, "never read");
    server_->flush();
    frame();
    EXPECT_TRUE(capture_->contains("Client: Rejected (Server is full)"));
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED);
}

TEST_F(ClientTest, MessagesOfTheAcceptedState)
{
    connect_and_accept();
    server_->send_text(2, "hello there");
    server_->send_text(16, "stream sixteen");
    server_->send_dummy(255);
    server_->send_dummy(7);
    server_->send_accept("kavrin", "t", "");
    server_->send(0x77, NET_STREAM_RELIABLE, [](NetStreamOut& s) { s.write8(1); });
    server_->send_update(5, {});
    server_->flush();
    frame();
    EXPECT_TRUE(capture_->contains("hello there"));
    EXPECT_FALSE(capture_->contains("stream sixteen"));
    EXPECT_EQ(capture_->count("Client: Damaged dummy message !"), 1);
    EXPECT_TRUE(capture_->contains("Client: Received accept/reject, already accepted"));
    EXPECT_TRUE(capture_->contains("Client: Unexpected message id 119"));
    EXPECT_EQ(client_->decoder().latest_stamp, -1) << "an update without a map changes nothing";
    EXPECT_EQ(client_->net_state(), CSTATE_ACCEPTED);
    EXPECT_EQ(client_->damaged_messages(), 1);
}

TEST_F(ClientTest, MalformedMessagesAreDroppedAndCounted)
{
    connect_and_accept();
    server_->send(0xC1, NET_STREAM_RELIABLE, [](NetStreamOut& s) { s.write8(0); });
    server_->send(0xC1, NET_STREAM_RELIABLE, [](NetStreamOut& s) {
        s.write8(0);
        s.write8('a');
    });
    server_->send(0xB1, NET_STREAM_RELIABLE, [](NetStreamOut& s) { s.write8('m'); });
    server_->flush();
    frame();
    EXPECT_EQ(client_->damaged_messages(), 3);
    EXPECT_EQ(client_->net_state(), CSTATE_ACCEPTED);
    server_->receive();
    EXPECT_TRUE(server_->maps_loaded.empty()) << "a map message cut short gets no answer";
}

TEST_F(ClientTest, MapLoadAnswers)
{
    make_map("three");
    connect_and_accept();
    struct Case {
        const char* name;
        uint32_t word;
        uint32_t answer;
        bool active;
    };
    const Case cases[] = {
        {"three", 0x55, 0x55, true},
        {"missing", 0x56, 0xFFFFFFFF, false},
        {"..", 0x57, 0xFFFFFFFF, false},
        {"a/b", 0x58, 0xFFFFFFFF, false},
        {"three", 0x59, 0x59, true},
        {"0123456789", 0x5A, 0xFFFFFFFF, false},
    };
    for (const Case& c : cases) {
        server_->maps_loaded.clear();
        server_->send_map_load(c.name, c.word);
        server_->flush();
        frame();
        server_->receive();
        ASSERT_EQ(server_->maps_loaded.size(), 1u) << c.name;
        EXPECT_EQ(server_->maps_loaded[0].word, c.answer) << c.name;
        EXPECT_EQ(client_->map_active(), c.active) << c.name;
    }
    EXPECT_EQ(server_->maps_loaded[0].name, "012345678") << "the name as kept";
    EXPECT_TRUE(capture_->contains("Client: Can't load map 'missing'"));
    EXPECT_TRUE(capture_->contains("Client: Can't load map '..'"));
    load_map("three");
    server_->send_map_close();
    server_->flush();
    frame();
    EXPECT_FALSE(client_->map_active());
    EXPECT_EQ(client_->decoder().manager(10), nullptr) << "every class unregistered";
}

TEST_F(ClientTest, InputAndImpulsesEveryFrame)
{
    connect_and_accept();
    server_->receive();
    ASSERT_FALSE(server_->inputs.empty());
    const fake::Input& idle = server_->inputs.back();
    EXPECT_EQ(idle.bits, 32 + 4) << "no axis moved and no state held";
    EXPECT_EQ(idle.stamp, -1);
    server_->inputs.clear();
    // Buffered commands run after the input is built, so their impulses go out in the same frame.
    ASSERT_EQ(client_->cons_cmd()->add_text("Press Forward\nPress Run\nPress Weapon3\nRelease Weapon3"), 1);
    frame(0.05);
    server_->receive();
    server_->inputs.clear();
    frame(0.05);
    server_->receive();
    ASSERT_EQ(server_->inputs.size(), 1u);
    EXPECT_EQ(server_->inputs[0].axes[0], 32768 + 8192);
    EXPECT_EQ(server_->inputs[0].axes[1], -1);
    EXPECT_EQ(server_->inputs[0].states, 1u << 5);
    ASSERT_EQ(server_->impulses.size(), 1u);
    EXPECT_EQ(server_->impulses[0], (std::vector<uint8_t>{12, 12 | 0x80}));
    run("Press Nothing");
    EXPECT_TRUE(capture_->contains("Unknown input action 'Nothing' !"));
}

TEST_F(ClientTest, LostConnection)
{
    connect_and_accept();
    server_->close();
    frame();
    // The next send finds the peer gone and closes the connection.
    EXPECT_TRUE(capture_->contains("Client: write_input() failed !"));
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED);
}

} // namespace
