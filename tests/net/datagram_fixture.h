#pragma once
// Datagram layer tests: protocols and sockets on an in-memory network,
// on the manual engine clock of NetTest.
#include "core/byte_order.h"
#include "net/datagram_protocol.h"
#include "net/datagram_socket.h"
#include "net/datagram_wire.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "net_fixture.h"
#include "tools/relay/memory_transport.h"

#include <cstring>
#include <string>
#include <vector>

struct Received {
    int id;
    int32_t bits;
    std::vector<uint8_t> bytes;
};

// One record as raw bytes: header and payload (bits of payload given).
inline std::vector<uint8_t> raw_record(int type, int parameter, int32_t bits, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> r(4);
    r[0] = static_cast<uint8_t>(type);
    r[1] = static_cast<uint8_t>(parameter);
    write_le16(r.data() + 2, static_cast<uint16_t>(bits));
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

// A whole datagram: header word, length, then the records' bytes.
inline std::vector<uint8_t> raw_datagram(uint32_t word, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> d(8);
    write_le32(d.data(), word);
    write_le32(d.data() + 4, static_cast<uint32_t>(payload.size()));
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

inline std::vector<uint8_t> le32_bytes(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> out;
    for (const uint32_t v : values) {
        uint8_t b[4];
        write_le32(b, v);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

class DatagramTest : public NetTest {
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        set_time(100.0);
    }

    void advance(double seconds) { clock.advance_seconds(seconds); }

    // Writes one message of the given bytes: the socket's answer.
    static int write(DatagramSocket* s, int id, int type, const std::vector<uint8_t>& bytes)
    {
        NetStreamOut out;
        int r = s->message_begin(&out, id, type);
        if (r != 0) {
            return r;
        }
        if (!bytes.empty()) {
            out.write_data(bytes.data(), static_cast<int32_t>(bytes.size()) * 8);
        }
        return s->message_end(&out);
    }

    // Every message waiting now.
    static std::vector<Received> read_all(DatagramSocket* s, int limit = 100000)
    {
        std::vector<Received> got;
        for (int i = 0; i < limit; ++i) {
            NetStreamIn in;
            int id = -1;
            int32_t bits = 0;
            const int r = s->read(&in, &id, &bits);
            if (r == NET_DAMAGED) {
                continue;
            }
            if (r != NET_OK) {
                break;
            }
            Received m{id, bits, std::vector<uint8_t>(static_cast<size_t>((bits + 7) / 8))};
            if (bits > 0) {
                in.read_data(m.bytes.data(), bits);
            }
            in.detach();
            got.push_back(std::move(m));
        }
        return got;
    }

    // Two sockets of one protocol connected to each other without a handshake.
    void connect_pair()
    {
        a = static_cast<MemorySocket*>(protocol.create_socket(false));
        b = static_cast<MemorySocket*>(protocol.create_socket(false));
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        const NetAddress to_b = memory_address(b->port);
        const NetAddress to_a = memory_address(a->port);
        ASSERT_EQ(a->connect(&to_b, false), NET_OK);
        ASSERT_EQ(b->connect(&to_a, false), NET_OK);
        a->arm_timeouts();
        b->arm_timeouts();
    }

    void close_pair()
    {
        for (MemorySocket* s : {a, b}) {
            if (s != nullptr) {
                s->protocol = nullptr;
                delete s;
            }
        }
        a = b = nullptr;
    }

    void TearDown() override
    {
        close_pair();
        NetTest::TearDown();
    }

    MemoryNetwork network;
    MemoryProtocol protocol{&network, 0};
    MemorySocket* a = nullptr;
    MemorySocket* b = nullptr;
};
