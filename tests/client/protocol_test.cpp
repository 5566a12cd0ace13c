#include "client/client_input.h"
#include "client/client_protocol.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ClientProtocol, AxisCodes)
{
    struct Case {
        const char* name;
        float value;
        int32_t code;
    };
    const Case cases[] = {
        {"too small to count is absent", 0.0001f, -1},
        {"zero is absent", 0.0f, -1},
        {"the smallest step below zero", -0.0002f, 32767},
        {"one", 1.0f, 32768 + 8192},
        {"clamped at 4 and to 16 bits", 4.5f, 65535},
        {"minus four is present with code 0", -4.0f, 0},
        {"far below is minus four", -100.0f, 0},
        {"not a number is absent", std::numeric_limits<float>::quiet_NaN(), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(axis_code(c.value), c.code) << c.name;
    }
}

TEST(ClientProtocol, ConnectRequestBlock)
{
    uint8_t block[CONNECT_REQUEST_SIZE] = {};
    const int32_t n = write_connect_request({"Anonymous", 20000, 1, 0, 1}, block, sizeof block);
    EXPECT_EQ(n, (32 + 32 + 80 + 32 + 3 + 7) / 8);
    NetStreamIn in;
    in.attach(block, n * 8);
    EXPECT_EQ(in.read32(), 10u);
    EXPECT_EQ(in.read32(), 0x4B5652u);
    char name[32];
    EXPECT_EQ(in.read_string(name, sizeof name), 0);
    EXPECT_STREQ(name, "Anonymous");
    EXPECT_EQ(in.read32(), 20000u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read_bits(1), 0u);
    EXPECT_EQ(in.read_bits(1), 1u);
    in.detach();
    EXPECT_EQ(block[0], 10) << "little-endian, least significant bit first";
    EXPECT_EQ(block[4], 0x52);
    EXPECT_EQ(block[6], 0x4B);
    std::string long_name(300, 'x');
    EXPECT_EQ(write_connect_request({long_name.c_str(), 1, 1, 1, 1}, block, sizeof block), 0)
        << "a block that does not fit";
}

TEST(ClientProtocol, InputRecordGroups)
{
    ClientInput input;
    ASSERT_EQ(input.init_input(InputDevices{}), 1);
    uint8_t bytes[64] = {};
    NetStreamOut out;
    out.attach(bytes, sizeof bytes);
    write_input_record(out, -1, input);
    EXPECT_EQ(out.detach(), 32 + 4) << "no axis and no state";

    ASSERT_EQ(input.press_action(3, 1), 1);  // MoveRight: the second axis of group 1
    ASSERT_EQ(input.press_action(16, 1), 1); // Vector3Positive: the fourth of group 3
    ASSERT_EQ(input.press_action(49, 1), 1); // State 32
    ASSERT_EQ(input.build_input(1.0, 1.0, nullptr, nullptr), 1);
    out.attach(bytes, sizeof bytes);
    write_input_record(out, 77, input);
    const int32_t bits = out.detach();
    EXPECT_EQ(bits, 32 + (1 + 1 + 17 + 1) + 1 + (1 + 1 + 1 + 1 + 17) + 33);
    NetStreamIn in;
    in.attach(bytes, bits);
    EXPECT_EQ(in.read32(), 77u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read_bits(1), 0u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read_bits(16), 32768u + 8192u);
    EXPECT_EQ(in.read_bits(1), 0u);
    EXPECT_EQ(in.read_bits(1), 0u) << "group 2 absent";
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read_bits(3), 0u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read_bits(16), 32768u + 8192u);
    EXPECT_EQ(in.read_bits(1), 1u);
    EXPECT_EQ(in.read32(), 0x80000000u);
    EXPECT_TRUE(in.at_end());
    in.detach();
}

} // namespace
