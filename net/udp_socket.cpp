#include "net/udp_socket.h"

#include "core/kassert.h"
#include "core/print.h"
#include "host/host_socket.h"
#include "net/udp_address.h"
#include "net/udp_protocol.h"

#include <cstring>

void udp_print_error(const char* call)
{
    print_format(P_ERROR, "%s: WinSock error %d\n", call, host::socket_error());
}

UDPSocket::UDPSocket(UDPProtocol* owner) : DatagramSocket(owner), udp_(owner) {}

UDPSocket::~UDPSocket()
{
    release_buffers();
    close();
    protocol = nullptr;
}

void UDPSocket::close()
{
    if (handle_ >= 0 && host::udp_close(handle_) != 0) {
        udp_print_error("UDP::closesocket()");
    }
    handle_ = -1;
    poll_remove(this);
    host_address_ = 0;
}

int UDPSocket::open(uint32_t host_address, bool listening, uint16_t port)
{
    release_buffers();
    close();
    host_address_ = host_address;
    if (poll_add(this, UDP_POLL_MIN_PERIOD, UDP_POLL_MAX_PERIOD) == 0) {
        print_string(P_ERROR, "UDP: Can't make socket pollable");
        return NET_NO_RESOURCE;
    }
    handle_ = host::udp_socket();
    if (handle_ < 0) {
        udp_print_error("UDP::socket()");
        return NET_NO_RESOURCE;
    }
    if (host::udp_bind(handle_, listening ? port : 0) != 0) {
        udp_print_error("UDP::bind()");
        return NET_SOCKET_ERROR;
    }
    if (host::udp_set_nonblocking(handle_) != 0) {
        udp_print_error("UDP::ioctlsocket(FIONBIO)");
        return NET_SOCKET_ERROR;
    }
    return init_buffers(NET_DATAGRAM_SIZE);
}

int UDPSocket::connect(const NetAddress* address, bool connecting)
{
    if (connect_state() == NET_DGCONS_CONNECTED) {
        print_string(P_ERROR, "UDP: Duplicate connect");
        return NET_BUSY;
    }
    if (address == nullptr) {
        return reset(nullptr, connecting);
    }
    if (address->protocol != UDP_PROTOCOL_ID) {
        print_string(P_ERROR, "UDP: Protocol id mismatch in connect()");
        return NET_MISMATCH;
    }
    host::Ipv4Endpoint e = udp_endpoint(*address);
    e.address = udp_reachable(e.address, host_address_);
    NetAddress copy = *address;
    const NetAddress rewritten = udp_address(e);
    std::memcpy(copy.data + 4, rewritten.data + 4, 4);
    return reset(&copy, connecting);
}

int UDPSocket::send_datagram(const uint8_t* data, int32_t length)
{
    K_ASSERT(data);
    if (connect_state() == NET_DGCONS_DISCONNECTED) {
        print_string(P_ERROR, "UDP: Can't send - not connected");
        return NET_NOT_CONNECTED;
    }
    if (peer().protocol != UDP_PROTOCOL_ID) {
        print_string(P_ERROR, "UDP: Can't send to a non-UDP address");
        return NET_MISMATCH;
    }
    if (length < 1 || length > NET_DATAGRAM_SIZE) {
        print_format(P_ERROR, "UDP: Invalid datagram size %d", length);
        return NET_MISMATCH;
    }
    const int32_t sent = host::udp_send_to(handle_, data, length, udp_endpoint(peer()));
    if (sent < 0) {
        // A peer that names an address nobody can send to (port 0) is answered at every request.
        udp_->send_lines().print("%s: WinSock error %d\n", "UDP::sendto()", host::socket_error());
        return NET_SOCKET_ERROR;
    }
    return sent < length ? NET_WRITE_FAILED : NET_OK;
}

int UDPSocket::receive_datagram(uint8_t* buffer, int32_t* length, NetAddress* source)
{
    K_ASSERT(buffer && source);
    K_ASSERT(length);
    if (*length < NET_DATAGRAM_SIZE) {
        print_format(P_ERROR, "UDP: Receive buffer is too small (%d)", *length);
        return NET_MISMATCH;
    }
    source->protocol = UDP_PROTOCOL_ID;
    host::Ipv4Endpoint from;
    const int32_t n = host::udp_receive_from(handle_, buffer, NET_DATAGRAM_SIZE, &from);
    if (n < 0) {
        *length = 0;
        const int error = host::socket_error();
        if (host::socket_would_block(error)) {
            return NET_NOTHING;
        }
        udp_print_error("UDP::recvfrom()");
        return NET_SOCKET_ERROR;
    }
    // Seen from here, this machine has one address: the one peers are given.
    from.address = udp_reachable(from.address, host_address_);
    *source = udp_address(from);
    *length = n;
    return NET_OK;
}

int UDPSocket::local_address(NetAddress* address)
{
    K_ASSERT(address);
    host::Ipv4Endpoint local;
    if (host::udp_local_endpoint(handle_, &local) != 0) {
        udp_print_error("getsocketname()");
        address->protocol = 0;
        return NET_NOT_CONNECTED;
    }
    if (local.address == host::IPV4_ANY || local.address == host::IPV4_LOOPBACK) {
        // The address that faces the peer is the one the peer can reach.
        uint32_t facing = 0;
        if (peer().protocol == UDP_PROTOCOL_ID && host::udp_facing_address(udp_endpoint(peer()), &facing)) {
            local.address = facing;
        }
        local.address = udp_reachable(local.address, host_address_);
    }
    *address = udp_address(local);
    return NET_OK;
}
