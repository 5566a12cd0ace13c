// Clients that send what no honest client sends: messages cut short or too
// long, strings without an end, acknowledgements far ahead, none at all,
// floods, and a socket that answers "damaged" for ever. None of it stops
// the server or the clients that behave.
#include "server_fixture.h"

#include "net/net_defs.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_out.h"

#include <memory>
#include <cstring>
#include <random>

namespace {

using fake_client::Options;

Options named(const std::string& name)
{
    Options o;
    o.name = name;
    return o;
}

// Bytes written with a stream, and their length in bits.
struct Bits {
    std::vector<uint8_t> bytes;
    int32_t bits;
};

template <class Fill>
Bits compose(Fill fill)
{
    std::vector<uint8_t> b(4096);
    NetStreamOut out;
    out.attach(b.data(), static_cast<int32_t>(b.size()));
    fill(out);
    const int32_t bits = out.detach();
    b.resize(static_cast<size_t>((bits + 7) / 8));
    return {b, bits};
}

class Hostile : public ServerFixture {
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
    std::vector<std::unique_ptr<FakeClient>> clients_;
};

TEST_F(Hostile, DamagedMessagesAreDroppedAndCounted)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& c = add(named("bad"));
    ASSERT_TRUE(spawn({&c}));
    const int s = slot_of("bad");
    ServerClient& sc = server.client[s];
    sc.impulse_count = 0;
    struct Case {
        const char* name;
        int id;
        Bits message;
        int dropped;
    };
    const Bits input_cut = compose([](NetStreamOut& o) {
        o.write32(1);
        o.write_bits(1, 1);
        o.write_bits(1, 1);
        o.write_bits(5, 10);
    });
    const Bits input_long = compose([](NetStreamOut& o) {
        o.write32(1);
        o.write_bits(0, 4);
        o.write_bits(1, 1);
    });
    const Case cases[] = {
        {"empty input", fake_client::MSG_INPUT, {{}, 0}, 1},
        {"input cut in an axis", fake_client::MSG_INPUT, input_cut, 1},
        {"input with bits left over", fake_client::MSG_INPUT, input_long, 1},
        {"impulses fewer than counted", fake_client::MSG_IMPULSES, compose([](NetStreamOut& o) {
             o.write8(5);
             o.write8(1);
         }),
         1},
        {"command without its end", fake_client::MSG_COMMAND, compose([](NetStreamOut& o) {
             o.write8('S');
             o.write8('e');
         }),
         1},
        // Read only while loading: a spawned client's is ignored unread.
        {"map name without its end", fake_client::MSG_MAPLOADED, compose([](NetStreamOut& o) { o.write8('s'); }), 0},
        {"unknown id", 77, compose([](NetStreamOut& o) { o.write8(1); }), 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const int32_t dropped = server.messages_dropped;
        const uint32_t state = sc.current_state;
        ASSERT_TRUE(c.send_raw(k.id, NET_STREAM_RELIABLE, k.message.bytes, k.message.bits));
        c.flush();
        server.read_client_sockets();
        EXPECT_EQ(server.messages_dropped, dropped + k.dropped);
        EXPECT_EQ(sc.current_state, state);
        EXPECT_EQ(sc.impulse_count, 0);
        EXPECT_EQ(sc.state, SCSTATE_SPAWNED);
    }
    // A command text of 1024 characters does not fit and is refused, not cut.
    capture.clear();
    ASSERT_TRUE(c.send_command("Echo " + std::string(1019, 'a')));
    c.flush();
    frame({}, 1.5); // after the second in which the errors above were shown
    EXPECT_TRUE(capture.contains("Server: Command of client 0 (bad) is too long"));
    EXPECT_FALSE(capture.contains("aaaa"));
    // The client is still served.
    const int32_t before = c.updates_received;
    frame({&c});
    frame({&c});
    c.receive();
    EXPECT_GT(c.updates_received, before);
}

TEST_F(Hostile, ErrorLinesAboutOneClientAreRateLimited)
{
    FakeClient& c = add(named("noisy"));
    for (int n = 0; n < 10 && !c.accepted; ++n) {
        frame({&c});
        c.receive();
    }
    ASSERT_TRUE(c.accepted);
    capture.clear();
    for (int i = 0; i < 100; ++i) {
        c.send_raw(99, NET_STREAM_RELIABLE, {1}, 8);
    }
    c.flush();
    frame({});
    EXPECT_EQ(capture.count("Server: Unknown client message id 99 !"), 1);
    EXPECT_EQ(server.messages_dropped, 100);
    advance(1.5);
    c.send_raw(99, NET_STREAM_RELIABLE, {1}, 8);
    c.flush();
    frame({});
    EXPECT_TRUE(capture.contains("Server: 99 more errors of client 0 (noisy) were not shown"));
    EXPECT_EQ(capture.count("Server: Unknown client message id 99 !"), 2);
}

// Every command a client sends may warn; a flood of them writes a bounded
// number of lines, and the count of those left out.
TEST_F(Hostile, WarningsOfAClientsCommandsAreRateLimited)
{
    FakeClient& c = add(named("chatty"));
    for (int n = 0; n < 10 && !c.accepted; ++n) {
        frame({&c});
        c.receive();
    }
    ASSERT_TRUE(c.accepted);
    advance(5.0); // a quiet spell: a whole burst may go out
    capture.clear();
    constexpr int SENT = 400;
    const std::string warning = "Console: Unknown command 'NoSuchCommand' !";
    for (int i = 0; i < SENT; ++i) {
        ASSERT_TRUE(c.send_command("NoSuchCommand"));
        if (i % 40 == 39) {
            c.flush();
            frame({&c});
        }
    }
    const int shown = capture.count(warning);
    EXPECT_GE(shown, 1);
    // The burst, and a few a second over the ten frames.
    EXPECT_LE(shown, 4 + 4);
    // Lines of the server's own console are not held back.
    server.cmd->exec_isolated("NoSuchCommand");
    EXPECT_EQ(capture.count(warning), shown + 1);
    // After a second the next warning goes out, with the count of those left out.
    advance(1.5);
    ASSERT_TRUE(c.send_command("NoSuchCommand"));
    c.flush();
    frame({&c});
    EXPECT_EQ(capture.count(warning), shown + 2);
    const std::string held = "Server: " + std::to_string(SENT - shown) +
                             " lines \"Warnings and errors of clients' commands\" left out";
    EXPECT_TRUE(capture.contains(held)) << printed();
    EXPECT_EQ(slot_of("chatty"), 0);
}

// A socket that answers "damaged" for ever, behind a protocol that offers it once.
class DamagedSocket final : public NetSocket {
public:
    explicit DamagedSocket(NetProtocol* p) : NetSocket(p) { state = NET_SOCKET_USABLE; }
    void poll() override {}
    int message_begin(NetStreamOut* stream, int, int) override
    {
        stream->attach(buffer_, sizeof buffer_);
        return NET_OK;
    }
    int message_end(NetStreamOut* stream) override
    {
        stream->detach();
        return NET_OK;
    }
    int message_send() override { return NET_OK; }
    int read(NetStreamIn*, int*, int32_t*) override
    {
        ++reads;
        return NET_DAMAGED;
    }
    int reads = 0;

private:
    uint8_t buffer_[NET_MESSAGE_MAXLEN];
};

class DamagedProtocol final : public NetProtocol {
public:
    DamagedProtocol() : NetProtocol(make_tag("DAMG")) {}
    ~DamagedProtocol() override
    {
        if (socket_ != nullptr) {
            socket_->protocol = nullptr;
            delete socket_;
        }
    }
    int connect(NetSocket**, const char*, const void*, int32_t) override { return NET_NOT_MINE; }
    int connect_cancel(const char*, const void*, int32_t) override { return NET_NOT_MINE; }
    NetSocket* accept(void* request, int32_t* length) override
    {
        if (offered_) {
            return nullptr;
        }
        offered_ = true;
        const Bits r = compose([](NetStreamOut& o) {
            o.write32(10);
            o.write32(0x4B5652);
            o.write_string("damaged");
            o.write32(5000);
            o.write_bits(0, 3);
        });
        std::memcpy(request, r.bytes.data(), r.bytes.size());
        *length = static_cast<int32_t>(r.bytes.size());
        socket_ = new DamagedSocket(this);
        return socket_;
    }
    void close_socket(NetSocket* s) override
    {
        s->protocol = nullptr;
        delete s;
        socket_ = nullptr;
    }
    DamagedSocket* socket_ = nullptr;

private:
    bool offered_ = false;
};

TEST_F(Hostile, ASocketThatIsAlwaysDamagedCannotHoldTheFrame)
{
    auto* const protocol = new DamagedProtocol;
    hive.add_protocol(protocol);
    capture.clear();
    for (int i = 0; i < 30; ++i) {
        frame({}, 0.1);
    }
    ASSERT_NE(protocol->socket_, nullptr);
    EXPECT_EQ(server.clients, 1);
    EXPECT_EQ(protocol->socket_->reads, 30 * SERVER_MESSAGES_PER_FRAME);
    const int lines = capture.count("Server: Corrupted message (client 0, damaged)");
    EXPECT_GE(lines, 2);
    EXPECT_LE(lines, 4) << "one a second";
}

TEST_F(Hostile, AClientThatNeverAcknowledgesIsDroppedAndReleasesWhatItHeld)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    Options o = named("deaf");
    o.acknowledge = false;
    FakeClient& c = add(o);
    ASSERT_TRUE(spawn({&c}));
    const int32_t lamp = server.mirror.create(OBJCLASS_DYNALAMP, AUDIENCE_EVERYONE, false);
    ASSERT_GE(lamp, 0);
    frame({&c});
    server.mirror.destroy(lamp);
    capture.clear();
    for (int i = 0; i < 200 && server.clients > 0; ++i) {
        frame({&c}, 0.5);
    }
    EXPECT_TRUE(capture.contains("Server: Client deaf (0) acknowledges no updates - disconnecting"));
    EXPECT_TRUE(capture.contains("Server: Client deaf (0) did not log out - forcing it out"));
    EXPECT_EQ(server.clients, 0);
    EXPECT_EQ(server.mirror.get_common(lamp), nullptr);
}

