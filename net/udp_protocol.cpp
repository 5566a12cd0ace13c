#include "net/udp_protocol.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/print.h"
#include "host/host_socket.h"
#include "net/udp_socket.h"

#include <cstring>
#include <new>

namespace {

uint16_t factory_port = UDP_SERVER_PORT;
// Bytes of an address's own data that tell two addresses apart: family, port and IPv4 address.
constexpr size_t ADDRESS_COMPARED = 8;

} // namespace

void udp_set_server_port(uint16_t port)
{
    factory_port = port;
}

NetProtocol* udp_protocol_create()
{
    UDPProtocol* const p = new (std::nothrow) UDPProtocol(factory_port);
    if (p == nullptr) {
        return nullptr;
    }
    if (p->setup() != NET_OK) {
        delete p;
        return nullptr;
    }
    return p;
}

UDPProtocol::UDPProtocol(uint16_t server_port) : DatagramProtocol(UDP_PROTOCOL_ID), server_port_(server_port) {}

UDPProtocol::~UDPProtocol()
{
    drop_links();
}

int UDPProtocol::setup()
{
    drop_links();
    char name[256];
    if (host::host_name(name, sizeof name) != 0) {
        udp_print_error("gethostname()");
        return NET_SOCKET_ERROR;
    }
    if (!host::resolve_ipv4(name, &host_address_)) {
        host_address_ = host::IPV4_LOOPBACK;
    }
    if (restart_listening() != NET_OK) {
        // Another program on this machine holds the port: connections out still work.
        print_format(P_WARNING, "UDP: No listening socket on port %d", static_cast<int>(server_port_));
    }
    char dotted[16];
    print_string(P_IMPORTANT, "WinSock UDP initialized");
    print_format(P_DEBUG, "Description: %s", "BSD sockets");
    print_format(P_DEBUG, "System status: %s", "Running");
    print_format(P_DEBUG, "Max sockets: %d", 1024);
    print_format(P_DEBUG, "Max datagram size: %d", NET_DATAGRAM_SIZE);
    print_format(P_DEBUG, "Host name: %s", name);
    print_format(P_DEBUG, "Host address: %s", host::ipv4_text(host_address_, dotted));
    return NET_OK;
}

uint16_t UDPProtocol::listening_port() const
{
    const auto* const s = static_cast<const UDPSocket*>(listening_socket());
    host::Ipv4Endpoint local;
    if (s == nullptr || host::udp_local_endpoint(s->handle(), &local) != 0) {
        return 0;
    }
    return local.port;
}

DatagramSocket* UDPProtocol::create_socket(bool listening)
{
    UDPSocket* const s = new (std::nothrow) UDPSocket(this);
    if (s == nullptr) {
        return nullptr;
    }
    if (s->open(host_address_, listening, server_port_) != NET_OK) {
        destroy_socket(s);
        return nullptr;
    }
    return s;
}

int UDPProtocol::address_equal(const NetAddress* a, const NetAddress* b)
{
    if (a->protocol != UDP_PROTOCOL_ID && b->protocol != UDP_PROTOCOL_ID) {
        print_string(P_ERROR, "UDP: pid mismatch in address_equal");
        return 0;
    }
    return a->protocol == b->protocol && std::memcmp(a->data, b->data, ADDRESS_COMPARED) == 0 ? 1 : 0;
}

NetAddress UDPProtocol::address_key(const NetAddress* address)
{
    NetAddress key{};
    key.protocol = address->protocol;
    std::memcpy(key.data, address->data, ADDRESS_COMPARED);
    return key;
}

NetAddress UDPProtocol::host_key(const NetAddress* address)
{
    host::Ipv4Endpoint e = udp_endpoint(*address);
    e.port = 0;
    return address->protocol == UDP_PROTOCOL_ID ? udp_address(e) : address_key(address);
}

const char* UDPProtocol::address_to_text(const NetAddress* address)
{
    K_ASSERT(address);
    if (address->protocol != UDP_PROTOCOL_ID) {
        return "";
    }
    const host::Ipv4Endpoint e = udp_endpoint(*address);
    char dotted[16];
    return format_temp("%s:%d", host::ipv4_text(e.address, dotted), static_cast<int>(e.port));
}

int UDPProtocol::text_to_address(const char* text, NetAddress* address)
{
    K_ASSERT(address);
    K_ASSERT(text);
    uint32_t ip = 0;
    if (!host::parse_ipv4(text, &ip)) {
        return NET_NOT_MINE;
    }
    *address = udp_address({ip, server_port_});
    return NET_OK;
}
