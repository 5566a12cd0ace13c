#include "datagram_fixture.h"

namespace {

using DatagramWireTest = DatagramTest;

TEST_F(DatagramWireTest, HeaderWordTellsSequencedFromReliable)
{
    DatagramBuffer buffer;
    ASSERT_EQ(buffer.allocate(NET_DATAGRAM_SIZE, false), NET_OK);
    buffer.prepare(NET_DGSEQUENCED | 5);
    EXPECT_EQ(std::vector<uint8_t>(buffer.data, buffer.data + 8), (std::vector<uint8_t>{5, 0, 0, 0x80, 0, 0, 0, 0}));
    buffer.prepare(5);
    const uint8_t payload[3] = {1, 2, 3};
    buffer.append(payload, 3);
    buffer.finish();
    EXPECT_EQ(std::vector<uint8_t>(buffer.data, buffer.data + 11),
              (std::vector<uint8_t>{5, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(buffer.state, NET_DGBOS_FINISHED);
}

TEST_F(DatagramWireTest, LengthMustMatchTheHeader)
{
    struct Case {
        const char* why;
        std::vector<uint8_t> bytes;
        bool valid;
        const char* message;
    };
    const Case cases[] = {
        {"empty payload", raw_datagram(NET_DGSEQUENCED | 1, {}), true, nullptr},
        {"two bytes beyond L", {1, 0, 0, 0x80, 0, 0, 0, 0, 9, 9}, false, "Datagram: Bad length (10, expected 8"},
        {"shorter than a header", {1, 0, 0, 0x80, 0, 0, 0}, false, "Datagram: Bad length (7, expected 8"},
        {"L beyond the end", {1, 0, 0, 0x80, 4, 0, 0, 0, 9}, false, "Datagram: Bad length (9, expected 12"},
        {"L near 2^32", {1, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}, false, "Datagram: Bad length (8, expected 4294967303"},
    };
    for (const Case& c : cases) {
        capture.clear();
        uint32_t word = 0;
        EXPECT_EQ(datagram_check(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), &word), c.valid) << c.why;
        if (c.message != nullptr) {
            EXPECT_TRUE(capture.contains(c.message)) << c.why;
        }
    }
}

TEST_F(DatagramWireTest, RecordsStepByTheirBitLength)
{
    // 5 bits of payload take one byte: the record is 5 bytes; then a 0-bit record.
    std::vector<uint8_t> payload = raw_record(2, 7, 5, {0x1F});
    const std::vector<uint8_t> second = raw_record(0x20, 0, 0, {});
    payload.insert(payload.end(), second.begin(), second.end());
    int32_t offset = 0;
    DatagramRecord r{};
    ASSERT_EQ(datagram_next_record(payload.data(), static_cast<int32_t>(payload.size()), &offset, &r), 1);
    EXPECT_EQ(r.size, 5);
    EXPECT_EQ(r.parameter, 7);
    EXPECT_EQ(r.bits, 5);
    ASSERT_EQ(datagram_next_record(payload.data(), static_cast<int32_t>(payload.size()), &offset, &r), 1);
    EXPECT_EQ(r.type, 0x20);
    EXPECT_EQ(datagram_next_record(payload.data(), static_cast<int32_t>(payload.size()), &offset, &r), 0);

    // A record claiming more bytes than remain, and a stub shorter than a header.
    const std::vector<uint8_t> overrun = raw_record(2, 0, 64, {1, 2, 3});
    offset = 0;
    EXPECT_EQ(datagram_next_record(overrun.data(), static_cast<int32_t>(overrun.size()), &offset, &r), -1);
    const uint8_t stub[2] = {2, 0};
    offset = 0;
    EXPECT_EQ(datagram_next_record(stub, 2, &offset, &r), -1);
}

TEST_F(DatagramWireTest, RecordHeaderCarriesPayloadBits)
{
    uint8_t bytes[16] = {};
    NetStreamOut out;
    ASSERT_EQ(datagram_record_begin(&out, bytes, sizeof bytes, NET_DGM_ACK, 3), 0);
    out.write_bits(0x15, 5);
    const int32_t total = out.detach();
    datagram_record_close(bytes, total);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{0x10, 3, 5, 0, 0x15}));
}

} // namespace
