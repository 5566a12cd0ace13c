#pragma once
// One non-blocking UDP socket under the datagram layer; polled for its
// keepalive at most every 0.5 s.
#include "core/poll.h"
#include "net/datagram_socket.h"

#include <cstdint>

class UDPProtocol;

constexpr float UDP_POLL_MIN_PERIOD = 0.5f;
constexpr float UDP_POLL_MAX_PERIOD = 2.5f;

class UDPSocket final : public DatagramSocket, public PollObject {
public:
    explicit UDPSocket(UDPProtocol* owner);
    ~UDPSocket() override;

    // Bound to any local address, on port when listening and on a port of
    // the system's choice otherwise: 0, 3 or -1.
    int open(uint32_t host_address, bool listening, uint16_t port);
    void close();

    void poll() override { keepalive(); }
    int connect(const NetAddress* address, bool connecting) override;
    int send_datagram(const uint8_t* data, int32_t length) override;
    int receive_datagram(uint8_t* buffer, int32_t* length, NetAddress* source) override;
    int local_address(NetAddress* address) override;

    int handle() const { return handle_; }

private:
    UDPProtocol* udp_;
    int handle_ = -1;
    uint32_t host_address_ = 0;
};

// Prints a failed socket call with the system's error code.
void udp_print_error(const char* call);
