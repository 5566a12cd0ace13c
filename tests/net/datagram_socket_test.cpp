#include "datagram_fixture.h"

namespace {

using DatagramSocketTest = DatagramTest;

std::vector<uint8_t> filled(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return v;
}

// A reliable datagram of the given id carrying one reliable record.
std::vector<uint8_t> reliable_datagram(uint32_t id, int message_id, const std::vector<uint8_t>& payload)
{
    return raw_datagram(id, raw_record(NET_STREAM_RELIABLE, message_id, static_cast<int32_t>(payload.size()) * 8, payload));
}

TEST_F(DatagramSocketTest, ReliableRecordsSpreadOverTheRing)
{
    connect_pair();
    network.log_sent = true;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(write(a, 10 + i, NET_STREAM_RELIABLE, filled(2996, static_cast<uint8_t>(i))), NET_OK);
        if (i == 1) {
            EXPECT_EQ(a->out_ring()[0].state, NET_DGBOS_PREPARED);
            EXPECT_EQ(a->out_ring()[0].fill, 8 + 6000);
        }
    }
    EXPECT_EQ(a->out_ring()[0].state, NET_DGBOS_FINISHED);
    EXPECT_EQ(a->out_ring()[0].fill, 7800);
    EXPECT_EQ(a->out_ring()[1].state, NET_DGBOS_PREPARED);
    EXPECT_EQ(a->out_ring()[1].fill, 8 + 1208);
    a->message_send();
    ASSERT_EQ(network.sent.size(), 2u);
    EXPECT_EQ(network.sent[0].bytes.size(), 7800u);
    EXPECT_EQ(network.sent[1].bytes.size(), 1216u);
    EXPECT_EQ(a->out_ring()[1].state, NET_DGBOS_FINISHED);

    const std::vector<Received> got = read_all(b);
    ASSERT_EQ(got.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].id, 10 + i);
        EXPECT_EQ(got[i].bits, 2996 * 8);
        EXPECT_EQ(got[i].bytes, filled(2996, static_cast<uint8_t>(i)));
    }
}

TEST_F(DatagramSocketTest, RingRoomEndsAtTheFirstUnacknowledgedBuffer)
{
    connect_pair();
    // Fifteen records of 7792 bytes fill buffers 0-14 exactly.
    for (int i = 0; i < 15; ++i) {
        ASSERT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(7788, 1)), NET_OK);
    }
    a->message_send();
    // Buffers 1-4 are acknowledged, buffer 0 is not: they do not count.
    network.inject(a->port, b->port, raw_datagram(NET_DGSEQUENCED | 1, raw_record(NET_DGM_ACK, 4, 128, le32_bytes({1, 2, 3, 4}))));
    a->receive();
    EXPECT_EQ(a->out_ring()[2].state, NET_DGBOS_ACKED);
    EXPECT_EQ(a->out_ring()[0].state, NET_DGBOS_FINISHED);
    EXPECT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(7789, 1)), NET_BUSY);
    EXPECT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(7788, 1)), NET_OK);
}

TEST_F(DatagramSocketTest, MessageLengthLimits)
{
    connect_pair();
    EXPECT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(7995, 3)), NET_OK);
    EXPECT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(7996, 3)), NET_DAMAGED);
    EXPECT_TRUE(capture.contains("Datagram: Bad reliable message length 64000"));
    // Unreliable: header and payload fit in one datagram's 7792 payload bytes.
    EXPECT_EQ(write(a, 2, NET_STREAM_UNRELIABLE, filled(7788, 4)), NET_OK);
    EXPECT_EQ(write(a, 2, NET_STREAM_UNRELIABLE, filled(7789, 4)), NET_WRITE_FAILED);
    a->message_send();
    const std::vector<Received> got = read_all(b);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, filled(7788, 4)); // unreliable records come before the next reliable one
    EXPECT_EQ(got[1].bytes, filled(7995, 3));
}

