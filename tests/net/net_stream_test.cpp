#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net_fixture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace {

using NetStreamTest = NetTest;

// Reads a stream to the end of its message and detaches it.
struct Reader {
    NetStreamIn in;
    Reader(const uint8_t* data, int32_t bits) { in.attach(data, bits); }
    ~Reader() { in.detach(); }
};

TEST_F(NetStreamTest, PacksLeastSignificantBitFirst)
{
    uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    NetStreamOut out;
    out.attach(buffer, 4);
    EXPECT_EQ(out.write_bits(5, 3), 0);
    EXPECT_EQ(out.write_bits(0xFF, 8), 0);
    EXPECT_EQ(out.detach(), 11);
    EXPECT_EQ(buffer[0], 0xFD);
    EXPECT_EQ(buffer[1], 0x07);
}

TEST_F(NetStreamTest, AlignedWordsAreLittleEndian)
{
    uint8_t buffer[6];
    NetStreamOut out;
    out.attach(buffer, 6);
    out.write16(0x1234);
    out.write32(0xA1B2C3D4);
    EXPECT_EQ(out.detach(), 48);
    const uint8_t expected[6] = {0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(std::memcmp(buffer, expected, 6), 0);
}

// Every width at every bit offset, with values that use their top bit.
TEST_F(NetStreamTest, EveryWidthRoundTripsAtEveryOffset)
{
    std::mt19937 random(7);
    for (int offset = 0; offset < 8; ++offset) {
        uint8_t buffer[256];
        std::vector<std::pair<uint32_t, int>> written;
        NetStreamOut out;
        out.attach(buffer, sizeof buffer);
        if (offset > 0) {
            out.write_bits(0, offset);
        }
        for (int width = 1; width <= 32; ++width) {
            const uint32_t top = 1u << (width - 1);
            const uint32_t value = (random() & (top - 1 + top)) | top;
            written.emplace_back(value, width);
            ASSERT_EQ(out.write_bits(value, width), 0);
        }
        const int32_t bits = out.detach();
        ASSERT_EQ(bits, offset + 528);

        Reader r(buffer, bits);
        if (offset > 0) {
            EXPECT_EQ(r.in.read_bits(offset), 0u);
        }
        for (const auto& [value, width] : written) {
            EXPECT_EQ(r.in.read_bits(width), value) << "width " << width << " offset " << offset;
        }
        EXPECT_TRUE(r.in.at_end());
    }
}

TEST_F(NetStreamTest, TopBitValueAtOddPositionThenSmallValue)
{
    uint8_t buffer[8];
    NetStreamOut out;
    out.attach(buffer, sizeof buffer);
    out.write_bits(6, 3);
    out.write32(0x80000001u);
    out.write_bits(0x15, 5);
    const int32_t bits = out.detach();
    Reader r(buffer, bits);
    EXPECT_EQ(r.in.read_bits(3), 6u);
    EXPECT_EQ(r.in.read32(), 0x80000001u);
    EXPECT_EQ(r.in.read_bits(5), 0x15u);
    EXPECT_TRUE(r.in.at_end());
}

TEST_F(NetStreamTest, FloatsStringsAndDataRoundTrip)
{
    uint8_t buffer[64];
    const uint8_t data[3] = {0x12, 0x34, 0x05};
    NetStreamOut out;
    out.attach(buffer, sizeof buffer);
    out.write_bits(1, 1);
    out.write_float(-2.5f);
    out.write_string("lamp");
    out.write_data(data, 19);
    out.align();
    out.write_data(data, 16);
    const int32_t bits = out.detach();
    EXPECT_EQ(bits, 1 + 32 + 40 + 19 + 4 + 16);

    Reader r(buffer, bits);
    char text[16];
    uint8_t back[3] = {};
    EXPECT_EQ(r.in.read_bits(1), 1u);
    EXPECT_EQ(r.in.read_float(), -2.5f);
    EXPECT_EQ(r.in.read_string(text, sizeof text), 0);
    EXPECT_STREQ(text, "lamp");
    EXPECT_EQ(r.in.read_data(back, 19), 0);
    EXPECT_EQ(std::memcmp(back, data, 3), 0);
    EXPECT_EQ(r.in.align(), 0);
    EXPECT_EQ(r.in.read_data(back, 16), 0);
    EXPECT_EQ(back[0], 0x12);
    EXPECT_EQ(back[1], 0x34);
    EXPECT_TRUE(r.in.at_end());
}

TEST_F(NetStreamTest, WriteDataSendsOnlyTheLowBitsOfItsLastByte)
{
    uint8_t buffer[4];
    const uint8_t data[2] = {0xAB, 0xFF};
    NetStreamOut out;
    out.attach(buffer, sizeof buffer);
    EXPECT_EQ(out.write_data(data, 12), 0);
    out.write_bits(0, 4);
    EXPECT_EQ(out.detach(), 16);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[1], 0x0F);
}

