// Datagrams that each provoke an error or a warning, sent as fast as the
// loopback takes them: every cause writes a few lines and a count of the
// rest, and every datagram is still counted as dropped.
#include "datagram_fixture.h"
#include "host/host_socket.h"
#include "net/line_limit.h"
#include "net/udp_protocol.h"
#include "net/udp_socket.h"

#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr int FLOOD = 2000;         // datagrams of each cause
constexpr int ROUND = 50;           // sent before the target reads, well inside the loopback's queue
constexpr double ROUND_TIME = 0.25; // engine seconds between rounds

// A plain UDP socket on 127.0.0.1 at a port the system chooses.
class RawPeer {
public:
    RawPeer()
    {
        fd_ = host::udp_socket();
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(host::udp_bind_to(fd_, {host::IPV4_LOOPBACK, 0}), 0);
        host::Ipv4Endpoint local;
        EXPECT_EQ(host::udp_local_endpoint(fd_, &local), 0);
        port_ = local.port;
    }
    ~RawPeer() { host::udp_close(fd_); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool send(uint16_t to, const std::vector<uint8_t>& bytes) const
    {
        const int32_t n = static_cast<int32_t>(bytes.size());
        return host::udp_send_to(fd_, bytes.data(), n, {host::IPV4_LOOPBACK, to}) == n;
    }
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

uint16_t port_of(DatagramSocket* s)
{
    NetAddress a{};
    EXPECT_EQ(s->local_address(&a), NET_OK);
    return udp_endpoint(a).port;
}

class UdpFloodTest : public DatagramTest {
protected:
    void SetUp() override
    {
        DatagramTest::SetUp();
        ASSERT_EQ(server.setup(), NET_OK);
        ASSERT_NE(server.listening_port(), 0);
    }
    void TearDown() override
    {
        for (DatagramSocket* s : made) {
            s->protocol = nullptr;
            delete s;
        }
        DatagramTest::TearDown();
    }

    DatagramSocket* socket_with_peer(const RawPeer* peer)
    {
        DatagramSocket* const s = server.create_socket(false);
        made.push_back(s);
        if (peer != nullptr) {
            const NetAddress to = udp_address({host::IPV4_LOOPBACK, peer->port()});
            EXPECT_EQ(s->connect(&to, false), NET_OK);
        }
        return s;
    }

    // Sends FLOOD datagrams in rounds, each followed by the target's reading
    // and a quarter of a second; then the engine time of the flood.
    double flood(const RawPeer& from, uint16_t to, const std::function<std::vector<uint8_t>(int)>& datagram,
                 const std::function<void()>& read)
    {
        const int64_t start = clock.micros();
        for (int sent = 0; sent < FLOOD; sent += ROUND) {
            for (int i = sent; i < sent + ROUND; ++i) {
                EXPECT_TRUE(from.send(to, datagram(i))) << i;
            }
            read();
            advance(ROUND_TIME);
        }
        return static_cast<double>(clock.micros() - start) * 1e-6;
    }

    UDPProtocol server{0};
    std::vector<DatagramSocket*> made;
};

// Lines on the warning and error streams that hold text, and the sum of the
// counts of held lines of that cause.
struct Tally {
    int written = 0;
    int64_t held = 0;
    int others = 0; // lines of neither kind
};

Tally tally(const PrintCapture& capture, const std::string& text, const std::string& cause)
{
    Tally t;
    const std::string held_tail = " lines \"" + cause + "\" left out";
    for (const PrintCapture::Line& l : capture.lines()) {
        if (l.stream != P_WARNING && l.stream != P_ERROR) {
            continue;
        }
        const size_t tail = l.text.find(held_tail);
        if (tail != std::string::npos) {
            const size_t space = l.text.rfind(' ', tail - 1);
            t.held += std::atoll(l.text.c_str() + (space == std::string::npos ? 0 : space + 1));
        } else if (l.text.find(text) != std::string::npos) {
            ++t.written;
        } else {
            ++t.others;
        }
    }
    return t;
}

TEST_F(UdpFloodTest, EachCauseWritesAFewLinesAndCountsTheRest)
{
    RawPeer flooder;
    RawPeer peer; // the one a connected socket talks to, when that is not the flooder
    DatagramSocket* const listening = server.listening_socket();
    const uint16_t listen_port = server.listening_port();

    // A client's attempt that waits for an answer from the peer's port.
    UDPProtocol client{peer.port()};
    ASSERT_EQ(client.setup(), NET_OK);
    NetSocket* handed = nullptr;
    const uint8_t request[4] = {1, 2, 3, 4};
    ASSERT_EQ(client.connect(&handed, "127.0.0.1", request, sizeof request), NET_OK);
    ASSERT_NE(client.first_link(), nullptr);
    DatagramSocket* const connecting = client.first_link()->socket;

    DatagramSocket* const unconnected = socket_with_peer(nullptr);
    DatagramSocket* const stranger_target = socket_with_peer(&peer);
    DatagramSocket* const reliable_target = socket_with_peer(&flooder);
    DatagramSocket* const short_target = socket_with_peer(&flooder);

    const std::vector<uint8_t> message = raw_record(NET_STREAM_UNRELIABLE, 3, 16, {1, 2});
    const std::vector<uint8_t> accept_record = raw_record(NET_DGM_CONTROL, NET_DGC_ACCEPT, 256, std::vector<uint8_t>(32));
    const std::vector<uint8_t> reject_record = raw_record(NET_DGM_CONTROL, NET_DGC_REJECT, 16, {'x', 0});
    const std::vector<uint8_t> request_record =
        raw_record(NET_DGM_CONTROL, NET_DGC_REQUEST, 64, le32_bytes({NET_DGPROTOCOL_VERSION, 7}));
    // Stored once, then sent again with another length.
    const auto reliable = [](int32_t length) {
        return raw_datagram(0, std::vector<uint8_t>(static_cast<size_t>(length), 0));
    };
    const auto receive = [](DatagramSocket* s) { return [s] { s->receive(); }; };
    // The server reads every message, and each one ends before what it reads.
    int read_short = 0;
    const auto read_past_end = [&] {
        for (int i = 0; i < 2 * ROUND; ++i) {
            NetStreamIn in;
            int id = 0;
            if (short_target->read(&in, &id, nullptr) != NET_OK) {
                break;
            }
            in.read32();
            in.detach();
            ++read_short;
        }
    };

    struct Case {
        const char* text;  // of each line
        const char* cause; // in the count of held lines
        DatagramSocket* target;
        std::function<std::vector<uint8_t>(int)> datagram;
        std::function<void()> read;
        std::function<int64_t()> dropped; // every datagram of the cause counts here
    };
    const std::vector<Case> cases = {
        {"Datagram: Message in a control datagram", "Message in a control datagram", listening,
         [&](int) { return raw_datagram(NET_DGSEQUENCED, message); }, receive(listening),
         [&] { return listening->dropped; }},
        {"Datagram: Damaged datagram received", "Damaged datagram received", listening,
         [&](int) { return raw_datagram(NET_DGSEQUENCED, raw_record(NET_DGM_KEEPALIVE, 0, 800, {1})); },
         receive(listening), [&] { return listening->dropped; }},
        {"Datagram: Unknown message type 68", "Unknown message type", listening,
         [&](int) { return raw_datagram(NET_DGSEQUENCED, raw_record(0x44, 0, 0, {})); }, receive(listening),
         [&] { return listening->dropped; }},
        {"Datagram: Connection request arrived to a regular socket", "Connection request arrived to a regular socket",
         unconnected, [&](int) { return raw_datagram(NET_DGSEQUENCED, request_record); }, receive(unconnected),
         [&] { return server.dropped; }},
        {"Datagram: Unexpected source address", "Unexpected source address", stranger_target,
         [&](int i) { return raw_datagram(NET_DGSEQUENCED | static_cast<uint32_t>(i + 1), message); },
         receive(stranger_target), [&] { return stranger_target->dropped; }},
        {"Datagram: Damaged reliable datagram", "Damaged reliable datagram", reliable_target,
         [&](int) { return reliable(5); }, receive(reliable_target), [&] { return reliable_target->dropped; }},
        {"Datagram: Unexpected accept source", "Unexpected accept source", connecting,
         [&](int) { return raw_datagram(NET_DGSEQUENCED, accept_record); }, receive(connecting),
         [&] { return client.dropped; }},
        {"Datagram: Unexpected reject source", "Unexpected reject source", connecting,
         [&](int) { return raw_datagram(NET_DGSEQUENCED, reject_record); }, receive(connecting),
         [&] { return client.dropped; }},
        {"NetStreamIn: Unexpected end-of-message", "Unexpected end-of-message", short_target,
         [&](int i) { return raw_datagram(NET_DGSEQUENCED | static_cast<uint32_t>(i + 1), message); }, read_past_end,
         [&] { return read_short; }},
    };
    ASSERT_TRUE(flooder.send(port_of(reliable_target), reliable(4)));
    reliable_target->receive();
    ASSERT_EQ(reliable_target->dropped, 0);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const uint16_t to = c.target == listening ? listen_port : port_of(c.target);
        const int64_t dropped = c.dropped();
        capture.clear();
        const double seconds = flood(flooder, to, c.datagram, c.read);
        EXPECT_EQ(c.dropped() - dropped, FLOOD);
        // Once the flood is over the count of the held lines is written.
        advance(1.0);
        LineLimit::report_all_held();
        const Tally t = tally(capture, c.text, c.cause);
        EXPECT_GE(t.written, 1);
        EXPECT_LE(t.written, static_cast<int>(LINE_LIMIT_BURST + LINE_LIMIT_PER_SECOND * seconds));
        EXPECT_EQ(t.written + t.held, FLOOD);
        EXPECT_EQ(t.others, 0) << capture.lines().front().text;
        EXPECT_EQ(c.target->state, NET_SOCKET_USABLE);
        advance(1.0);
    }
    // Through all of it the attempt kept waiting for its server.
    EXPECT_EQ(client.first_link()->state, DGLINK_CONNECTING);
    EXPECT_EQ(handed, nullptr);
}

TEST_F(UdpFloodTest, AnswersThatCannotBeSentAreLimited)
{
    // No datagram can come from port 0 but a forged one; the listening socket
    // answers each repetition of such a request, and each answer fails.
    DatagramSocket* const listening = server.listening_socket();
    const NetAddress forged = udp_address({host::IPV4_LOOPBACK, 0});
    const std::vector<uint8_t> payload = le32_bytes({NET_DGPROTOCOL_VERSION, 7});
    const double seconds = FLOOD / ROUND * ROUND_TIME;
    for (int sent = 0; sent < FLOOD; sent += ROUND) {
        for (int i = 0; i < ROUND; ++i) {
            NetStreamIn in;
            in.attach(payload.data(), 64);
            server.control(NET_DGC_REQUEST, listening, &forged, &in, 64);
            in.detach();
        }
        advance(ROUND_TIME);
    }
    advance(1.0);
    LineLimit::report_all_held();
    const Tally t = tally(capture, "UDP::sendto(): WinSock error", "UDP::sendto()");
    EXPECT_GE(t.written, 1);
    EXPECT_LE(t.written, static_cast<int>(LINE_LIMIT_BURST + LINE_LIMIT_PER_SECOND * seconds));
    EXPECT_EQ(t.written + t.held, FLOOD);
    EXPECT_EQ(server.send_lines().written() + server.send_lines().held_total(), FLOOD);
}

} // namespace
