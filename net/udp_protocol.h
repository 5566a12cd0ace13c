#pragma once
// The datagram protocol over UDP: servers listen on port 12345 (tests and
// tools may choose another), addresses are dotted IPv4 texts.
#include "net/datagram_protocol.h"
#include "net/udp_address.h"

#include <cstdint>

class UDPProtocol final : public DatagramProtocol {
public:
    // server_port: the listening socket's, and the port of addresses made
    // from text; 0 lets the system choose the listening port.
    explicit UDPProtocol(uint16_t server_port = UDP_SERVER_PORT);
    ~UDPProtocol() override;

    // Finds the host address and opens the listening socket: 0, or a code.
    int setup();

    DatagramSocket* create_socket(bool listening) override;
    int address_equal(const NetAddress* a, const NetAddress* b) override;
    const char* address_to_text(const NetAddress* address) override;
    int text_to_address(const char* text, NetAddress* address) override;
    NetAddress address_key(const NetAddress* address) override;
    NetAddress host_key(const NetAddress* address) override;

    uint32_t host_address() const { return host_address_; }
    // The port the listening socket is bound to, 0 when there is none.
    uint16_t listening_port() const;
    // Failed sends: the lines of a peer whose address cannot be sent to.
    LineLimit& send_lines() { return send_lines_; }

private:
    uint32_t host_address_ = host::IPV4_LOOPBACK;
    uint16_t server_port_;
    LineLimit send_lines_{"UDP", "UDP::sendto()", P_ERROR};
};

// The hive's factory: a set-up protocol, or null.
NetProtocol* udp_protocol_create();
// The server port of the protocols the factory makes from now on.
void udp_set_server_port(uint16_t port);
