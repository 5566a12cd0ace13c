#pragma once
// BSD datagram sockets for the UDP transport, and raw link-layer frames for
// the impairment relay. Addresses are IPv4 in network byte order as they lie
// in memory; ports are in host order. Failing calls answer -1 and leave the
// system's error code for socket_error().
#include <cstddef>
#include <cstdint>

namespace host {

struct Ipv4Endpoint {
    uint32_t address = 0; // network byte order
    uint16_t port = 0;    // host byte order
};

constexpr uint32_t IPV4_ANY = 0;
constexpr uint32_t IPV4_LOOPBACK = 0x0100007Fu; // 127.0.0.1 in network order

// The error code of the last failed call.
int socket_error();
// True when the code means "nothing waiting" on a non-blocking socket.
bool socket_would_block(int error);

// A datagram socket of the Internet family, or -1.
int udp_socket();
// Binds to any local address; port 0 lets the system choose. 0 or -1.
int udp_bind(int fd, uint16_t port);
// Binds to one local address (tests speak from several loopback addresses). 0 or -1.
int udp_bind_to(int fd, const Ipv4Endpoint& local);
int udp_set_nonblocking(int fd);
int udp_close(int fd);
// Bytes sent, or -1.
int32_t udp_send_to(int fd, const void* data, int32_t length, const Ipv4Endpoint& to);
// Bytes received (a longer datagram is cut), or -1.
int32_t udp_receive_from(int fd, void* buffer, int32_t capacity, Ipv4Endpoint* from);
int udp_local_endpoint(int fd, Ipv4Endpoint* endpoint);
// The local address that datagrams to peer leave from; false when there is no route.
bool udp_facing_address(const Ipv4Endpoint& peer, uint32_t* address);

// This machine's name; 0 or -1.
int host_name(char* buffer, size_t size);
// The first IPv4 address of a host name; false when it has none.
bool resolve_ipv4(const char* name, uint32_t* address);
// A dotted IPv4 address in the forms the classic inet_addr reads; false otherwise.
bool parse_ipv4(const char* text, uint32_t* address);
// Dotted text of an address, in the caller's buffer of at least 16 bytes.
const char* ipv4_text(uint32_t address, char* buffer);

// Waits until one of the descriptors can be read or the time passes:
// the number ready, 0 on time-out, -1 on error (also when one of them failed or hung up).
int wait_readable(const int* fds, int count, int timeout_ms, bool* ready);

// Raw frames of one network interface, in promiscuous mode: a descriptor or -1.
int frame_open(const char* interface);
// Bytes of the next frame that arrived on the interface (frames it sent are
// skipped and answer 0), or -1 when none is waiting or on error.
int32_t frame_receive(int fd, void* buffer, int32_t capacity);
int32_t frame_send(int fd, const void* data, int32_t length);
int frame_close(int fd);

} // namespace host
