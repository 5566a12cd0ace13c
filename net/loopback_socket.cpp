#include "net/loopback_socket.h"

#include "core/byte_order.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/random_table.h"
#include "core/timer.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <algorithm>
#include <cstring>
#include <new>

float loopback_variable_value(const ConfigVariable* v)
{
    if (v == nullptr) {
        return 0.0f;
    }
    switch (v->type()) {
    case CVTYPE_FLOAT:
        return v->as_float();
    case CVTYPE_INT:
        return static_cast<float>(v->as_int());
    case CVTYPE_BOOL:
        return v->as_bool() ? 1.0f : 0.0f;
    default:
        return static_cast<float>(std::strlen(v->string()));
    }
}

LoopbackSocket::LoopbackSocket(NetProtocol* owner) : NetSocket(owner) {}

LoopbackSocket::~LoopbackSocket()
{
    clear();
}

void LoopbackSocket::release_variables()
{
    if (cvar_list != nullptr) {
        if (latency != nullptr) {
            cvar_list->release(latency);
        }
        if (loss != nullptr) {
            cvar_list->release(loss);
        }
    }
    latency = nullptr;
    loss = nullptr;
}

void LoopbackSocket::clear()
{
    release_variables();
    if (peer != nullptr) {
        peer->peer = nullptr;
        peer = nullptr;
    }
    delete[] buffer;
    buffer = nullptr;
    write_position = 0;
    read_position = 0;
    size = 0;
    state = NET_SOCKET_CLOSED;
    clear_stats();
}

int LoopbackSocket::setup(int32_t bytes)
{
    K_ASSERT(bytes >= 16);
    clear();
    buffer = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (buffer == nullptr) {
        return NET_NO_RESOURCE;
    }
    size = bytes;
    if (cvar_list != nullptr) {
        latency = cvar_list->link(CVTYPE_FLOAT, 0x100, "LoopBack_Latency", nullptr, 0);
        loss = cvar_list->link(CVTYPE_FLOAT, 0x100, "LoopBack_Loss", nullptr, 0);
    }
    if (latency != nullptr && loss != nullptr) {
        state = NET_SOCKET_USABLE;
    }
    return NET_OK;
}

void LoopbackSocket::poll()
{
    print_string(P_WARNING, "Loopback: Polled");
}

bool LoopbackSocket::connected()
{
    if (buffer == nullptr || peer == nullptr || peer->buffer == nullptr) {
        state = NET_SOCKET_LOST;
        return false;
    }
    return true;
}

void LoopbackSocket::compact()
{
    K_ASSERT(write_position >= read_position);
    if (read_position == 0) {
        return;
    }
    std::memmove(buffer, buffer + read_position, static_cast<size_t>(write_position - read_position));
    write_position -= read_position;
    read_position = 0;
}

int LoopbackSocket::message_begin(NetStreamOut* stream, int id, int type)
{
    K_ASSERT(stream);
    K_ASSERT(id >= 0 && id < NET_MSGID_MAX);
    K_ASSERT(type == NET_STREAM_RELIABLE || type == NET_STREAM_UNRELIABLE);
    if (!connected()) {
        return NET_NOT_CONNECTED;
    }
    if (open_stream != nullptr) {
        return NET_BUSY;
    }
    peer->compact();
    const int32_t room = std::min(peer->size - peer->write_position, LOOPHEAD_BYTES + NET_MESSAGE_MAXLEN);
    stream->attach(peer->buffer + peer->write_position, room);
    int r = stream->write8(static_cast<uint32_t>(id));
    if (r == 0) {
        r = stream->write8(static_cast<uint32_t>(type));
    }
    if (r == 0) {
        r = stream->write16(0);
    }
    if (r == 0) {
        r = stream->write_float(static_cast<float>(sys_time()));
    }
    if (r != 0) {
        stream->detach();
        return r;
    }
    open_stream = stream;
    return NET_OK;
}

bool LoopbackSocket::drop_unreliable() const
{
    const float product = static_cast<float>(engine_rand()) * (1.0f / 32767.0f);
    return product < loopback_variable_value(loss);
}

int LoopbackSocket::message_end(NetStreamOut* stream)
{
    K_ASSERT(stream);
    if (!connected()) {
        // The peer went away while the message was open: its buffer is gone.
        if (stream == open_stream) {
            open_stream = nullptr;
            stream->detach();
        }
        return NET_NOT_CONNECTED;
    }
    if (stream != open_stream) {
        return NET_MISMATCH;
    }
    open_stream = nullptr;
    const int32_t bits = stream->detach();
    if (bits < 0) {
        return NET_WRITE_FAILED;
    }
    const int32_t length = bits - LOOPHEAD_BYTES * 8;
    K_ASSERT(length >= 0 && length <= 8 * NET_MESSAGE_MAXLEN);
    uint8_t* const head = peer->buffer + peer->write_position;
    const int type = head[1];
    if (type == NET_STREAM_UNRELIABLE && drop_unreliable()) {
        return NET_OK;
    }
    write_le16(head + 2, static_cast<uint16_t>(length));
    const int32_t payload = (length + 7) / 8;
    peer->write_position += LOOPHEAD_BYTES + payload;
    count_message(type == NET_STREAM_RELIABLE ? NET_TRAFFIC_RELIABLE_OUT : NET_TRAFFIC_UNRELIABLE_OUT,
                  payload + LOOPHEAD_BYTES, payload);
    return NET_OK;
}

int LoopbackSocket::message_send()
{
    if (peer == nullptr) {
        state = NET_SOCKET_LOST;
    }
    return NET_OK;
}

int LoopbackSocket::read(NetStreamIn* stream, int* id, int32_t* length)
{
    K_ASSERT(stream);
    K_ASSERT(id);
    if (peer == nullptr) {
        // What was written before the peer left can still be read.
        state = NET_SOCKET_LOST;
    }
    if (buffer == nullptr) {
        return NET_NOT_CONNECTED;
    }
    if (open_stream != nullptr) {
        return NET_BUSY;
    }
    if (write_position == read_position) {
        return NET_NOTHING;
    }
    K_ASSERT(write_position - read_position >= LOOPHEAD_BYTES);
    const uint8_t* const head = buffer + read_position;
    const float sent = read_le_float(head + 4);
    if (static_cast<float>(sys_time()) - sent < loopback_variable_value(latency)) {
        return NET_NOTHING;
    }
    const int message_id = head[0];
    const int type = head[1];
    K_ASSERT(type == NET_STREAM_RELIABLE || type == NET_STREAM_UNRELIABLE);
    const int32_t bits = read_le16(head + 2);
    const int32_t payload = (bits + 7) / 8;
    const int32_t available = write_position - read_position - LOOPHEAD_BYTES;
    if (bits > 8 * NET_MESSAGE_MAXLEN || payload > available) {
        print_format(P_WARNING, "Loopback: Weird message (id 0x%x, length %d)", message_id, bits);
        read_position += LOOPHEAD_BYTES + std::min(payload, available);
        return NET_DAMAGED;
    }
    const uint8_t* const data = head + LOOPHEAD_BYTES;
    record_message(data, message_id, bits);
    count_message(type == NET_STREAM_RELIABLE ? NET_TRAFFIC_RELIABLE_IN : NET_TRAFFIC_UNRELIABLE_IN,
                  payload + LOOPHEAD_BYTES, payload);
    stream->attach(data, bits);
    *id = message_id;
    if (length != nullptr) {
        *length = bits;
    }
    read_position += LOOPHEAD_BYTES + payload;
    return NET_OK;
}
