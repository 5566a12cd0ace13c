#pragma once
// One connection. Client and server talk only through these operations;
// each transport fills them in. Any socket can record what it receives.
#include "net/net_defs.h"

#include <cstdint>
#include <cstdio>

class NetProtocol;
struct NetAddress;
class NetStreamIn;
class NetStreamOut;

struct NetTraffic {
    int32_t messages = 0;
    int32_t bytes = 0;
    int32_t largest = 0; // bytes
};

// Indices of NetSocket::traffic.
constexpr int NET_TRAFFIC_RELIABLE_OUT = 0;
constexpr int NET_TRAFFIC_UNRELIABLE_OUT = 1;
constexpr int NET_TRAFFIC_RELIABLE_IN = 2;
constexpr int NET_TRAFFIC_UNRELIABLE_IN = 3;
constexpr int NET_TRAFFIC_COUNTERS = 4;

// Socket states.
constexpr int32_t NET_SOCKET_USABLE = 0;
constexpr int32_t NET_SOCKET_LOST = 1; // connection lost, or the recording ended
constexpr int32_t NET_SOCKET_CLOSED = 2;

// Recording layout.
constexpr uint32_t VCR_VERSION = 2;
constexpr int VCR_RECORD_HEAD_BYTES = 3; // u8 id, u16 length in bits
constexpr int VCR_END_MARK_BYTES = 7;
constexpr long VCR_DATA_LENGTH_OFFSET = 20;

class NetSocket {
public:
    explicit NetSocket(NetProtocol* protocol);
    virtual void poll() = 0;
    virtual ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // 0 with the stream attached to a new outgoing message of class
    // NET_STREAM_RELIABLE or NET_STREAM_UNRELIABLE, or a result code.
    virtual int message_begin(NetStreamOut* stream, int id, int type) = 0;
    // 0 when queued; the stream is detached.
    virtual int message_end(NetStreamOut* stream) = 0;
    // Sends what was queued since the last call.
    virtual int message_send() = 0;
    // 0: a message is attached to the stream (the caller detaches it);
    // 2: nothing now; 7: a damaged message was dropped; else the connection failed.
    // length may be null.
    virtual int read(NetStreamIn* stream, int* id, int32_t* length) = 0;

    // The host the peer is on, with what tells one host's connections apart
    // cleared (a UDP port): false for a socket that has no remote peer.
    virtual bool peer_host(NetAddress* host) const;

    static void clear_stats(NetTraffic* counters);
    void clear_stats() { clear_stats(traffic); }

    // Starts recording received messages into a new host file: 0, 6 when
    // already recording, 3 when the file cannot be made.
    int record_start(const char* name);
    // Appends one record when recording; 1 on a short write.
    int record_message(const uint8_t* payload, int id, int32_t length);
    bool recording() const { return record_file != nullptr; }

    NetProtocol* protocol;
    NetTraffic traffic[NET_TRAFFIC_COUNTERS];
    int32_t state = NET_SOCKET_LOST;

protected:
    void count_message(int counter, int32_t bytes, int32_t payload_bytes);

private:
    void record_stop();

    std::FILE* record_file = nullptr;
    uint32_t recorded = 0;
};