TEST_F(DatagramSocketTest, WritingNeedsAConnectionAndOneOpenMessage)
{
    connect_pair();
    NetStreamOut first;
    NetStreamOut second;
    ASSERT_EQ(a->message_begin(&first, 1, NET_STREAM_RELIABLE), NET_OK);
    EXPECT_EQ(a->message_begin(&second, 1, NET_STREAM_RELIABLE), NET_BUSY);
    EXPECT_EQ(a->message_end(&second), NET_MISMATCH);
    EXPECT_TRUE(capture.contains("Datagram: NetStreamOut mismatch in message_end()"));
    EXPECT_EQ(a->message_end(&first), NET_OK);

    MemorySocket* const lone = static_cast<MemorySocket*>(protocol.create_socket(false));
    NetStreamIn in;
    int id = 0;
    EXPECT_EQ(lone->message_begin(&first, 1, NET_STREAM_UNRELIABLE), NET_NOT_CONNECTED);
    EXPECT_EQ(lone->read(&in, &id, nullptr), NET_NOT_CONNECTED);
    EXPECT_TRUE(capture.contains("Datagram: Tried to write to an unconnected socket"));
    EXPECT_TRUE(capture.contains("Datagram: Tried to read from an unconnected socket"));
    lone->protocol = nullptr;
    delete lone;
}

TEST_F(DatagramSocketTest, UnacknowledgedDatagramIsResentEverySecond)
{
    connect_pair();
    network.log_sent = true;
    network.drop = [](const MemoryNetwork::Sent&) { return true; };
    ASSERT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(10, 1)), NET_OK);
    a->message_send();
    EXPECT_EQ(a->traffic[NET_TRAFFIC_RELIABLE_OUT].messages, 1);
    advance(0.99);
    a->message_send();
    EXPECT_EQ(a->traffic[NET_TRAFFIC_RELIABLE_OUT].messages, 1);
    advance(0.02);
    a->message_send();
    EXPECT_EQ(a->traffic[NET_TRAFFIC_RELIABLE_OUT].messages, 2);
    network.drop = nullptr;
    advance(1.01);
    a->message_send();
    EXPECT_EQ(read_all(b).size(), 1u);
    b->message_send(); // the acknowledgement
    a->receive();
    EXPECT_EQ(a->out_ring()[0].state, NET_DGBOS_ACKED);
    advance(2.0);
    a->message_send();
    EXPECT_EQ(a->traffic[NET_TRAFFIC_RELIABLE_OUT].messages, 3);
    EXPECT_EQ(a->resent, 2);
    // A new datagram's first sending is not a resend.
    ASSERT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(10, 2)), NET_OK);
    a->message_send();
    EXPECT_EQ(a->traffic[NET_TRAFFIC_RELIABLE_OUT].messages, 4);
    EXPECT_EQ(a->resent, 2);
}

TEST_F(DatagramSocketTest, LostAndStaleSequencedDatagrams)
{
    connect_pair();
    const std::vector<uint8_t> keepalive = raw_record(NET_DGM_KEEPALIVE, 0, 0, {});
    for (const uint32_t n : {1u, 2u, 5u}) {
        network.inject(b->port, a->port, raw_datagram(NET_DGSEQUENCED | n, keepalive));
    }
    b->receive();
    EXPECT_EQ(b->lost, 2);
    EXPECT_TRUE(capture.contains("Datagram: 2 datagram(s) lost"));
    network.inject(b->port, a->port, raw_datagram(NET_DGSEQUENCED | 4, raw_record(NET_STREAM_UNRELIABLE, 9, 8, {1})));
    EXPECT_TRUE(read_all(b).empty());
    EXPECT_TRUE(capture.contains("Datagram: Got a stale datagram"));
}

TEST_F(DatagramSocketTest, SequenceNumbersFarAheadAreDamaged)
{
    struct Case {
        const char* why;
        uint32_t ahead; // beyond the expected number
        bool accepted;
    };
    const Case cases[] = {
        {"a burst of losses the window still covers", 4096, true},
        {"just beyond the window", 4097, false},
        {"forged near the top of the number space", 0x7FFFFFFEu - 2, false},
    };
    const std::vector<uint8_t> keepalive = raw_record(NET_DGM_KEEPALIVE, 0, 0, {});
    for (const Case& c : cases) {
        connect_pair();
        // The real peer's first datagram: the next one expected is 2.
        ASSERT_EQ(write(a, 9, NET_STREAM_UNRELIABLE, {1}), NET_OK);
        a->message_send();
        ASSERT_EQ(read_all(b).size(), 1u) << c.why;
        network.inject(b->port, a->port, raw_datagram(NET_DGSEQUENCED | (2 + c.ahead), keepalive));
        b->receive();
        EXPECT_EQ(b->dropped, c.accepted ? 0 : 1) << c.why;
        EXPECT_EQ(b->lost, c.accepted ? static_cast<int32_t>(c.ahead) : 0) << c.why;
        // The real peer's next datagram and a reliable message still get through.
        ASSERT_EQ(write(a, 9, NET_STREAM_UNRELIABLE, {2}), NET_OK);
        ASSERT_EQ(write(a, 10, NET_STREAM_RELIABLE, {3}), NET_OK);
        a->message_send();
        const std::vector<Received> got = read_all(b);
        if (c.accepted) {
            ASSERT_EQ(got.size(), 1u) << c.why; // the unreliable one is stale now
            EXPECT_EQ(got[0].id, 10) << c.why;
        } else {
            ASSERT_EQ(got.size(), 2u) << c.why;
            EXPECT_EQ(got[0].bytes, std::vector<uint8_t>{2}) << c.why;
            EXPECT_EQ(got[1].bytes, std::vector<uint8_t>{3}) << c.why;
        }
        close_pair();
    }
}

