#pragma once
// The in-process transport: the client connects to "local", the server's
// next accept takes the other end. LoopBack_Latency and LoopBack_Loss
// simulate a slow or lossy line.
#include "net/net_protocol.h"

class ConfigVariable;
class LoopbackSocket;

constexpr int LINKSTATE_IDLE = 0;
constexpr int LINKSTATE_HALFCLOSED = 1; // one of the two sockets is closed
constexpr int LINKSTATE_REQUESTED = 2;  // made by connect, waiting for accept
constexpr int LINKSTATE_ACCEPTED = 3;   // the server has taken the request
constexpr int LINKSTATE_CONNECTED = 4;

struct LoopbackLink {
    LoopbackLink* next = nullptr;
    int state = LINKSTATE_IDLE;
    LoopbackSocket* client = nullptr;
    LoopbackSocket* server = nullptr;
    int32_t serial = 0;
    // Kept until the client's connect has taken its socket.
    uint8_t* request = nullptr;
    int32_t request_length = 0;
};

class LoopbackProtocol final : public NetProtocol {
public:
    LoopbackProtocol();
    ~LoopbackProtocol() override;

    int connect(NetSocket** socket, const char* address, const void* request, int32_t request_length) override;
    int connect_cancel(const char* address, const void* request, int32_t request_length) override;
    NetSocket* accept(void* request, int32_t* length) override;
    void close_socket(NetSocket* socket) override;

    const LoopbackLink* first_link() const { return links; }

private:
    LoopbackLink* find_link(const void* request, int32_t request_length) const;
    int open_link(LoopbackLink* link, const void* request, int32_t request_length);
    void close_end(LoopbackLink* link, LoopbackSocket* socket);
    void remove_link(LoopbackLink* link);

    ConfigVariable* latency = nullptr;
    ConfigVariable* loss = nullptr;
    LoopbackLink* links = nullptr; // newest first
    int32_t serial = 1;
};

NetProtocol* loopback_protocol_create();
