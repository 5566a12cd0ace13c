#pragma once
// One kind of transport. Protocols make the sockets, and a socket is
// closed through the protocol that made it.
#include <cstdint>

class NetSocket;

// Address record of the datagram protocols: the protocol id and its own data.
struct NetAddress {
    uint32_t protocol;
    uint8_t data[28];
};
static_assert(sizeof(NetAddress) == 32);

class NetProtocol {
public:
    explicit NetProtocol(uint32_t protocol_id) : id(protocol_id) {}
    // Destroys every socket and link the protocol still holds.
    virtual ~NetProtocol() = default;
    NetProtocol(const NetProtocol&) = delete;
    NetProtocol& operator=(const NetProtocol&) = delete;

    // 9 not this protocol's address; 0 under way (call again with the same
    // arguments); 10 connected, socket stored; 11 refused; 12 duplicate.
    virtual int connect(NetSocket** socket, const char* address, const void* request, int32_t request_length) = 0;
    // 9 not this protocol's address; 0 cancelled.
    virtual int connect_cancel(const char* address, const void* request, int32_t request_length) = 0;
    // A new incoming socket with its request copied out, or null. length:
    // buffer size in; request length out, or -1 when it did not fit.
    virtual NetSocket* accept(void* request, int32_t* length) = 0;
    virtual void close_socket(NetSocket* socket) = 0;

    NetProtocol* next = nullptr; // the hive's list
    const uint32_t id;
};