TEST_F(DatagramSocketTest, OnlyAcceptedDatagramsKeepAConnectionAlive)
{
    connect_pair();
    const std::vector<uint8_t> keepalive = raw_record(NET_DGM_KEEPALIVE, 0, 0, {});
    network.inject(b->port, a->port, raw_datagram(NET_DGSEQUENCED | 10, keepalive));
    b->receive();
    // A dead peer whose address is forged, and a stranger: nothing of theirs is accepted.
    const std::vector<std::vector<uint8_t>> forged = {
        raw_datagram(NET_DGSEQUENCED | 0x7FFFFFF0u, keepalive),   // far ahead
        raw_datagram(NET_DGSEQUENCED | 3, keepalive),             // stale
        raw_datagram(NET_DGSEQUENCED, keepalive),                 // control datagram at a connected socket
        reliable_datagram(0x7FFF0000, 1, {1}),                    // reliable far outside the window
        {1, 2, 3},                                                // too short
    };
    for (int second = 0; second < 31; ++second) {
        advance(1.0);
        for (const std::vector<uint8_t>& d : forged) {
            network.inject(b->port, a->port, d);
        }
        network.inject(b->port, 999, raw_datagram(NET_DGSEQUENCED | 11, keepalive));
        b->receive();
    }
    EXPECT_EQ(b->state, NET_SOCKET_LOST);
    EXPECT_TRUE(capture.contains("Datagram: Connection timed out"));
}

TEST_F(DatagramSocketTest, ReliableDatagramsAreDeliveredInOrder)
{
    connect_pair();
    network.inject(b->port, a->port, reliable_datagram(1, 21, {2, 2}));
    EXPECT_TRUE(read_all(b).empty());
    network.inject(b->port, a->port, reliable_datagram(0, 20, {1}));
    const std::vector<Received> got = read_all(b);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, 20);
    EXPECT_EQ(got[1].id, 21);
    EXPECT_EQ(b->expected_reliable_id(), 2u);
    EXPECT_EQ(b->pending_acks(), 2);
}

TEST_F(DatagramSocketTest, ReceiveWindowIsSixteenDatagrams)
{
    connect_pair();
    network.inject(b->port, a->port, reliable_datagram(16, 1, {1}));
    b->receive();
    EXPECT_EQ(b->pending_acks(), 0);
    EXPECT_EQ(b->dropped, 1);
    EXPECT_TRUE(capture.contains("Datagram: Too new reliable datagram (16)"));
    network.inject(b->port, a->port, reliable_datagram(15, 1, {1}));
    b->receive();
    EXPECT_EQ(b->pending_acks(), 1);
    EXPECT_EQ(b->dropped, 1);
}

TEST_F(DatagramSocketTest, DuplicatesAreAcknowledgedAgainUpToSixteen)
{
    connect_pair();
    network.log_sent = true;
    network.inject(b->port, a->port, reliable_datagram(0, 1, {1}));
    EXPECT_EQ(read_all(b).size(), 1u);
    for (int i = 0; i < 16; ++i) {
        network.inject(b->port, a->port, reliable_datagram(0, 1, {1}));
    }
    EXPECT_TRUE(read_all(b).empty());
    EXPECT_EQ(b->pending_acks(), 16);
    b->message_send();
    ASSERT_EQ(network.sent.size(), 1u);
    const std::vector<uint8_t>& d = network.sent[0].bytes;
    ASSERT_EQ(d.size(), 8u + 4u + 64u);
    EXPECT_EQ(d[8], NET_DGM_ACK);
    EXPECT_EQ(d[9], 16);
    EXPECT_EQ(read_le16(d.data() + 10), 512);
    EXPECT_EQ(b->pending_acks(), 0);
}

