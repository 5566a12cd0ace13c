#include "core/print.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net/vcr_protocol.h"
#include "net_fixture.h"

#include <string>

namespace {

// Stands in for UDP: takes every address and remembers what it saw.
class FakeProtocol final : public NetProtocol {
public:
    FakeProtocol() : NetProtocol(make_tag("UDP ")) {}
    int connect(NetSocket**, const char* address, const void*, int32_t) override
    {
        last = address;
        return 0;
    }
    int connect_cancel(const char* address, const void*, int32_t) override
    {
        last = address;
        return 0;
    }
    NetSocket* accept(void*, int32_t*) override { return nullptr; }
    void close_socket(NetSocket*) override {}
    std::string last;
};

class OwnedSocket final : public NetSocket {
public:
    explicit OwnedSocket(NetProtocol* p) : NetSocket(p) {}
    void poll() override {}
    int message_begin(NetStreamOut*, int, int) override { return 0; }
    int message_end(NetStreamOut*) override { return 0; }
    int message_send() override { return 0; }
    int read(NetStreamIn*, int*, int32_t*) override { return 2; }
};

using HiveTest = NetTest;

TEST_F(HiveTest, ProtocolsRunLoopbackThenPlayback)
{
    Hive hive;
    EXPECT_EQ(hive.init(), 0);
    std::vector<uint32_t> ids;
    for (NetProtocol* p = hive.first_protocol(); p != nullptr; p = p->next) {
        ids.push_back(p->id);
    }
    EXPECT_EQ(ids, (std::vector<uint32_t>{make_tag("LOOP"), make_tag("VCR "), make_tag("UDP ")}));
    EXPECT_NE(variables.find("Net_Debug"), nullptr);
    EXPECT_FALSE(net_debug());
    // A second init starts again with the same list.
    EXPECT_EQ(hive.init(), 0);
    int n = 0;
    for (NetProtocol* p = hive.first_protocol(); p != nullptr; p = p->next) {
        ++n;
    }
    EXPECT_EQ(n, 3);
}

TEST_F(HiveTest, AddressesGoToTheirProtocols)
{
    Hive hive;
    hive.add_protocol(new FakeProtocol);
    hive.init(); // drops the protocols it held
    // The list init builds once UDP exists: loopback, playback, UDP.
    Hive full;
    FakeProtocol* const fake = new FakeProtocol;
    full.add_protocol(fake);
    full.add_protocol(vcr_protocol_create());
    full.add_protocol(loopback_protocol_create());
    NetSocket* socket = nullptr;
    EXPECT_EQ(full.connect(&socket, "LOCAL", "x", 1), 0);
    EXPECT_EQ(fake->last, "");
    EXPECT_EQ(full.connect(&socket, "vCr.nothing_here", "x", 1), 11);
    EXPECT_EQ(fake->last, "");
    EXPECT_EQ(full.connect(&socket, "127.0.0.1", "x", 1), 0);
    EXPECT_EQ(fake->last, "127.0.0.1");
    EXPECT_EQ(full.connect_cancel("local", "x", 1), 0);
    EXPECT_EQ(full.connect_cancel("10.1.2.3", "x", 1), 0);
    EXPECT_EQ(fake->last, "10.1.2.3");

    // Without UDP nothing takes a network address.
    hive.shutdown();
    hive.add_protocol(vcr_protocol_create());
    hive.add_protocol(loopback_protocol_create());
    EXPECT_EQ(hive.connect(&socket, "127.0.0.1", "x", 1), 5);
    EXPECT_EQ(hive.connect_cancel("127.0.0.1", "x", 1), 5);
    int32_t length = 4;
    char request[4];
    EXPECT_EQ(hive.accept(request, &length), nullptr);
}

TEST_F(HiveTest, EmptyHiveTakesNothing)
{
    Hive hive;
    NetSocket* socket = nullptr;
    EXPECT_EQ(hive.connect(&socket, "local", "", 0), 5);
    int32_t length = 0;
    EXPECT_EQ(hive.accept(nullptr, &length), nullptr);
}

TEST_F(HiveTest, DestroyingASocketItsProtocolStillHoldsStops)
{
    FakeProtocol protocol;
    EXPECT_DEATH({ delete new OwnedSocket(&protocol); }, "!protocol");
}

} // namespace
