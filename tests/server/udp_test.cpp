// A fake client over UDP on 127.0.0.1, on a port the system chooses.
#include "server_fixture.h"

#include "core/byte_order.h"
#include "host/host_socket.h"
#include "net/datagram_wire.h"
#include "net/datagram_socket.h"
#include "net/line_limit.h"
#include "net/udp_protocol.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t LOOPBACK_2 = 0x0200007Fu; // 127.0.0.2 in network order

// A control datagram of the datagram layer holding one record.
std::vector<uint8_t> control_datagram(int subtype, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> d(NET_DATAGRAM_HEADER + NET_DGRECORD_HEADER);
    write_le32(d.data(), NET_DGSEQUENCED);
    write_le32(d.data() + 4, static_cast<uint32_t>(NET_DGRECORD_HEADER + payload.size()));
    d[8] = NET_DGM_CONTROL;
    d[9] = static_cast<uint8_t>(subtype);
    write_le16(d.data() + 10, static_cast<uint16_t>(payload.size() * 8));
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

// The connection request a client sends, with its request block.
std::vector<uint8_t> request_datagram(const std::vector<uint8_t>& block)
{
    std::vector<uint8_t> payload(4);
    write_le32(payload.data(), NET_DGPROTOCOL_VERSION);
    payload.insert(payload.end(), block.begin(), block.end());
    return control_datagram(NET_DGC_REQUEST, payload);
}

// Sends a datagram to the server's port from a socket of its own on `from`
// (a new port each time, as a flood from ever new addresses does).
void send_from(uint32_t from, uint16_t to_port, const std::vector<uint8_t>& datagram)
{
    const int fd = host::udp_socket();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(host::udp_bind_to(fd, {from, 0}), 0);
    host::udp_send_to(fd, datagram.data(), static_cast<int32_t>(datagram.size()), {host::IPV4_LOOPBACK, to_port});
    host::udp_close(fd);
}

class ServerUdp : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        auto* const listening = new UDPProtocol(0);
        ASSERT_EQ(listening->setup(), 0);
        port_ = listening->listening_port();
        ASSERT_NE(port_, 0);
        hive.add_protocol(listening);
    }
    void TearDown() override
    {
        client_.reset();
        client_protocol_.reset();
        clients_.clear();
        protocols_.clear();
        ServerFixture::TearDown();
    }

    FakeClient& connect_client(const std::string& name, uint32_t magic = 0x4B5652)
    {
        client_protocol_ = std::make_unique<UDPProtocol>(port_);
        EXPECT_EQ(client_protocol_->setup(), 0);
        fake_client::Options o;
        o.name = name;
        o.magic = magic;
        client_ = std::make_unique<FakeClient>(client_protocol_.get(), "127.0.0.1", o);
        return *client_;
    }

    // Another client over UDP from 127.0.0.1, with a protocol of its own.
    FakeClient& another_client(const std::string& name)
    {
        protocols_.push_back(std::make_unique<UDPProtocol>(port_));
        EXPECT_EQ(protocols_.back()->setup(), 0);
        fake_client::Options o;
        o.name = name;
        clients_.push_back(std::make_unique<FakeClient>(protocols_.back().get(), "127.0.0.1", o));
        return *clients_.back();
    }

    // Slots held by clients whose name begins with the prefix.
    int slots_named(const std::string& prefix) const
    {
        int n = 0;
        for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
            n += server.client[c].state != SCSTATE_FREE && std::string(server.client[c].name).rfind(prefix, 0) == 0;
        }
        return n;
    }

    // The server's UDP protocol: the first one the hive was given.
    UDPProtocol* server_udp() const
    {
        for (NetProtocol* p = hive.first_protocol(); p != nullptr; p = p->next) {
            if (p->id == UDP_PROTOCOL_ID) {
                return static_cast<UDPProtocol*>(p);
            }
        }
        return nullptr;
    }

    uint16_t port_ = 0;
    std::unique_ptr<UDPProtocol> client_protocol_;
    std::unique_ptr<FakeClient> client_;
    std::vector<std::unique_ptr<UDPProtocol>> protocols_;
    std::vector<std::unique_ptr<FakeClient>> clients_;
};

