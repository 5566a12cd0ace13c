#include "datagram_fixture.h"
#include "host/host_socket.h"
#include "net/udp_protocol.h"
#include "net/udp_socket.h"
#include "tools/relay/datagram_exchange.h"

namespace {

class UdpTest : public DatagramTest {
protected:
    void SetUp() override
    {
        DatagramTest::SetUp();
        ASSERT_EQ(server.setup(), NET_OK);
        port = server.listening_port();
        ASSERT_NE(port, 0);
    }

    // A socket whose peer is the listening socket, named as 127.0.0.1.
    UDPSocket* connected_socket()
    {
        auto* const s = static_cast<UDPSocket*>(server.create_socket(false));
        const NetAddress peer = udp_address({host::IPV4_LOOPBACK, port});
        EXPECT_EQ(s->connect(&peer, false), NET_OK);
        return s;
    }

    static void destroy(UDPSocket* s)
    {
        s->protocol = nullptr;
        delete s;
    }

    UDPProtocol server{0};
    uint16_t port = 0;
};

TEST_F(UdpTest, AddressesFromText)
{
    struct Case {
        const char* text;
        int result;
        const char* shown;
    };
    const Case cases[] = {
        {"10.0.0.7", NET_OK, "10.0.0.7:12345"},
        {"192.168.1.200", NET_OK, "192.168.1.200:12345"},
        {"local", NET_NOT_MINE, nullptr},
        {"example.org", NET_NOT_MINE, nullptr},
        {"10.0.0.7:80", NET_NOT_MINE, nullptr},
    };
    UDPProtocol p;
    for (const Case& c : cases) {
        NetAddress a{};
        EXPECT_EQ(p.text_to_address(c.text, &a), c.result) << c.text;
        if (c.shown != nullptr) {
            EXPECT_STREQ(p.address_to_text(&a), c.shown) << c.text;
            EXPECT_EQ(a.protocol, make_tag("UDP "));
            EXPECT_EQ(read_le16(a.data), 2);
            EXPECT_EQ(a.data[2], 0x30); // 12345 in network order
            EXPECT_EQ(a.data[3], 0x39);
        }
    }
    NetAddress other{};
    EXPECT_STREQ(p.address_to_text(&other), "");
}

TEST_F(UdpTest, AddressEquality)
{
    const NetAddress a = udp_address({0x0700000Au, 1000});
    const NetAddress b = udp_address({0x0700000Au, 1001});
    EXPECT_EQ(server.address_equal(&a, &a), 1);
    EXPECT_EQ(server.address_equal(&a, &b), 0);
    const NetAddress none{};
    EXPECT_EQ(server.address_equal(&a, &none), 0);
    EXPECT_EQ(server.address_equal(&none, &none), 0);
    EXPECT_TRUE(capture.contains("UDP: pid mismatch in address_equal"));

    // Links are found by the key form: equal addresses have the same key, others do not.
    NetAddress padded = a;
    padded.data[20] = 0x5A; // beyond family, port and address
    const NetAddress c = udp_address({0x0800000Au, 1000});
    const auto key = [&](const NetAddress& x) {
        const NetAddress k = server.address_key(&x);
        return std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&k), reinterpret_cast<const uint8_t*>(&k) + sizeof k);
    };
    EXPECT_EQ(server.address_equal(&a, &padded), 1);
    EXPECT_EQ(key(a), key(padded));
    EXPECT_NE(key(a), key(b));
    EXPECT_NE(key(a), key(c));
}

TEST_F(UdpTest, DatagramSizesAndEmptySockets)
{
    UDPSocket* const s = connected_socket();
    EXPECT_NE(poll_find(s), nullptr);
    const std::vector<uint8_t> big(7801, 1);
    EXPECT_EQ(s->send_datagram(big.data(), 7800), NET_OK);
    EXPECT_EQ(s->send_datagram(big.data(), 7801), NET_MISMATCH);
    EXPECT_TRUE(capture.contains("UDP: Invalid datagram size 7801"));
    EXPECT_EQ(s->send_datagram(big.data(), 0), NET_MISMATCH);

    std::vector<uint8_t> buffer(7800);
    NetAddress from{};
    int32_t length = 7799;
    EXPECT_EQ(s->receive_datagram(buffer.data(), &length, &from), NET_MISMATCH);
    EXPECT_TRUE(capture.contains("UDP: Receive buffer is too small (7799)"));
    length = 7800;
    EXPECT_EQ(s->receive_datagram(buffer.data(), &length, &from), NET_NOTHING);
    EXPECT_EQ(length, 0);

    // 127.0.0.1 stands for this machine: the host address is used instead.
    EXPECT_EQ(udp_endpoint(s->peer()).address, server.host_address());
    EXPECT_EQ(s->connect(nullptr, false), NET_BUSY);
    EXPECT_TRUE(capture.contains("UDP: Duplicate connect"));
    destroy(s);
    EXPECT_EQ(poll_find(s), nullptr);
}

TEST_F(UdpTest, UnconnectedSocketRefusesToSend)
{
    auto* const s = static_cast<UDPSocket*>(server.create_socket(false));
    const uint8_t byte = 0;
    EXPECT_EQ(s->send_datagram(&byte, 1), NET_NOT_CONNECTED);
    EXPECT_TRUE(capture.contains("UDP: Can't send - not connected"));
    NetAddress other{};
    other.protocol = make_tag("LOOP");
    EXPECT_EQ(s->connect(&other, false), NET_MISMATCH);
    EXPECT_TRUE(capture.contains("UDP: Protocol id mismatch in connect()"));
    destroy(s);
}

TEST_F(UdpTest, ClientAndServerOverLoopback)
{
    // The client's protocol cannot listen on the server's port: it still connects out.
    UDPProtocol client(port);
    ASSERT_EQ(client.setup(), NET_OK);
    EXPECT_EQ(client.listening_socket(), nullptr);
    EXPECT_TRUE(capture.contains("UDP: No listening socket on port"));

    // 1000 numbered reliable messages, paced so that the loopback keeps up.
    ExchangeSettings settings;
    settings.messages = 1000;
    settings.per_frame = 20;
    settings.unreliable_every = 50;
    ExchangeResult result;
    {
        ExchangeClient c(&client, "127.0.0.1", settings);
        ExchangeServer s(&server, settings);
        for (int frame = 0; frame < 20000 && !result.done_received && !c.failed(); ++frame) {
            c.step(&result);
            s.step(&result, nullptr);
            advance(0.01);
        }
    }
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.delivered, 1000);
    EXPECT_TRUE(result.in_order);
    EXPECT_TRUE(result.done_received);
    EXPECT_TRUE(result.unreliable_whole);
    EXPECT_TRUE(result.client_usable && result.server_usable);
}

} // namespace
