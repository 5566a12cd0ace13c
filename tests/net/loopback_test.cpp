#include "core/random_table.h"
#include "core/print.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "net/loopback_socket.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net_fixture.h"
#include "tools/net/vcr_writer.h"

#include <cstring>
#include <string>

namespace {

class LoopbackTest : public NetTest {
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        hive.init();
        set_variable("LoopBack_Latency", "0");
        set_variable("LoopBack_Loss", "0");
    }
    void TearDown() override
    {
        hive.shutdown();
        NetTest::TearDown();
    }

    // Client and server ends of one connection.
    void connect_pair(const char* request = "hello")
    {
        const int32_t length = static_cast<int32_t>(std::strlen(request));
        ASSERT_EQ(hive.connect(&client, "local", request, length), 0);
        ASSERT_EQ(hive.connect(&client, "local", request, length), 0);
        char received[256];
        int32_t received_length = sizeof received;
        server = hive.accept(received, &received_length);
        ASSERT_NE(server, nullptr);
        ASSERT_EQ(received_length, length);
        EXPECT_EQ(std::string(received, static_cast<size_t>(length)), request);
        EXPECT_EQ(hive.accept(received, &received_length), nullptr);
        ASSERT_EQ(hive.connect(&client, "LOCAL", request, length), 10);
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(client->protocol->id, make_tag("LOOP"));
        EXPECT_EQ(client->state, 0);
        EXPECT_EQ(server->state, 0);
    }

    static int send(NetSocket* from, int id, int type, uint32_t value, int32_t extra_bytes = 0)
    {
        NetStreamOut out;
        const int r = from->message_begin(&out, id, type);
        if (r != 0) {
            return r;
        }
        out.write32(value);
        for (int32_t i = 0; i < extra_bytes; ++i) {
            out.write8(static_cast<uint32_t>(i & 0xFF));
        }
        return from->message_end(&out);
    }

    // Reads one message: its id and first 32 bits, or the read's result when not 0.
    static int receive(NetSocket* to, int* id, uint32_t* value, int32_t* bits = nullptr)
    {
        NetStreamIn in;
        int32_t length = 0;
        const int r = to->read(&in, id, &length);
        if (r != 0) {
            return r;
        }
        *value = in.read32();
        in.detach();
        if (bits != nullptr) {
            *bits = length;
        }
        return 0;
    }

    Hive hive;
    NetSocket* client = nullptr;
    NetSocket* server = nullptr;
};

