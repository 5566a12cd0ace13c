#include "datagram_fixture.h"

namespace {

constexpr uint16_t SERVER_PORT = 1;
const uint8_t REQUEST[10] = {'h', 'e', 'l', 'l', 'o', 1, 2, 3, 4, 5};

class DatagramProtocolTest : public DatagramTest {
protected:
    void SetUp() override
    {
        DatagramTest::SetUp();
        ASSERT_EQ(server.open_listening(true), NET_OK);
        network.log_sent = true;
    }

    int connect(NetSocket** s, const void* request = REQUEST, int32_t length = sizeof REQUEST,
                const char* name = "mem:1")
    {
        return client.connect(s, name, request, length);
    }

    // Sent datagrams to a port holding a control record of the subtype.
    std::vector<std::vector<uint8_t>> control_sent(uint16_t to, int subtype) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const MemoryNetwork::Sent& s : network.sent) {
            if (s.to == to && s.bytes.size() >= 12 && s.bytes[8] == NET_DGM_CONTROL && s.bytes[9] == subtype) {
                out.push_back(std::vector<uint8_t>(s.bytes.begin() + 12, s.bytes.end()));
            }
        }
        return out;
    }

    // A request as a client at from_port would send it.
    void inject_request(uint16_t from_port, uint32_t version, const std::vector<uint8_t>& block)
    {
        std::vector<uint8_t> payload = le32_bytes({version});
        payload.insert(payload.end(), block.begin(), block.end());
        network.inject(SERVER_PORT, from_port,
                       raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_REQUEST,
                                                                static_cast<int32_t>(payload.size()) * 8, payload)));
    }

    // A reject with the reason, as the server's listening socket would send it to a client at port.
    void inject_reject(uint16_t port, const std::string& reason)
    {
        std::vector<uint8_t> payload(reason.begin(), reason.end());
        payload.push_back(0);
        network.inject(port, SERVER_PORT,
                       raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_REJECT,
                                                                static_cast<int32_t>(payload.size()) * 8, payload)));
    }

    static int count_links(const DatagramProtocol& p)
    {
        int n = 0;
        for (const DatagramLink* l = p.first_link(); l != nullptr; l = l->next) {
            ++n;
        }
        return n;
    }

    static MemorySocket* link_socket(const DatagramProtocol& p) { return static_cast<MemorySocket*>(p.first_link()->socket); }

    MemoryProtocol server{&network, SERVER_PORT};
    MemoryProtocol client{&network, 0};
};

TEST_F(DatagramProtocolTest, HandshakeHandsOutConnectedSockets)
{
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_TRUE(capture.contains("Connecting to mem:1..."));
    uint8_t request[32] = {};
    int32_t length = sizeof request;
    NetSocket* const ss = server.accept(request, &length);
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(std::memcmp(request, REQUEST, sizeof REQUEST), 0);
    EXPECT_EQ(server.first_link()->state, DGLINK_TAKEN);

    EXPECT_EQ(connect(&cs), NET_OK); // takes in the accept
    ASSERT_EQ(connect(&cs), NET_CONNECTED);
    ASSERT_EQ(cs, client.first_link()->socket);
    auto* const client_socket = static_cast<MemorySocket*>(cs);
    auto* const server_socket = static_cast<MemorySocket*>(ss);
    // The accept names the server's new socket, not the listening one.
    EXPECT_NE(server_socket->port, SERVER_PORT);
    EXPECT_EQ(memory_port(client_socket->peer()), server_socket->port);
    EXPECT_TRUE(client_socket->timeouts_armed());
    EXPECT_TRUE(server_socket->timeouts_armed());

    EXPECT_EQ(write(client_socket, 48, NET_STREAM_RELIABLE, {7, 7}), NET_OK);
    client_socket->message_send();
    EXPECT_EQ(write(server_socket, 49, NET_STREAM_UNRELIABLE, {8}), NET_OK);
    server_socket->message_send();
    const std::vector<Received> at_server = read_all(server_socket);
    ASSERT_EQ(at_server.size(), 1u);
    EXPECT_EQ(at_server[0].id, 48);
    const std::vector<Received> at_client = read_all(client_socket);
    ASSERT_EQ(at_client.size(), 1u);
    EXPECT_EQ(at_client[0].id, 49);

    EXPECT_EQ(connect(&cs), NET_DUPLICATE_CONNECT);
    EXPECT_EQ(server.accept(request, &length), nullptr);
    client.close_socket(cs);
    server.close_socket(ss);
    EXPECT_EQ(count_links(client), 0);
    EXPECT_EQ(server.first_link()->state, DGLINK_DROPPED);
}