TEST_F(ServerUdp, SpawnsAndReceivesItsCameraAndItsChanges)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& c = connect_client("udp");
    ASSERT_TRUE(spawn({&c}));
    EXPECT_TRUE(c.accepted);
    EXPECT_EQ(c.map_name, "snake");
    for (int n = 0; n < 200 && c.objects.empty(); ++n) {
        frame({&c});
    }
    // Its camera and the map's one lamp.
    ASSERT_EQ(c.objects.size(), 2u);
    const int s = slot_of("udp");
    const int32_t camera = server.client[s].camera_id;
    EXPECT_EQ(c.objects.count(static_cast<uint32_t>(camera)), 1u);

    // A change of the camera's zoom and place reaches the client.
    const SObjArg zoom[2] = {{0, 1.0, nullptr}, {0, 0.5, nullptr}};
    ASSERT_EQ(server.mirror.set_special(camera, PROPERTY_CAMERA_ZOOM, zoom), 1);
    ASSERT_EQ(server.mirror.set_position(camera, Vector{128.0f, 100.0f, 64.0f}), 1);
    const auto view = [&] { return c.objects[static_cast<uint32_t>(camera)].state; };
    for (int n = 0; n < 200 && !view().zoom_present; ++n) {
        frame({&c});
    }
    const fake_client::UpdateRecord v = view();
    EXPECT_TRUE(v.zoom_present);
    EXPECT_EQ(v.zoom[0], 256u);
    EXPECT_EQ(v.zoom[1], 128u);
    EXPECT_EQ(v.offset_code[0], static_cast<uint32_t>((128.0 + 8192.0) * 8));
    EXPECT_EQ(v.offset_code[1], static_cast<uint32_t>((100.0 + 8192.0) * 8));
    EXPECT_TRUE(c.errors.empty());
    EXPECT_TRUE(c.stamps_increase);
}

TEST_F(ServerUdp, TheReasonOfARejectGoesOutBeforeTheClose)
{
    FakeClient& c = connect_client("wrong", 0x123456);
    for (int n = 0; n < 200 && !c.rejected; ++n) {
        frame({&c});
        c.receive();
    }
    EXPECT_TRUE(c.rejected);
    EXPECT_EQ(c.reject_reason, "game magic mismatch");
    EXPECT_EQ(server.clients, 0);
}

TEST_F(ServerUdp, OneAddressHoldsAFewSlotsAndOthersStillGetIn)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    // Valid copies of a real client's request from 400 ports of 127.0.0.2.
    fake_client::Options o;
    o.name = "flood";
    FakeClient model(&hive, "local", o);
    const std::vector<uint8_t> flood = request_datagram(model.request());
    for (int i = 0; i < 400; ++i) {
        send_from(LOOPBACK_2, port_, flood);
        if (i % 20 == 19) {
            frame();
        }
    }
    for (int n = 0; n < 10; ++n) {
        frame();
    }
    EXPECT_EQ(slots_named("flood"), var("S_MaxClientsPerAddress")->int_value());
    EXPECT_TRUE(capture.contains("Server: Client rejected (too many connections from this address)"));
    EXPECT_FALSE(capture.contains("client limit exceeded"));

    // A player from another address is let in; the local client is counted by no limit.
    FakeClient& player = connect_client("player");
    ASSERT_TRUE(spawn({&player}));
    EXPECT_TRUE(player.accepted);
    EXPECT_FALSE(player.rejected);
    var("S_MaxClientsPerAddress")->set_string("0");
    fake_client::Options local_options;
    local_options.name = "local";
    FakeClient local(&hive, "local", local_options);
    ASSERT_TRUE(spawn({&player, &local}));
    EXPECT_TRUE(local.accepted);
}

