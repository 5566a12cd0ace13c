#include "host/host_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace host {

namespace {

sockaddr_in to_sockaddr(const Ipv4Endpoint& e)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(e.port);
    a.sin_addr.s_addr = e.address;
    return a;
}

// Receive room for bursts on a busy loopback.
constexpr int RECEIVE_BUFFER_BYTES = 1 << 20;

} // namespace

int socket_error()
{
    return errno;
}

bool socket_would_block(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

int udp_socket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd >= 0) {
        const int size = RECEIVE_BUFFER_BYTES;
        (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    return fd;
}

int udp_bind(int fd, uint16_t port)
{
    const sockaddr_in a = to_sockaddr({IPV4_ANY, port});
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int udp_bind_to(int fd, const Ipv4Endpoint& local)
{
    const sockaddr_in a = to_sockaddr(local);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int udp_set_nonblocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) {
        return -1;
    }
    return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

int udp_close(int fd)
{
    return ::close(fd) == 0 ? 0 : -1;
}

int32_t udp_send_to(int fd, const void* data, int32_t length, const Ipv4Endpoint& to)
{
    const sockaddr_in a = to_sockaddr(to);
    const ssize_t n = ::sendto(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t udp_receive_from(int fd, void* buffer, int32_t capacity, Ipv4Endpoint* from)
{
    sockaddr_in a{};
    socklen_t size = sizeof a;
    const ssize_t n = ::recvfrom(fd, buffer, static_cast<size_t>(capacity), 0, reinterpret_cast<sockaddr*>(&a), &size);
    if (n < 0) {
        return -1;
    }
    from->address = a.sin_addr.s_addr;
    from->port = ntohs(a.sin_port);
    return static_cast<int32_t>(n);
}

int udp_local_endpoint(int fd, Ipv4Endpoint* endpoint)
{
    sockaddr_in a{};
    socklen_t size = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        return -1;
    }
    endpoint->address = a.sin_addr.s_addr;
    endpoint->port = ntohs(a.sin_port);
    return 0;
}

bool udp_facing_address(const Ipv4Endpoint& peer, uint32_t* address)
{
    // Connecting a datagram socket sends nothing; it only picks the route.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return false;
    }
    const sockaddr_in a = to_sockaddr({peer.address, peer.port != 0 ? peer.port : uint16_t{9}});
    Ipv4Endpoint local;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
                    udp_local_endpoint(fd, &local) == 0;
    ::close(fd);
    if (ok) {
        *address = local.address;
    }
    return ok;
}

int host_name(char* buffer, size_t size)
{
    if (::gethostname(buffer, size) != 0) {
        return -1;
    }
    buffer[size - 1] = '\0';
    return 0;
}

bool resolve_ipv4(const char* name, uint32_t* address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) {
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return true;
}

bool parse_ipv4(const char* text, uint32_t* address)
{
    const in_addr_t a = ::inet_addr(text);
    if (a == INADDR_NONE) {
        return false;
    }
    *address = a;
    return true;
}

const char* ipv4_text(uint32_t address, char* buffer)
{
    in_addr a{};
    a.s_addr = address;
    if (::inet_ntop(AF_INET, &a, buffer, INET_ADDRSTRLEN) == nullptr) {
        buffer[0] = '\0';
    }
    return buffer;
}

int wait_readable(const int* fds, int count, int timeout_ms, bool* ready)
{
    constexpr int MAX_FDS = 8;
    if (count < 0 || count > MAX_FDS) {
        return -1;
    }
    pollfd p[MAX_FDS] = {};
    for (int i = 0; i < count; ++i) {
        p[i].fd = fds[i];
        p[i].events = POLLIN;
    }
    int n = ::poll(p, static_cast<nfds_t>(count), timeout_ms);
    if (n < 0 && errno == EINTR) {
        // A caught signal: nothing is ready yet, and the caller may look at why it came.
        n = 0;
    }
    bool failed = n < 0;
    for (int i = 0; i < count; ++i) {
        ready[i] = n > 0 && (p[i].revents & POLLIN) != 0;
        failed = failed || (n > 0 && (p[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0);
    }
    return failed ? -1 : n;
}

int frame_open(const char* interface)
{
    const unsigned index = ::if_nametoindex(interface);
    if (index == 0) {
        return -1;
    }
    const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL));
    if (fd < 0) {
        return -1;
    }
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(ETH_P_ALL);
    a.sll_ifindex = static_cast<int>(index);
    packet_mreq promiscuous{};
    promiscuous.mr_ifindex = static_cast<int>(index);
    promiscuous.mr_type = PACKET_MR_PROMISC;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::setsockopt(fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous, sizeof promiscuous) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int32_t frame_receive(int fd, void* buffer, int32_t capacity)
{
    sockaddr_ll a{};
    socklen_t size = sizeof a;
    const ssize_t n = ::recvfrom(fd, buffer, static_cast<size_t>(capacity), 0, reinterpret_cast<sockaddr*>(&a), &size);
    if (n < 0) {
        return -1;
    }
    return a.sll_pkttype == PACKET_OUTGOING ? 0 : static_cast<int32_t>(n);
}

int32_t frame_send(int fd, const void* data, int32_t length)
{
    const ssize_t n = ::send(fd, data, static_cast<size_t>(length), 0);
    return n < 0 ? -1 : static_cast<int32_t>(n);
}

int frame_close(int fd)
{
    return ::close(fd) == 0 ? 0 : -1;
}

} // namespace host