TEST_F(LoopbackTest, MessagesTravelBothWaysInOrder)
{
    connect_pair();
    EXPECT_EQ(send(client, 0, NET_STREAM_UNRELIABLE, 100), 0);
    EXPECT_EQ(send(client, 48, NET_STREAM_RELIABLE, 101, 3), 0);
    EXPECT_EQ(send(server, 255, NET_STREAM_RELIABLE, 200), 0);
    EXPECT_EQ(client->message_send(), 0);
    EXPECT_EQ(server->message_send(), 0);

    int id = -1;
    uint32_t value = 0;
    int32_t bits = 0;
    ASSERT_EQ(receive(server, &id, &value, &bits), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(value, 100u);
    EXPECT_EQ(bits, 32);
    ASSERT_EQ(receive(server, &id, &value, &bits), 0);
    EXPECT_EQ(id, 48);
    EXPECT_EQ(value, 101u);
    EXPECT_EQ(bits, 56);
    EXPECT_EQ(receive(server, &id, &value), 2);
    ASSERT_EQ(receive(client, &id, &value), 0);
    EXPECT_EQ(id, 255);
    EXPECT_EQ(value, 200u);

    EXPECT_EQ(client->traffic[NET_TRAFFIC_UNRELIABLE_OUT].messages, 1);
    EXPECT_EQ(client->traffic[NET_TRAFFIC_UNRELIABLE_OUT].bytes, 12);
    EXPECT_EQ(client->traffic[NET_TRAFFIC_RELIABLE_OUT].bytes, 15);
    EXPECT_EQ(client->traffic[NET_TRAFFIC_RELIABLE_OUT].largest, 7);
    EXPECT_EQ(server->traffic[NET_TRAFFIC_RELIABLE_IN].bytes, 15);
    EXPECT_EQ(server->traffic[NET_TRAFFIC_UNRELIABLE_IN].messages, 1);
    EXPECT_EQ(client->traffic[NET_TRAFFIC_RELIABLE_IN].messages, 1);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, OneMessageOpenAtATime)
{
    connect_pair();
    NetStreamOut first;
    NetStreamOut second;
    ASSERT_EQ(client->message_begin(&first, 1, NET_STREAM_RELIABLE), 0);
    EXPECT_EQ(client->message_begin(&second, 1, NET_STREAM_RELIABLE), 6);
    EXPECT_EQ(client->message_end(&second), 5);
    NetStreamIn in;
    int id = 0;
    EXPECT_EQ(client->read(&in, &id, nullptr), 6);
    EXPECT_EQ(client->message_end(&first), 0);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, LargestMessageFitsAndOneBitMoreOverflows)
{
    connect_pair();
    NetStreamOut out;
    ASSERT_EQ(client->message_begin(&out, 7, NET_STREAM_RELIABLE), 0);
    for (int i = 0; i < NET_MESSAGE_MAXLEN / 4; ++i) {
        out.write32(static_cast<uint32_t>(i));
    }
    EXPECT_EQ(client->message_end(&out), 0);
    ASSERT_EQ(client->message_begin(&out, 7, NET_STREAM_RELIABLE), 0);
    for (int i = 0; i < NET_MESSAGE_MAXLEN / 4; ++i) {
        out.write32(static_cast<uint32_t>(i));
    }
    out.write_bits(1, 1);
    EXPECT_EQ(client->message_end(&out), 1);

    NetStreamIn in;
    int id = 0;
    int32_t bits = 0;
    ASSERT_EQ(server->read(&in, &id, &bits), 0);
    EXPECT_EQ(bits, 64000);
    for (int i = 0; i < NET_MESSAGE_MAXLEN / 4; ++i) {
        ASSERT_EQ(in.read32(), static_cast<uint32_t>(i));
    }
    EXPECT_TRUE(in.at_end());
    in.detach();
    EXPECT_EQ(server->read(&in, &id, &bits), 2);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, FullBufferLosesTheMessageUntilTheReaderCatchesUp)
{
    connect_pair();
    int sent = 0;
    int r = 0;
    for (int guard = 0; guard < 100 && r == 0; ++guard) {
        r = send(client, 1, NET_STREAM_RELIABLE, static_cast<uint32_t>(sent), 1000);
        sent += r == 0 ? 1 : 0;
    }
    EXPECT_EQ(r, 1);
    EXPECT_EQ(sent, 16384 / (8 + 1004));
    int id = 0;
    uint32_t value = 0;
    ASSERT_EQ(receive(server, &id, &value), 0);
    EXPECT_EQ(value, 0u);
    // Compaction makes room again.
    EXPECT_EQ(send(client, 1, NET_STREAM_RELIABLE, 99, 1000), 0);
    for (int i = 1; i < sent; ++i) {
        ASSERT_EQ(receive(server, &id, &value), 0);
        EXPECT_EQ(value, static_cast<uint32_t>(i));
    }
    ASSERT_EQ(receive(server, &id, &value), 0);
    EXPECT_EQ(value, 99u);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, LatencyHoldsMessagesInOrder)
{
    connect_pair();
    set_variable("LoopBack_Latency", "0.5");
    set_time(10.0);
    EXPECT_EQ(send(client, 1, NET_STREAM_UNRELIABLE, 1), 0);
    set_time(10.25);
    EXPECT_EQ(send(client, 2, NET_STREAM_RELIABLE, 2), 0);
    int id = 0;
    uint32_t value = 0;
    set_time(10.4);
    EXPECT_EQ(receive(server, &id, &value), 2);
    set_time(10.5);
    ASSERT_EQ(receive(server, &id, &value), 0);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(receive(server, &id, &value), 2);
    set_time(10.75);
    ASSERT_EQ(receive(server, &id, &value), 0);
    EXPECT_EQ(id, 2);
    hive.close_socket(client);
    hive.close_socket(server);
}

// The generator's formula, written out again so the test checks the draws.
struct Lcg {
    uint32_t x;
    int32_t next()
    {
        x = x * 214013u + 2531011u;
        return static_cast<int32_t>((x >> 16) & 0x7FFF);
    }
};

TEST_F(LoopbackTest, LossDropsUnreliableMessagesBySeededDraws)
{
    connect_pair();
    for (const char* loss : {"0", "0.25", "1"}) {
        set_variable("LoopBack_Loss", loss);
        const float limit = std::stof(loss);
        engine_srand(1234);
        Lcg expected{1234};
        std::vector<uint32_t> kept;
        for (uint32_t i = 0; i < 200; ++i) {
            EXPECT_EQ(send(client, 3, NET_STREAM_UNRELIABLE, i), 0);
            if (static_cast<float>(expected.next()) * (1.0f / 32767.0f) >= limit) {
                kept.push_back(i);
            }
            EXPECT_EQ(send(client, 4, NET_STREAM_RELIABLE, 1000 + i), 0);
            int id = 0;
            uint32_t value = 0;
            while (receive(server, &id, &value) == 0) {
                if (id == 3) {
                    EXPECT_FALSE(kept.empty()) << loss;
                    EXPECT_EQ(value, kept.empty() ? 0 : kept.back()) << loss;
                } else {
                    EXPECT_EQ(value, 1000 + i) << loss;
                }
            }
        }
        if (limit == 0.0f) {
            EXPECT_EQ(kept.size(), 200u);
        } else if (limit == 1.0f) {
            EXPECT_LE(kept.size(), 1u);
        } else {
            EXPECT_GT(kept.size(), 120u);
            EXPECT_LT(kept.size(), 180u);
        }
    }
    // The only draw that survives a loss of 1.
    EXPECT_EQ(static_cast<float>(32767) * (1.0f / 32767.0f), 1.0f);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, AcceptWithAShortBufferReportsMinusOne)
{
    ASSERT_EQ(hive.connect(&client, "local", "0123456789", 10), 0);
    char received[8] = {};
    int32_t length = 4;
    server = hive.accept(received, &length);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(std::string(received), "0123");
    ASSERT_EQ(hive.connect(&client, "local", "0123456789", 10), 10);
    hive.close_socket(client);
    hive.close_socket(server);
}

TEST_F(LoopbackTest, ClosingOneEndLeavesWhatWasWritten)
{
    connect_pair();
    EXPECT_EQ(send(server, 9, NET_STREAM_RELIABLE, 77), 0);
    hive.close_socket(server);
    int id = 0;
    uint32_t value = 0;
    ASSERT_EQ(receive(client, &id, &value), 0);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(client->state, 1);
    EXPECT_EQ(receive(client, &id, &value), 2);
    EXPECT_EQ(send(client, 9, NET_STREAM_RELIABLE, 1), 4);
    hive.close_socket(client);
    EXPECT_EQ(static_cast<LoopbackProtocol*>(hive.first_protocol())->first_link(), nullptr);
}

TEST_F(LoopbackTest, ServerClosingBeforeTheClientConnectsShowsAsLost)
{
    ASSERT_EQ(hive.connect(&client, "local", "r", 1), 0);
    int32_t length = 8;
    char received[8];
    server = hive.accept(received, &length);
    ASSERT_NE(server, nullptr);
    hive.close_socket(server);
    ASSERT_EQ(hive.connect(&client, "local", "r", 1), 10);
    EXPECT_EQ(send(client, 1, NET_STREAM_RELIABLE, 1), 4);
    EXPECT_EQ(client->state, 1);
    // The socket is handed out once: a new connect starts a new link.
    NetSocket* again = nullptr;
    EXPECT_EQ(hive.connect(&again, "local", "r", 1), 0);
    EXPECT_EQ(again, nullptr);
    hive.close_socket(client);
}

TEST_F(LoopbackTest, CancelledRequests)
{
    EXPECT_EQ(hive.connect_cancel("local", "a", 1), 4);
    // Cancelled before the server saw it: nothing remains.
    ASSERT_EQ(hive.connect(&client, "local", "a", 1), 0);
    EXPECT_EQ(hive.connect_cancel("Local", "a", 1), 0);
    int32_t length = 8;
    char received[8];
    EXPECT_EQ(hive.accept(received, &length), nullptr);
    EXPECT_EQ(static_cast<LoopbackProtocol*>(hive.first_protocol())->first_link(), nullptr);

    // Cancelled after the server accepted: the server keeps its end and finds it lost.
    ASSERT_EQ(hive.connect(&client, "local", "b", 1), 0);
    length = 8;
    server = hive.accept(received, &length);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(hive.connect_cancel("local", "b", 1), 0);
    EXPECT_EQ(send(server, 1, NET_STREAM_RELIABLE, 1), 4);
    EXPECT_EQ(server->state, 1);
    hive.close_socket(server);
    EXPECT_EQ(static_cast<LoopbackProtocol*>(hive.first_protocol())->first_link(), nullptr);
}

TEST_F(LoopbackTest, ReceivedMessagesAreRecorded)
{
    connect_pair();
    ASSERT_EQ(client->record_start(path("live.vcr").c_str()), 0);
    EXPECT_EQ(send(server, 5, NET_STREAM_RELIABLE, 0x01020304), 0);
    EXPECT_EQ(send(server, 6, NET_STREAM_UNRELIABLE, 0x05060708), 0);
    int id = 0;
    uint32_t value = 0;
    while (receive(client, &id, &value) == 0) {
    }
    hive.close_socket(client);
    hive.close_socket(server);

    NetSocket* player = nullptr;
    ASSERT_EQ(hive.connect(&player, "vcr.live", "", 0), 10);
    ASSERT_EQ(receive(player, &id, &value), 0);
    EXPECT_EQ(id, 5);
    EXPECT_EQ(value, 0x01020304u);
    ASSERT_EQ(receive(player, &id, &value), 0);
    EXPECT_EQ(id, 6);
    EXPECT_EQ(value, 0x05060708u);
    EXPECT_EQ(player->state, 1);
    hive.close_socket(player);
}

TEST_F(LoopbackTest, VariablesOfAnyTypeReadAsNumbers)
{
    ConfigVariable* const f = variables.link(CVTYPE_FLOAT, 0, "T_F", "0.5", 0);
    ConfigVariable* const i = variables.link(CVTYPE_INT, 0, "T_I", "3", 0);
    ConfigVariable* const b = variables.link(CVTYPE_BOOL, 0, "T_B", "True", 0);
    ConfigVariable* const s = variables.link(CVTYPE_STRING, 0, "T_S", "abcd", 0);
    EXPECT_EQ(loopback_variable_value(f), 0.5f);
    EXPECT_EQ(loopback_variable_value(i), 3.0f);
    EXPECT_EQ(loopback_variable_value(b), 1.0f);
    EXPECT_EQ(loopback_variable_value(s), 4.0f);
    for (ConfigVariable* v : {f, i, b, s}) {
        variables.release(v);
    }
}

} // namespace