TEST_F(NetStreamTest, FillingExactlyWorksAndOneBitMoreOverflowsOnce)
{
    uint8_t buffer[3] = {};
    NetStreamOut out;
    out.attach(buffer, 2);
    EXPECT_EQ(out.write_bits(0x1FFF, 13), 0);
    EXPECT_EQ(out.write_bits(7, 3), 0);
    EXPECT_EQ(out.write_bits(1, 1), 1);
    EXPECT_EQ(out.write_bits(1, 1), 1);
    EXPECT_EQ(out.write_string("x"), 1);
    EXPECT_EQ(out.align(), 1);
    EXPECT_EQ(out.detach(), -1);
    EXPECT_EQ(capture.count("NetStreamOut: overflow"), 1);
    EXPECT_EQ(buffer[2], 0);
}

TEST_F(NetStreamTest, RewindTakesBackWhatFollowsAMarkAnOverflowIncluded)
{
    struct Case {
        const char* name;
        int32_t mark;   // bits kept
        int32_t extra;  // bits written after the mark, before the rewind
    };
    const Case cases[] = {
        {"at a byte", 8, 12},
        {"inside a byte", 5, 3},
        {"over an overflow", 13, 40},
        {"to the start", 0, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t buffer[4] = {};
        NetStreamOut out;
        out.attach(buffer, 4);
        for (int32_t i = 0; i < c.mark; ++i) {
            out.write_bits(1, 1);
        }
        for (int32_t left = c.extra; left > 0; left -= 8) {
            out.write_bits(0xFF >> (8 - std::min(left, 8)), std::min(left, 8));
        }
        out.rewind(c.mark);
        EXPECT_FALSE(out.overflowed());
        EXPECT_EQ(out.bits_written(), c.mark);
        // What follows is written as if nothing had come after the mark.
        EXPECT_EQ(out.write_bits(0, 3), 0);
        EXPECT_EQ(out.detach(), c.mark + 3);
        Reader r(buffer, c.mark + 3);
        for (int32_t i = 0; i < c.mark; ++i) {
            EXPECT_EQ(r.in.read_bits(1), 1u);
        }
        EXPECT_EQ(r.in.read_bits(3), 0u);
    }
}

TEST_F(NetStreamTest, AlignAtTheEndOfAFullBufferStaysInside)
{
    uint8_t buffer[3] = {0, 0, 0x5A};
    NetStreamOut out;
    out.attach(buffer, 2);
    out.write_bits(0x3FF, 10);
    EXPECT_EQ(out.align(), 0);
    EXPECT_EQ(buffer[2], 0x5A);
    EXPECT_EQ(out.detach(), 16);

    out.attach(buffer, 2);
    out.write16(0xFFFF);
    EXPECT_EQ(out.align(), 0);
    EXPECT_EQ(buffer[2], 0x5A);
    EXPECT_EQ(out.detach(), 16);
}

TEST_F(NetStreamTest, EndOfMessageIsReportedOnceAndTellsAllOnesApart)
{
    const uint8_t buffer[1] = {0x7F};
    NetStreamIn in;
    in.attach(buffer, 7);
    EXPECT_EQ(in.read_bits(8), 0xFFFFFFFFu);
    EXPECT_EQ(in.length(), -1);
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_bits(1), 0xFFFFFFFFu);
    EXPECT_EQ(in.skip_bits(1), 2);
    EXPECT_EQ(in.align(), 2);
    EXPECT_EQ(capture.count("NetStreamIn: Unexpected end-of-message"), 1);
    in.detach();

    const uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    in.attach(ones, 32);
    EXPECT_EQ(in.read32(), 0xFFFFFFFFu);
    EXPECT_EQ(in.length(), 0);
    EXPECT_TRUE(in.at_end());
    in.detach();
}

