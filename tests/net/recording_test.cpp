#include "core/byte_order.h"
#include "core/print.h"
#include "net/hive.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net/vcr_protocol.h"
#include "net_fixture.h"
#include "tools/net/vcr_writer.h"

#include <cstring>

namespace {

// A socket that does nothing but record.
class RecordingSocket final : public NetSocket {
public:
    RecordingSocket() : NetSocket(nullptr) {}
    void poll() override {}
    int message_begin(NetStreamOut*, int, int) override { return 0; }
    int message_end(NetStreamOut*) override { return 0; }
    int message_send() override { return 0; }
    int read(NetStreamIn*, int*, int32_t*) override { return 2; }
};

struct Message {
    int id;
    int32_t bits;
    std::vector<uint8_t> payload;
};

class RecordingTest : public NetTest {
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        hive.init();
    }
    void TearDown() override
    {
        hive.shutdown();
        NetTest::TearDown();
    }

    std::string address(const std::string& name) const { return "vcr." + name; }

    // Plays a recording to its end through the hive.
    std::vector<Message> play(const std::string& name, int* connect_result = nullptr)
    {
        std::vector<Message> messages;
        NetSocket* socket = nullptr;
        const int r = hive.connect(&socket, address(name).c_str(), "", 0);
        if (connect_result != nullptr) {
            *connect_result = r;
        }
        if (r != 10) {
            return messages;
        }
        EXPECT_EQ(socket->protocol->id, make_tag("VCR "));
        for (int guard = 0; guard < 100000 && socket->state == 0; ++guard) {
            NetStreamIn in;
            int id = -1;
            int32_t bits = -1;
            const int result = socket->read(&in, &id, &bits);
            if (result != 0) {
                EXPECT_EQ(result, 2);
                break;
            }
            Message m{id, bits, {}};
            for (int32_t i = 0; i < bits / 8; ++i) {
                m.payload.push_back(static_cast<uint8_t>(in.read8()));
            }
            if (bits % 8 != 0) {
                m.payload.push_back(static_cast<uint8_t>(in.read_bits(bits % 8)));
            }
            EXPECT_TRUE(in.at_end());
            in.detach();
            messages.push_back(m);
        }
        EXPECT_EQ(socket->state, 1);
        hive.close_socket(socket);
        return messages;
    }

    Hive hive;
};

TEST_F(RecordingTest, RecordsHaveTheExactLayout)
{
    const uint8_t payload[2] = {0x01, 0x1FF >> 8};
    {
        RecordingSocket socket;
        ASSERT_EQ(socket.record_start(path("three.vcr").c_str()), 0);
        EXPECT_EQ(socket.record_start(path("other.vcr").c_str()), 6);
        EXPECT_EQ(socket.record_message(payload, 1, 0), 0);
        EXPECT_EQ(socket.record_message(payload, 2, 1), 0);
        EXPECT_EQ(socket.record_message(payload, 255, 9), 0);
    }
    const std::vector<uint8_t> file = read_file(path("three.vcr"));
    const std::vector<uint8_t> expected = {
        'S', 'V', 'C', 'R', 'H', 'E', 'A', 'D', 4, 0, 0, 0, 2, 0, 0, 0, 'D', 'A', 'T', 'A', 19, 0, 0, 0,
        1, 0, 0,                           // id 1, 0 bits
        2, 1, 0, 0x01,                     // id 2, 1 bit
        255, 9, 0, 0x01, 0x01,             // id 255, 9 bits
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, // end mark
        0,                                 // padding
    };
    EXPECT_EQ(file, expected);
    EXPECT_EQ(file.size(), 44u);
}

TEST_F(RecordingTest, EmptyRecordingHoldsTheEndMark)
{
    {
        RecordingSocket socket;
        ASSERT_EQ(socket.record_start(path("empty.vcr").c_str()), 0);
    }
    const std::vector<uint8_t> file = read_file(path("empty.vcr"));
    ASSERT_EQ(file.size(), 32u);
    EXPECT_EQ(read_le32(file.data() + 20), 7u);
    EXPECT_EQ(file[31], 0);
    EXPECT_TRUE(play("empty").empty());
}

TEST_F(RecordingTest, UnwritableFileIsRefused)
{
    RecordingSocket socket;
    tools::vcr_save(path("plain"), {1});
    EXPECT_EQ(socket.record_start(path("plain/dir.vcr").c_str()), 3);
    EXPECT_FALSE(socket.recording());
}

