#include "net/datagram_wire.h"

#include "core/byte_order.h"
#include "core/print.h"
#include "net/net_stream_out.h"

bool datagram_check(const uint8_t* data, int32_t length, uint32_t* id)
{
    if (length < NET_DATAGRAM_HEADER) {
        print_format(P_DEBUG, "Datagram: Bad length (%d, expected %d", length, NET_DATAGRAM_HEADER);
        return false;
    }
    const uint32_t payload = read_le32(data + 4);
    if (static_cast<uint64_t>(length) != static_cast<uint64_t>(payload) + NET_DATAGRAM_HEADER) {
        const int64_t expected = static_cast<int64_t>(payload) + NET_DATAGRAM_HEADER;
        print_format(P_DEBUG, "Datagram: Bad length (%d, expected %lld", length, static_cast<long long>(expected));
        return false;
    }
    *id = read_le32(data);
    return true;
}

int datagram_next_record(const uint8_t* payload, int32_t length, int32_t* offset, DatagramRecord* record)
{
    const int32_t left = length - *offset;
    if (left <= 0) {
        return 0;
    }
    if (left < NET_DGRECORD_HEADER) {
        return -1;
    }
    const uint8_t* const head = payload + *offset;
    record->type = head[0];
    record->parameter = head[1];
    record->bits = read_le16(head + 2);
    record->record = head;
    record->payload = head + NET_DGRECORD_HEADER;
    record->size = datagram_record_size(record->bits);
    if (record->size > left) {
        return -1;
    }
    *offset += record->size;
    return 1;
}

int datagram_record_begin(NetStreamOut* writer, uint8_t* bytes, int32_t capacity, int type, int parameter)
{
    writer->attach(bytes, capacity);
    int r = writer->write8(static_cast<uint32_t>(type));
    if (r == 0) {
        r = writer->write8(static_cast<uint32_t>(parameter));
    }
    if (r == 0) {
        r = writer->write16(0);
    }
    if (r != 0) {
        writer->detach();
    }
    return r;
}

void datagram_record_close(uint8_t* record, int32_t total_bits)
{
    write_le16(record + 2, static_cast<uint16_t>(total_bits - NET_DGRECORD_HEADER * 8));
}