TEST_F(Hostile, AFloodOfNonsenseLeavesAGoodClientItsUpdatesInOrder)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& good = add(named("good"));
    FakeClient& bad = add(named("bad"));
    ASSERT_TRUE(spawn({&good, &bad}));
    // Objects in every room that both may see, some moving.
    std::vector<int32_t> lamps;
    for (int i = 0; i < 40; ++i) {
        lamps.push_back(server.mirror.create(OBJCLASS_ICON, AUDIENCE_EVERYONE, false));
        ASSERT_GE(lamps.back(), 0);
        server.mirror.set_position(lamps.back(), Vector{static_cast<float>(i * 20), 100.0f, 64.0f});
    }
    std::mt19937 random(5);
    const int ids[] = {fake_client::MSG_INPUT, fake_client::MSG_IMPULSES, fake_client::MSG_COMMAND,
                       fake_client::MSG_MAPLOADED, fake_client::MSG_DUMMY, 13, 255};
    for (int f = 0; f < 300; ++f) {
        for (int m = 0; m < 40; ++m) {
            std::vector<uint8_t> bytes(random() % 40);
            for (uint8_t& b : bytes) {
                b = static_cast<uint8_t>(random());
            }
            const int32_t bits = bytes.empty() ? 0 : static_cast<int32_t>(bytes.size() * 8 - random() % 8);
            bad.send_raw(ids[random() % std::size(ids)], NET_STREAM_RELIABLE, bytes, bits);
        }
        bad.send_input_stamp(0x7FFFFFFF);
        bad.flush();
        if (f % 3 == 0) {
            server.mirror.set_position(lamps[static_cast<size_t>(f) % lamps.size()],
                                       Vector{static_cast<float>(f), 200.0f, 64.0f});
        }
        frame({&good});
        bad.receive();
    }
    for (int f = 0; f < 5; ++f) {
        frame({&good});
    }
    good.receive();
    EXPECT_TRUE(good.errors.empty()) << good.errors[0];
    EXPECT_TRUE(good.stamps_increase);
    EXPECT_GT(good.updates_received, 250);
    EXPECT_EQ(server.client[slot_of("good")].state, SCSTATE_SPAWNED);
    // The good client holds its camera, the map's lamp and every icon where the server has it.
    EXPECT_EQ(good.objects.size(), lamps.size() + 2);
    for (const int32_t id : lamps) {
        const auto found = good.objects.find(static_cast<uint32_t>(id));
        ASSERT_NE(found, good.objects.end());
        const SObjCommon* const o = server.mirror.get_common(id);
        EXPECT_NEAR(found->second.state.offset[0], o->offset.x, 0.125);
        EXPECT_NEAR(found->second.state.offset[1], o->offset.y, 0.125);
    }
}

} // namespace
