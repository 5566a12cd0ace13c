#include "net/udp_address.h"

#include "core/byte_order.h"

#include <cstring>

NetAddress udp_address(const host::Ipv4Endpoint& endpoint)
{
    NetAddress a{};
    a.protocol = UDP_PROTOCOL_ID;
    write_le16(a.data + 0, UDP_FAMILY_INET);
    a.data[2] = static_cast<uint8_t>(endpoint.port >> 8);
    a.data[3] = static_cast<uint8_t>(endpoint.port);
    std::memcpy(a.data + 4, &endpoint.address, 4);
    return a;
}

host::Ipv4Endpoint udp_endpoint(const NetAddress& address)
{
    host::Ipv4Endpoint e;
    e.port = static_cast<uint16_t>(address.data[2] << 8 | address.data[3]);
    std::memcpy(&e.address, address.data + 4, 4);
    return e;
}

uint32_t udp_reachable(uint32_t address, uint32_t host_address)
{
    return address == host::IPV4_ANY || address == host::IPV4_LOOPBACK ? host_address : address;
}