TEST_F(DatagramSocketTest, AcknowledgementMustHoldItsCount)
{
    connect_pair();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(write(a, 1, NET_STREAM_RELIABLE, filled(10, 1)), NET_OK);
        a->message_send();
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(a->out_ring()[i].state, NET_DGBOS_FINISHED);
    }
    const std::vector<uint8_t> ids = le32_bytes({0, 1, 2});
    network.inject(a->port, b->port, raw_datagram(NET_DGSEQUENCED | 1, raw_record(NET_DGM_ACK, 3, 95, ids)));
    a->receive();
    EXPECT_TRUE(capture.contains("Datagram: Damaged ack"));
    EXPECT_EQ(a->out_ring()[1].state, NET_DGBOS_FINISHED);
    network.inject(a->port, b->port, raw_datagram(NET_DGSEQUENCED | 2, raw_record(NET_DGM_ACK, 3, 96, ids)));
    a->receive();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a->out_ring()[i].state, NET_DGBOS_ACKED);
    }
}

TEST_F(DatagramSocketTest, MalformedDatagramsAreDroppedAndCounted)
{
    struct Case {
        const char* why;
        uint16_t from_port; // 0: the peer
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const std::vector<uint8_t> message = raw_record(NET_STREAM_UNRELIABLE, 3, 16, {1, 2});
    std::vector<uint8_t> overrun = message;
    const std::vector<uint8_t> tail = raw_record(NET_STREAM_UNRELIABLE, 3, 800, {1, 2});
    overrun.insert(overrun.end(), tail.begin(), tail.end());
    const Case cases[] = {
        {"bad length", 0, {1, 0, 0, 0x80, 9, 0, 0, 0}, "Datagram: Bad length (8, expected 17"},
        {"empty datagram", 0, {}, "Datagram: Bad length (0, expected 8"},
        {"record overruns", 0, raw_datagram(NET_DGSEQUENCED | 1, overrun), "Datagram: Damaged datagram received"},
        {"unknown type", 0, raw_datagram(NET_DGSEQUENCED | 2, raw_record(0x44, 0, 0, {})),
         "Datagram: Unknown message type 68"},
        {"message in a control datagram", 0, raw_datagram(NET_DGSEQUENCED, message),
         "Datagram: Message in a control datagram"},
        {"reliable id far outside the window", 0, reliable_datagram(0x7FFF0000, 1, {1}),
         "Datagram: Too new reliable datagram"},
        {"stranger", 999, raw_datagram(NET_DGSEQUENCED | 3, message), "Datagram: Unexpected source address mem:999"},
        {"reliable record of the wrong type", 0, raw_datagram(0, raw_record(NET_DGM_KEEPALIVE, 0, 0, {})),
         "Datagram: Unknown message type 32"},
    };
    connect_pair();
    int32_t dropped = 0;
    for (const Case& c : cases) {
        capture.clear();
        network.inject(b->port, c.from_port != 0 ? c.from_port : a->port, c.bytes);
        const std::vector<Received> got = read_all(b);
        EXPECT_TRUE(got.empty() || (got.size() == 1 && got[0].bytes == std::vector<uint8_t>{1, 2})) << c.why;
        EXPECT_EQ(b->dropped, ++dropped) << c.why;
        EXPECT_TRUE(capture.contains(c.message)) << c.why;
        EXPECT_EQ(b->state, NET_SOCKET_USABLE) << c.why;
    }
}

TEST_F(DatagramSocketTest, UnknownRecordLinesAreLimitedOverAllPeers)
{
    // A datagram as full as it gets of four-byte records of a type nobody knows.
    constexpr int PER_DATAGRAM = (NET_DATAGRAM_SIZE - NET_DATAGRAM_HEADER) / NET_DGRECORD_HEADER;
    std::vector<uint8_t> junk;
    for (int i = 0; i < PER_DATAGRAM; ++i) {
        const std::vector<uint8_t> r = raw_record(0x44, 0, 0, {});
        junk.insert(junk.end(), r.begin(), r.end());
    }
    connect_pair();
    const std::string line = "Datagram: Unknown message type 68";
    uint32_t number = 1;
    // Bursts of 50 such datagrams, at both ends of the connection, a second apart.
    const auto burst = [&] {
        for (int i = 0; i < 25; ++i, ++number) {
            network.inject(b->port, a->port, raw_datagram(NET_DGSEQUENCED | number, junk));
            network.inject(a->port, b->port, raw_datagram(NET_DGSEQUENCED | number, junk));
            b->receive();
            a->receive();
        }
    };
    burst();
    EXPECT_EQ(a->dropped + b->dropped, 50 * PER_DATAGRAM);
    EXPECT_EQ(capture.count(line), static_cast<int>(LINE_LIMIT_BURST));
    EXPECT_FALSE(capture.contains("left out"));

    // Once lines may go again, the held ones are counted in one line before the next.
    advance(1.0);
    capture.clear();
    b->receive();
    const int held = 50 * PER_DATAGRAM - static_cast<int>(LINE_LIMIT_BURST);
    EXPECT_TRUE(capture.contains("Datagram: " + std::to_string(held) + " lines \"Unknown message type\" left out"));
    burst();
    EXPECT_EQ(a->dropped + b->dropped, 100 * PER_DATAGRAM);
    EXPECT_LE(capture.count(line), static_cast<int>(LINE_LIMIT_BURST));
    EXPECT_LE(capture.lines().size(), 1 + LINE_LIMIT_BURST);
    EXPECT_EQ(b->state, NET_SOCKET_USABLE);
    EXPECT_EQ(a->state, NET_SOCKET_USABLE);
}

TEST_F(DatagramSocketTest, RingBytesComeWithTheFirstReliableUse)
{
    // A connection refused at once (an unreliable reject, then the close) never holds them.
    connect_pair();
    const auto bytes_held = [](const DatagramSocket* s) {
        int n = 0;
        for (int i = 0; i < NET_DGREL_BUFFERS; ++i) {
            n += s->out_ring()[i].data != nullptr;
        }
        return n;
    };
    ASSERT_EQ(write(a, 1, NET_STREAM_UNRELIABLE, {1, 2, 3}), NET_OK);
    a->message_send();
    EXPECT_EQ(bytes_held(a), 0);
    // A reliable message of two datagrams' length takes the bytes of the two buffers it fills.
    ASSERT_EQ(write(a, 2, NET_STREAM_RELIABLE, filled(7000, 1)), NET_OK);
    ASSERT_EQ(write(a, 2, NET_STREAM_RELIABLE, filled(7000, 2)), NET_OK);
    EXPECT_EQ(bytes_held(a), 2);
    a->message_send();
    const std::vector<Received> got = read_all(b);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].bytes, filled(7000, 1));
    EXPECT_EQ(got[2].bytes, filled(7000, 2));
}