TEST_F(RecordingTest, PlaysBackWhatWasRecorded)
{
    std::vector<Message> recorded;
    for (int i = 0; i < 40; ++i) {
        Message m{i * 7 % 256, i * 37 % 200, {}};
        for (int32_t b = 0; b < (m.bits + 7) / 8; ++b) {
            m.payload.push_back(static_cast<uint8_t>(i + b));
        }
        if (m.bits % 8 != 0) {
            m.payload.back() &= static_cast<uint8_t>((1u << (m.bits % 8)) - 1);
        }
        recorded.push_back(m);
    }
    {
        RecordingSocket socket;
        ASSERT_EQ(socket.record_start(path("game.vcr").c_str()), 0);
        for (const Message& m : recorded) {
            socket.record_message(m.payload.empty() ? reinterpret_cast<const uint8_t*>("") : m.payload.data(), m.id,
                                  m.bits);
        }
    }
    const std::vector<Message> played = play("game");
    ASSERT_EQ(played.size(), recorded.size());
    for (size_t i = 0; i < played.size(); ++i) {
        EXPECT_EQ(played[i].id, recorded[i].id);
        EXPECT_EQ(played[i].bits, recorded[i].bits);
        EXPECT_EQ(played[i].payload, recorded[i].payload);
    }
}

TEST_F(RecordingTest, CountsWhatItPlaysAndDropsWhatIsSent)
{
    tools::vcr_save(path("two.vcr"), tools::vcr_build({{3, 16, {1, 2}}, {4, 8, {9}}}));
    NetSocket* socket = nullptr;
    ASSERT_EQ(hive.connect(&socket, address("two").c_str(), "", 0), 10);
    NetStreamOut out;
    EXPECT_EQ(socket->message_begin(&out, 5, 1), 0);
    out.write32(0xDEADBEEF);
    EXPECT_EQ(socket->message_end(&out), 0);
    EXPECT_EQ(socket->message_send(), 0);

    NetStreamIn in;
    int id = 0;
    ASSERT_EQ(socket->read(&in, &id, nullptr), 0);
    // Writing while the message is held must not change it.
    socket->message_begin(&out, 6, 2);
    out.write16(0xFFFF);
    socket->message_end(&out);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(in.read16(), 0x0201u);
    in.detach();
    EXPECT_EQ(socket->traffic[2].messages, 1);
    EXPECT_EQ(socket->traffic[2].bytes, 2);
    EXPECT_EQ(socket->traffic[0].messages, 0);
    hive.close_socket(socket);
}

struct PlaybackCase {
    const char* name;
    std::vector<tools::VcrRecord> records;
    tools::VcrOptions options;
    size_t messages;     // complete records played before the end
    const char* printed; // a message that must appear, or ""
};

TEST_F(RecordingTest, DamagedAndCutRecordingsPlayWhatTheyHold)
{
    const std::vector<uint8_t> big(8000, 0x5A);
    tools::VcrOptions crashed;
    crashed.end_mark = false;
    crashed.fill_data_length = false;
    tools::VcrOptions cut_in_payload = crashed;
    cut_in_payload.cut_bytes = 2;
    tools::VcrOptions cut_in_head = crashed;
    cut_in_head.cut_bytes = 1;
    const std::vector<PlaybackCase> cases = {
        {"whole recording", {{1, 8, {1}}, {2, 0, {}}}, {}, 2, ""},
        {"a 0-bit record is a message", {{9, 0, {}}}, {}, 1, ""},
        {"cut short by a crash: no end mark, DATA length 0", {{1, 8, {1}}, {2, 16, {1, 2}}}, crashed, 2, ""},
        {"crash after a 0-bit record", {{1, 8, {1}}, {2, 0, {}}}, crashed, 2, ""},
        {"payload cut by the end of the file", {{1, 8, {1}}, {2, 24, {1, 2, 3}}}, cut_in_payload, 1,
         "VCR: Unexpected eof"},
        {"record head cut by the end of the file", {{1, 8, {1}}, {2, 0, {}}}, cut_in_head, 1, ""},
        {"legal 8000-byte message goes on playing", {{1, 64000, big}, {2, 8, {7}}}, {}, 2, ""},
        {"damaged length beyond the largest message ends it", {{1, 8, {1}}, {2, 64008, {}}, {3, 8, {1}}}, {}, 1, ""},
        {"damaged length beyond the end of the file", {{1, 8, {1}}, {2, 60000, {}}}, cut_in_payload, 1,
         "VCR: Unexpected eof"},
    };
    int n = 0;
    for (const PlaybackCase& c : cases) {
        const std::string name = "case" + std::to_string(n++);
        std::vector<tools::VcrRecord> records = c.records;
        if (std::string(c.name).find("beyond the end of the file") != std::string::npos) {
            records[1].payload.assign(100, 0); // the file ends long before the record says
            tools::vcr_save(path(name + ".vcr"), tools::vcr_build(records, c.options));
            std::vector<uint8_t> bytes = read_file(path(name + ".vcr"));
            bytes.resize(24 + 4 + 3 + 100);
            tools::vcr_save(path(name + ".vcr"), bytes);
        } else {
            tools::vcr_save(path(name + ".vcr"), tools::vcr_build(records, c.options));
        }
        capture.clear();
        const std::vector<Message> played = play(name);
        EXPECT_EQ(played.size(), c.messages) << c.name;
        for (size_t i = 0; i < played.size() && i < records.size(); ++i) {
            EXPECT_EQ(played[i].id, records[i].id) << c.name;
            EXPECT_EQ(played[i].bits, static_cast<int32_t>(records[i].bits)) << c.name;
        }
        if (c.printed[0] != '\0') {
            EXPECT_TRUE(capture.contains(c.printed)) << c.name;
        }
    }
}