TEST_F(DatagramProtocolTest, RequestIsRepeatedEverySecond)
{
    server.open_listening(false); // nobody answers
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(control_sent(SERVER_PORT, NET_DGC_REQUEST).size(), 1u);
    advance(0.5);
    EXPECT_EQ(connect(&cs), NET_OK);
    advance(0.49);
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(control_sent(SERVER_PORT, NET_DGC_REQUEST).size(), 1u);
    advance(0.02);
    EXPECT_EQ(connect(&cs), NET_OK);
    const auto requests = control_sent(SERVER_PORT, NET_DGC_REQUEST);
    ASSERT_EQ(requests.size(), 2u);
    std::vector<uint8_t> expected = le32_bytes({2});
    expected.insert(expected.end(), REQUEST, REQUEST + sizeof REQUEST);
    EXPECT_EQ(requests[1], expected);
    // Control datagrams carry sequence number 0.
    EXPECT_EQ(read_le32(network.sent.back().bytes.data()), NET_DGSEQUENCED);
}

TEST_F(DatagramProtocolTest, RequestBlockIdentifiesTheAttempt)
{
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs, REQUEST, sizeof REQUEST, "mem:1"), NET_OK);
    EXPECT_EQ(connect(&cs, REQUEST, sizeof REQUEST, "mem:2"), NET_OK);
    EXPECT_EQ(count_links(client), 1);
    EXPECT_EQ(connect(&cs, REQUEST, 4, "mem:1"), NET_OK);
    EXPECT_EQ(count_links(client), 2);
    EXPECT_EQ(connect(&cs, REQUEST, sizeof REQUEST, "local"), NET_NOT_MINE);
}

TEST_F(DatagramProtocolTest, OtherProtocolVersionIsRejected)
{
    uint8_t request[16];
    int32_t length = sizeof request;
    for (int i = 0; i < 3; ++i) {
        inject_request(555, 3, {1, 2});
        EXPECT_EQ(server.accept(request, &length), nullptr);
        advance(4.0);
    }
    const auto rejects = control_sent(555, NET_DGC_REJECT);
    ASSERT_EQ(rejects.size(), 3u);
    for (const auto& r : rejects) {
        EXPECT_EQ(std::string(r.begin(), r.end()), std::string("protocol version mismatch", 26));
    }
    EXPECT_EQ(capture.count("Datagram: Rejected mem:555 (version mismatch)"), 1);
}

TEST_F(DatagramProtocolTest, ServerThatCannotServeSaysWhy)
{
    struct Case {
        const char* why;
        bool fail_create;
        bool fail_local_address;
        const char* reason;
        const char* note;
    };
    const Case cases[] = {
        {"no socket for the client", true, false, "can't allocate socket", "Datagram: Rejected mem:600 (can't allocate)"},
        {"socket without an address", false, true, "can't resolve server address",
         "Datagram: Rejected mem:600 (can't resolve socket address)"},
    };
    for (const Case& c : cases) {
        capture.clear();
        network.sent.clear();
        server.drop_links();
        ASSERT_EQ(server.open_listening(true), NET_OK);
        server.fail_create = c.fail_create;
        server.fail_local_address = c.fail_local_address;
        inject_request(600, 2, {9});
        uint8_t request[16];
        int32_t length = sizeof request;
        EXPECT_EQ(server.accept(request, &length), nullptr) << c.why;
        const auto rejects = control_sent(600, NET_DGC_REJECT);
        ASSERT_EQ(rejects.size(), 1u) << c.why;
        EXPECT_STREQ(reinterpret_cast<const char*>(rejects[0].data()), c.reason) << c.why;
        EXPECT_TRUE(capture.contains(c.note)) << c.why;
        server.fail_create = false;
        server.fail_local_address = false;
    }
}

