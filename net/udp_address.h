#pragma once
// The UDP form of a NetAddress: "UDP ", then the Internet address record as
// the socket library lays it out (family 2 in host order, the port and the
// IPv4 address in network order, 8 zero bytes), then 12 unused bytes.
#include "host/host_socket.h"
#include "net/net_protocol.h"

#include <cstdint>

constexpr uint32_t UDP_PROTOCOL_ID = 0x20504455u; // "UDP "
constexpr uint16_t UDP_SERVER_PORT = 12345;
constexpr uint16_t UDP_FAMILY_INET = 2;

NetAddress udp_address(const host::Ipv4Endpoint& endpoint);
host::Ipv4Endpoint udp_endpoint(const NetAddress& address);
// Replaces 0.0.0.0 and 127.0.0.1 by the host address, so that the other side can reach it.
uint32_t udp_reachable(uint32_t address, uint32_t host_address);