TEST_F(ServerUdp, JunkRecordsWriteAFewLinesAndThePlayerKeepsItsUpdates)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& c = connect_client("player");
    ASSERT_TRUE(spawn({&c}));
    // As many four-byte records of an unknown type as a datagram holds, for the listening port.
    constexpr int RECORDS = (NET_DATAGRAM_SIZE - NET_DATAGRAM_HEADER) / NET_DGRECORD_HEADER;
    std::vector<uint8_t> junk(NET_DATAGRAM_HEADER);
    write_le32(junk.data(), NET_DGSEQUENCED);
    write_le32(junk.data() + 4, RECORDS * NET_DGRECORD_HEADER);
    for (int i = 0; i < RECORDS; ++i) {
        junk.insert(junk.end(), {0x44, 0, 0, 0});
    }
    const auto updates_over = [&](int frames, bool junk_too) {
        const int32_t before = c.updates_received;
        for (int n = 0; n < frames; ++n) {
            for (int i = 0; junk_too && i < 3; ++i) {
                send_from(LOOPBACK_2, port_, junk);
            }
            frame({&c});
        }
        return c.updates_received - before;
    };
    const int32_t quiet = updates_over(140, false);
    capture.clear();
    const int32_t flooded = updates_over(140, true);
    EXPECT_GT(quiet, 0);
    EXPECT_GE(flooded, quiet - 2);
    // 420 datagrams over two seconds: a burst's lines, then a few a second, and the count of the rest.
    const LineLimit& lines = server_udp()->unknown_lines();
    EXPECT_GE(lines.held_total(), 420 * RECORDS - 16);
    EXPECT_LE(capture.count("Datagram: Unknown message type 68"), static_cast<int>(LINE_LIMIT_BURST + 3 * LINE_LIMIT_PER_SECOND));
    EXPECT_GE(capture.count("lines \"Unknown message type\" left out"), 1);
    EXPECT_EQ(server_udp()->listening_socket()->dropped, 420 * RECORDS);
}

TEST_F(ServerUdp, ARequestFloodCostsAFrameLittleAndLetsAPlayerIn)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    FakeClient& c = connect_client("player");
    ASSERT_TRUE(spawn({&c}));
    fake_client::Options o;
    o.name = "flood";
    FakeClient model(&hive, "local", o);
    const std::vector<uint8_t> flood = request_datagram(model.request());
    // 10,000 requests a second, from a new port each, in frames of 1/70 s.
    constexpr int PER_FRAME = 143;
    const auto run = [&](int frames, bool flooding, FakeClient* newcomer) {
        const int32_t before = c.updates_received;
        for (int n = 0; n < frames; ++n) {
            for (int i = 0; flooding && i < PER_FRAME; ++i) {
                send_from(LOOPBACK_2, port_, flood);
            }
            capture.clear();
            if (newcomer != nullptr) {
                frame({&c, newcomer});
            } else {
                frame({&c});
            }
            // The work of a frame on new requests is bounded: few connections are taken,
            // and one host holds few half-open links.
            EXPECT_LE(capture.count("Server: New client"), SERVER_ACCEPTS_PER_FRAME) << n;
            EXPECT_LE(server_udp()->half_open(), DGLINK_HALF_OPEN_PER_HOST) << n;
        }
        return c.updates_received - before;
    };
    const int32_t quiet = run(70, false, nullptr);
    FakeClient& newcomer = another_client("newcomer");
    const int32_t flooded = run(70, true, &newcomer);
    EXPECT_GE(flooded, quiet - 2);
    EXPECT_LE(slots_named("flood"), var("S_MaxClientsPerAddress")->int_value());
    // The newcomer's first request found room: it is in within the second.
    const int s = slot_of("newcomer");
    ASSERT_GE(s, 0);
    EXPECT_EQ(server.client[s].state, SCSTATE_SPAWNED);
    EXPECT_FALSE(newcomer.rejected);
}

TEST_F(ServerUdp, AFrameTakesABoundedNumberOfNewConnections)
{
    ASSERT_NO_FATAL_FAILURE(start_world());
    // One request from each of 30 hosts, all waiting at once.
    for (uint32_t h = 0; h < 30; ++h) {
        fake_client::Options o;
        o.name = "host" + std::to_string(h);
        FakeClient model(&hive, "local", o);
        send_from(LOOPBACK_2 + (h << 24), port_, request_datagram(model.request()));
    }
    frame();
    EXPECT_EQ(slots_named("host"), SERVER_ACCEPTS_PER_FRAME);
    frame();
    EXPECT_EQ(slots_named("host"), 30);
}

} // namespace