TEST_F(DatagramProtocolTest, DroppedClientIsToldToTryLater)
{
    NetSocket* cs = nullptr;
    connect(&cs);
    uint8_t request[16];
    int32_t length = sizeof request;
    NetSocket* const ss = server.accept(request, &length);
    ASSERT_NE(ss, nullptr);
    const uint16_t client_port = link_socket(client)->port;
    server.close_socket(ss);

    advance(9.9);
    inject_request(client_port, 2, {1, 2});
    EXPECT_EQ(server.accept(request, &length), nullptr);
    const auto rejects = control_sent(client_port, NET_DGC_REJECT);
    ASSERT_EQ(rejects.size(), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(rejects[0].data()), "try later");

    advance(0.2);
    EXPECT_EQ(server.accept(request, &length), nullptr); // purges the dropped record
    inject_request(client_port, 2, {1, 2});
    NetSocket* const again = server.accept(request, &length);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(length, 2);
}

TEST_F(DatagramProtocolTest, LostAcceptIsAnsweredAgainWithTheSameAddress)
{
    int accepts_lost = 1;
    network.drop = [&](const MemoryNetwork::Sent& s) {
        const bool accept = s.from == SERVER_PORT && s.bytes.size() > 9 && s.bytes[9] == NET_DGC_ACCEPT;
        return accept && accepts_lost-- > 0;
    };
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    uint8_t request[16];
    int32_t length = sizeof request;
    NetSocket* const ss = server.accept(request, &length);
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(connect(&cs), NET_OK); // nothing came back
    advance(1.0);
    EXPECT_EQ(connect(&cs), NET_OK); // the request again; its accept is now on its way
    EXPECT_EQ(server.accept(request, &length), nullptr);
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(connect(&cs), NET_CONNECTED);
    const uint16_t client_port = static_cast<MemorySocket*>(cs)->port;

    // Even after the socket was handed out, a repeated request gets the same answer.
    inject_request(client_port, 2, {});
    EXPECT_EQ(server.accept(request, &length), nullptr);
    const auto accepts = control_sent(client_port, NET_DGC_ACCEPT); // the lost one is not among them
    ASSERT_EQ(accepts.size(), 2u);
    EXPECT_EQ(accepts[0], accepts[1]);
    EXPECT_EQ(memory_port(*reinterpret_cast<const NetAddress*>(accepts[1].data())),
              static_cast<MemorySocket*>(ss)->port);
}

TEST_F(DatagramProtocolTest, AcceptIntoASmallBufferCopiesWhatFits)
{
    NetSocket* cs = nullptr;
    connect(&cs);
    uint8_t request[4] = {};
    int32_t length = sizeof request;
    ASSERT_NE(server.accept(request, &length), nullptr);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(std::memcmp(request, "hell", 4), 0);
}

TEST_F(DatagramProtocolTest, RejectedAttemptAnswersRefusedUntilPurged)
{
    server.open_listening(false);
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    inject_reject(link_socket(client)->port, std::string(300, 'x'));
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_TRUE(capture.contains("Datagram: Rejected (" + std::string(255, 'x') + ")"));
    EXPECT_EQ(connect(&cs), NET_REFUSED);
    advance(20.0);
    EXPECT_EQ(connect(&cs), NET_REFUSED);
    uint8_t request[16];
    int32_t length = sizeof request;
    EXPECT_EQ(client.accept(request, &length), nullptr); // purges
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(client.first_link()->state, DGLINK_CONNECTING);
}

TEST_F(DatagramProtocolTest, MalformedControlRecordsAreDropped)
{
    // A request shorter than its version word.
    network.inject(SERVER_PORT, 700, raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_REQUEST, 16, {2, 0})));
    uint8_t request[16];
    int32_t length = sizeof request;
    EXPECT_EQ(server.accept(request, &length), nullptr);
    EXPECT_EQ(server.dropped, 1);
    EXPECT_EQ(count_links(server), 0);
    EXPECT_TRUE(network.sent.empty());

    // An accept of the wrong size leaves the attempt where it was.
    server.open_listening(false);
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    const std::vector<uint8_t> address(31, 0);
    network.inject(link_socket(client)->port, SERVER_PORT,
                   raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_ACCEPT, 248, address)));
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(client.dropped, 1);
    EXPECT_EQ(client.first_link()->state, DGLINK_CONNECTING);

    // An accept from elsewhere is ignored.
    const NetAddress forged = memory_address(4242);
    const std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&forged),
                                     reinterpret_cast<const uint8_t*>(&forged) + sizeof forged);
    network.inject(link_socket(client)->port, 4242,
                   raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_ACCEPT, 256, bytes)));
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_TRUE(capture.contains("Datagram: Unexpected accept source mem:4242"));
    EXPECT_EQ(client.first_link()->state, DGLINK_CONNECTING);
}