TEST_F(DatagramSocketTest, KeepaliveAndTimeouts)
{
    connect_pair();
    network.log_sent = true;
    advance(0.4);
    a->poll();
    EXPECT_TRUE(network.sent.empty());
    advance(0.2);
    a->poll();
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0].bytes, raw_datagram(NET_DGSEQUENCED | 1, raw_record(NET_DGM_KEEPALIVE, 0, 0, {})));
    b->receive();

    // A line that takes nothing fails after 2 s without a successful send.
    a->fail_sends = true;
    advance(1.9);
    a->poll();
    EXPECT_EQ(a->state, NET_SOCKET_USABLE);
    advance(0.2);
    a->poll();
    EXPECT_EQ(a->state, NET_SOCKET_LOST);
    EXPECT_TRUE(capture.contains("Datagram: Connection timed out (can't send)"));

    // Silence: 29.9 s is tolerated, 30 s is not. The keepalive above reached b.
    advance(29.9 - 2.1);
    b->receive();
    EXPECT_EQ(b->state, NET_SOCKET_USABLE);
    advance(0.2);
    b->receive();
    EXPECT_EQ(b->state, NET_SOCKET_LOST);
    EXPECT_TRUE(capture.contains("Datagram: Connection timed out"));
}

TEST_F(DatagramSocketTest, UnarmedSocketsNeverTimeOut)
{
    connect_pair();
    MemorySocket* const lone = static_cast<MemorySocket*>(protocol.create_socket(false));
    const NetAddress to_a = memory_address(a->port);
    ASSERT_EQ(lone->connect(&to_a, false), NET_OK);
    advance(100.0);
    lone->poll();
    lone->receive();
    EXPECT_EQ(lone->state, NET_SOCKET_USABLE);
    EXPECT_EQ(lone->connect(nullptr, false), NET_NOT_MINE);
    EXPECT_TRUE(capture.contains("Datagram: Reconnected not supported"));
    lone->protocol = nullptr;
    delete lone;
}

} // namespace
