// A player joined over UDP keeps playing while the host leaves its own game
// and enters it again (`Disconnect`, `Connect local`): its updates still come
// and its acknowledgements still count, long past the server's time-out for
// a client that acknowledges nothing.
#include "demo_session.h"

#include "client/client.h"
#include "engine/engine.h"
#include "net/hive.h"
#include "net/net_protocol.h"
#include "net/udp_protocol.h"
#include "server/server.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"

#include <cstring>
#include <memory>

namespace {

using fake_client::FakeClient;

class UdpRejoin : public e2e::DemoSession {
protected:
    void TearDown() override
    {
        player_.reset();
        protocol_.reset();
        DemoSession::TearDown();
    }
    uint16_t server_port() const
    {
        for (NetProtocol* p = engine_->hive()->first_protocol(); p != nullptr; p = p->next) {
            if (p->id == UDP_PROTOCOL_ID) {
                return static_cast<UDPProtocol*>(p)->listening_port();
            }
        }
        return 0;
    }
    // The slot of the client of that name, or -1.
    int slot_of(const char* name) const
    {
        const Server& s = *engine_->server();
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            if (s.client[c].state != SCSTATE_FREE && std::strcmp(s.client[c].name, name) == 0) {
                return c;
            }
        }
        return -1;
    }
    // One engine frame with the UDP player answering as a client does.
    int play()
    {
        if (!player_->connected() || !player_->accepted) {
            (void)player_->connect();
        }
        player_->receive();
        if (player_->accepted) {
            (void)player_->send_input();
        }
        player_->flush();
        return frame();
    }

    std::unique_ptr<UDPProtocol> protocol_;
    std::unique_ptr<FakeClient> player_;
};

TEST_F(UdpRejoin, TheUdpPlayerKeepsPlayingWhileTheHostLeavesAndReenters)
{
    ASSERT_NO_FATAL_FAILURE(start({"-width", "160", "-height", "120"}));
    run("Set Client_Administrator True\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    const uint16_t port = server_port();
    ASSERT_NE(port, 0);
    protocol_ = std::make_unique<UDPProtocol>(port);
    ASSERT_EQ(protocol_->setup(), 0);
    fake_client::Options o;
    o.name = "remote";
    player_ = std::make_unique<FakeClient>(protocol_.get(), "127.0.0.1", o);
    const Server& server = *engine_->server();
    const auto spawned = [&] {
        const int c = slot_of("remote");
        return c >= 0 && server.client[c].state == SCSTATE_SPAWNED;
    };
    for (int i = 0; i < 700 && !spawned(); ++i) {
        ASSERT_EQ(play(), 1);
    }
    ASSERT_TRUE(spawned()) << "the UDP player entered";

    // The host goes back to its own game straight away, then after a second
    // out of it; each time it is in its game again within ten seconds.
    PrintCapture capture;
    for (const char* const leave : {"Connect local", "Disconnect"}) {
        SCOPED_TRACE(leave);
        run(leave);
        for (int i = 0; i < 70; ++i) {
            ASSERT_EQ(play(), 1);
        }
        run("Connect local");
        bool back = false;
        for (int i = 0; i < 700 && !back; ++i) {
            ASSERT_EQ(play(), 1);
            back = client().camera() != nullptr && client().net_state() != 0;
        }
        EXPECT_TRUE(back) << "the host is in its game again";
    }

    // Forty seconds more: past the time-out for unacknowledged updates.
    const int32_t before = player_->updates_received;
    for (int i = 0; i < 40 * 70; ++i) {
        ASSERT_EQ(play(), 1);
    }
    EXPECT_TRUE(spawned()) << "the UDP player is still in the game";
    EXPECT_EQ(capture.count("acknowledges no updates"), 0);
    EXPECT_GT(player_->updates_received, before + 40 * 10) << "its updates kept coming";
    EXPECT_FALSE(player_->lost());
}

} // namespace