TEST_F(DatagramProtocolTest, AcceptThatCannotBeFollowedEndsTheAttempt)
{
    server.open_listening(false);
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    // The accept names an address of another protocol: the client socket cannot connect there.
    NetAddress elsewhere = memory_address(77);
    elsewhere.protocol = 0x58585858u;
    const std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&elsewhere),
                                     reinterpret_cast<const uint8_t*>(&elsewhere) + sizeof elsewhere);
    network.inject(link_socket(client)->port, SERVER_PORT,
                   raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_ACCEPT, 256, bytes)));
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_TRUE(capture.contains("Datagram: Can't connect to server"));
    EXPECT_EQ(count_links(client), 0);

    // The next call starts the attempt again instead of finding a dead record.
    EXPECT_EQ(connect(&cs), NET_OK);
    ASSERT_EQ(count_links(client), 1);
    EXPECT_EQ(client.first_link()->state, DGLINK_CONNECTING);
    EXPECT_EQ(control_sent(SERVER_PORT, NET_DGC_REQUEST).size(), 2u);
    EXPECT_FALSE(capture.contains("Unexpected socket state"));
}

TEST_F(DatagramProtocolTest, RequestsCannotUndoAConnectionHandedOut)
{
    NetSocket* cs = nullptr;
    EXPECT_EQ(connect(&cs), NET_OK);
    uint8_t request[16];
    int32_t length = sizeof request;
    auto* const ss = static_cast<MemorySocket*>(server.accept(request, &length));
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(connect(&cs), NET_OK);
    ASSERT_EQ(connect(&cs), NET_CONNECTED);
    auto* const client_socket = static_cast<MemorySocket*>(cs);

    struct Case {
        const char* why;
        uint32_t version;
        bool fail_local_address;
        const char* reason;
    };
    const Case cases[] = {
        {"another protocol version from the client's address", 3, false, "protocol version mismatch"},
        {"the server socket cannot tell its address", 2, true, "can't resolve server address"},
    };
    for (const Case& c : cases) {
        network.sent.clear();
        ss->fail_local_address = c.fail_local_address;
        inject_request(client_socket->port, c.version, {});
        EXPECT_EQ(server.accept(request, &length), nullptr) << c.why;
        ss->fail_local_address = false;
        const auto rejects = control_sent(client_socket->port, NET_DGC_REJECT);
        ASSERT_EQ(rejects.size(), 1u) << c.why;
        EXPECT_STREQ(reinterpret_cast<const char*>(rejects[0].data()), c.reason) << c.why;

        // A refused record would be purged with its socket; the server still holds this one.
        advance(11.0);
        EXPECT_EQ(server.accept(request, &length), nullptr) << c.why;
        ASSERT_EQ(count_links(server), 1) << c.why;
        EXPECT_EQ(server.first_link()->state, DGLINK_TAKEN) << c.why;
        EXPECT_EQ(server.first_link()->socket, ss) << c.why;
        EXPECT_EQ(write(ss, 3, NET_STREAM_RELIABLE, {5}), NET_OK) << c.why;
        ss->message_send();
        const std::vector<Received> got = read_all(client_socket);
        ASSERT_EQ(got.size(), 1u) << c.why;
        EXPECT_EQ(got[0].id, 3) << c.why;
    }
    client.close_socket(cs);
    server.close_socket(ss);
}