struct OpenCase {
    const char* name;
    tools::VcrOptions options;
    std::vector<uint8_t> raw; // used instead when not empty
    const char* printed;
};

TEST_F(RecordingTest, FilesThatAreNotRecordingsAreRefused)
{
    tools::VcrOptions version1;
    version1.version = 1;
    tools::VcrOptions not_svcr;
    not_svcr.form = "RIFF";
    tools::VcrOptions no_head;
    no_head.head_chunk = false;
    tools::VcrOptions no_data;
    no_data.data_chunk = false;
    no_data.end_mark = false;
    const std::vector<OpenCase> cases = {
        {"version 1", version1, {}, "VCR: Expecting SVCR version 2, found 1"},
        {"another form", not_svcr, {}, "is not SVCR"},
        {"no HEAD chunk", no_head, {}, "VCR: Can't find HEAD chunk"},
        {"no DATA chunk", no_data, {}, "VCR: Can't find DATA chunk"},
        {"empty file", {}, {'S'}, "is not SVCR"},
        {"HEAD length points past the end", {}, {'S', 'V', 'C', 'R', 'H', 'E', 'A', 'D', 0xF0, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0},
         "VCR: Can't find DATA chunk"},
        {"HEAD too short for a version", {}, {'S', 'V', 'C', 'R', 'H', 'E', 'A', 'D', 0, 0, 0, 0},
         "VCR: Can't find HEAD chunk"},
    };
    int n = 0;
    for (const OpenCase& c : cases) {
        const std::string name = "bad" + std::to_string(n++);
        tools::vcr_save(path(name + ".vcr"), c.raw.empty() ? tools::vcr_build({{1, 8, {1}}}, c.options) : c.raw);
        capture.clear();
        int r = 0;
        play(name, &r);
        EXPECT_EQ(r, 11) << c.name;
        EXPECT_TRUE(capture.contains(c.printed)) << c.name;
    }
    capture.clear();
    int r = 0;
    play("missing", &r);
    EXPECT_EQ(r, 11);
    EXPECT_TRUE(capture.contains("VCR: 'missing.vcr' not found"));
}

TEST_F(RecordingTest, PlaybackAddresses)
{
    tools::vcr_save(path("demo.vcr"), tools::vcr_build({{1, 8, {1}}}));
    NetSocket* socket = nullptr;
    EXPECT_EQ(hive.connect(&socket, "vcr.", "", 0), 5);
    EXPECT_EQ(socket, nullptr);
    EXPECT_EQ(hive.connect(&socket, "VCR.demo", "", 0), 10);
    ASSERT_NE(socket, nullptr);
    hive.close_socket(socket);
    EXPECT_EQ(hive.connect_cancel("vCr.demo", "", 0), 5);
    EXPECT_TRUE(capture.contains("VCR: connect_cancel() called"));
    int32_t length = 16;
    char request[16];
    EXPECT_EQ(hive.accept(request, &length), nullptr);
}

} // namespace
