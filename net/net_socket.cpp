#include "net/net_socket.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "fsys/stdio2.h"

NetSocket::NetSocket(NetProtocol* owner) : protocol(owner)
{
    clear_stats();
}

NetSocket::~NetSocket()
{
    K_ASSERT(!protocol);
    record_stop();
}

void NetSocket::clear_stats(NetTraffic* counters)
{
    for (int i = 0; i < NET_TRAFFIC_COUNTERS; ++i) {
        counters[i] = NetTraffic{};
    }
}

void NetSocket::count_message(int counter, int32_t bytes, int32_t payload_bytes)
{
    NetTraffic& t = traffic[counter];
    t.messages = wrap_add(t.messages, 1);
    t.bytes = wrap_add(t.bytes, bytes);
    if (payload_bytes > t.largest) {
        t.largest = payload_bytes;
    }
}

int NetSocket::record_start(const char* name)
{
    K_ASSERT(name);
    if (record_file != nullptr) {
        return NET_BUSY;
    }
    std::FILE* const f = open_for_write(name, STDIO2_BINARY);
    if (f == nullptr) {
        return NET_NO_RESOURCE;
    }
    uint8_t head[24];
    write_le32(head + 0, make_tag("SVCR"));
    write_le32(head + 4, make_tag("HEAD"));
    write_le32(head + 8, 4);
    write_le32(head + 12, VCR_VERSION);
    write_le32(head + 16, make_tag("DATA"));
    write_le32(head + 20, 0);
    if (std::fwrite(head, 1, sizeof head, f) != sizeof head) {
        std::fclose(f);
        return NET_NO_RESOURCE;
    }
    record_file = f;
    recorded = 0;
    return NET_OK;
}

int NetSocket::record_message(const uint8_t* payload, int id, int32_t length)
{
    if (record_file == nullptr) {
        return NET_OK;
    }
    K_ASSERT(payload);
    K_ASSERT(id >= 0 && id < NET_MSGID_MAX);
    K_ASSERT(length >= 0 && length < 65536);
    uint8_t head[VCR_RECORD_HEAD_BYTES];
    head[0] = static_cast<uint8_t>(id);
    write_le16(head + 1, static_cast<uint16_t>(length));
    const size_t bytes = (static_cast<size_t>(length) + 7) / 8;
    std::fwrite(head, 1, sizeof head, record_file);
    const size_t written = bytes == 0 ? 0 : std::fwrite(payload, 1, bytes, record_file);
    recorded += static_cast<uint32_t>(VCR_RECORD_HEAD_BYTES + bytes);
    return written < bytes ? NET_WRITE_FAILED : NET_OK;
}

void NetSocket::record_stop()
{
    if (record_file == nullptr) {
        return;
    }
    uint8_t mark[VCR_END_MARK_BYTES + 3] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0};
    recorded += VCR_END_MARK_BYTES;
    const size_t padding = (4 - (recorded & 3)) & 3;
    std::fwrite(mark, 1, VCR_END_MARK_BYTES + padding, record_file);
    uint8_t length[4];
    write_le32(length, recorded);
    if (std::fseek(record_file, VCR_DATA_LENGTH_OFFSET, SEEK_SET) == 0) {
        std::fwrite(length, 1, sizeof length, record_file);
    }
    std::fclose(record_file);
    record_file = nullptr;
}

bool NetSocket::peer_host(NetAddress*) const
{
    return false;
}