TEST_F(DatagramProtocolTest, HalfOpenLinksAreCappedAndExpire)
{
    // Requests from 40 new addresses that nobody takes: 32 get a socket, the rest are told to try later.
    constexpr uint16_t FIRST = 2000;
    for (uint16_t i = 0; i < 40; ++i) {
        inject_request(FIRST + i, 2, {static_cast<uint8_t>(i)});
    }
    server.listening_socket()->receive();
    EXPECT_EQ(server.half_open(), DGLINK_HALF_OPEN_MAX);
    EXPECT_EQ(server.deferred, 40 - DGLINK_HALF_OPEN_MAX);
    EXPECT_EQ(network.ports_bound(), 1 + DGLINK_HALF_OPEN_MAX);
    for (uint16_t i = 0; i < 40; ++i) {
        const bool linked = i < DGLINK_HALF_OPEN_MAX;
        EXPECT_EQ(control_sent(FIRST + i, NET_DGC_ACCEPT).size(), linked ? 1u : 0u) << i;
        const auto rejects = control_sent(FIRST + i, NET_DGC_REJECT);
        ASSERT_EQ(rejects.size(), linked ? 0u : 1u) << i;
        if (!linked) {
            EXPECT_STREQ(reinterpret_cast<const char*>(rejects[0].data()), "try later") << i;
        }
    }
    EXPECT_TRUE(capture.contains("Datagram: Rejected mem:2039 (too many half-open connections)"));

    // While the table is full, a repeated request is answered as before, and another
    // protocol version is refused without a socket being made for it.
    inject_request(FIRST, 2, {0});
    inject_request(3000, 3, {});
    server.listening_socket()->receive();
    EXPECT_EQ(control_sent(FIRST, NET_DGC_ACCEPT).size(), 2u);
    const auto mismatch = control_sent(3000, NET_DGC_REJECT);
    ASSERT_EQ(mismatch.size(), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(mismatch[0].data()), "protocol version mismatch");
    EXPECT_EQ(network.ports_bound(), 1 + DGLINK_HALF_OPEN_MAX);

    // Untaken links expire 30 s after their request, with their sockets.
    uint8_t request[16];
    int32_t length = sizeof request;
    advance(29.9);
    NetSocket* const taken = server.accept(request, &length);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(request[0], DGLINK_HALF_OPEN_MAX - 1); // the newest request first
    advance(0.2);
    EXPECT_EQ(server.accept(request, &length), nullptr);
    EXPECT_EQ(server.half_open(), 0);
    EXPECT_EQ(network.ports_bound(), 2); // the listening socket and the one handed out
    inject_request(FIRST + 39, 2, {39});
    NetSocket* const late = server.accept(request, &length);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(request[0], 39);
    server.close_socket(taken);
    server.close_socket(late);
}

TEST_F(DatagramProtocolTest, TryLaterKeepsTheAttemptGoing)
{
    struct Case {
        const char* why;
        const char* reason;
        int answer; // of connect after the reject
    };
    const Case cases[] = {
        {"a busy server", "try later", NET_OK},
        {"a server out of sockets", "can't allocate socket", NET_REFUSED},
    };
    for (const Case& c : cases) {
        server.open_listening(false);
        network.sent.clear();
        NetSocket* cs = nullptr;
        ASSERT_EQ(connect(&cs), NET_OK) << c.why;
        inject_reject(link_socket(client)->port, c.reason);
        EXPECT_EQ(connect(&cs), NET_OK) << c.why;
        EXPECT_TRUE(capture.contains(std::string("Datagram: Rejected (") + c.reason + ")")) << c.why;
        EXPECT_EQ(connect(&cs), c.answer) << c.why;
        if (c.answer == NET_REFUSED) {
            continue;
        }
        // The request goes again after the usual period, and the attempt goes on to connect.
        ASSERT_EQ(server.open_listening(true), NET_OK) << c.why;
        advance(0.99);
        EXPECT_EQ(connect(&cs), NET_OK) << c.why;
        EXPECT_EQ(control_sent(SERVER_PORT, NET_DGC_REQUEST).size(), 1u) << c.why;
        advance(0.02);
        EXPECT_EQ(connect(&cs), NET_OK) << c.why;
        EXPECT_EQ(control_sent(SERVER_PORT, NET_DGC_REQUEST).size(), 2u) << c.why;
        uint8_t request[16];
        int32_t length = sizeof request;
        NetSocket* const ss = server.accept(request, &length);
        ASSERT_NE(ss, nullptr) << c.why;
        EXPECT_EQ(connect(&cs), NET_OK) << c.why;
        EXPECT_EQ(connect(&cs), NET_CONNECTED) << c.why;
        client.close_socket(cs);
        server.close_socket(ss);
    }
}