// The reader must not touch one byte beyond its message: ASan watches
// buffers of exactly the message's size.
TEST_F(NetStreamTest, ReaderStaysInsideExactlySizedMessages)
{
    for (int32_t bits = 0; bits <= 70; ++bits) {
        const size_t bytes = (static_cast<size_t>(bits) + 7) / 8;
        std::unique_ptr<uint8_t[]> data(new uint8_t[bytes == 0 ? 1 : bytes]);
        std::memset(data.get(), 0xC3, bytes);
        // An empty message is attached to the end of a block, as a reader would see it.
        const uint8_t* start = bytes == 0 ? data.get() + 1 : data.get();
        for (const int width : {1, 3, 8, 13, 32}) {
            NetStreamIn in;
            in.attach(start, bits);
            int32_t left = bits;
            while (left >= width) {
                in.read_bits(width);
                left -= width;
            }
            if (left > 0) {
                in.read_bits(left);
            }
            EXPECT_TRUE(in.at_end());
            in.detach();

            in.attach(start, bits);
            if (bits >= width) {
                in.skip_bits(bits - width);
                in.read_bits(width);
            }
            char text[4];
            in.read_string(text, sizeof text);
            in.align();
            in.detach();
        }
    }
}

struct StringCase {
    const char* name;
    std::vector<uint8_t> bytes; // the message
    int32_t max_bytes;
    int result;
    const char* text;
    int32_t left; // bits left after the read, -1 after the end
};

TEST_F(NetStreamTest, ReadStringIsAlwaysTerminated)
{
    const std::vector<StringCase> cases = {
        {"fits", {'a', 'b', 0, 9}, 8, 0, "ab", 8},
        {"fits exactly with its terminator", {'a', 'b', 'c', 0, 9}, 4, 0, "abc", 8},
        {"cut: the rest is skipped up to the terminator", {'h', 'e', 'l', 'l', 'o', 0, 9}, 4, 1, "hel", 8},
        {"one byte holds only the terminator", {'x', 0, 9}, 1, 1, "", 8},
        {"empty text", {0, 9}, 1, 0, "", 8},
        {"no terminator before the end", {'a', 'b'}, 8, 2, "ab", -1},
        {"cut and no terminator before the end", {'a', 'b', 'c', 'd', 'e'}, 3, 2, "ab", -1},
    };
    for (const StringCase& c : cases) {
        NetStreamIn in;
        in.attach(c.bytes.data(), static_cast<int32_t>(c.bytes.size() * 8));
        char text[16];
        std::memset(text, 'Z', sizeof text);
        EXPECT_EQ(in.read_string(text, c.max_bytes), c.result) << c.name;
        EXPECT_STREQ(text, c.text) << c.name;
        EXPECT_EQ(in.length(), c.left) << c.name;
        if (c.left > 0) {
            EXPECT_EQ(in.read8(), 9u) << c.name;
        }
        in.detach();
    }
}

TEST_F(NetStreamTest, ReadDataPastTheEndStoresNothing)
{
    const uint8_t message[2] = {1, 2};
    uint8_t back[4] = {7, 7, 7, 7};
    NetStreamIn in;
    in.attach(message, 16);
    EXPECT_EQ(in.read_data(back, 17), 2);
    EXPECT_EQ(back[0], 7);
    in.detach();
}

TEST_F(NetStreamTest, SkipAndAlignMoveByBits)
{
    const uint8_t message[3] = {0xFF, 0x0F, 0xA5};
    NetStreamIn in;
    in.attach(message, 24);
    EXPECT_EQ(in.skip_bits(12), 0);
    EXPECT_EQ(in.read_bits(4), 0u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.align(), 0);
    EXPECT_TRUE(in.at_end());
    in.detach();

    // Aligning past a message that ends mid-byte leaves it at its end, not failed.
    in.attach(message, 10);
    in.read_bits(9);
    EXPECT_EQ(in.align(), 2);
    EXPECT_TRUE(in.at_end());
    in.detach();
}

TEST_F(NetStreamTest, BitsReadCountAcrossMessages)
{
    const uint8_t message[4] = {};
    NetStreamIn in;
    in.attach(message, 32);
    in.read_bits(5);
    in.skip_bits(3);
    EXPECT_EQ(in.take_bits_read(), 8);
    in.read_bits(7);
    in.detach();
    in.attach(message, 32);
    in.read_bits(2);
    in.align();
    EXPECT_EQ(in.take_bits_read(), 15);
    EXPECT_EQ(in.take_bits_read(), 0);
    in.detach();
}

} // namespace
