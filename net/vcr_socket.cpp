#include "net/vcr_socket.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "fsys/chunk_reader.h"
#include "fsys/fsys.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <new>

namespace {

// Outgoing messages of playback sockets land here and are dropped.
uint8_t discard_block[NET_MESSAGE_MAXLEN];

// Where the chunk behind this one starts.
int64_t following_chunk(const ChunkHeader& h)
{
    const int64_t length = h.length == CHUNK_START_LENGTH ? -4 : static_cast<int64_t>(h.length);
    return static_cast<int64_t>(h.position) + 8 + ((length + 3) & ~int64_t{3});
}

// The header of the chunk directly behind `h`, or null.
ChunkHeader* next_chunk_after(ChunkReader* chunks, ChunkHeader* h)
{
    const int64_t position = following_chunk(*h);
    if (position > INT32_MAX) {
        return nullptr;
    }
    return chunks->next_chunk(static_cast<int32_t>(position), h);
}

} // namespace

VCRSocket::VCRSocket(NetProtocol* owner) : NetSocket(owner) {}

VCRSocket::~VCRSocket()
{
    close();
}

void VCRSocket::close()
{
    delete chunks;
    chunks = nullptr;
    if (file != nullptr) {
        file->close();
        file = nullptr;
    }
    state = NET_SOCKET_CLOSED;
    clear_stats();
}

int VCRSocket::open(const char* file_name)
{
    close();
    K_ASSERT(fsys);
    file = fsys->open(file_name, FSYS_BINARY);
    if (file == nullptr) {
        print_format(P_ERROR, "VCR: '%s' not found", file_name);
        return NET_NOT_FOUND;
    }
    chunks = new (std::nothrow) ChunkReader;
    if (chunks == nullptr) {
        close();
        return NET_NO_RESOURCE;
    }
    if (chunks->attach(file) != chunk_id("SVCR")) {
        print_format(P_ERROR, "VCR: '%s' is not SVCR", file_name);
        close();
        return NET_DAMAGED;
    }
    ChunkHeader h = chunks->header();
    uint8_t version[4];
    if (next_chunk_after(chunks, &h) == nullptr || h.id != chunk_id("HEAD") || h.length < 4 ||
        file->read(version, 1, 4) != 4) {
        print_string(P_ERROR, "VCR: Can't find HEAD chunk");
        close();
        return NET_DAMAGED;
    }
    if (read_le32(version) != VCR_VERSION) {
        print_format(P_ERROR, "VCR: Expecting SVCR version %d, found %d", static_cast<int>(VCR_VERSION),
                     static_cast<int32_t>(read_le32(version)));
        close();
        return NET_DAMAGED;
    }
    if (next_chunk_after(chunks, &h) == nullptr || h.id != chunk_id("DATA")) {
        print_string(P_ERROR, "VCR: Can't find DATA chunk");
        close();
        return NET_DAMAGED;
    }
    // The stream stands at the first record. The DATA length is not used:
    // it is 0 in a recording that was cut short.
    state = NET_SOCKET_USABLE;
    read_ahead();
    return NET_OK;
}

// A record is pending when its head is whole and its payload can be a
// message, up to the largest of 8000 bytes; the end mark, the end of the file
// or a damaged length end it. A 0-bit record that ends a cut recording is
// still a message.
int VCRSocket::read_ahead()
{
    if (state == NET_SOCKET_LOST) {
        return NET_NOTHING;
    }
    uint8_t head[VCR_RECORD_HEAD_BYTES];
    if (file->read(head, 1, VCR_RECORD_HEAD_BYTES) == VCR_RECORD_HEAD_BYTES) {
        next_id = head[0];
        next_length = read_le16(head + 1);
        if ((next_length + 7) / 8 <= NET_MESSAGE_MAXLEN) {
            return NET_OK;
        }
    }
    state = NET_SOCKET_LOST;
    return NET_NOTHING;
}

void VCRSocket::poll()
{
    print_string(P_WARNING, "VCR: Polled");
}

int VCRSocket::message_begin(NetStreamOut* stream, int id, int type)
{
    K_ASSERT(stream);
    K_ASSERT(id >= 0 && id < NET_MSGID_MAX);
    K_ASSERT(type == NET_STREAM_RELIABLE || type == NET_STREAM_UNRELIABLE);
    stream->attach(discard_block, NET_MESSAGE_MAXLEN);
    return NET_OK;
}

int VCRSocket::message_end(NetStreamOut* stream)
{
    K_ASSERT(stream);
    stream->detach();
    return NET_OK;
}

int VCRSocket::message_send()
{
    return NET_OK;
}

int VCRSocket::read(NetStreamIn* stream, int* id, int32_t* length)
{
    K_ASSERT(stream);
    K_ASSERT(id);
    if (state == NET_SOCKET_CLOSED || file == nullptr) {
        return NET_NOT_CONNECTED;
    }
    if (state != NET_SOCKET_USABLE) {
        return NET_NOTHING;
    }
    const int32_t bytes = (next_length + 7) / 8;
    if (file->read(block, 1, static_cast<size_t>(bytes)) != static_cast<size_t>(bytes)) {
        print_string(P_ERROR, "VCR: Unexpected eof");
        state = NET_SOCKET_LOST;
        return NET_NOTHING;
    }
    record_message(block, next_id, next_length);
    NetTraffic& in = traffic[NET_TRAFFIC_RELIABLE_IN];
    in.messages = wrap_add(in.messages, 1);
    in.bytes = wrap_add(in.bytes, bytes);
    stream->attach(block, next_length);
    *id = next_id;
    if (length != nullptr) {
        *length = next_length;
    }
    read_ahead();
    return NET_OK;
}