TEST_F(DatagramProtocolTest, FloodOfRequestsLetsARealClientIn)
{
    // 10,000 requests a second from ever new addresses, in frames of 10 ms; the real
    // client's request lands somewhere among each frame's, and the server takes every
    // connection it is offered, closing those whose request it does not know.
    network.log_sent = false;
    constexpr int PER_FRAME = 100;
    constexpr uint16_t FLOOD_FIRST = 20000;
    constexpr uint16_t FLOOD_END = 60000;
    ImpairmentRandom random(5);
    uint16_t next_port = FLOOD_FIRST;
    int64_t requests = 0;
    const std::vector<uint8_t> flood_request =
        raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_CONTROL, NET_DGC_REQUEST, 64, le32_bytes({2, 0xF100D})));
    const auto flood = [&](int n) {
        for (int i = 0; i < n; ++i) {
            network.send(next_port, SERVER_PORT, flood_request.data(), static_cast<int32_t>(flood_request.size()));
            next_port = next_port + 1 < FLOOD_END ? next_port + 1 : FLOOD_FIRST;
            ++requests;
        }
    };
    NetSocket* cs = nullptr;
    NetSocket* ss = nullptr;
    for (int frame = 0; frame < 3000 && (cs == nullptr || ss == nullptr); ++frame) {
        const int before = static_cast<int>(random.next() % (PER_FRAME + 1));
        flood(before);
        if (cs == nullptr) {
            const int r = connect(&cs);
            ASSERT_TRUE(r == NET_OK || r == NET_CONNECTED) << r;
        }
        flood(PER_FRAME - before);
        const int64_t made = server.sockets_made;
        for (int guard = 0; guard < 1000; ++guard) {
            uint8_t request[16];
            int32_t length = sizeof request;
            NetSocket* const s = server.accept(request, &length);
            if (s == nullptr) {
                break;
            }
            if (length == sizeof REQUEST && std::memcmp(request, REQUEST, sizeof REQUEST) == 0) {
                ss = s;
            } else {
                server.close_socket(s);
            }
        }
        // A frame makes no more sockets than the cap, and none is left behind.
        ASSERT_LE(server.sockets_made - made, DGLINK_HALF_OPEN_MAX) << frame;
        ASSERT_EQ(server.half_open(), 0) << frame;
        ASSERT_LE(network.ports_bound(), 4) << frame; // listening, the client's, and the server's socket for it
        advance(0.01);
    }
    ASSERT_NE(cs, nullptr);
    ASSERT_NE(ss, nullptr);
    // The cap was reached, the real client among those told to try later, and it tried again.
    EXPECT_GT(server.deferred, 0);
    EXPECT_GE(capture.count("Datagram: Rejected (try later)"), 1);
    // Requests find their links without comparing addresses one by one.
    EXPECT_LT(server.address_comparisons, requests / 100);

    EXPECT_EQ(write(static_cast<DatagramSocket*>(cs), 48, NET_STREAM_RELIABLE, {1, 2, 3}), NET_OK);
    cs->message_send();
    const std::vector<Received> got = read_all(static_cast<DatagramSocket*>(ss));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, (std::vector<uint8_t>{1, 2, 3}));
    client.close_socket(cs);
    server.close_socket(ss);
}

TEST_F(DatagramProtocolTest, CancelAndClose)
{
    NetSocket* cs = nullptr;
    EXPECT_EQ(client.connect_cancel("mem:1", REQUEST, sizeof REQUEST), NET_NOT_CONNECTED);
    EXPECT_TRUE(capture.contains("Datagram: No connection to cancel"));
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(client.connect_cancel("nowhere", REQUEST, sizeof REQUEST), NET_NOT_MINE);
    EXPECT_EQ(client.connect_cancel("mem:1", REQUEST, sizeof REQUEST), NET_OK);
    EXPECT_EQ(count_links(client), 0);

    EXPECT_EQ(connect(&cs), NET_OK);
    uint8_t request[16];
    int32_t length = sizeof request;
    ASSERT_NE(server.accept(request, &length), nullptr);
    EXPECT_EQ(connect(&cs), NET_OK);
    EXPECT_EQ(connect(&cs), NET_CONNECTED);
    EXPECT_EQ(client.connect_cancel("mem:1", REQUEST, sizeof REQUEST), NET_BUSY);
    EXPECT_TRUE(capture.contains("Datagram: Can't cancel socket in non-connecting state"));

    MemorySocket* const stranger = static_cast<MemorySocket*>(client.create_socket(false));
    client.close_socket(stranger);
    EXPECT_TRUE(capture.contains("Datagram: Can't find socket in close_socket()"));
    stranger->protocol = nullptr;
    delete stranger;
}

} // namespace
