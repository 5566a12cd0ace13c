// A fake client over UDP on 127.0.0.1, on a port the system chooses.
#include "server_fixture.h"

#include "net/udp_protocol.h"

namespace {

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

    uint16_t port_ = 0;
    std::unique_ptr<UDPProtocol> client_protocol_;
    std::unique_ptr<FakeClient> client_;
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

} // namespace
