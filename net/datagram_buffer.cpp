#include "net/datagram_buffer.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/timer.h"
#include "net/datagram_wire.h"
#include "net/net_defs.h"

#include <cstring>
#include <new>

int DatagramBuffer::allocate(int32_t bytes, bool incoming)
{
    K_ASSERT(bytes >= NET_DATAGRAM_HEADER);
    release();
    data = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (data == nullptr) {
        return NET_NO_RESOURCE;
    }
    capacity = bytes;
    fill = 0;
    id = 0;
    time = 0.0;
    state = incoming ? NET_DGBIS_EMPTY : NET_DGBOS_ACKED;
    return NET_OK;
}

void DatagramBuffer::reserve(int32_t bytes, bool incoming)
{
    K_ASSERT(bytes >= NET_DATAGRAM_HEADER);
    release();
    capacity = bytes;
    id = 0;
    time = 0.0;
    state = incoming ? NET_DGBIS_EMPTY : NET_DGBOS_ACKED;
}

int DatagramBuffer::ensure_data()
{
    if (data == nullptr) {
        data = new (std::nothrow) uint8_t[static_cast<size_t>(capacity)];
    }
    return data != nullptr ? NET_OK : NET_NO_RESOURCE;
}

void DatagramBuffer::release()
{
    delete[] data;
    data = nullptr;
    capacity = 0;
    fill = 0;
    state = 0;
}

void DatagramBuffer::prepare(uint32_t header_id)
{
    K_ASSERT(data);
    id = header_id;
    write_le32(data, header_id);
    write_le32(data + 4, 0);
    fill = NET_DATAGRAM_HEADER;
    state = NET_DGBOS_PREPARED;
    time = sys_time();
    sent = false;
}

void DatagramBuffer::append(const uint8_t* bytes, int32_t count)
{
    K_ASSERT(count >= 0 && count <= free_bytes());
    if (count > 0) {
        std::memcpy(data + fill, bytes, static_cast<size_t>(count));
        fill += count;
    }
}

void DatagramBuffer::finish()
{
    write_le32(data + 4, static_cast<uint32_t>(fill - NET_DATAGRAM_HEADER));
    state = NET_DGBOS_FINISHED;
}

int DatagramBuffer::store(uint32_t header_id, const uint8_t* payload, int32_t count)
{
    K_ASSERT(count >= 0 && count <= capacity);
    if (state == NET_DGBIS_READY) {
        if (fill != count) {
            // The caller says so: a peer can send such duplicates at will.
            return NET_DAMAGED;
        }
        return NET_OK;
    }
    id = header_id;
    if (count > 0) {
        std::memcpy(data, payload, static_cast<size_t>(count));
    }
    fill = count;
    state = NET_DGBIS_READY;
    return NET_OK;
}

void DatagramBuffer::empty()
{
    fill = 0;
    state = NET_DGBIS_EMPTY;
}
